// Operating-system identification: 64-bit, version and name.
#pragma once

#include <string>

#include "platform/context.h"

// The trimmed Caption of the last instance of the WMI class, or empty. Sets
// Is64BitOs (never clears it) and, through SubGetOSVersion, Windows8OrLater.
std::string fncCreateWMIObject(RunContext& rc, const std::string& objectName);
// Sets Windows8OrLater; always returns false.
bool SubGetOSVersion(RunContext& rc);
// Non-zero for a 32-bit process on 64-bit Windows; 0 when there is no such call.
long IsWow64(RunContext& rc);
// Sets OsName to "Windows 8" when the system is one.
void getWindowsName(RunContext& rc);
