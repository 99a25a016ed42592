#include "platform/win32/win32_api.h"

namespace os {

// FindFirstFile recursion: the shell's folder delete may show UI.
long DeleteFolder(const std::string& path) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return static_cast<long>(::GetLastError());
  long result = 0;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    const std::string child = path + "\\" + name;
    long err = 0;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      err = DeleteFolder(child);
    } else if (!DeleteFileA(child.c_str())) {
      err = static_cast<long>(::GetLastError());
    }
    if (err != 0 && result == 0) result = err;
  } while (FindNextFileA(find, &data));
  FindClose(find);
  if (result != 0) return result;
  return RemoveDirectoryA(path.c_str()) ? 0 : static_cast<long>(::GetLastError());
}

}  // namespace os
