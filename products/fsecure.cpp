// F-Secure: found by its own keys or the uninstall list; the definition comes
// from POLUTIL.exe (one policy value, through a batch file) or, failing that,
// from aquarius-update.ini.
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

constexpr const char* kGuiKey = "SOFTWARE\\Data Fellows\\F-Secure\\F-Secure GUI\\PUB";
constexpr const char* kFsavcsinKey = "SOFTWARE\\Data Fellows\\F-Secure\\FSAVCSIN";
constexpr const char* kEntryKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\F-Secure Anti-Virus";
constexpr const char* kAquarius64 =
    "C:\\Program Files (x86)\\F-Secure\\Anti-Virus\\aquarius\\aquarius-update.ini";
constexpr const char* kAquariusRelative = "Anti-Virus\\aquarius\\aquarius-update.ini";

std::string Num(long n) { return std::to_string(n); }

std::string ValueOf(const std::string& keyPath, const std::string& name, uint32_t access = os::kKeyRead) {
  os::RegKey key;
  if (os::RegOpenKeyEx(keyPath, access, &key) != 0) return {};
  return TrimSpaces(ReadRegString(key, name));
}

// The F-Secure base folder of an installation folder: cut just after
// "F-Secure" and one more character.
std::string BaseFolderOf(const std::string& folder) {
  const size_t at = ToUpper(folder).find("F-SECURE");
  if (at == std::string::npos) return WithBackslash(folder);
  return WithBackslash(folder.substr(0, at + 9));
}

std::string ShortFolder(RunContext& rc, const std::string& folder) {
  return WithBackslash(GetShortpath(rc, WithBackslash(folder)));
}

bool fnCheckForCBeyond(RunContext& rc) {
  try {
    if (!EqualsNoCase(ValueOf(kGuiKey, "ProductName"), "Cbeyond Secure Desktop")) return false;
    rc.FSecureCategory = "Cbeyond";
    rc.PolUtilFolder = WithBackslash(CheckedPath(ValueOf(kFsavcsinKey, "InstallationDirectory")));
    // Its INI fallback uses the base folder of that installation.
    rc.FSecureFolder = BaseFolderOf(rc.PolUtilFolder);
    return true;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : fnCheckForCBeyond " + Num(e.number) + " " + e.description);
    return false;
  }
}

// The two server products: folders from the entry's DisplayIcon.
bool FromServerEntry(RunContext& rc, bool emailCheck) {
  const std::string name = ValueOf(kEntryKey, "DisplayName");
  const bool match = emailCheck
                         ? EqualsNoCase(name, "F-Secure E-mail and Server Security - Virus and spyware protection")
                         : StartsWithNoCase(name, "F-SECURE");
  if (!match) return false;
  const std::string icon = CheckedPath(ValueOf(kEntryKey, "DisplayIcon"));
  rc.FSecureCategory = "F-Secure";
  rc.FSecureFolder = ShortFolder(rc, icon.size() > 41 ? icon.substr(0, icon.size() - 41) : std::string());
  rc.PolUtilFolder = ShortFolder(rc, icon.size() > 34 ? icon.substr(0, icon.size() - 34) : std::string());
  WriteLog(rc, (emailCheck ? "MSG : F-Secure installation Drive " : "MSG : F-Secure installation Drive is ") +
                   rc.FSecureFolder);
  WriteLog(rc, "MSG : Path of PolUtil File for F-Secure is " + rc.PolUtilFolder);
  if (rc.Is64BitOs) rc.AquariusIniPath = kAquarius64;
  return true;
}

bool FnCheckForSvrEmailSecurity(RunContext& rc) {
  try {
    return FromServerEntry(rc, true);
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : fnCheckForSvrEmailSecurity " + Num(e.number) + " " + e.description);
    return false;
  }
}

bool FnCheckForAvWinSvr(RunContext& rc) {
  try {
    return FromServerEntry(rc, false);
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : FnCheckForAvWinSvr " + Num(e.number) + " " + e.description);
    return false;
  }
}

bool FN_FSecure_product(RunContext& rc) {
  try {
    rc.PolUtilFolder.clear();
    rc.FSecureFolder.clear();
    rc.FSecureCategory.clear();
    rc.AquariusIniPath.clear();
    if (fnCheckForCBeyond(rc) || FnCheckForSvrEmailSecurity(rc) || FnCheckForAvWinSvr(rc)) return true;
    bool found = false;
    const long err = WalkSubkeys(
        kUninstallKey, os::kKeyRead | os::kKeyWow64_32Key,
        [&](const os::RegKey& subkey, const std::string&, const std::string&, const os::RegKey&) {
          const std::string name = TrimSpaces(ReadRegString(subkey, "DisplayName"));
          if (!ContainsNoCase(name, "F-Secure")) return true;
          const std::string folder = CheckedPath(ValueOf(kFsavcsinKey, "InstallationDirectory"));
          const std::string shortFolder = folder.empty() ? std::string() : GetShortpath(rc, folder);
          if (shortFolder.size() <= 3) {
            WriteLog(rc, "MSG : " + name + " Not Properly Installed..");
            return true;
          }
          rc.PolUtilFolder = WithBackslash(shortFolder);
          rc.FSecureFolder = BaseFolderOf(shortFolder);
          rc.FSecureCategory = "F-Secure";
          found = true;
          return false;
        });
    if (err != 0) LogKeyOpenFailure(rc, err, kUninstallKey, OpenFailureDetail::kSystemText);
    return found;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : function FN_FSecure_product. " + Num(e.number) + " " + e.description);
    return false;
  }
}

std::string FromPolUtil(RunContext& rc) {
  const std::string tool = rc.PolUtilFolder + "POLUTIL.exe";
  const std::string batch = rc.AgentInstallPath + "cmdpol.bat";
  const std::string output = rc.AgentInstallPath + "compol.txt";
  WriteLog(rc, "MSG : Reading from POLUTIL.EXE .");
  (void)os::DeleteFile(batch);  // written afresh below in any case
  if (os::DeleteFile(output) != 0 && os::FileExists(output)) {
    WriteLog(rc, "ERR : Could not delete " + output + ": POLUTIL not run");
    return {};
  }
  os::Sleep(1000);
  std::string quotedTool, quotedOutput, start;
  if (!QuoteArgument(rc, tool, QuoteFor::kBatchLine, "POLUTIL", &quotedTool) ||
      !QuoteArgument(rc, output, QuoteFor::kBatchLine, "POLUTIL", &quotedOutput) ||
      !BatchCommandLine(rc, batch, &start)) {
    return {};
  }
  const std::string line = quotedTool + " g 1.3.6.1.4.1.2213.12.2.125>" + quotedOutput;
  WriteLog(rc, "MSG : Writing Command " + line + " to get current definition of F-Secure");
  if (!WriteBatchFile(rc, batch, {line})) return {};
  WriteLog(rc, "MSG : Written above Command successfully into " + rc.AgentInstallPath + "cmdpol.bat file");
  WriteLog(rc, "MSG : Running " + rc.AgentInstallPath + "cmdpol.bat file");
  ToolProcess process;
  StartTool(start, &process);
  os::Sleep(5000);
  // The answer is read now: a tool still at work is ended with all it started.
  EndToolTree(rc, process);
  std::string definition;
  if (os::FileExists(output)) {
    definition = JoinTrimmedLines(ReadTextLines(output));
    (void)os::DeleteFile(batch);
    (void)os::DeleteFile(output);
  } else {
    WriteLog(rc, "MSG : Command executed output file compol.txt not generated");
    (void)os::DeleteFile(batch);
  }
  return definition;
}

std::string FromIni(RunContext& rc, const std::string& path) {
  std::string value;
  (void)os::GetPrivateProfileString("Version", "File_set_visible_version", "", 255, path, &value);
  return TrimSpaces(value);
}

}  // namespace

std::string JoinTrimmedLines(const std::vector<std::string>& lines) {
  std::string joined;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i != 0) joined += ' ';
    joined += TrimSpaces(lines[i]);
  }
  return joined;
}

bool GetFSecureVirusDef(RunContext& rc) {
  try {
    WriteLog(rc, "MSG : In GetFSecureVirusDef...");
    rc.DefVersionBefore.clear();
    std::string definition;
    if (!rc.PolUtilFolder.empty() && os::FileExists(rc.PolUtilFolder + "POLUTIL.exe"))
      definition = CheckedDefinition(TrimSpaces(FromPolUtil(rc)));
    if (definition.empty()) {
      WriteLog(rc, "MSG : Reading from INI.");
      const std::string ini = rc.FSecureFolder + kAquariusRelative;
      if (os::FileExists(ini)) {
        definition = FromIni(rc, ini);
      } else {
        WriteLog(rc, "MSG : " + rc.FSecureFolder + kAquariusRelative + " not found");
      }
      if (definition.empty() && !rc.AquariusIniPath.empty()) definition = FromIni(rc, rc.AquariusIniPath);
      definition = CheckedDefinition(definition);
    }
    if (!definition.empty()) {
      WriteLog(rc, "MSG : ------------");
      WriteLog(rc, "MSG : Current Definition for F-Secure " + definition);
      WriteLog(rc, "MSG : ------------");
    }
    rc.DefVersionBefore = definition;
    return true;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : GetFSecureVirusDef " + Num(e.number) + " " + e.description);
    return false;
  }
}

void FSecure_Details(RunContext& rc) {
  try {
    if (!FN_FSecure_product(rc)) {
      WriteLog(rc, "MSG : No F-Secure product is installed.");
      return;
    }
    if (!GetFSecureVirusDef(rc)) return;
    rc.ProductFound = true;
    if (rc.DefVersionBefore.empty()) {
      rc.StatusDescription += "Failed to read FSecure AV Definition.";
      return;
    }
    std::string beforeLast, afterLast;
    fncsetLogFile_New(rc, rc.FSecureCategory, rc.DefVersionBefore, beforeLast, rc.DefVersionBefore, afterLast,
                      rc.ScanEngineVersion, "0");
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : in FSecure_Details. " + Num(e.number) + ":" + e.description);
  }
}
