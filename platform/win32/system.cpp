#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/win32/win32_api.h"

namespace os {

namespace win32 {

void EnsureCom() {
  // Never uninitialised: COM stays up until the process ends.
  static const HRESULT initialised =
      ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  (void)initialised;
}

bool On64BitWindows() {
#ifdef _WIN64
  return true;
#else
  bool wow64 = false;
  return os::IsWow64Process(&wow64) && wow64;
#endif
}

}  // namespace win32

namespace {

// Grows the buffer until an "ANSI string into buffer" call fits; the call
// returns the length written, 0 on failure, or at least the size given when
// the text was cut.
template <typename Call>
bool FetchString(Call call, std::string* out) {
  std::vector<char> buffer(MAX_PATH + 1);
  for (int attempt = 0; attempt < 8; ++attempt) {
    const DWORD length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return false;
    if (length < buffer.size()) {
      out->assign(buffer.data(), length);
      return true;
    }
    buffer.resize(std::max<size_t>(static_cast<size_t>(length) + 1, buffer.size() * 2));
  }
  return false;
}

// Under WOW64 the 32-bit program's environment names the 32-bit program
// folders; a 64-bit build reads the same values from their (x86) names.
std::string ThirtyTwoBitVariable(const std::string& name) {
#ifdef _WIN64
  auto SameName = [](const std::string& a, const char* b) {
    return a.size() == std::strlen(b) && _strnicmp(a.c_str(), b, a.size()) == 0;
  };
  if (SameName(name, "ProgramFiles")) return "ProgramFiles(x86)";
  if (SameName(name, "CommonProgramFiles")) return "CommonProgramFiles(x86)";
#endif
  return name;
}

// The same for the shell's folders: CSIDL_PROGRAM_FILES and
// CSIDL_PROGRAM_FILES_COMMON give the (x86) folders to a 32-bit program.
int ThirtyTwoBitFolder(int csidl) {
#ifdef _WIN64
  if (csidl == CSIDL_PROGRAM_FILES) return CSIDL_PROGRAM_FILESX86;
  if (csidl == CSIDL_PROGRAM_FILES_COMMON) return CSIDL_PROGRAM_FILES_COMMONX86;
#endif
  return csidl;
}

}  // namespace

bool Startup(int argc, char** argv, std::string* error) {
  // The real machine needs no preparation.
  return true;
}

void CloseInternetHandle(void* raw);  // transfer.cpp: InternetCloseHandle

void CloseNativeHandle(HandleKind kind, void* raw) {
  switch (kind) {
    case HandleKind::kRegKey:
      ::RegCloseKey(static_cast<HKEY>(raw));
      break;
    case HandleKind::kProcess:
    case HandleKind::kFile:
    case HandleKind::kJob:
      ::CloseHandle(static_cast<HANDLE>(raw));
      break;
    case HandleKind::kService:
      ::CloseServiceHandle(static_cast<SC_HANDLE>(raw));
      break;
    case HandleKind::kInternet:
      CloseInternetHandle(raw);
      break;
  }
}

bool GetEnvironmentVariable(const std::string& name, std::string* value) {
  auto read = [](const std::string& variable, std::string* text) {
    DWORD size = ::GetEnvironmentVariableA(variable.c_str(), nullptr, 0);
    for (int attempt = 0; size != 0 && attempt < 4; ++attempt) {
      std::vector<char> buffer(size);
      const DWORD length = ::GetEnvironmentVariableA(variable.c_str(), buffer.data(), size);
      if (length < size) {
        text->assign(buffer.data(), length);
        return true;
      }
      size = length;  // the variable grew between the calls
    }
    return false;
  };
  const std::string mapped = ThirtyTwoBitVariable(name);
  return read(mapped, value) || (mapped != name && read(name, value));
}

std::string GetSystemDirectory() {
  std::string folder;
  FetchString([](char* buffer, DWORD size) { return ::GetSystemDirectoryA(buffer, size); }, &folder);
  return folder;
}

bool GetSpecialFolderPath(int csidl, std::string* path) {
  // CSIDL_SYSTEM: the 32-bit program's system folder is SysWOW64 on 64-bit
  // Windows.
  if (csidl == CSIDL_SYSTEM && win32::On64BitWindows()) {
    std::string folder;
    if (FetchString([](char* buffer, DWORD size) { return ::GetSystemWow64DirectoryA(buffer, size); },
                    &folder)) {
      *path = folder;
      return true;
    }
  }

  LPITEMIDLIST list = nullptr;
  if (::SHGetSpecialFolderLocation(nullptr, ThirtyTwoBitFolder(csidl), &list) != S_OK ||
      list == nullptr) {
    return false;
  }
  char buffer[MAX_PATH + 1] = {};
  const bool found = ::SHGetPathFromIDListA(list, buffer) != FALSE;
  ::CoTaskMemFree(list);
  if (!found) return false;
  *path = buffer;
  return true;
}

std::string GetModuleFileName() {
  std::string path;
  // A cut path comes back as exactly `size` characters, so FetchString grows.
  FetchString([](char* buffer, DWORD size) { return ::GetModuleFileNameA(nullptr, buffer, size); },
              &path);
  return path;
}

std::string GetCommandLineArgs() {
  const char* line = ::GetCommandLineA();
  if (line == nullptr) return {};
  const char* p = line;
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p != '\0' && *p != ' ' && *p != '\t') ++p;
  }
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

bool IsWow64Process(bool* wow64) {
#ifdef _WIN64
  // What the 32-bit program is told on the only Windows a 64-bit build runs on.
  *wow64 = true;
  return true;
#else
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return false;
  auto call = reinterpret_cast<IsWow64ProcessFn>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "IsWow64Process")));
  if (call == nullptr) return false;
  BOOL result = FALSE;
  if (!call(::GetCurrentProcess(), &result)) return false;
  *wow64 = result != FALSE;
  return true;
#endif
}

bool GetVersionEx(uint32_t* major, uint32_t* minor) {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!::GetVersionExA(&info)) return false;
  *major = info.dwMajorVersion;
  *minor = info.dwMinorVersion;
  return true;
}

bool FormatMessage(uint32_t code, bool wininet, std::string* text) {
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS;
  HMODULE module = nullptr;
  bool loaded = false;
  if (wininet) {
    module = ::GetModuleHandleA("wininet.dll");
    if (module == nullptr) {
      // By full path, so that no wininet.dll beside the program is taken.
      module = ::LoadLibraryA((GetSystemDirectory() + "\\wininet.dll").c_str());
      loaded = module != nullptr;
    }
    if (module == nullptr) return false;
    flags |= FORMAT_MESSAGE_FROM_HMODULE;
  } else {
    flags |= FORMAT_MESSAGE_FROM_SYSTEM;
  }

  char* message = nullptr;
  const DWORD length = ::FormatMessageA(flags, module, code, 0, reinterpret_cast<char*>(&message),
                                        0, nullptr);
  if (length != 0 && message != nullptr) text->assign(message, length);
  if (message != nullptr) ::LocalFree(message);
  if (loaded) ::FreeLibrary(module);
  return length != 0;
}

LocalTime Now() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  LocalTime t;
  t.year = now.wYear;
  t.month = now.wMonth;
  t.day = now.wDay;
  t.hour = now.wHour;
  t.minute = now.wMinute;
  t.second = now.wSecond;
  t.millisecond = now.wMilliseconds;
  return t;
}

void Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

bool AcquireSingleInstance() {
  // Global: a copy started in another session (the service's or a user's)
  // counts too. The handle is kept open until the process ends.
  HANDLE mutex = ::CreateMutexA(nullptr, FALSE, "Global\\avdefupdate-single-instance");
  const DWORD error = ::GetLastError();
  if (mutex == nullptr) {
    // The name exists but belongs to a copy running as someone else.
    return error != ERROR_ACCESS_DENIED;
  }
  if (error == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(mutex);
    return false;
  }
  return true;
}

uint32_t GetLastError() { return ::GetLastError(); }

}  // namespace os
