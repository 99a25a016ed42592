// CA eTrust: the Vet engine's definition, from SigCheck.exe in CA's
// ScanEngine folder (run through cmd.exe into DefVer.txt), or from the file
// version of iv_nt86.exe in its Incoming folder.
#include "base/error.h"
#include "base/text.h"
#include "platform/commandline.h"
#include "platform/log.h"
#include "platform/process.h"
#include "platform/regfiles.h"
#include "products/file_text.h"
#include "products/products.h"
#include "products/record.h"
#include "products/tool_readers.h"

namespace {

constexpr const char* kAntivirusKey = "SOFTWARE\\ComputerAssociates\\eTrustAntivirus\\CurrentVersion";
constexpr const char* kItmKey = "SOFTWARE\\ComputerAssociates\\eTrustITM\\CurrentVersion";
constexpr const char* kScanEngineKey = "SOFTWARE\\ComputerAssociates\\ScanEngine\\Path";

std::string Num(long n) { return std::to_string(n); }

std::string ErrText(RunContext& rc, long err) { return fncFormatMessage(rc, static_cast<uint32_t>(err)); }

bool IsDigits(const std::string& s) {
  if (s.empty()) return false;
  for (const char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

bool AllZero(const std::string& s) { return s.find_first_not_of('0') == std::string::npos; }

bool ReadCA(RunContext& rc, bool beforeUpdate, bool view64) {
  const uint32_t access = view64 ? os::kKeyRead | os::kKeyWow64_64Key : os::kKeyRead;
  rc.ScanEngineVersion.clear();
  rc.CAScanEnginePath.clear();
  if (view64) WriteLog(rc, "In Function GetCAeTrustDefFor64OS");
  os::RegKey product;
  std::string key = kAntivirusKey;
  long err = os::RegOpenKeyEx(key, access, &product);
  if (err == 0) {
    WriteLog(rc, "MSG : Successfully Read Registry " + key);
  } else {
    WriteLog(rc, "ERR : Failed to read registry " + key);
    key = kItmKey;
    err = os::RegOpenKeyEx(key, access, &product);
    WriteLog(rc, (err == 0 ? "MSG : Successfully Read Registry " : "ERR : Failed to read registry ") + key);
  }
  if (err != 0) {
    if (err == os::kErrorFileNotFound) {
      WriteLog(rc, "ERR : Reading Registry " + key + ". ErrDesc: " + ErrText(rc, err));
      WriteLog(rc, "MSG : CAeTrust Not installed.");
    } else {
      WriteLog(rc, "ERR : Function GetCAeTrustDef. Could not open Registry Key " + key + ". ErrDesc: " + ErrText(rc, err));
      rc.StatusDescription += "Failed for CA " + ErrText(rc, err) + ".";
    }
    return false;
  }
  if (!view64) WriteLog(rc, std::string("MSG : opening ") + kScanEngineKey);
  os::RegKey paths;
  err = os::RegOpenKeyEx(kScanEngineKey, access, &paths);
  if (err != 0) {
    WriteLog(rc, std::string("ERR : Function GetCAeTrustDef. ") + kScanEngineKey + ". ErrDesc: " + ErrText(rc, err));
    rc.StatusDescription += "Failed for CA " + ErrText(rc, err) + ".";
    return false;
  }
  rc.CAScanEnginePath = CheckedPath(TrimSpaces(GetRegValue(rc, paths, "Engine", os::kRegSz)));
  rc.CAIncomingPath = CheckedPath(TrimSpaces(GetRegValue(rc, paths, "Incoming", os::kRegSz)));
  if (!os::FolderExists(rc.CAScanEnginePath)) {
    WriteLog(rc, "ERR : Folder Does Not exists " + rc.CAScanEnginePath);
    rc.CAScanEnginePath = fncPrgFileDirforCA(rc) + "CA\\SharedComponents\\ScanEngine";
    rc.CAIncomingPath = fncPrgFileDirforCA(rc) + "CA\\SharedComponents\\ScanEngine\\Incoming";
  }
  if (++rc.CAReadCount == 1) {
    WriteLog(rc, "MSG : ScanEngine Path " + rc.CAScanEnginePath);
    WriteLog(rc, "MSG : SacnEngine Incoming path " + rc.CAIncomingPath);
  }
  std::string definition = GetDefination(rc, "Vet");
  if (CANeedsFileVersion(definition, !rc.CAIncomingPath.empty(), beforeUpdate)) {
    definition = os::GetFileVersion(rc.CAIncomingPath + "\\iv_nt86.exe");
    WriteLog(rc, "MSG : Definition Version in iv_nt86.exe: " + definition);
    definition = fncformatCADef(rc, definition);
    if (!beforeUpdate) WriteLog(rc, "MSG : Definition Version after replacing '.0' from fileversion of vet " + definition);
  } else {
    // The tool's whole text is the definition; a line break or stray bytes
    // around it are not part of it.
    definition = CheckedDefinition(TrimBlanks(definition));
  }
  (beforeUpdate ? rc.CADefBefore : rc.CADefAfter) = definition;
  return true;
}

}  // namespace

std::string FormatCADef(const std::string& version) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t dot = version.find('.', start);
    parts.push_back(version.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  if (parts.size() < 4) return {};
  return parts[0] + "." + parts[1] + "." + parts[2];
}

std::string fncformatCADef(RunContext& rc, const std::string& version) {
  const std::string result = FormatCADef(version);
  WriteLog(rc, "MSG : Definition Version after replacing '.0' from fileversion : " + result);
  return result;
}

bool CANeedsFileVersion(const std::string& toolText, bool incomingKnown, bool beforeUpdate) {
  // A number on one line, however it ends; anything else is not numeric.
  const std::string n = ReplaceAll(TrimBlanks(toolText), ".", "");
  const bool numeric = IsDigits(n);
  const bool zero = numeric && AllZero(n);
  if (beforeUpdate) return !numeric || (incomingKnown && zero);
  return incomingKnown && (!numeric || zero);
}

std::string GetDefination(RunContext& rc, const std::string& engineName) {
  const std::string shortEngine = GetShortpath(rc, rc.CAScanEnginePath);
  const std::string shortApp = GetShortpath(rc, rc.AppFolder);
  const std::string output = shortApp + "\\DefVer.txt";
  try {
    WriteLog(rc, "MSG: Getting Definition for : " + engineName);
    const std::string tool = shortEngine + "\\SigCheck.exe";
    WriteLog(rc, "MSG : Executing " + tool);
    if (!os::FileExists(tool)) {
      WriteLog(rc, "ERR : File not Found " + shortEngine + "\\SigCheck.exe ");
      return {};
    }
    // A file left by an earlier run must not be read as this run's answer.
    if (os::DeleteFile(output) != 0 && os::FileExists(output)) {
      WriteLog(rc, "ERR : Could not delete " + output + ": SigCheck not run");
      return {};
    }
    std::string quotedTool;
    if (!QuoteArgument(rc, tool, QuoteFor::kCmdLine, "SigCheck", &quotedTool)) return {};
    if (const std::string reason = UnquotableReason(output, QuoteFor::kCmdLine); !reason.empty()) {
      WriteLog(rc, "ERR : Refused to run SigCheck: " + output + " " + reason);
      return {};
    }
    const std::string command = quotedTool + " " + engineName + " >> \"" + output + "\"";
    const std::string full = CmdCommandLine(command);
    const std::string system = os::GetSystemDirectory();
    WriteLog(rc, "MSG : System Directory is " + system);
    WriteLog(rc, "Executing " + full);
    ToolProcess tool_;
    const long err = StartTool(full, &tool_);
    os::Sleep(20000);
    if (err == 0) {
      WriteLog(rc, "MSG : Successfully executed " + full);
    } else {
      const RtError e = RtError::FileNotFound();
      WriteLog(rc, "ERR : Failed to execute " + full + " Error info:" + Num(e.number) + " " + e.description);
    }
    std::string result;
    if (os::FileExists(output)) {
      WriteLog(rc, "MSG : Definition Version file " + output + " created successfully");
      os::Sleep(5000);
      EndToolTree(rc, tool_);
      if (const long readErr = os::ReadWholeFile(output, &result); readErr != 0) throw FileSystemError(readErr);
      WriteLog(rc, "MSG : Definition Version in Sigcheck.exe for " + engineName + " :: " + LogExcerpt(TrimBlanks(result)));
      (void)os::DeleteFile(output);
    } else {
      EndToolTree(rc, tool_);
      WriteLog(rc, "ERR : Definition Version file not found. " + output);
    }
    return result;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : in Function GetDefination For " + engineName + " " + Num(e.number) + "\t" + e.description);
    return {};
  }
}

bool GetCAeTrustDef(RunContext& rc, bool beforeUpdate) {
  try {
    return ReadCA(rc, beforeUpdate, false);
  } catch (...) {
    (void)CurrentError();
    return false;
  }
}

bool GetCAeTrustDefFor64OS(RunContext& rc, bool beforeUpdate) {
  try {
    return ReadCA(rc, beforeUpdate, true);
  } catch (...) {
    (void)CurrentError();
    return false;
  }
}

void CAServer_Details(RunContext& rc) {
  try {
    rc.CADefBefore.clear();
    bool read = GetCAeTrustDef(rc, true);
    if (!read && rc.Is64BitOs) {
      WriteLog(rc, "MSG : Verifying 64 bit OS");
      read = GetCAeTrustDefFor64OS(rc, true);
    }
    if (!read) return;
    rc.ProductFound = true;
    WriteCALog(rc, "CAVETS", rc.CADefBefore, rc.CADefBefore);
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : in sub CAServer_Details. " + Num(e.number) + " " + e.description);
  }
}
