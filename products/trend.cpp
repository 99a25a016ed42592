// Trend Micro: OfficeScan, the PC-cillin / Internet Security line, Worry-Free
// Business Security, Internet Security 17, Titanium and Deep Security Agent.
// Each keeps its folder and its virus-pattern number somewhere else.
#include "products/trend.h"

#include "base/error.h"
#include "base/text.h"
#include "platform/log.h"
#include "platform/regfiles.h"
#include "products/file_text.h"
#include "products/products.h"
#include "products/record.h"

namespace {

constexpr const char* kOfficeScanKey = "SOFTWARE\\TrendMicro\\PC-cillinNTCorp\\CurrentVersion";
constexpr const char* kPcCillinKey = "SOFTWARE\\TrendMicro\\PC-cillin";
constexpr const char* kWofieKey = "SOFTWARE\\TrendMicro\\Wofie\\CurrentVersion";
constexpr const char* kTitaniumKey = "SOFTWARE\\TrendMicro\\UniClient\\1700\\Misc";
constexpr const char* kDeepSecurityKey = "SOFTWARE\\TrendMicro\\Deep Security Agent";
constexpr const char* kMiscKey = "SOFTWARE\\TrendMicro\\PC-cillinNTCorp\\CurrentVersion\\Misc.";
constexpr const char* kIS16PatternKey = "SOFTWARE\\TrendMicro\\PC-cillin\\16\\Component\\Pattern\\0x00000004";
constexpr const char* kIS17PatternKey = "SOFTWARE\\TrendMicro\\PC-cillin\\17\\Component\\Pattern\\0x00000004";
constexpr const char* kScanTypeKey = "SOFTWARE\\TrendMicro\\UniClient\\1600\\Scan\\iCRC";
constexpr const char* kComponentKey = "SOFTWARE\\TrendMicro\\UniClient\\1600\\Component";
constexpr const char* kAmspKey = "SOFTWARE\\TrendMicro\\AMSP";

std::string Num(long n) { return std::to_string(n); }
std::string ErrText(RunContext& rc, long err) { return fncFormatMessage(rc, static_cast<uint32_t>(err)); }

uint32_t Access(bool is64) { return is64 ? os::kKeyRead | os::kKeyWow64_64Key : os::kKeyRead; }

std::string ReadPath(RunContext& rc, const os::RegKey& key, const char* name) {
  return CheckedPath(GetRegValue(rc, key, name, os::kRegSz));
}

std::string Text(RunContext& rc, const os::RegKey& key, const char* name) {
  return GetRegValue(rc, key, name, os::kRegSz);
}

// ---- Finders ---------------------------------------------------------------

std::string PcCillinPath(RunContext& rc, bool is64) {
  const std::string name = is64 ? "GetPcCillinPath64Bit" : "GetPcCillinPath";
  std::string path;
  try {
    WriteLog(rc, "MSG : Executing Function " + name + "..");
    WriteLog(rc, std::string("MSG : Checking for TrendMicro OfficeScan Registry Key '") + kOfficeScanKey + "'");
    os::RegKey key;
    long err = os::RegOpenKeyEx(kOfficeScanKey, Access(is64), &key);
    if (err == 0) {
      path = ReadPath(rc, key, "Application Path");
      if (!path.empty() || is64)
        WriteLog(rc, "MSG : TrendMicro OfficeScan Installation Path is " + path);
      else
        WriteLog(rc, "MSG : TrendMicro OfficeScan Installation Path not found.");
      return path;
    }
    if (err != os::kErrorFileNotFound) {
      WriteLog(rc, "ERR : Unable to open 'TrendMicro OfficeScan' Installation Path, ErrorCode :" + ErrText(rc, err));
      return path;
    }
    WriteLog(rc, "ERR : Unable to locate PcCillin Installation Path, ErrorCode :" + ErrText(rc, err));
    WriteLog(rc, std::string("MSG : Checking for for TrendMicro Internet Security Registry Key '") + kPcCillinKey + "'");
    err = os::RegOpenKeyEx(kPcCillinKey, Access(is64), &key);
    if (err == 0) {
      const std::string found = ReadPath(rc, key, "Application Path");
      const std::string version = TrimSpaces(Text(rc, key, "VERSION"));
      if (version.substr(0, 2) != "17") {
        WriteLog(rc, "MSG : TrendMicro Internet Security Registry Key Installation Path is " + found);
        rc.TrendInternetSecurityFound = true;
        path = found;
        return path;
      }
      rc.TrendInternetSecurityFound = false;
      WriteLog(rc, "ERR : Can not locate 'TrendMicro Internet Security' , version is 17 or 17 pro");
      return path;
    }
    if (err != os::kErrorFileNotFound) {
      WriteLog(rc, "ERR : Unable to open 'TrendMicro Internet Security' Installation Path, ErrorCode :" +
                       ErrText(rc, err));
      return path;
    }
    WriteLog(rc, "ERR : Unable to locate 'TrendMicro Internet Security' Installation Path, ErrorCode :" +
                     ErrText(rc, err));
    WriteLog(rc, std::string(is64 ? "MSG : Checking for for" : "MSG : Checking for") +
                     " TrendMicro WorryFree Registry Key '" + kWofieKey + "'");
    err = os::RegOpenKeyEx(kWofieKey, Access(is64), &key);
    if (err == 0) {
      path = ReadPath(rc, key, "Application Path");
      WriteLog(rc, "MSG : TrendMicro WorryFree Installation Path is " + path);
      rc.WorryFreeFound = true;
    } else if (err == os::kErrorFileNotFound) {
      WriteLog(rc, "ERR : Unable to locate 'TrendMicro WorryFree' Installation Path, ErrorCode :" + ErrText(rc, err));
    } else {
      WriteLog(rc, "ERR : Unable to open 'TrendMicro WorryFree' Installation Path, ErrorCode :" + ErrText(rc, err));
    }
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : Function " + name + ". ErrDesc - " + Num(e.number) + " " + e.description);
  }
  return path;
}

// The finders that read one folder value from one key.
struct SmallFinder {
  const char* name;
  const char* key;
  const char* value;
  std::string checkingLine;
  const char* isLine;
  const char* locateLine;
  const char* openLine;
  bool internetSecurity17;  // also reads VERSION, which must begin with "17"
};

std::string FindFolder(RunContext& rc, const SmallFinder& f, bool is64) {
  std::string path;
  try {
    WriteLog(rc, std::string("MSG : Executing Function ") + f.name + "..");
    WriteLog(rc, f.checkingLine);
    os::RegKey key;
    const long err = os::RegOpenKeyEx(f.key, Access(is64), &key);
    if (err == 0) {
      path = ReadPath(rc, key, f.value);
      if (f.internetSecurity17) {
        const std::string version = Text(rc, key, "VERSION");
        WriteLog(rc, "MSG : TrendMicro Internet Security 17 and 17 pro version Registry Key is " + version);
        if (TrimSpaces(version).substr(0, 2) != "17") {
          path.clear();
          WriteLog(rc, "ERR : Can not locate 'TrendMicro Internet Security 17 and 17 pro' , the version is not 17 ");
          return path;
        }
      }
      WriteLog(rc, f.isLine + path);
    } else if (err == os::kErrorFileNotFound) {
      WriteLog(rc, f.locateLine + ErrText(rc, err));
    } else {
      WriteLog(rc, f.openLine + ErrText(rc, err));
    }
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, std::string("ERR : Function ") + f.name + ". ErrDesc - " + Num(e.number) + " " + e.description);
  }
  return path;
}

SmallFinder InternetFinder(bool is64) {
  return {is64 ? "GetPcCillinPath64BitInternet" : "GetPcCillinPathInternet",
          kPcCillinKey,
          "Application Path",
          std::string("MSG : Checking for for TrendMicro Internet Security Registry Key '") + kPcCillinKey + "'",
          "MSG : TrendMicro Internet Security 17 and 17 pro Registry Key Installation Path is ",
          "ERR : Unable to locate 'TrendMicro Internet Security 17 and 17 pro' Installation Path, ErrorCode :",
          is64 ? "ERR : Unable to open 'TrendMicro Internet Security 17 and 17 pro' Installation Path, ErrorCode :"
               : "ERR : Unable to open 'TrendMicro Internet Security 17 and 17 Pro' Installation Path, ErrorCode :",
          true};
}

SmallFinder TitaniumFinder(bool is64) {
  const std::string key = is64 ? std::string(kTitaniumKey) : "'" + std::string(kTitaniumKey) + "'";
  return {is64 ? "GetPcCillinPath64BitTitanium" : "GetPcCillinPathTitanium",
          kTitaniumKey,
          "ProductPath",
          "MSG : Checking for for TrendMicro Titanium Registry Key " + key,
          "MSG : TrendMicro Titanium Registry Key Product Path is ",
          "ERR : Unable to locate 'TrendMicro Titanium' Product Path, ErrorCode :",
          "ERR : Unable to open 'TrendMicro Titanium' Product Path, ErrorCode :",
          false};
}

SmallFinder DeepSecurityFinder(bool is64) {
  return {is64 ? "GetTrendMicroSecurity64" : "GetTrendMicroSecurity",
          kDeepSecurityKey,
          "InstallationFolder",
          std::string("MSG : Checking for for Deep Security Agent Registry Key '") + kDeepSecurityKey + "'",
          "MSG : TrendMicro Deep Security Agent Registry Key Installation Folder is ",
          "ERR : Unable to locate 'TrendMicro Deep Security Agent' Product Path, ErrorCode :",
          "ERR : Unable to open 'TrendMicro Deep Security Agent' Product Path, ErrorCode :",
          false};
}

// ---- Readers ---------------------------------------------------------------

// Opens a key of a reader's chain; a failure is logged and empties the number.
bool OpenPatternKey(RunContext& rc, const char* key, bool is64, os::RegKey* handle, std::string* pattern) {
  const long err = os::RegOpenKeyEx(key, Access(is64), handle);
  if (err == 0) return true;
  WriteLog(rc, std::string("ERR : Unable to open Registry Key '") + key + "'. ErrDesc: " + ErrText(rc, err));
  pattern->clear();
  return false;
}

std::string WithoutDots(const std::string& s) { return ReplaceAll(s, ".", ""); }

std::string Ini(const std::string& path, const char* section, const char* key) {
  std::string value;
  (void)os::GetPrivateProfileString(section, key, "", 555, path, &value);
  return value;
}

// Both the pattern and the engine of an INI file, with their log lines.
void ReadIni(RunContext& rc, const std::string& path, const char* section, const char* patternKey,
             const char* engineKey, const char* patternLine, const char* engineLine, std::string* pattern) {
  *pattern = Ini(path, section, patternKey);
  WriteLog(rc, patternLine + *pattern);
  rc.TrendEngineVersion = CheckedDefinition(Ini(path, section, engineKey));
  WriteLog(rc, engineLine + rc.TrendEngineVersion);
}

void FileFallbacks(RunContext& rc, std::string* pattern) {
  const std::string& folder = rc.TrendInstallPath;
  auto pending = [&] { return !IsValidPattern(*pattern) && !rc.WorryFreeFound; };
  if (!pending()) return;
  const std::string pcCillin = folder + "pc-cillin.ini";
  if (os::FileExists(pcCillin)) {
    WriteLog(rc, "MSG : Reading file: " + pcCillin);
    ReadIni(rc, pcCillin, "Info", "Pattern", "Engine", "MSG : TrendMicro PC-cillin Definition [Pattern] = ",
            "MSG : TM PC-cillin [Engine] = ", pattern);
  } else {
    WriteLog(rc, "MSG : " + folder + "pc-cillin.ini does not exists");
  }
  if (!pending()) return;
  const std::string updinfo = folder + "updinfo.ini";
  if (os::FileExists(updinfo)) {
    WriteLog(rc, "MSG : Reading file: " + updinfo);
    ReadIni(rc, updinfo, "INI_UPDATE_SECTION", "Ptnfile_Version", "EngineNT_Version",
            "MSG : TrendMicro Officescan Definition [Pattern] = ", "MSG : TM Officescan [Engine] = ", pattern);
  } else {
    WriteLog(rc, "MSG : " + folder + "updinfo.ini does not exists");
  }
  if (!pending() || !TrimSpaces(*pattern).empty() || !rc.TrendInternetSecurityFound) return;
  const std::string pccillin = folder + "pccillin.ini";
  if (os::FileExists(pccillin)) {
    WriteLog(rc, "MSG : Reading File " + pccillin);
    ReadIni(rc, pccillin, "Info", "Pattern", "Engine", "MSG : TM Internet Security Definition [Pattern] = ",
            "MSG : TM Internet Security [Engine] = ", pattern);
  }
  if (TrimSpaces(*pattern).empty() && os::FileExists(pcCillin)) {
    WriteLog(rc, "MSG : Reading File " + pcCillin);
    ReadIni(rc, pcCillin, "Info", "Pattern", "Engine", "MSG : TM Internet Security [Pattern] = ",
            "MSG : TM Internet Security [Engine] = ", pattern);
  }
}

// Step 5 of every reader: a valid pattern goes to the before or after field.
bool Store(RunContext& rc, bool before, const std::string& pattern, bool valid) {
  (before ? rc.TrendDefBefore : rc.TrendDefAfter) = valid ? pattern : std::string();
  return !pattern.empty();
}

bool TMVirusDef(RunContext& rc, bool is64, bool before) {
  const std::string name = is64 ? "GetTMVirusDef64bit" : "GetTMVirusDef";
  std::string pattern;  // the scratch number
  bool result = false;
  try {
    WriteLog(rc, "MSG : Executing Function " + name + "...");
    if (!rc.TrendInstallPath.empty()) {
      os::RegKey key;
      bool decided = false;
      WriteLog(rc, std::string("MSG : Opening TrendMicro Registry key '") + kMiscKey + "'");
      if (OpenPatternKey(rc, kMiscKey, is64, &key, &pattern)) {
        decided = true;
        rc.TrendEngineVersion = CheckedDefinition(ReplaceAll(Text(rc, key, "VsApiNT-Ver"), "-", "."));
        WriteLog(rc, "MSG : Key 'VsApiNT-Ver' = " + rc.TrendEngineVersion);
        const std::string nonCrc = GetRegValue(rc, key, "InternalNonCrcPatternVer", os::kRegDword);
        WriteLog(rc, "MSG : key 'InternalNonCrcPatternVer' = " + nonCrc);
        pattern = GetRegValue(rc, key, "InternalPatternVer", os::kRegDword);
        WriteLog(rc, "MSG : key 'InternalPatternVer' = " + pattern);
        if (CompareLeadingNumbers(pattern, nonCrc) < 0) {
          WriteLog(rc, "MSG : Swapping the Values to get the updated version");
          pattern = nonCrc;
        }
        if (!IsValidPattern(pattern)) {
          pattern = Text(rc, key, "PatternVer");
          WriteLog(rc, "MSG : key 'PatternVer' = " + pattern);
        }
      }
      for (const char* isKey : {kIS16PatternKey, kIS17PatternKey}) {
        if (decided) break;
        WriteLog(rc, std::string("MSG : Opening TrendMicro Interenet security 2008 Registry key '") + isKey + "'");
        if (!OpenPatternKey(rc, isKey, is64, &key, &pattern)) continue;
        decided = true;
        pattern = WithoutDots(Text(rc, key, "DisplayVersion"));
        WriteLog(rc, "MSG : key 'DisplayVersion' = " + pattern);
        rc.TrendIS2008Found = true;
      }
      if (!decided) {
        WriteLog(rc, std::string("MSG : Checking the WorryFree Scan type in : ") + kScanTypeKey);
        if (OpenPatternKey(rc, kScanTypeKey, is64, &key, &pattern)) {
          const bool smart = GetRegValue(rc, key, "ScanType", os::kRegDword) != "0";
          rc.WorryFreeScanType = smart ? "Smart" : "Conventional";
          WriteLog(rc, std::string("MSG : Opening TrendMicro Worry Free Registry key '") + kComponentKey + "'");
          if (OpenPatternKey(rc, kComponentKey, is64, &key, &pattern)) {
            pattern = WithoutDots(Text(rc, key, smart ? "c3t1208090624" : "c3t4"));
            WriteLog(rc, std::string(smart ? "MSG : Smart scan 'DefinitionVersion' = "
                                           : "MSG : Conventional scan 'DefinitionVersion' = ") +
                             pattern);
            if (IsValidPattern(pattern)) rc.WorryFreeFound = true;
          }
        }
      }
      FileFallbacks(rc, &pattern);
    }
    result = Store(rc, before, pattern, IsValidPattern(pattern));
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : in Function " + name + " " + Num(e.number) + "\t" + e.description);
    result = !pattern.empty();
  }
  return result;
}

// The one-key readers of Internet Security 17, Titanium and Deep Security.
bool OneKeyReader(RunContext& rc, const std::string& name, const char* announce, const char* keyPath,
                  const char* value, bool is64, bool before, bool lengthLimit) {
  std::string pattern;
  bool result = false;
  try {
    WriteLog(rc, "MSG : Executing Function " + name + "...");
    if (!rc.TrendInstallPath.empty()) {
      WriteLog(rc, std::string(announce) + keyPath + "'");
      os::RegKey key;
      if (OpenPatternKey(rc, keyPath, is64, &key, &pattern)) {
        pattern = WithoutDots(Text(rc, key, value));
        WriteLog(rc, std::string("MSG : key '") + value + "' = " + pattern);
      }
    }
    const bool valid = lengthLimit ? IsValidPattern(pattern)
                                   : !LeadingNumberIsZero(pattern) && !CheckedDefinition(pattern).empty();
    result = Store(rc, before, pattern, valid);
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : in Function " + name + " " + Num(e.number) + "\t" + e.description);
    result = !pattern.empty();
  }
  return result;
}

// ---- Details ---------------------------------------------------------------

using Finder = std::string (*)(RunContext&);
using PatternReader = bool (*)(RunContext&, bool);

// Finds the folder (32-bit view, then the 64-bit one) and reads the pattern
// the same way; false when no folder was found.
bool FindAndRead(RunContext& rc, Finder find32, Finder find64, PatternReader read32, PatternReader read64,
                 bool* read) {
  std::string folder = find32(rc);
  if (folder.empty() && rc.Is64BitOs) folder = find64(rc);
  if (folder.empty()) return false;
  rc.TrendInstallPath = WithBackslash(folder);
  *read = read32(rc, true);
  if (rc.TrendDefBefore.empty() && rc.Is64BitOs) *read = read64(rc, true);
  if (*read) rc.ProductFound = true;
  return true;
}

void WriteTrendRecord(RunContext& rc, const std::string& category) {
  std::string beforeLast, afterLast;
  fncsetLogFile_New(rc, category, rc.TrendDefBefore, beforeLast, rc.TrendDefBefore, afterLast,
                    rc.TrendEngineVersion, "0");
}

void TrendDetails(RunContext& rc, const char* procedure, Finder find32, Finder find64, PatternReader read32,
                  PatternReader read64, const char* category, const char* sentence) {
  try {
    bool read = false;
    if (!FindAndRead(rc, find32, find64, read32, read64, &read)) return;
    if (rc.TrendDefBefore.empty()) {
      rc.StatusDescription += sentence;
      return;
    }
    WriteTrendRecord(rc, category);
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, std::string("ERR : in procedure ") + procedure + ". " + Num(e.number) + ":" + e.description);
  }
}

}  // namespace

bool IsValidPattern(const std::string& pattern) {
  return !LeadingNumberIsZero(pattern) && TrimSpaces(pattern).size() <= 50 &&
         !CheckedDefinition(pattern).empty();
}

std::string GetPcCillinPath(RunContext& rc) { return PcCillinPath(rc, false); }
std::string GetPcCillinPath64Bit(RunContext& rc) { return PcCillinPath(rc, true); }
std::string GetPcCillinPathInternet(RunContext& rc) { return FindFolder(rc, InternetFinder(false), false); }
std::string GetPcCillinPath64BitInternet(RunContext& rc) { return FindFolder(rc, InternetFinder(true), true); }
std::string GetPcCillinPathTitanium(RunContext& rc) { return FindFolder(rc, TitaniumFinder(false), false); }
std::string GetPcCillinPath64BitTitanium(RunContext& rc) { return FindFolder(rc, TitaniumFinder(true), true); }
std::string GetTrendMicroSecurity(RunContext& rc) { return FindFolder(rc, DeepSecurityFinder(false), false); }
std::string GetTrendMicroSecurity64(RunContext& rc) { return FindFolder(rc, DeepSecurityFinder(true), true); }

bool GetTMVirusDef(RunContext& rc, bool before) { return TMVirusDef(rc, false, before); }
bool GetTMVirusDef64bit(RunContext& rc, bool before) { return TMVirusDef(rc, true, before); }

bool GetTM17VirusDef(RunContext& rc, bool before) {
  return OneKeyReader(rc, "GetTM17VirusDef", "MSG : Opening TrendMicro Interenet security 17 Registry key '",
                      kIS17PatternKey, "DisplayVersion", false, before, true);
}
bool GetTM17VirusDef64bit(RunContext& rc, bool before) {
  return OneKeyReader(rc, "GetTM17VirusDef64bit", "MSG : Opening TrendMicro Interenet security 17 Registry key '",
                      kIS17PatternKey, "DisplayVersion", true, before, true);
}
bool GetTMTITANIUMVirusDef(RunContext& rc, bool before) {
  return OneKeyReader(rc, "GetTMTITANIUMVirusDef", "MSG : Opening TrendMicro Titanium Registry key '", kAmspKey,
                      "BFVersion", false, before, false);
}
bool GetTMTITANIUMVirusDef64bit(RunContext& rc, bool before) {
  return OneKeyReader(rc, "GetTMTITANIUMVirusDef64bit", "MSG : Opening TrendMicro Titanium Registry key '",
                      kAmspKey, "BFVersion", true, before, false);
}

void TrendinternetServer_Details(RunContext& rc) {
  TrendDetails(rc, "TrendinternetServer_Details", GetPcCillinPathInternet, GetPcCillinPath64BitInternet,
               GetTM17VirusDef, GetTM17VirusDef64bit, "TMInternetSecurity",
               "Failed to read TrendMicro Internet Security 17 AV Definition.");
}

void TrendTitaniumServer_Details(RunContext& rc) {
  TrendDetails(rc, "TrendTitaniumServer_Details", GetPcCillinPathTitanium, GetPcCillinPath64BitTitanium,
               GetTMTITANIUMVirusDef, GetTMTITANIUMVirusDef64bit, "TrendMicroTitanium",
               "Failed to read TrendMicro Titanium AV Definition.");
}

void TrendMicroSecurity_Details(RunContext& rc) {
  TrendDetails(rc, "TrendMicroSecurity_Details", GetTrendMicroSecurity, GetTrendMicroSecurity64,
               GetTMTITANIUMVirusDef, GetTMTITANIUMVirusDef64bit, "TrendMicroSecurity",
               "Failed to read Trend Micro Security AV Definition.");
}

void TrendServer_Details(RunContext& rc) {
  try {
    bool read = false;
    if (!FindAndRead(rc, GetPcCillinPath, GetPcCillinPath64Bit, GetTMVirusDef, GetTMVirusDef64bit, &read))
      return;
    if (rc.WorryFreeFound) {
      if (rc.TrendDefBefore.empty()) {
        rc.StatusDescription += "Failed to read WorryFree Definition.";
        return;
      }
      // A Worry-Free product whose scan type was not read is still reported.
      const std::string& mode = rc.WorryFreeScanType;
      WriteTrendRecord(rc, mode == "Smart"          ? "WorryFreeSmart"
                           : mode == "Conventional" ? "WorryFreeConventional"
                                                    : "TRENDMICRO");
      return;
    }
    if (rc.TrendDefBefore.empty()) {
      rc.StatusDescription += "Failed to read TrendMicro AV Definition.";
      return;
    }
    WriteTrendRecord(rc, "TRENDMICRO");
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : in procedure TrendServer_Details. " + Num(e.number) + ":" + e.description);
  }
}
