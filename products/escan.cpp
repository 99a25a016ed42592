// eScan: found by its uninstall entry; the definition is the Version line of
// the update plug-in's Update.txt, digits run together.
#include <initializer_list>

#include "base/error.h"
#include "base/text.h"
#include "platform/log.h"
#include "platform/regfiles.h"
#include "products/detection.h"
#include "products/file_readers.h"
#include "products/file_text.h"
#include "products/products.h"

namespace {

std::string SystemDrive() {
  std::string drive;
  if (!os::GetEnvironmentVariable("Systemdrive", &drive)) return {};
  return CheckedPath(TrimAtNull(drive));
}

}  // namespace

bool FN_Escan_product(RunContext& rc) {
  return SearchUninstallList(
      rc, {"MSG : Executing Function FN_Escan_product..",
           "MSG : Searching for EScan Anti-virus in registry key :: ", os::kKeyRead,
           OpenFailureDetail::kSystemText, "ERR : function FN_Escan_product. ",
           [&](const std::string& name) {
             for (const char* product :
                  {"eScan Anti-Virus", "eScan Corporate for Windows", "eScan Internet Security for SMB",
                   "eScan Internet Security for Windows", "eScan Anti-Virus (AV) Edition for SMB"}) {
               if (!ContainsNoCase(name, product)) continue;
               WriteLog(rc, "MSG : EScan Product : '" + name + "' is installed.");
               return true;
             }
             return false;
           }});
}

bool GetEScanVirusDef(RunContext& rc) {
  try {
    WriteLog(rc, "MSG : In GetEScanVirusDef...");
    const std::string drive = SystemDrive();
    std::string file = GetShortpath(
        rc, drive + "\\Documents and Settings\\All Users\\Application Data\\MicroWorld\\eScanBD\\plugins\\Update.txt");
    if (!os::FileExists(file))
      file = GetShortpath(rc, drive + "\\ProgramData\\MicroWorld\\eScanBD\\plugins\\update.txt");
    if (!os::FileExists(file)) {
      WriteLog(rc, "Err: Update.txt not found.");
      return false;
    }
    rc.EScanDefinition.clear();
    for (const std::string& line : ReadTextLines(file)) {
      if (line.find("Version:") == std::string::npos) continue;
      rc.EScanDefinition =
          CheckedDefinition(TrimSpaces(ReplaceAll(ReplaceAll(line, ".", ""), "Version:", "")));
      break;
    }
    WriteLog(rc, "MSG : EScan agent definition : " + rc.EScanDefinition);
    // A file without a usable version line is reported as a failed read.
    rc.DefVersionBefore = rc.EScanDefinition;
    return true;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : SB_ReadKasperskyDefn " + std::to_string(e.number) + " " + e.description);
    return false;
  }
}

void EScanServer_Details(RunContext& rc) {
  RunRegistryFamily(rc, {"EScanServer_Details", FN_Escan_product, GetEScanVirusDef,
                         "MSG : No EScan product is installed.", "EScan",
                         "Failed to read EScan AV Definition."});
}
