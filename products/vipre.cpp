// VIPRE: found in the uninstall list by product name; the definition comes
// from the agent's Definitions\DefVer.txt or, failing that, from
// SBAMCommandLineScanner.exe run through cmd.exe into a text file.
#include "base/error.h"
#include "base/text.h"
#include "platform/commandline.h"
#include "platform/log.h"
#include "platform/process.h"
#include "platform/regfiles.h"
#include "products/detection.h"
#include "products/file_text.h"
#include "products/products.h"
#include "products/record.h"
#include "products/tool_readers.h"

namespace {

constexpr uint32_t kScannerTimeoutMs = 300000;
constexpr uint32_t kSplEntries = 500;

std::string Num(long n) { return std::to_string(n); }

const char* const kProducts[] = {"Sunbelt Enterprise Agent", "VIPRE Antivirus + Antispyware", "VIPRE Antivirus",
                                 "GFI Business Agent",       "VIPRE Business Agent",          "VIPRE Internet Security",
                                 "VIPRE ENTERPRISE",         "Managed Antivirus",             "VIPRE Business Online"};

struct TypeRow {
  const char* name;
  bool contains;  // else: equals
  const char* type;
  const char* key;
};
const TypeRow kTypes[] = {
    {"Sunbelt Enterprise Agent", true, "VIPRE ENTERPRISE", "software\\sunbelt software\\Sunbelt Enterprise Agent"},
    {"VIPRE ENTERPRISE", true, "VIPRE ENTERPRISE", "software\\sunbelt software\\Sunbelt Enterprise Agent"},
    {"VIPRE Antivirus + Antispyware", true, "VIPRE DESKTOP", "SOFTWARE\\Sunbelt software\\VIPRE Antivirus + Antispyware"},
    {"VIPRE Antivirus", false, "VIPRE ANTIVIRUS", "SOFTWARE\\Sunbelt software\\VIPRE Antivirus"},
    {"VIPRE Antivirus Premium", false, "VIPRE ANTIVIRUS PREMIUM", "SOFTWARE\\Sunbelt software\\VIPRE Antivirus Premium"},
    {"GFI Business Agent", false, "VIPRE 5 BUSINESS", "SOFTWARE\\GFI Software\\GFI Business Agent"},
    {"VIPRE Business Agent", false, "VIPRE BUSINESS", "SOFTWARE\\VIPRE Business Agent"},
    {"Vipre Internet security", false, "VIPRE INTERNET SECURITY", "SOFTWARE\\GFI Software\\VIPRE Internet Security"},
    {"Managed Antivirus", false, "Managed Antivirus", "SOFTWARE\\Managed Antivirus\\Managed Antivirus"},
    {"VIPRE Business Online", false, "VIPRE Business Online", "SOFTWARE\\GFI Software\\VIPRE Business Online"},
};

const TypeRow* RowOf(const std::string& displayName) {
  const std::string name = ToUpper(TrimSpaces(displayName));
  for (const TypeRow& row : kTypes) {
    const std::string wanted = ToUpper(row.name);
    if (row.contains ? name.find(wanted) != std::string::npos : name == wanted) return &row;
  }
  return nullptr;
}

// Takes a qualifying display name: logs it and sets the type.
bool Take(RunContext& rc, const std::string& name, bool log32) {
  if (!IsVipreProduct(name)) return false;
  WriteLog(rc, "MSG : Vipre Product : '" + name + "' is installed.");
  rc.VipreType = VipreTypeOf(name);
  if (log32) WriteLog(rc, "MSG : VIPRE TYPE :: " + rc.VipreType);
  return true;
}

// The plain walk stops at the first subkey that fails; the _SPL walk looks at
// indexes 0 to 499 whatever fails.
bool Walk(RunContext& rc, uint32_t access, bool spl, const char* errorPrefix) {
  try {
    const bool log32 = (access & os::kKeyWow64_64Key) == 0;
    if (!spl) {
      bool found = false;
      const long err = WalkSubkeys(kUninstallKey, access,
                                   [&](const os::RegKey& subkey, const std::string&, const std::string&,
                                       const os::RegKey&) {
                                     found = Take(rc, TrimSpaces(ReadRegString(subkey, "DisplayName")), log32);
                                     return !found;
                                   });
      if (err != 0) LogKeyOpenFailure(rc, err, kUninstallKey, OpenFailureDetail::kSystemText);
      return found;
    }
    os::RegKey parent;
    const long err = os::RegOpenKeyEx(kUninstallKey, access, &parent);
    if (err != 0) {
      LogKeyOpenFailure(rc, err, kUninstallKey, OpenFailureDetail::kSystemText);
      return false;
    }
    for (uint32_t index = 0; index < kSplEntries; ++index) {
      std::string name;
      if (os::RegEnumKey(parent, index, 255, &name) != 0) continue;
      os::RegKey subkey;
      if (os::RegOpenKeyEx(std::string(kUninstallKey) + "\\" + TrimAtNull(name), access, &subkey) != 0) continue;
      if (Take(rc, TrimSpaces(ReadRegString(subkey, "DisplayName")), log32)) return true;
    }
    return false;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, errorPrefix + Num(e.number) + " " + e.description);
    return false;
  }
}

bool Detect(RunContext& rc, uint32_t* access) {
  rc.VipreType.clear();
  *access = os::kKeyRead;
  if (Walk(rc, os::kKeyRead, false, "ERR : fncCheckForVipreAntivirus ") ||
      Walk(rc, os::kKeyRead, true, "ERR : fncCheckForVipreAntivirus_SPL "))
    return true;
  if (!rc.Is64BitOs) return false;
  *access = os::kKeyRead | os::kKeyWow64_64Key;
  return Walk(rc, *access, false, "ERR : fncCheckFor64VipreAntivirus ") ||
         Walk(rc, *access, true, "ERR : fncCheckFor64VipreAntivirus_SPL ");
}

bool fncGetVipreInstallPath(RunContext& rc, uint32_t access) {
  try {
    const TypeRow* row = nullptr;
    for (const TypeRow& r : kTypes)
      if (rc.VipreType == r.type) row = &r;
    std::string keyPath = row->key;
    const char* valueName = "InstallPath";
    WriteLog(rc, "MSG : Opening Registry key " + keyPath);
    os::RegKey key;
    long err = os::RegOpenKeyEx(keyPath, access, &key);
    if (err == os::kErrorFileNotFound) {
      WriteLog(rc, "ERR : Unable to locate VIPRE registry entries, checking for SOFTWARE\\SBAMSvc");
      keyPath = "SOFTWARE\\SBAMSvc";
      valueName = "INSTALLDIR";
      err = os::RegOpenKeyEx(keyPath, access, &key);
    }
    if (err != 0) {
      WriteLog(rc, "ERR : Unable to open VIPRE registry entries");
      return false;
    }
    const std::string path = CheckedPath(TrimSpaces(ReadRegString(key, valueName)));
    WriteLog(rc, "MSG : Vipre Installation path : " + path);
    if (path.empty()) return false;
    rc.VipreInstallPath = WithBackslash(GetShortpath(rc, WithBackslash(path)));
    WriteLog(rc, "MSG : Vipre Installation path :: " + rc.VipreInstallPath);
    rc.VipreEngineVersion = CheckedDefinition(TrimSpaces(ReadRegString(key, "Version")));
    if (!rc.VipreEngineVersion.empty()) {
      WriteLog(rc, "MSG : Vipre ScanEngine :: " + rc.VipreEngineVersion);
    } else if (const std::string dll = rc.VipreInstallPath + "SBTE.dll"; os::FileExists(dll)) {
      rc.VipreEngineVersion = os::GetFileVersion(dll);
      WriteLog(rc, "MSG : Version for " + dll + " :: " + rc.VipreEngineVersion);
    } else {
      WriteLog(rc, "ERR : File not found " + dll);
    }
    return true;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : in fncGetVipreInstallPath, " + Num(e.number) + " " + e.description);
    return false;
  }
}

// The agent's definition in folder\Definitions\DefVer.txt, or empty.
std::string FN_Get_Vipre5_defn(RunContext& rc, const std::string& folder) {
  const std::string path = folder + "Definitions\\DefVer.txt";
  try {
    if (!os::FileExists(path)) {
      WriteLog(rc, "ERR : File not found " + path);
      return {};
    }
    WriteLog(rc, "MSG : Reading " + path);
    std::string contents;
    if (const long err = os::ReadWholeFile(path, &contents); err != 0) throw FileSystemError(err);
    if (contents.empty()) {
      WriteLog(rc, "ERR : No contents found in " + path);
      return {};
    }
    WriteLog(rc, "MSG : Contents in defver.txt :: " + LogExcerpt(TrimBlanks(contents)));
    const std::string definition = CheckedDefinition(TrimSpaces(VipreDefverDefinition(contents)));
    if (definition.empty() || LeadingNumberIsZero(definition)) {
      WriteLog(rc, "ERR : Failed to get the Vipre Agnet Definition from defver.txt");
      return {};
    }
    WriteLog(rc, "MSG : Agent Vipre Definition in " + folder + " :: " + definition);
    return definition;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "Err: Error in FN_Get_Vipre5_defn:" + Num(e.number) + " " + e.description);
    return {};
  }
}

std::string FromScanner(RunContext& rc) {
  const std::string scanner = rc.VipreInstallPath + "SBAMCommandLineScanner.exe";
  const std::string output = rc.AppFolder + "\\VipreDefVer.txt";
  std::string quotedScanner;
  if (!QuoteArgument(rc, scanner, QuoteFor::kCmdLine, "the VIPRE scanner", &quotedScanner)) return {};
  if (const std::string reason = UnquotableReason(output, QuoteFor::kCmdLine); !reason.empty()) {
    WriteLog(rc, "ERR : Refused to run the VIPRE scanner: " + output + " " + reason);
    return {};
  }
  const std::string command = CmdCommandLine(quotedScanner + " /displaylocaldefversion > \"" + output + "\"");
  RemoveStaleOutput(rc, output);
  if (!fncExecuteShell(rc, command, kScannerTimeoutMs)) {
    WriteLog(rc, "ERR : Failed to execute " + command);
    return {};
  }
  WriteLog(rc, "MSG : Successfully executed " + command);
  os::Sleep(5000);
  if (!os::FileExists(output)) {
    WriteLog(rc, "ERR : Failed to create the " + output + ".");
    return {};
  }
  std::string contents;
  (void)os::ReadWholeFile(output, &contents);  // an unreadable output reads as empty
  (void)os::DeleteFile(output);
  WriteLog(rc, "MSG : Contents in VipreDefVer.txt :: " + LogExcerpt(TrimBlanks(contents)));
  if (TrimBlanks(contents).empty()) {
    WriteLog(rc, "ERR : No contents found in " + output);
    return {};
  }
  const std::string definition = CheckedDefinition(TrimBlanks(contents));
  if (definition.empty()) {
    WriteLog(rc, "ERR : Failed to get the Vipre Agent Definition");
    return {};
  }
  WriteLog(rc, "MSG : Agnet Vipre Definition :: " + definition);
  return definition;
}

bool fncGetVipreDefinition(RunContext& rc) {
  try {
    rc.VipreDefVersion.clear();
    std::string upgraded;
    if (rc.VipreType == "VIPRE 5 BUSINESS") {
      std::string programFiles;
      (void)os::GetEnvironmentVariable("Programfiles", &programFiles);
      const std::string agent = programFiles + "\\Sunbelt Software\\SBEAgent\\";
      if (!programFiles.empty() && os::FileExists(agent + "Definitions\\DefVer.txt")) {
        WriteLog(rc, "Vipre 5 Upgraded product");
        upgraded = FN_Get_Vipre5_defn(rc, agent);
      }
    }
    std::string installed;
    if (os::FileExists(rc.VipreInstallPath + "Definitions\\DefVer.txt")) {
      installed = FN_Get_Vipre5_defn(rc, rc.VipreInstallPath);
    } else {
      WriteLog(rc, "ERR : File not found " + rc.VipreInstallPath + "Definitions\\DefVer.txt");
    }
    if (!upgraded.empty() && !installed.empty()) {
      WriteLog(rc, "MSG: Comparing Definitions : " + upgraded + " and " + installed);
      rc.VipreDefVersion = CompareLeadingNumbers(upgraded, installed) > 0 ? upgraded : installed;
    } else {
      rc.VipreDefVersion = upgraded.empty() ? installed : upgraded;
    }
    if (rc.VipreDefVersion.empty() && os::FileExists(rc.VipreInstallPath + "SBAMCommandLineScanner.exe"))
      rc.VipreDefVersion = FromScanner(rc);
    return !rc.VipreDefVersion.empty();
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : in fncGetVipreDefinition, " + Num(e.number) + " " + e.description);
    return false;
  }
}

// Detection, install path and definition; *detected tells whether a product was found.
bool ReadVipre(RunContext& rc, bool* detected) {
  uint32_t access = os::kKeyRead;
  *detected = Detect(rc, &access);
  if (!*detected) return false;
  if (rc.VipreType.empty()) {
    WriteLog(rc, "MSG : Vipre Anti-Virus not found.");
    return false;
  }
  const bool path = fncGetVipreInstallPath(rc, access);
  const bool definition = path && fncGetVipreDefinition(rc);
  return path && definition;
}

}  // namespace

std::string VipreDefverDefinition(const std::string& contents) {
  if (const size_t comma = contents.find(','); comma != std::string::npos) return contents.substr(0, comma);
  if (const size_t dash = contents.find('-'); dash != std::string::npos) return contents.substr(0, dash);
  return {};
}

std::string VipreTypeOf(const std::string& displayName) {
  const TypeRow* row = RowOf(displayName);
  return row == nullptr ? std::string() : row->type;
}

bool IsVipreProduct(const std::string& displayName) {
  const std::string name = ToUpper(displayName);
  if (TrimSpaces(name).empty()) return false;
  for (const char* product : kProducts)
    if (name.find(ToUpper(product)) != std::string::npos) return true;
  return false;
}

bool GetVIPREVirusDef(RunContext& rc) {
  try {
    bool detected = false;
    return ReadVipre(rc, &detected);
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : in fncVIPRE, " + Num(e.number) + " " + e.description);
    return false;
  }
}

void fncVIPRE(RunContext& rc) {
  try {
    WriteLog(rc, "MSG : in fncVIPRE..");
    bool detected = false;
    const bool read = ReadVipre(rc, &detected);
    if (!detected) {
      WriteLog(rc, "MSG : Vipre Anti-Virus not found in unsinstallation");
      return;
    }
    rc.ProductFound = true;
    if (!read) return;
    const std::string category = EqualsNoCase(rc.VipreType, "Managed Antivirus") ? "GFI MAX Managed Antivirus" : "VIPRE";
    WriteRecord(rc, category, rc.VipreDefVersion, "", rc.VipreDefVersion, "", rc.VipreEngineVersion, "0");
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : in fncVIPRE, " + Num(e.number) + " " + e.description);
  }
}
