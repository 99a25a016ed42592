// Norton / Symantec: detection by uninstall entry, and the definfo.dat reader
// whose dates the details step and the update procedures report.
#pragma once

#include <string>

#include "platform/context.h"

// True when a qualifying product is listed in the program's (32-bit) view.
bool CheckForSymenticProducts(RunContext& rc);
// The same search in the 64-bit view, with that view's name tables.
bool CheckForSymenticProductsfor64OS(RunContext& rc);

// Finds and parses definfo.dat; fills the before- or after-update dates.
// True once a CurDefs line was read. mode: "BeforeLiveUpdate",
// "AfterLiveUpdate", "AfterIntelligentUpdate", "ServerUpdate" or "".
bool readFileVirusDef(RunContext& rc, bool beforeUpdate, const std::string& mode);

// "20230125" -> "2023-01-25" (digits laid into "####-##-##"); empty on error.
std::string fncGeDtFrmt(RunContext& rc, const std::string& text);
