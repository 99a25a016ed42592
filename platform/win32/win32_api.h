// The Windows headers for the win32 backend, and the few helpers its files
// share. Include this instead of <windows.h>: the ANSI/wide macros the SDK
// defines (DeleteFile, CopyFile, RegOpenKeyEx, ...) would otherwise rename
// the os:: functions of the same names.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <winsvc.h>
#include <winver.h>

#undef CopyFile
#undef CreateDirectory
#undef CreateJobObject
#undef CreateProcess
#undef DeleteFile
#undef EnumServicesStatus
#undef FindWindow
#undef FormatMessage
#undef GetEnvironmentVariable
#undef GetModuleFileName
#undef GetPrivateProfileString
#undef GetShortPathName
#undef GetSystemDirectory
#undef GetVersionEx
#undef MoveFile
#undef MoveFileEx
#undef QueryFullProcessImageName
#undef OpenSCManager
#undef OpenService
#undef RegCreateKeyEx
#undef RegDeleteTree
#undef RegEnumKey
#undef RegOpenKey
#undef RegOpenKeyEx
#undef RegQueryValueEx
#undef RegSetValueEx
#undef SetFileAttributes
#undef ShellExecuteEx
#undef StartService
#undef WritePrivateProfileString

#include <string>

#include "platform/os.h"

namespace os::win32 {

// The error of the call that just failed, as a seam result.
inline long LastError() { return static_cast<long>(::GetLastError()); }

// Initialises COM on the calling thread once for the life of the process
// (single-threaded apartment, as the shell wants for ShellExecuteEx).
void EnsureCom();

// True when the program runs as a 64-bit process or under WOW64, i.e. on
// 64-bit Windows.
bool On64BitWindows();

}  // namespace os::win32
