// Avast: found by its uninstall subkey name; the definition is named in
// defs\aswdefs.ini, or failing that in Setup\setup.ini.
#include "base/error.h"
#include "base/text.h"
#include "platform/log.h"
#include "platform/regfiles.h"
#include "products/detection.h"
#include "products/file_readers.h"
#include "products/file_text.h"
#include "products/products.h"
#include "products/record.h"

bool fncGetPathAvast(RunContext& rc) {
  try {
    WriteLog(rc, "MSG : Executing fncGetPathAvast..");
    WriteLog(rc, std::string("MSG : Searching for Avast Anti-virus in registry key :: ") + kUninstallKey);
    os::RegKey parent;
    if (const long err = os::RegOpenKeyEx(kUninstallKey, os::kKeyRead, &parent); err != 0) {
      LogKeyOpenFailure(rc, err, kUninstallKey, OpenFailureDetail::kSystemText);
      return false;
    }
    for (uint32_t index = 0;; ++index) {
      std::string name;
      if (os::RegEnumKey(parent, index, 255, &name) != 0) return false;
      const std::string upper = ToUpper(name);
      if (upper.rfind("AVAST", 0) != 0 || upper == "AVAST!MGM") continue;
      WriteLog(rc, "MSG : " + name + " installed.");
      const std::string subkeyPath = std::string(kUninstallKey) + "\\" + name;
      os::RegKey subkey;
      if (os::RegOpenKeyEx(subkeyPath, os::kKeyRead, &subkey) != 0) return false;
      std::string location = CheckedPath(TrimSpaces(ReadRegString(subkey, "InstallLocation")));
      if (location.empty()) {
        WriteLog(rc, "MSG : ValueName \"" + subkeyPath + "\\InstallLocation\" not found.");
        return false;
      }
      location = ReplaceAll(location, "\"", "");
      WriteLog(rc, "MSG : Avast installation path is " + location);
      rc.AvastFolder = GetShortpath(rc, WithBackslash(location));
      WriteLog(rc, "MSG : Avast Installation short path is : " + rc.AvastFolder);
      return true;
    }
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : fncGetPathAvast. " + std::to_string(e.number) + " " + e.description);
    return false;
  }
}

void ReadAvastIni(RunContext& rc, const std::string& kind) {
  const std::string& path = rc.AvastIniPath;
  rc.AvastDefinition.clear();
  if (!os::FileExists(path)) {
    WriteLog(rc, "ERR : File not found :: " + path);
    rc.StatusDescription += "Avast " + kind + " is missing.";
    return;
  }
  WriteLog(rc, "MSG : Reading File " + path);
  // An absent key reads as empty, so that the next source is tried rather
  // than a made-up "0" reported as the definition.
  std::string value;
  if (kind == "SETUP.INI") {
    (void)os::GetPrivateProfileString("PartsLatest", "part.vps", "", 50, path, &value);
    value = TrimSpaces(TrimAtNull(value));
    const size_t dash = value.find('-');
    if (dash != std::string::npos) value = value.substr(dash + 1);
  } else {
    (void)os::GetPrivateProfileString("Definitions", "Latest", "", 50, path, &value);
    value = TrimSpaces(TrimAtNull(value));
  }
  rc.AvastDefinition = CheckedDefinition(value);
  WriteLog(rc, "MSG : Avast Virus Definition :: " + rc.AvastDefinition);
}

void fncAvast(RunContext& rc) {
  try {
    WriteLog(rc, "MSG : in fncAvast");
    if (!fncGetPathAvast(rc)) {
      WriteLog(rc, "MSG : Avast not installed");
      return;
    }
    rc.AvastIniPath = rc.AvastFolder + "defs\\aswdefs.ini";
    ReadAvastIni(rc, "ASWDEFS.INI");
    if (TrimSpaces(rc.AvastDefinition).empty()) {
      WriteLog(rc, "MSG : " + rc.AvastIniPath + " not found");
      rc.AvastIniPath = rc.AvastFolder + "Setup\\setup.ini";
      WriteLog(rc, "MSG : Attempting to read defnition from " + rc.AvastIniPath);
      ReadAvastIni(rc, "SETUP.INI");
    }
    if (!rc.AvastDefinition.empty()) {
      rc.ProductFound = true;
      WriteRecord(rc, "Avast", "", "", rc.AvastDefinition, "", "", "0");
    } else if (os::FileExists(rc.AvastIniPath)) {
      rc.StatusDescription += "Failed to get the virus definition for Avast.";
    }
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : fncAvast : " + std::to_string(e.number) + e.description);
  }
}
