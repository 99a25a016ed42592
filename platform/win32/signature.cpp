// Authenticode checks through WinVerifyTrust.
#include <cstdio>
#include <string>

#include "platform/win32/win32_api.h"

#include <softpub.h>
#include <wintrust.h>

namespace os {

namespace {

std::wstring WidenPath(const std::string& text) {
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string ReasonFor(uint32_t code) {
  std::string text;
  if (FormatMessage(code, false, &text) && text.size() >= 2) return text.substr(0, text.size() - 2);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "trust error 0x%08X", static_cast<unsigned>(code));
  return buffer;
}

}  // namespace

uint32_t VerifyFileSignature(const std::string& path, std::string* reason) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    const DWORD err = attributes == INVALID_FILE_ATTRIBUTES ? ::GetLastError() : ERROR_FILE_NOT_FOUND;
    *reason = ReasonFor(err);
    return err;
  }
  const std::wstring widePath = WidenPath(path);
  WINTRUST_FILE_INFO file = {};
  file.cbStruct = sizeof(file);
  file.pcwszFilePath = widePath.c_str();
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
  const LONG status = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  if (status == ERROR_SUCCESS) return 0;
  const uint32_t code = static_cast<uint32_t>(status);
  *reason = ReasonFor(code);
  return code;
}

}  // namespace os
