#include "update/launchers.h"

#include <cctype>
#include <vector>

#include "base/error.h"
#include "base/text.h"
#include "platform/commandline.h"
#include "platform/filewrite.h"
#include "platform/log.h"
#include "platform/process.h"
#include "platform/regfiles.h"

namespace {

constexpr int kServiceWaitTries = 24;
constexpr uint32_t kServiceWaitPauseMs = 10000;
constexpr uint32_t kDesktopUpdaterPauseMs = 450000;
constexpr uint32_t kPcCtlComSettleMs = 90000;
constexpr uint32_t kVipreWaitMs = 120000;

constexpr const char* kVseKey = "SOFTWARE\\Network Associates\\TVD\\VirusScan Enterprise\\CurrentVersion";
constexpr const char* kVseTasksKey =
    "SOFTWARE\\Network Associates\\TVD\\VirusScan Enterprise\\CurrentVersion\\Tasks";
constexpr const char* kManagedKey = "SOFTWARE\\McAFee\\ManagedServices";
constexpr const char* kManagedUpdateKey = "SOFTWARE\\McAFee\\ManagedServices\\Agent\\TaskbarMenu\\update";
constexpr const char* kDesktopKey = "SOFTWARE\\McAfee\\DesktopProtection";
constexpr const char* kAntimalwareKey = "SOFTWARE\\Microsoft\\Microsoft Antimalware";
constexpr const char* kPcCillinKey = "SOFTWARE\\TrendMicro\\PC-cillin";
constexpr const char* kPcCillinCorpKey = "SOFTWARE\\TrendMicro\\PC-cillinNTCorp\\CurrentVersion";
constexpr const char* kAvgKey = "SOFTWARE\\AVG";

std::string Num(long n) { return std::to_string(n); }

bool EndsWithNoCase(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && EqualsNoCase(s.substr(s.size() - suffix.size()), suffix);
}

// A folder as the finders take it from the registry: double quotes removed,
// trimmed, no trailing "\".
std::string CleanFolder(const std::string& value) {
  std::string folder = TrimSpaces(ReplaceAll(value, "\"", ""));
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  return folder;
}

std::string WithSlash(const std::string& folder) {
  return !folder.empty() && folder.back() == '\\' ? folder : folder + "\\";
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ---- Command lines -------------------------------------------------------------------
// Paths from the registry are quoted by QuoteArgument (platform/commandline.h)
// or refused there; the checks below are for the values that go in whole.

bool HasControl(const std::string& s) {
  for (unsigned char c : s)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

// Arguments taken whole from the registry (a task id, an updater's command
// line) go in unquoted, so they may not hold what a shell would act on.
std::string ArgumentProblem(const std::string& value) {
  if (HasControl(value)) return "it holds a control character";
  if (value.find_first_of("&|<>^%") != std::string::npos) return "it holds a shell operator";
  size_t quotes = 0;
  for (char c : value) quotes += c == '"' ? 1 : 0;
  if (quotes % 2 != 0) return "it holds an unbalanced double quote";
  return {};
}

// A task id is a registry key name such as "{A1B2-...}" or "3".
std::string TaskIdProblem(const std::string& id) {
  for (unsigned char c : id) {
    if (!std::isalnum(c) && c != '{' && c != '}' && c != '-' && c != '_' && c != '.')
      return "it is not a plain task id";
  }
  return {};
}

bool Refused(RunContext& rc, const std::string& launcher, const std::string& value, const std::string& problem) {
  if (problem.empty()) return false;
  WriteLog(rc, "ERR : Refused to run " + launcher + ": " + LogExcerpt(value) + " (" + problem + ")");
  return true;
}

// A path handed to ShellExecuteEx as the file: no quoting, but the same refusals.
bool RefusedFile(RunContext& rc, const std::string& launcher, const std::string& file) {
  std::string unused;
  return !QuoteArgument(rc, file, QuoteFor::kCreateProcess, launcher, &unused);
}

// The tool's path in short form, quoted as it needs; empty after a refusal line.
std::string ToolCommand(RunContext& rc, const std::string& launcher, const std::string& tool) {
  std::string quoted;
  if (!QuoteArgument(rc, GetShortpath(rc, tool), QuoteFor::kCreateProcess, launcher, &quoted)) return {};
  return quoted;
}

void LogOutcome(RunContext& rc, const std::string& launcher, const std::string& command, bool ok,
                const char* success = "MSG : Successfully executed ") {
  if (ok) {
    WriteLog(rc, success + command);
  } else {
    WriteLog(rc, "ERR : " + launcher + " - Failed to execute " + command);
  }
}

void LogFileNotFound(RunContext& rc, const std::string& launcher, const std::string& path) {
  WriteLog(rc, "ERR : " + launcher + " - File Not Found " + path);
}

// Deletes a package after its run, with the two lines the logs carry.
bool DeletePackage(RunContext& rc, const std::string& package, DeleteForm form) {
  WriteLog(rc, "MSG : Deleteing File " + package);
  if (!fncDeleteFile(rc, package, form)) return false;
  WriteLog(rc, "MSG : Successfully Deleted File " + package);
  return true;
}

// Asks up to 24 times, 10 seconds apart, whether the service is in the state.
bool WaitForService(RunContext& rc, const std::string& name, const std::string& state,
                    const std::string& successLine) {
  for (int attempt = 1; attempt <= kServiceWaitTries; ++attempt) {
    if (EnumSystemServices(rc, name, state)) {
      WriteLog(rc, successLine + name);
      return true;
    }
    if (attempt < kServiceWaitTries) os::Sleep(kServiceWaitPauseMs);
  }
  return false;
}

bool StartAndWait(RunContext& rc, const std::string& name) {
  WriteLog(rc, "MSG : Starting Service " + name);
  // Starting a running service fails five times over eight seconds and logs
  // an error for nothing.
  if (EnumSystemServices(rc, name, "stopped")) SetServiceStarted(rc, name);
  return WaitForService(rc, name, "running", "MSG : Successfully Started Service ");
}

// Opens a key and reads one REG_SZ value; the open error, or 0.
long ReadValue(const std::string& keyPath, uint32_t access, const std::string& valueName, std::string* value) {
  os::RegKey key;
  const long err = os::RegOpenKeyEx(keyPath, access, &key);
  if (err != 0) return err;
  *value = ReadRegString(key, valueName);
  return 0;
}

// A finder over one value: logs what it reads and its failure lines.
bool FindValue(RunContext& rc, const std::string& finder, const std::string& keyPath, uint32_t access,
               const std::string& valueName, std::string* value) {
  std::string raw;
  const long err = ReadValue(keyPath, access, valueName, &raw);
  if (err != 0) {
    WriteLog(rc, "ERR : " + finder + " - Could not open registry key " + keyPath + ". " +
                     fncFormatMessage(rc, static_cast<uint32_t>(err)));
    return false;
  }
  *value = CleanFolder(raw);
  if (value->empty()) {
    WriteLog(rc, "ERR : " + finder + " - Live Update Dir Path Not Found ");
    return false;
  }
  WriteLog(rc, "MSG : Live Update Dir Path - " + LogExcerpt(*value));
  return true;
}

// Runs one Norton tool as the steps of fncNortonLiveUpdate do.
bool RunNortonTool(RunContext& rc, const std::string& tool, const std::string& arguments, bool uistub) {
  constexpr const char* kName = "fncNortonLiveUpdate";
  const std::string toolCommand = ToolCommand(rc, kName, tool);
  if (toolCommand.empty()) return false;
  const std::string command = toolCommand + arguments;
  WriteLog(rc, (uistub ? "MSG: Executing " : "MSG : Executing ") + command);
  const bool ok = fncExecuteShell(rc, command, 0);
  LogOutcome(rc, kName, command, ok, uistub ? "MSG: Successfully executed " : "MSG : Successfully executed ");
  WriteLog(rc, "MSG : Execution Completed ");
  return ok;
}

// The package launchers of Norton and McAfee: verify, run, delete.
bool RunPackage(RunContext& rc, const std::string& launcher, const std::string& fileName,
                const std::string& arguments) {
  try {
    WriteLog(rc, "MSG : Executing Function " + launcher);
    const std::string package = rc.AppFolder + "\\" + fileName;
    if (!os::FileExists(package)) {
      LogFileNotFound(rc, launcher, package);
      return false;
    }
    if (!VerifyPackageSignature(rc, launcher, package, DeleteForm::kB)) return false;
    std::string quoted;
    if (!QuoteArgument(rc, package, QuoteFor::kCreateProcess, launcher, &quoted)) {
      DeletePackage(rc, package, DeleteForm::kB);
      return false;
    }
    const std::string command = quoted + arguments;
    WriteLog(rc, "MSG : Executing " + command);
    const bool ok = fncExecuteShell(rc, command, 0);
    LogOutcome(rc, launcher, command, ok);
    DeletePackage(rc, package, DeleteForm::kB);
    return ok;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, "ERR : " + launcher + ". " + Num(e.number) + " " + e.description);
    return false;
  }
}

// The MSE launchers: the command goes through a batch file in the program
// folder, written afresh on every run, so that one left from an earlier run
// (or planted there) is never run as it is.
bool RunThroughBatch(RunContext& rc, const std::string& launcher, const std::string& batchName,
                     const std::string& command) {
  WriteLog(rc, "MSG : Executing " + command);
  const std::string batch = rc.AppFolder + "\\" + batchName;
  WriteLog(rc, "MSG : Writing " + command + " into " + batch);
  std::string commandLine;
  if (!BatchCommandLine(rc, batch, &commandLine) || !WriteBatchFile(rc, batch, {command})) return false;
  const bool ok = fncExecuteShell(rc, commandLine, 0);
  LogOutcome(rc, launcher, command, ok);
  return ok;
}

// Stops the services, copies the pattern file into the product's folder while
// they are stopped, and starts again every service it stopped, whatever
// happened in between. True only when all of that worked.
bool CopyPatternWithServicesStopped(RunContext& rc, const std::vector<std::string>& services,
                                    const std::string& pattern, const std::string& folder) {
  std::vector<bool> stopSent;
  for (const std::string& name : services) {
    WriteLog(rc, "MSG : Stopping Service " + name);
    stopSent.push_back(SetServiceStopped(rc, name));
  }
  bool allStopped = true;
  for (const std::string& name : services)
    allStopped = WaitForService(rc, name, "stopped", "MSG : Successfully Stopped Service ") && allStopped;
  bool copied = false;
  if (allStopped) {
    WriteLog(rc, "MSG : Copying " + pattern + " to " + folder);
    copied = CopyFileChecked(rc, pattern, folder + "\\" + NameOf(pattern), false);
  }
  DeletePackage(rc, pattern, DeleteForm::kB);
  bool allRunning = true;
  for (size_t i = 0; i < services.size(); ++i) {
    // A service whose stop was refused is still running.
    if (!stopSent[i]) continue;
    allRunning = StartAndWait(rc, services[i]) && allRunning;
  }
  return allStopped && copied && allRunning;
}

}  // namespace

bool VerifyPackageSignature(RunContext& rc, const std::string& launcher, const std::string& package,
                            DeleteForm deleteForm) {
  std::string reason;
  const uint32_t code = os::VerifyFileSignature(package, &reason);
  if (code == 0) return true;
  WriteLog(rc, "ERR : " + launcher + " - Package not run, its signature is not valid: " + package + " (" +
                   reason + ")");
  DeletePackage(rc, package, deleteForm);
  return false;
}

// ---- Norton ----------------------------------------------------------------------------

bool fncGetNortonLiveUpdateDir(RunContext& rc, std::string* folder) {
  constexpr const char* kName = "fncGetNortonLiveUpdateDir";
  try {
    WriteLog(rc, "MSG : Executing Function fncGetLiveUpdateDir ");
    std::string key = "SOFTWARE\\Microsoft\\windows\\CurrentVersion\\Uninstall\\LiveUpdate";
    WriteLog(rc, "MSG : Reading Registry Key " + key);
    std::string value;
    long err = ReadValue(key, os::kKeyRead, "InstallLocation", &value);
    if (err == os::kErrorFileNotFound) {
      key = "SOFTWARE\\Microsoft\\windows\\CurrentVersion\\Uninstall\\LiveUpdate1.7";
      err = ReadValue(key, os::kKeyRead, "InstallLocation", &value);
    }
    if (err != 0) {
      WriteLog(rc, std::string("ERR : ") + kName + " - Could not open registry key " + key + ". " +
                       fncFormatMessage(rc, static_cast<uint32_t>(err)));
      return false;
    }
    value = CleanFolder(value);
    if (value.empty()) {
      WriteLog(rc, std::string("ERR : ") + kName + " - Live Update Dir Path Not Found ");
      return false;
    }
    *folder = value;
    return true;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, std::string("ERR : ") + kName + ". " + Num(e.number) + " " + e.description);
    return false;
  }
}

bool fncGetProgramFilesDir(RunContext& rc, std::string* folder) {
  constexpr const char* kName = "fncGetProgramFilesDir";
  try {
    const std::string key = "SOFTWARE\\Microsoft\\windows\\CurrentVersion";
    WriteLog(rc, "MSG : Reading Registry Key " + key);
    std::string value;
    if (long err = ReadValue(key, os::kKeyRead, "ProgramFilesDir", &value); err != 0) {
      WriteLog(rc, std::string("ERR : ") + kName + " - Could not open registry key " + key + ". " +
                       fncFormatMessage(rc, static_cast<uint32_t>(err)));
      return false;
    }
    value = CleanFolder(value);
    if (value.empty()) {
      WriteLog(rc, std::string("ERR : ") + kName + " - Program Files Dir Path Not Found ");
      return false;
    }
    *folder = value;
    return true;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, std::string("ERR : ") + kName + ". " + Num(e.number) + " " + e.description);
    return false;
  }
}

bool fncNortonLiveUpdate(RunContext& rc) {
  constexpr const char* kName = "fncNortonLiveUpdate";
  try {
    WriteLog(rc, std::string("MSG : Executing Function ") + kName);
    if (rc.Norton.NortonPathSearchUsed) {
      std::string basePath;
      ReadValue("SOFTWARE\\Symantec\\Symantec Endpoint Protection\\InstalledApps", os::kKeyRead, "BasePath",
                &basePath);
      if (!basePath.empty() && os::FileExists(basePath + "SepLiveUpdate.exe"))
        return RunNortonTool(rc, basePath + "SepLiveUpdate.exe", " -S", false);

      // Without an install folder the path would start at the root of the
      // current drive, where any user may put a uistub.exe.
      const std::string& location = rc.Norton.StrNortonInstallLocation;
      if (!TrimSpaces(location).empty()) {
        WriteLog(rc, "MSG: Reading uistub.exe location from " + location + "Engine64\\22.8.0.50\\");
        const std::string uistubFolder = location + "\\Engine64\\22.8.0.50\\";
        WriteLog(rc, "MSG: uistub.exe location " + uistubFolder);
        if (os::FileExists(uistubFolder + "uistub.exe"))
          return RunNortonTool(rc, uistubFolder + "uistub.exe", " /lu", true);
      }
    }
    std::string folder;
    if (fncGetNortonLiveUpdateDir(rc, &folder)) {
      const std::string tool = folder + "\\LUALL.exe";
      if (os::FileExists(tool)) return RunNortonTool(rc, tool, " -S", false);
      LogFileNotFound(rc, kName, tool);
    }
    if (!fncGetProgramFilesDir(rc, &folder)) return false;
    const std::string tool = folder + "\\Symantec\\LiveUpdate\\LUALL.exe";
    if (os::FileExists(tool)) return RunNortonTool(rc, tool, " -S", false);
    LogFileNotFound(rc, kName, tool);
    return false;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, std::string("ERR : ") + kName + ". " + Num(e.number) + " " + e.description);
    return false;
  }
}

bool fncRunNortonIntelligentUpdate(RunContext& rc) {
  return RunPackage(rc, "fncRunNortonIntelligentUpdate", "NortonDefinition.exe", " /q");
}

// ---- McAfee ----------------------------------------------------------------------------

bool fncGetMcafeeTaskValue(RunContext& rc, std::string* taskId) {
  constexpr const char* kName = "fncGetMcafeeTaskValue";
  try {
    WriteLog(rc, std::string("MSG : Reading Registry Key ") + kVseTasksKey);
    os::RegKey tasks;
    const long err = os::RegOpenKeyEx(kVseTasksKey, os::kKeyRead, &tasks);
    if (err == os::kErrorFileNotFound) {
      WriteLog(rc, "ERR : Function - fncGetMcafeeTaskValue - Could not find registry key ");
      return false;
    }
    if (err != 0) {
      WriteLog(rc, std::string("ERR : Function - fncGetMcafeeTaskValue - Could not open registry key ") +
                       kVseTasksKey + ". " + fncFormatMessage(rc, static_cast<uint32_t>(err)));
      return false;
    }
    for (uint32_t index = 0;; ++index) {
      std::string name;
      if (os::RegEnumKey(tasks, index, 256, &name) != 0) break;
      name = TrimAtNull(name);
      std::string taskName;
      if (ReadValue(std::string(kVseTasksKey) + "\\" + name, os::kKeyRead, "szTaskName", &taskName) != 0)
        continue;
      if (EqualsNoCase(taskName, "AutoUpdate")) {
        *taskId = name;
        WriteLog(rc, "MSG : McAfeeTaskValue - " + LogExcerpt(name));
        return true;
      }
    }
    return false;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, std::string("ERR : ") + kName + ". " + Num(e.number) + " " + e.description);
    return false;
  }
}

bool fncGetMcAfeeLiveUpdateDir(RunContext& rc, std::string* updater) {
  try {
    std::string value;
    if (!FindValue(rc, "fncGetMcAfeeLiveUpdateDir", kVseKey, os::kKeyRead, "szUpdateEXE", &value)) return false;
    *updater = value;
    return true;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, "ERR : fncGetMcAfeeLiveUpdateDir. " + Num(e.number) + " " + e.description);
    return false;
  }
}

bool fncGetMcAfeeManagedLiveUpdateDir(RunContext& rc, std::string* folder, std::string* commandLine) {
  constexpr const char* kName = "fncGetMcAfeeManagedLiveUpdateDir";
  try {
    std::string installDir;
    const bool haveFolder = FindValue(rc, kName, kManagedKey, os::kKeyRead, "szInstallDir", &installDir);
    std::string parameters;
    ReadValue(kManagedUpdateKey, os::kKeyRead, "szCmdLine", &parameters);
    parameters = TrimSpaces(parameters);
    if (parameters.empty()) {
      WriteLog(rc, std::string("ERR : ") + kName + " - Command Line Parameter Not Found ");
    } else {
      WriteLog(rc, "MSG : Command Line Parameter Found ");
    }
    if (!haveFolder || parameters.empty()) return false;
    *folder = installDir;
    *commandLine = parameters;
    return true;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, std::string("ERR : ") + kName + ". " + Num(e.number) + " " + e.description);
    return false;
  }
}

bool fncGetMcAfeeDesktopProtectionLiveUpdateDir(RunContext& rc, std::string* updater) {
  try {
    std::string value;
    if (!FindValue(rc, "fncGetMcAfeeDesktopProtectionLiveUpdateDir", kDesktopKey, os::kKeyRead, "szUpdateEXE",
                   &value))
      return false;
    *updater = value;
    return true;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, "ERR : fncGetMcAfeeDesktopProtectionLiveUpdateDir. " + Num(e.number) + " " + e.description);
    return false;
  }
}

namespace {

// An updater named by a registry value must be a program: a batch file or
// script there would hand its arguments to cmd.exe.
bool RefusedUpdater(RunContext& rc, const std::string& launcher, const std::string& updater) {
  if (EndsWithNoCase(updater, ".exe")) return false;
  return Refused(rc, launcher, updater, "not an .exe program");
}

// The desktop updater, tried when the managed agent's updater did not run.
bool RunDesktopUpdater(RunContext& rc) {
  constexpr const char* kName = "fncMcAfeeLiveUpdate";
  std::string updater;
  if (!fncGetMcAfeeDesktopProtectionLiveUpdateDir(rc, &updater)) return false;
  if (RefusedUpdater(rc, kName, updater)) return false;
  if (!os::FileExists(updater)) {
    LogFileNotFound(rc, kName, updater);
    return false;
  }
  const std::string toolCommand = ToolCommand(rc, kName, updater);
  if (toolCommand.empty()) return false;
  const std::string command = toolCommand + " /UPDATE /QUIET";
  WriteLog(rc, "MSG : Executing " + command);
  const bool ok = fncExecuteShell(rc, command, 0);
  // The updater hands the work to the framework and returns at once.
  if (ok) os::Sleep(kDesktopUpdaterPauseMs);
  LogOutcome(rc, kName, command, ok);
  return ok;
}

}  // namespace

bool fncMcAfeeLiveUpdate(RunContext& rc, bool McAfeeVseFound) {
  constexpr const char* kName = "fncMcAfeeLiveUpdate";
  try {
    WriteLog(rc, std::string("MSG : Executing Function ") + kName);
    if (McAfeeVseFound) {
      std::string taskId, updater;
      const bool haveTask = fncGetMcafeeTaskValue(rc, &taskId);
      const bool haveUpdater = fncGetMcAfeeLiveUpdateDir(rc, &updater);
      if (!haveTask || !haveUpdater || taskId.empty() || updater.empty()) return false;
      if (Refused(rc, kName, taskId, TaskIdProblem(taskId)) || RefusedUpdater(rc, kName, updater))
        return false;
      if (!StartAndWait(rc, "McAfeeFramework")) return false;
      if (!os::FileExists(updater)) {
        LogFileNotFound(rc, kName, updater);
        return false;
      }
      const std::string toolCommand = ToolCommand(rc, kName, updater);
      if (toolCommand.empty()) return false;
      const std::string command = toolCommand + " /TASK  " + taskId + " /UPDATE /QUIET ";
      WriteLog(rc, "MSG : Executing " + command);
      // Success is exit code 0 (see fncCreateProcess).
      const bool ok = fncCreateProcess(rc, command);
      LogOutcome(rc, kName, command, ok);
      return ok;
    }

    bool ok = false;
    std::string folder, parameters;
    // A refused agent command line leaves the desktop updater to try.
    if (fncGetMcAfeeManagedLiveUpdateDir(rc, &folder, &parameters) &&
        !Refused(rc, kName, parameters, ArgumentProblem(parameters))) {
      if (!StartAndWait(rc, "myagtsvc")) return false;
      const std::string tool = folder + "\\Agent\\UpdDlg.exe";
      if (os::FileExists(tool)) {
        const std::string toolCommand = ToolCommand(rc, kName, tool);
        if (!toolCommand.empty()) {
          const std::string command = toolCommand + " " + parameters;
          WriteLog(rc, "MSG : Executing " + command);
          ok = fncExecuteShell(rc, command, 0);
          LogOutcome(rc, kName, command, ok);
        }
      } else {
        LogFileNotFound(rc, kName, tool);
      }
      WriteLog(rc, "MSG : Execution Completed ");
    }
    if (!ok) ok = RunDesktopUpdater(rc);
    return ok;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, std::string("ERR : ") + kName + ". " + Num(e.number) + " " + e.description);
    return false;
  }
}

bool fncRunMcAfeeIntelligentUpdate(RunContext& rc) {
  return RunPackage(rc, "fncRunMcAfeeIntelligentUpdate", "McAfeeDefinition.exe", " /SILENT");
}

// ---- Microsoft Security Essentials -------------------------------------------------------

bool fncMESLiveUpdate(RunContext& rc) {
  constexpr const char* kName = "fncMESLiveUpdate";
  try {
    WriteLog(rc, std::string("MSG : Executing Function ") + kName);
    std::string location;
    ReadValue(kAntimalwareKey, os::kKeyRead | os::kKeyWow64_64Key, "InstallLocation", &location);
    location = CleanFolder(location);
    const std::string tool = location.empty() ? std::string("MpCmdRun.exe") : location + "\\MpCmdRun.exe";
    if (location.empty() || !os::FileExists(tool)) {
      LogFileNotFound(rc, kName, tool);
      return false;
    }
    std::string quoted;
    if (!QuoteArgument(rc, GetShortpath(rc, tool), QuoteFor::kBatchLine, kName, &quoted)) return false;
    return RunThroughBatch(rc, kName, "LiveUpdate.bat", quoted + " /signatureupdate");
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, std::string("ERR : ") + kName + ". " + Num(e.number) + " " + e.description);
    return false;
  }
}

bool fncRunMESIntelligentUpdate(RunContext& rc) {
  constexpr const char* kName = "fncRunMESIntelligentUpdate";
  try {
    WriteLog(rc, std::string("MSG : Executing Function ") + kName);
    const std::string package = rc.AppFolder + "\\MSEDefinition.exe";
    if (!os::FileExists(package)) {
      LogFileNotFound(rc, kName, package);
      return false;
    }
    if (!VerifyPackageSignature(rc, kName, package, DeleteForm::kA)) return false;
    bool ok = false;
    std::string quoted;
    if (QuoteArgument(rc, package, QuoteFor::kBatchLine, kName, &quoted))
      ok = RunThroughBatch(rc, kName, "IntelligentUpdate.bat", quoted + " -q");
    DeletePackage(rc, package, DeleteForm::kA);
    return ok;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, std::string("ERR : ") + kName + ". " + Num(e.number) + " " + e.description);
    return false;
  }
}

// ---- Trend Micro -------------------------------------------------------------------------

bool fncTMLiveUpdate(RunContext& rc) {
  constexpr const char* kName = "fncTMLiveUpdate";
  try {
    std::string folder;
    ReadValue(kPcCillinKey, os::kKeyRead, "Application Path", &folder);
    folder = TrimSpaces(ReplaceAll(folder, "\"", ""));
    if (folder.empty()) {
      LogFileNotFound(rc, kName, "UfUpdUi.exe");
      return false;
    }
    folder = WithSlash(folder);
    const std::string tool = folder + "UfUpdUi.exe";
    if (!os::FileExists(tool)) {
      LogFileNotFound(rc, kName, tool);
      return false;
    }
    const std::string command = ToolCommand(rc, kName, tool);
    if (command.empty()) return false;
    const bool ok = fncExecuteShell(rc, command, 0);
    if (ok) WriteLog(rc, "MSG : Successfully executed " + tool);
    return ok;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, std::string("ERR : ") + kName + ". " + Num(e.number) + "::" + e.description);
    return false;
  }
}

bool fncGetTrendMicroDir(RunContext& rc, std::string* folder) {
  constexpr const char* kName = "fncGetTrendMicroDir";
  try {
    std::string value;
    if (ReadValue(kPcCillinCorpKey, os::kKeyRead, "Application Path", &value) != 0) {
      WriteLog(rc, std::string("MSG : Reading TrendMicro Internet Security Registry Key ") + kPcCillinKey);
      ReadValue(kPcCillinKey, os::kKeyRead, "Application Path", &value);
    }
    value = CleanFolder(value);
    if (value.empty()) {
      WriteLog(rc, std::string("ERR : ") + kName + " - Trend Micro Dir Path Not Found ");
      return false;
    }
    WriteLog(rc, "MSG : Trend Micro Dir Path - " + LogExcerpt(value));
    *folder = value;
    return true;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, std::string("ERR : ") + kName + ". " + Num(e.number) + " " + e.description);
    return false;
  }
}

bool fncRunTrendMicroIntelligentUpdate(RunContext& rc) {
  constexpr const char* kName = "fncRunTrendMicroIntelligentUpdate";
  try {
    WriteLog(rc, std::string("MSG : Executing Function ") + kName);
    const std::string archive = rc.AppFolder + "\\TrendMicro.zip";
    if (!os::FileExists(archive)) {
      WriteLog(rc, std::string("ERR : ") + kName + " - Folder Not Found " + archive);
      return false;
    }
    // The unpacked pattern is the first "lpt" file of the folder, so one left
    // by a run that was cut short would be copied instead of the new one.
    std::vector<std::string> names;
    if (os::ListFiles(rc.AppFolder, &names) == 0) {
      for (const std::string& fileName : names) {
        if (!StartsWithNoCase(fileName, "lpt")) continue;
        if (!DeletePackage(rc, rc.AppFolder + "\\" + fileName, DeleteForm::kB)) return false;
      }
    }
    std::string pattern;
    if (!FileUnzip(rc, rc.AppFolder, &pattern)) {
      WriteLog(rc, std::string("ERR : ") + kName + " - Failed to UnZip " + archive);
      return false;
    }
    if (!os::FileExists(pattern)) {
      LogFileNotFound(rc, kName, pattern);
      return false;
    }
    std::string folder;
    bool ready = fncGetTrendMicroDir(rc, &folder);
    if (!ready) {
      WriteLog(rc, std::string("ERR : ") + kName + " - Failed to find Trend Micro Folder Path ");
    } else if (!os::FolderExists(folder)) {
      WriteLog(rc, std::string("ERR : ") + kName + " - Folder Not Found " + folder);
      ready = false;
    }
    if (!ready) {
      // An unpacked pattern left behind would be taken for the next run's.
      DeletePackage(rc, pattern, DeleteForm::kB);
      return false;
    }
    if (rc.TrendInternetSecurityFound) {
      if (!CopyPatternWithServicesStopped(rc, {"PcCtlCom"}, pattern, folder)) return false;
      os::Sleep(kPcCtlComSettleMs);
      return true;
    }
    return CopyPatternWithServicesStopped(rc, {"tmlisten", "ntrtscan"}, pattern, folder);
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, std::string("ERR : ") + kName + ". " + Num(e.number) + " " + e.description);
    return false;
  }
}

// ---- VIPRE and AVG -------------------------------------------------------------------------

bool fncVipreLiveUpdate(RunContext& rc) {
  constexpr const char* kName = "fncVipreLiveUpdate";
  try {
    WriteLog(rc, std::string("MSG : Executing Function ") + kName);
    const std::string folder = CleanFolder(rc.VipreInstallPath);
    const std::string tool = folder + "\\SBAMCommandLineScanner.exe";
    if (folder.empty() || !os::FileExists(tool)) {
      LogFileNotFound(rc, kName, tool);
      return false;
    }
    const std::string file = WithSlash(GetShortpath(rc, folder)) + "SBAMCommandLineScanner.exe";
    if (RefusedFile(rc, kName, file)) return false;
    const std::string command = file + " /updatedefs";
    WriteLog(rc, "MSG : Executing " + command);
    std::string code, text;
    uint32_t timeout = kVipreWaitMs;
    const bool ok = fncShellExecuteWait(rc, file, "/updatedefs", &code, &text, &timeout);
    LogOutcome(rc, kName, command, ok);
    return ok;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, std::string("ERR : ") + kName + ". " + Num(e.number) + " " + e.description);
    return false;
  }
}

bool fncGetAVGLiveUpdateDir(RunContext& rc, std::string* folder) {
  constexpr const char* kName = "fncGetAVGLiveUpdateDir";
  try {
    os::RegKey avg;
    const long err = os::RegOpenKeyEx(kAvgKey, os::kKeyRead, &avg);
    if (err == os::kErrorFileNotFound) {
      WriteLog(rc, std::string("ERR : ") + kName + " - Could not find registry key " + kAvgKey);
      return false;
    }
    if (err != 0) {
      WriteLog(rc, std::string("ERR : ") + kName + " - Could not open registry key " + kAvgKey + ". " +
                       fncFormatMessage(rc, static_cast<uint32_t>(err)));
      return false;
    }
    for (uint32_t index = 0;; ++index) {
      std::string name;
      if (os::RegEnumKey(avg, index, 256, &name) != 0) break;
      name = TrimAtNull(name);
      if (!StartsWithNoCase(name, "AVG")) continue;
      const std::string subkey = std::string(kAvgKey) + "\\" + name;
      std::string value;
      ReadValue(subkey, os::kKeyRead, "AvgDir", &value);
      value = CleanFolder(value);
      if (value.empty()) {
        WriteLog(rc, std::string("ERR : ") + kName + " - AVGInstPath found blank in " + subkey);
        return false;
      }
      *folder = value;
      return true;
    }
    WriteLog(rc, std::string("ERR : ") + kName + " - Live Update Dir Path Not Found ");
    return false;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, std::string("ERR : ") + kName + ". " + Num(e.number) + " " + e.description);
    return false;
  }
}

bool fncAVGLiveUpdate(RunContext& rc) {
  constexpr const char* kName = "fncAVGLiveUpdate";
  try {
    WriteLog(rc, std::string("MSG : Executing Function ") + kName);
    WriteLog(rc, "------------");
    std::string folder;
    if (!fncGetAVGLiveUpdateDir(rc, &folder)) return false;
    const std::string tool = folder + "\\avgmfapx.exe";
    if (!os::FileExists(tool)) {
      LogFileNotFound(rc, kName, tool);
      return false;
    }
    const std::string file = GetShortpath(rc, tool);
    if (RefusedFile(rc, kName, file)) return false;
    WriteLog(rc, "MSG : Executing " + file);
    std::string code, text;
    uint32_t timeout = 0;  // its default, 300 seconds
    const bool ok = fncShellExecuteWait(rc, file, "", &code, &text, &timeout);
    LogOutcome(rc, kName, file, ok);
    return ok;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, std::string("ERR : ") + kName + ". " + Num(e.number) + " " + e.description);
    return false;
  }
}
