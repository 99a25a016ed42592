#include <algorithm>
#include <vector>

#include "platform/win32/win32_api.h"

namespace os {
namespace {

// The agent is the 32-bit program. Built as a 64-bit process it must still
// see the 32-bit registry view whenever the caller did not ask for one.
REGSAM ThirtyTwoBitView(uint32_t access) {
#ifdef _WIN64
  if ((access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY)) == 0) access |= KEY_WOW64_32KEY;
#endif
  return static_cast<REGSAM>(access);
}

HKEY Raw(const RegKey& key) { return static_cast<HKEY>(key.get()); }

}  // namespace

long RegOpenKeyEx(const std::string& path, uint32_t access, RegKey* key) {
  HKEY opened = nullptr;
  const LONG result =
      ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, ThirtyTwoBitView(access), &opened);
  if (result == ERROR_SUCCESS) *key = RegKey(opened);
  return result;
}

long RegOpenKey(const std::string& path, RegKey* key) {
  HKEY opened = nullptr;
#ifdef _WIN64
  // RegOpenKeyA takes no view flag; this is what it does, in the 32-bit view.
  const LONG result = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0,
                                      MAXIMUM_ALLOWED | KEY_WOW64_32KEY, &opened);
#else
  const LONG result = ::RegOpenKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &opened);
#endif
  if (result == ERROR_SUCCESS) *key = RegKey(opened);
  return result;
}

long RegEnumKey(const RegKey& key, uint32_t index, uint32_t bufferSize, std::string* name) {
  if (!key.valid()) return ERROR_INVALID_HANDLE;
  std::vector<char> buffer(std::max<uint32_t>(bufferSize, 1), '\0');
  const LONG result = ::RegEnumKeyA(Raw(key), index, buffer.data(), bufferSize);
  if (result == ERROR_SUCCESS) name->assign(buffer.data());
  return result;
}

long RegQueryValueEx(const RegKey& key, const std::string& valueName, uint32_t* type,
                     std::string* data, uint32_t* size) {
  if (!key.valid()) return ERROR_INVALID_HANDLE;
  DWORD valueType = REG_NONE;
  if (data == nullptr) {
    DWORD needed = 0;
    const LONG result =
        ::RegQueryValueExA(Raw(key), valueName.c_str(), nullptr, &valueType, nullptr, &needed);
    if (result == ERROR_SUCCESS) {
      if (type != nullptr) *type = valueType;
      if (size != nullptr) *size = needed;
    }
    return result;
  }
  if (size == nullptr) return ERROR_INVALID_PARAMETER;

  DWORD length = *size;
  std::vector<BYTE> buffer(std::max<uint32_t>(length, 1));
  const LONG result =
      ::RegQueryValueExA(Raw(key), valueName.c_str(), nullptr, &valueType, buffer.data(), &length);
  if (result == ERROR_MORE_DATA) {
    *size = length;
  } else if (result == ERROR_SUCCESS) {
    data->assign(reinterpret_cast<const char*>(buffer.data()), length);
    *size = length;
    if (type != nullptr) *type = valueType;
  }
  return result;
}

long RegCreateKeyEx(const std::string& path, uint32_t access, RegKey* key) {
  HKEY created = nullptr;
  const LONG result = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                        ThirtyTwoBitView(access), nullptr, &created, nullptr);
  if (result == ERROR_SUCCESS) *key = RegKey(created);
  return result;
}

long RegSetValueEx(const RegKey& key, const std::string& valueName, uint32_t type,
                   const std::string& data) {
  if (!key.valid()) return ERROR_INVALID_HANDLE;
  // RegSetValueExA counts in a string's NUL on its own when the byte after the
  // data is one; a byte that is not keeps the size exactly as given.
  std::vector<BYTE> bytes(data.begin(), data.end());
  bytes.push_back('x');
  return ::RegSetValueExA(Raw(key), valueName.c_str(), 0, type, bytes.data(),
                          static_cast<DWORD>(data.size()));
}

long RegDeleteTree(const std::string& path, uint32_t access) {
  const size_t sep = path.find_last_of('\\');
  const std::string parentPath = sep == std::string::npos ? std::string() : path.substr(0, sep);
  const std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
  HKEY parent = nullptr;
  LONG result = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, parentPath.c_str(), 0,
                                ThirtyTwoBitView(access | KEY_ALL_ACCESS), &parent);
  if (result != ERROR_SUCCESS) return result;
  result = ::RegDeleteTreeA(parent, name.c_str());
  ::RegCloseKey(parent);
  return result;
}

}  // namespace os
