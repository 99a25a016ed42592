// Comodo: found in the uninstall list by a display name beginning with
// "COMODO"; the definition is the number in the name of the newest B00 file
// in the scanner folder.
#include <cstdint>

#include "base/error.h"
#include "base/text.h"
#include "platform/log.h"
#include "platform/regfiles.h"
#include "products/detection.h"
#include "products/file_readers.h"
#include "products/file_text.h"
#include "products/products.h"
#include "products/record.h"
#include "products/uninstall_rows.h"

namespace {

// Tried in this order; some succeed only with or without administrative rights.
constexpr uint32_t kAccessMasks[] = {
    os::kKeyRead | os::kKeyWow64_64Key,
    os::kKeyRead | os::kKeyWow64_32Key,
    os::kKeyAllAccess,
    os::kKeyRead,
    os::kKeyWow64_64Key,
    os::kKeyAllAccess | os::kKeyWow64_64Key,
    os::kKeyAllAccess | os::kKeyWow64_32Key,
    os::kKeyWow64_32Key,
    os::kKeyWow64_32Key | os::kKeyWow64_64Key,
};

bool IsDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

bool Chk_ComodoInstalled(RunContext& rc) {
  try {
    WriteLog(rc, "MSG : Executing Chk_ComodoInstalled..");
    WriteLog(rc, std::string("MSG : Searching for Comodo Product in registry key :: ") + kUninstallKey);
    rc.ComodoAccessIndex = 0;
    uint32_t access = 0;
    for (int i = 0; i < 9; ++i) {
      os::RegKey probe;
      if (os::RegOpenKeyEx(kUninstallKey, kAccessMasks[i], &probe) == 0) {
        rc.ComodoAccessIndex = i + 1;
        access = kAccessMasks[i];
        break;
      }
    }
    if (rc.ComodoAccessIndex != 0) {
      bool found = false;
      WalkSubkeys(kUninstallKey, access,
                  [&](const os::RegKey& subkey, const std::string&, const std::string& subkeyPath,
                      const os::RegKey&) {
                    found = ComodoRow(rc, subkey, subkeyPath);
                    return !found;
                  });
      if (found) return true;
    }
    WriteLog(rc, "MSG : Checking Forcefully.....");
    return FN_existDisplayName(rc, "COMODO");
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : Chk_ComodoInstalled. " + std::to_string(e.number) + " " + e.description);
    return false;
  }
}

bool GetLatestComodoDef(RunContext& rc, const std::string& folder) {
  try {
    WriteLog(rc, "MSG : Searching For Latest Defination... For file starting with name B00");
    std::vector<std::string> names;
    (void)os::ListFiles(folder, &names);  // a folder that cannot be listed has no definition file
    // Newest first; of equal times the one listed later.
    std::string newest;
    int64_t newestTime = 0;
    for (const std::string& name : names) {
      if (!StartsWithNoCase(name, "B00")) continue;
      int64_t time = 0;
      if (os::GetFileLastWriteTime(folder + name, &time) != 0) continue;
      if (newest.empty() || time >= newestTime) {
        newest = name;
        newestTime = time;
      }
    }
    // Characters 4 to 8 of the name are the version; a name without five
    // digits there names none.
    const std::string definition = newest.size() >= 8 ? newest.substr(3, 5) : std::string();
    if (!IsDigits(definition)) {
      WriteLog(rc, "MSG : Current Comodo Defination Not Found in..." + folder);
      return false;
    }
    rc.ComodoDefinition = definition;
    WriteLog(rc, "MSG : Current Comodo Defination Version Is : " + definition);
    rc.ProductFound = true;
    rc.DefVersionBefore = definition;
    return true;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : In GetLatestComodoDef " + std::to_string(e.number) + "  " + e.description);
    return false;
  }
}

void Comodo_Detail(RunContext& rc) {
  try {
    rc.ComodoScannerFolder.clear();
    rc.ComodoDefinition.clear();
    if (!Chk_ComodoInstalled(rc)) {
      WriteLog(rc, "MSG : Comodo is not installed.");
      return;
    }
    if (!GetLatestComodoDef(rc, rc.ComodoScannerFolder)) return;
    std::string beforeLast, afterLast;
    fncsetLogFile_New(rc, rc.ComodoProductName, rc.DefVersionBefore, beforeLast, rc.DefVersionBefore,
                      afterLast, rc.ScanEngineVersion, "0");
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : in sub Comodo_Detail : " + std::to_string(e.number) + " " + e.description);
  }
}
