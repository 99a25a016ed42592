// Immunet: found by its uninstall entry in the 64-bit list; the definition is
// the database version in the ClamAV engine's lastupd file.
#include "base/error.h"
#include "base/text.h"
#include "platform/log.h"
#include "platform/regfiles.h"
#include "products/detection.h"
#include "products/file_readers.h"
#include "products/file_text.h"
#include "products/products.h"

bool FN_Immunet_product(RunContext& rc) {
  UninstallSearch search{"MSG : Executing Function FN_Immunet_product..",
                         "MSG : Searching for Immunet Anti-virus in registry key :: ",
                         os::kKeyRead | os::kKeyWow64_64Key, OpenFailureDetail::kNumber,
                         "ERR : function FN_Immunet_product. ", [&](const std::string& name) {
                           if (!ContainsNoCase(name, "Immunet")) return false;
                           WriteLog(rc, "MSG : Immunet is installed.");
                           return true;
                         }};
  search.onFound = [&](const os::RegKey& subkey) {
    const std::string uninstall =
        CheckedPath(ReplaceAll(TrimSpaces(ReadRegString(subkey, "UninstallString")), "\"", ""));
    if (uninstall.empty()) {
      WriteLog(rc, "MSG : Path of Lastupdate File is not getting.");
      return;
    }
    rc.ImmunetPath = uninstall.substr(0, uninstall.find("Immunet")) + "Immunet\\clamav\\";
    WriteLog(rc, "MSG : Path of Lastupdate File is " + rc.ImmunetPath);
  };
  return SearchUninstallList(rc, search);
}

bool GetImmunetVirusDef(RunContext& rc) {
  try {
    WriteLog(rc, "MSG : In GetImmunetVirusDef...");
    const std::string file = GetShortpath(rc, rc.ImmunetPath + "lastupd");
    if (rc.ImmunetPath.empty() || !os::FileExists(file)) {
      WriteLog(rc, "MSG : last update file is not found ");
      return false;
    }
    const std::vector<std::string> lines = ReadTextLines(file);
    rc.DefVersionBefore.clear();
    if (lines.empty()) {
      // An empty file is a failed read, not an absent product.
      WriteLog(rc, "MSG : No contents in Last update file");
      return true;
    }
    std::string value;
    for (const std::string& line : lines) {
      if (!ContainsNoCase(line, "Database version:")) continue;
      const std::string rest = RemoveNoCase(line, "Database version:");
      // A line without the "/" and date keeps its whole remainder.
      value = CheckedDefinition(TrimSpaces(rest.substr(0, rest.find('/'))));
      break;
    }
    WriteLog(rc, "MSG : Immunet Virus Definition : " + value);
    rc.DefVersionBefore = value;
    return true;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : GetImmunetVirusDef " + std::to_string(e.number) + " " + e.description);
    return false;
  }
}

void ImmunetServer_Details(RunContext& rc) {
  RunRegistryFamily(rc, {"ImmunetServer_Details", FN_Immunet_product, GetImmunetVirusDef,
                         "MSG : No Immunet product is installed.", "IMMUNET",
                         "Failed to read IMMUNET AV Definition."});
}
