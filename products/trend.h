// Trend Micro: the finders of each product line's install folder and the
// pattern readers, shared by the details and update steps. Each has a 32-bit
// and a 64-bit form that differ in the registry view and their log lines.
#pragma once

#include <string>

#include "platform/context.h"

// Finders: the install folder, or empty.
std::string GetPcCillinPath(RunContext& rc);  // OfficeScan, Internet Security, Worry-Free
std::string GetPcCillinPath64Bit(RunContext& rc);
std::string GetPcCillinPathInternet(RunContext& rc);  // Internet Security 17
std::string GetPcCillinPath64BitInternet(RunContext& rc);
std::string GetPcCillinPathTitanium(RunContext& rc);
std::string GetPcCillinPath64BitTitanium(RunContext& rc);
std::string GetTrendMicroSecurity(RunContext& rc);  // Deep Security Agent
std::string GetTrendMicroSecurity64(RunContext& rc);

// Readers: before selects TrendDefBefore or TrendDefAfter; true when a
// pattern (valid or not) was read. They do nothing without TrendInstallPath.
bool GetTMVirusDef(RunContext& rc, bool before);
bool GetTMVirusDef64bit(RunContext& rc, bool before);
bool GetTM17VirusDef(RunContext& rc, bool before);
bool GetTM17VirusDef64bit(RunContext& rc, bool before);
bool GetTMTITANIUMVirusDef(RunContext& rc, bool before);
bool GetTMTITANIUMVirusDef64bit(RunContext& rc, bool before);

// A pattern number worth reporting: leading digits not zero, at most 50 characters.
bool IsValidPattern(const std::string& pattern);
