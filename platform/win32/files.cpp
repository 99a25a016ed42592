#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/win32/win32_api.h"

namespace os {
namespace {

// Owns a kernel handle inside one function.
class LocalHandle {
 public:
  explicit LocalHandle(HANDLE handle) : handle_(handle) {}
  LocalHandle(const LocalHandle&) = delete;
  LocalHandle& operator=(const LocalHandle&) = delete;
  ~LocalHandle() {
    if (valid()) ::CloseHandle(handle_);
  }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

DWORD Attributes(const std::string& path) { return ::GetFileAttributesA(path.c_str()); }

// WriteFile takes at most 4 GiB a call.
long WriteAll(HANDLE file, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) {
      return win32::LastError();
    }
    if (written == 0) return ERROR_DISK_FULL;
    done += written;
  }
  return ERROR_SUCCESS;
}

}  // namespace

// ---- INI files --------------------------------------------------------------

uint32_t GetPrivateProfileString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue, uint32_t bufferSize,
                                 const std::string& path, std::string* out) {
  std::vector<char> buffer(std::max<uint32_t>(bufferSize, 1), '\0');
  const DWORD copied =
      ::GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(),
                                 buffer.data(), bufferSize, path.c_str());
  out->assign(buffer.data(), copied);
  return copied;
}

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& path) {
  return ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(),
                                      path.c_str()) != FALSE;
}

// ---- Files -------------------------------------------------------------------

bool FileExists(const std::string& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FolderExists(const std::string& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

long GetFileSize(const std::string& path, uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    return win32::LastError();
  }
  *size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return ERROR_SUCCESS;
}

long GetFileLastWriteTime(const std::string& path, int64_t* time) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    return win32::LastError();
  }
  *time = static_cast<int64_t>((static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                               data.ftLastWriteTime.dwLowDateTime);
  return ERROR_SUCCESS;
}

long ReadWholeFile(const std::string& path, std::string* bytes) {
  LocalHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return win32::LastError();
  LARGE_INTEGER length{};
  if (!::GetFileSizeEx(file.get(), &length)) return win32::LastError();

  std::string content;
  content.resize(static_cast<size_t>(length.QuadPart));
  size_t done = 0;
  while (done < content.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1u << 30));
    DWORD read = 0;
    if (!::ReadFile(file.get(), content.data() + done, chunk, &read, nullptr)) {
      return win32::LastError();
    }
    if (read == 0) break;  // the file shrank under us
    done += read;
  }
  content.resize(done);
  *bytes = std::move(content);
  return ERROR_SUCCESS;
}

long WriteWholeFile(const std::string& path, const std::string& bytes) {
  LocalHandle file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return win32::LastError();
  if (const long err = WriteAll(file.get(), bytes); err != ERROR_SUCCESS) return err;
  if (!::FlushFileBuffers(file.get())) return win32::LastError();
  return ERROR_SUCCESS;
}

long DeleteFile(const std::string& path) {
  return ::DeleteFileA(path.c_str()) ? ERROR_SUCCESS : win32::LastError();
}

long SetFileAttributes(const std::string& path, uint32_t attributes) {
  return ::SetFileAttributesA(path.c_str(), attributes) ? ERROR_SUCCESS : win32::LastError();
}

long CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
  return ::CopyFileA(from.c_str(), to.c_str(), failIfExists ? TRUE : FALSE) ? ERROR_SUCCESS
                                                                          : win32::LastError();
}

long MoveFile(const std::string& from, const std::string& to) {
  return ::MoveFileA(from.c_str(), to.c_str()) ? ERROR_SUCCESS : win32::LastError();
}

long MoveFileEx(const std::string& from, const std::string& to) {
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? ERROR_SUCCESS
             : win32::LastError();
}

long CreateDirectory(const std::string& path) {
  return ::CreateDirectoryA(path.c_str(), nullptr) ? ERROR_SUCCESS : win32::LastError();
}

namespace {

long ListEntries(const std::string& folder, bool wantFolders, std::vector<std::string>* names) {
  std::string pattern = folder;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += '*';

  WIN32_FIND_DATAA found{};
  HANDLE search = ::FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    const long error = win32::LastError();
    // An empty drive root has no "." entry to find.
    if (error == ERROR_FILE_NOT_FOUND && FolderExists(folder)) {
      names->clear();
      return ERROR_SUCCESS;
    }
    return error;
  }
  std::vector<std::string> files;
  long error = ERROR_SUCCESS;
  do {
    const std::string name = found.cFileName;
    const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isFolder == wantFolders && name != "." && name != "..") files.push_back(name);
  } while (::FindNextFileA(search, &found));
  if (::GetLastError() != ERROR_NO_MORE_FILES) error = win32::LastError();
  ::FindClose(search);
  if (error != ERROR_SUCCESS) return error;
  *names = std::move(files);
  return ERROR_SUCCESS;
}

}  // namespace

long ListFiles(const std::string& folder, std::vector<std::string>* names) {
  return ListEntries(folder, false, names);
}

long ListFolders(const std::string& folder, std::vector<std::string>* names) {
  return ListEntries(folder, true, names);
}

std::string GetFileVersion(const std::string& path) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<BYTE> block(size);
  if (!::GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return {};

  void* value = nullptr;
  UINT length = 0;
  if (!::VerQueryValueA(block.data(), "\\", &value, &length) || value == nullptr ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return {};
  }
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
  if (info->dwSignature != 0xFEEF04BD) return {};
  char text[64];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", HIWORD(info->dwFileVersionMS),
                LOWORD(info->dwFileVersionMS), HIWORD(info->dwFileVersionLS),
                LOWORD(info->dwFileVersionLS));
  return text;
}

long OpenFile(const std::string& path, OpenMode mode, FileHandle* file) {
  // Appending with FILE_APPEND_DATA alone makes every write land at the end.
  const bool append = mode == OpenMode::kAppendExisting;
  HANDLE opened = ::CreateFileA(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                                FILE_SHARE_READ, nullptr, append ? OPEN_EXISTING : CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return win32::LastError();
  *file = FileHandle(opened);
  return ERROR_SUCCESS;
}

long WriteFileHandle(const FileHandle& file, const std::string& bytes) {
  if (!file.valid()) return ERROR_INVALID_HANDLE;
  // No buffering of our own: a line is in the file once this returns.
  return WriteAll(static_cast<HANDLE>(file.get()), bytes);
}

uint32_t GetShortPathName(const std::string& path, uint32_t bufferSize, std::string* out) {
  std::vector<char> buffer(std::max<uint32_t>(bufferSize, 1), '\0');
  const DWORD length = ::GetShortPathNameA(path.c_str(), buffer.data(), bufferSize);
  if (length != 0 && length < bufferSize) out->assign(buffer.data(), length);
  return length;
}

}  // namespace os
