#include "products/uninstall_rows.h"

#include <initializer_list>

#include "base/error.h"
#include "base/text.h"
#include "platform/log.h"
#include "platform/regfiles.h"
#include "products/detection.h"
#include "products/file_text.h"

namespace {

std::string Num(long n) { return std::to_string(n); }

}  // namespace

namespace {

// What one row of the uninstall table does with a subkey.
enum class RowOutcome { kNoMatch, kFound, kFoundButFailed };

void LogInstalled(RunContext& rc, const std::string& value) {
  WriteLog(rc, "MSG : '" + value + "' is installed.");
}

RowOutcome DisplayNameRow(RunContext& rc, const os::RegKey& subkey,
                          std::initializer_list<std::string_view> needles) {
  const std::string name = TrimSpaces(ReadRegString(subkey, "DisplayName"));
  if (name.empty() || !ContainsAny(name, needles)) return RowOutcome::kNoMatch;
  LogInstalled(rc, name);
  return RowOutcome::kFound;
}

RowOutcome KasperskyRow(RunContext& rc, const os::RegKey& subkey) {
  if (DisplayNameRow(rc, subkey, {"Kaspersky Small Office Security 3"}) == RowOutcome::kNoMatch)
    return RowOutcome::kNoMatch;
  const std::string dataRoot = ExpandEnvPath(rc, "%ALLUSERSPROFILE%");
  if (dataRoot.empty()) return RowOutcome::kNoMatch;
  rc.KasperskyDefPath = os::FolderExists(dataRoot)
                            ? GetShortpath(rc, dataRoot + "\\Kaspersky Lab\\KSOS13\\Data\\u0607g.xml")
                            : std::string();
  WriteLog(rc, "MSG : Kaspersky definition short path is : " + rc.KasperskyDefPath);
  return RowOutcome::kFound;
}

RowOutcome WebrootRow(RunContext& rc, const os::RegKey& subkey, const os::RegKey& parent) {
  const std::string sku = TrimSpaces(ReadRegString(subkey, "SKU"));
  if (sku.empty() || !ContainsNoCase(sku, "Webroot SecureAnywhere Endpoint Protection"))
    return RowOutcome::kNoMatch;
  rc.WebrootProductName = sku;
  LogInstalled(rc, sku);
  const char* kSeparator = "-------------------------------------";
  WriteLog(rc, kSeparator);
  rc.WebrootDefinition = ReadRegString(subkey, "version");
  WriteLog(rc, "MSG : Webroot Version >>" + rc.WebrootDefinition);
  rc.WebrootEngine = ReadRegString(parent, "HPL");
  WriteLog(rc, "MSG : HPL >>" + rc.WebrootEngine);
  const std::string instance = ReadRegString(subkey, "InstanceMID");
  WriteLog(rc, "MSG : InstanceMID >>" + instance);
  const std::string device = ReadRegString(subkey, "DeviceMID");
  WriteLog(rc, "MSG : DeviceMID >>" + device);
  rc.WebrootLastDefinition = instance + ":::" + device;
  WriteLog(rc, "MSG : InstanceMID:::DeviceMID >>" + rc.WebrootLastDefinition);
  WriteLog(rc, kSeparator);
  return RowOutcome::kFound;
}

RowOutcome AviraRow(RunContext& rc, const os::RegKey& subkey, const std::string& subkeyName,
                    const std::string& subkeyPath) {
  const std::string name = TrimSpaces(ReadRegString(subkey, "DisplayName"));
  if (name.empty()) return RowOutcome::kNoMatch;
  const std::string upper = ToUpper(name);
  const bool matched = upper.find("AVIRA") != std::string::npos ||
                       (upper.find("ANTIVIRUS PRO") != std::string::npos &&
                        subkeyName == "Avira AntiVir Desktop");
  if (!matched) return RowOutcome::kNoMatch;
  LogInstalled(rc, name);
  std::string location = TrimSpaces(ReadRegString(subkey, "InstallLocation"));
  if (location.empty()) {
    WriteLog(rc, "MSG : ValueName \"" + subkeyPath + "\\InstallLocation\" not found.");
    return RowOutcome::kFoundButFailed;
  }
  location = ReplaceAll(location, "\"", "");
  WriteLog(rc, "MSG : Avira installation path is " + location);
  rc.AviraFolder = GetShortpath(rc, WithBackslash(location));
  WriteLog(rc, "MSG : Avira Installation short path is : " + rc.AviraFolder);
  return RowOutcome::kFound;
}

}  // namespace

bool ChkUnInstallRegistry(RunContext& rc, const std::string& keyPath, uint32_t access,
                          const std::string& productName) {
  try {
    RowOutcome outcome = RowOutcome::kNoMatch;
    auto row = [&](const os::RegKey& subkey, const std::string& subkeyName,
                   const std::string& subkeyPath, const os::RegKey& parent) {
      if (productName == "BluePoint") return DisplayNameRow(rc, subkey, {"BluePoint Security"});
      if (productName == "BullGuard")
        return DisplayNameRow(rc, subkey,
                              {"BullGuard Internet Security", "BullGuard Antivirus",
                               "BullGuard Premium Protection"});
      if (productName == "Kaspersky") return KasperskyRow(rc, subkey);
      if (productName == "Webroot") return WebrootRow(rc, subkey, parent);
      if (productName == "PCMatic") return DisplayNameRow(rc, subkey, {"PC Matic"});
      if (ToUpper(productName) == "AVIRA") return AviraRow(rc, subkey, subkeyName, subkeyPath);
      return RowOutcome::kNoMatch;
    };
    long err = WalkSubkeys(keyPath, access,
                           [&](const os::RegKey& subkey, const std::string& subkeyName,
                               const std::string& subkeyPath, const os::RegKey& parent) {
                             outcome = row(subkey, subkeyName, subkeyPath, parent);
                             return outcome == RowOutcome::kNoMatch;
                           });
    if (err != 0) {
      LogKeyOpenFailure(rc, err, keyPath, OpenFailureDetail::kSystemText);
      return false;
    }
    return outcome == RowOutcome::kFound;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, "ERR : in Function ChkUnInstallRegistry : " + Num(e.number) + " " + e.description);
    return false;
  }
}

namespace {

bool ProductCheck(RunContext& rc, const char* checkName, const char* productWord,
                  const std::string& keyPath, const std::string& productName) {
  try {
    WriteLog(rc, std::string("MSG : Searching for ") + productWord +
                     " Product in registry key :: " + keyPath);
    return ChkUnInstallRegistry(rc, keyPath, os::kKeyAllAccess, productName) ||
           ChkUnInstallRegistry(rc, keyPath, os::kKeyAllAccess | os::kKeyWow64_64Key, productName);
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, std::string("ERR : in Function ") + checkName + " : " + Num(e.number) + " " +
                     e.description);
    return false;
  }
}

}  // namespace

bool ChkKasperskyInstalled(RunContext& rc) {
  return ProductCheck(rc, "ChkKasperskyInstalled", "Kaspersky", kUninstallKey, "Kaspersky");
}
bool ChkAviraInstalled(RunContext& rc) {
  return ProductCheck(rc, "ChkAviraInstalled", "Avira", kUninstallKey, "AVIRA");
}
bool ChkBluePointInstalled(RunContext& rc) {
  return ProductCheck(rc, "ChkBluePointInstalled", "BluePoint", kUninstallKey, "BluePoint");
}
bool ChkWebRootInstalled(RunContext& rc) {
  return ProductCheck(rc, "ChkWebRootInstalled", "WebRoot", "SOFTWARE\\WRData", "Webroot");
}
bool ChkPCMaticInstalled(RunContext& rc) {
  return ProductCheck(rc, "ChkPCMaticInstalled", "PCMatic", kUninstallKey, "PCMatic");
}
bool ChkBullGuardInstalled(RunContext& rc) {
  return ProductCheck(rc, "ChkBullGuardInstalled", "BullGuard", kUninstallKey, "BullGuard");
}

bool ComodoRow(RunContext& rc, const os::RegKey& subkey, const std::string& subkeyPath) {
  const std::string name = TrimSpaces(ReadRegString(subkey, "DisplayName"));
  if (ToUpper(name.substr(0, 6)) != "COMODO") return false;
  rc.ComodoProductName = "COMODO";
  WriteLog(rc, "MSG : Found Comodo Product in registry key :: " + subkeyPath);
  WriteLog(rc, "MSG :  " + name + " is installed.");
  const std::string icon = CheckedPath(ReadRegString(subkey, "DisplayIcon"));
  rc.ComodoScannerFolder = icon.substr(0, 23) + "\\COMODO Internet Security\\scanners\\";
  WriteLog(rc, "MSG : " + name + " is installed at " + rc.ComodoScannerFolder);
  return true;
}

bool FN_existDisplayName(RunContext& rc, const std::string& displayName) {
  bool result = false;
  try {
    WriteLog(rc, "MSG : In FN_existDisplayName");
    WriteLog(rc, "MSG : Searching DisplayName in registry : " + displayName);
    for (uint32_t access : {os::kKeyRead, os::kKeyAllAccess | os::kKeyWow64_64Key}) {
      bool found = false;
      long err = WalkSubkeys(kUninstallKey, access,
                             [&](const os::RegKey& subkey, const std::string&,
                                 const std::string& subkeyPath, const os::RegKey&) {
                               found = ComodoRow(rc, subkey, subkeyPath);
                               if (found) result = true;
                               return !found;
                             });
      if (err != 0) LogKeyOpenFailure(rc, err, kUninstallKey, OpenFailureDetail::kSystemText);
      if (!found) WriteLog(rc, "MSG : DisplayName '" + displayName + "' not found in registry");
    }
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, "ERR : FN_existDisplayName. " + Num(e.number) + " " + e.description);
  }
  return result;
}
