#include "platform/process.h"

#include "platform/regfiles.h"
#include "platform/zip.h"
#include "base/error.h"
#include "platform/log.h"
#include "base/text.h"

namespace {

std::string Num(long n) { return std::to_string(n); }

std::string FormatCode(RunContext& rc, long code) {
  return fncFormatMessage(rc, static_cast<uint32_t>(code));
}

void LogManagerFailure(RunContext& rc, long err) {
  WriteLog(rc, std::string("ERR : Function - SetServiceStopped - Unable to Open Service Manager") + " " +
                   FormatCode(rc, err));
}

}  // namespace

uint32_t ShellHidden(const std::string& commandLine) {
  os::ProcessHandle process;
  uint32_t processId = 0;
  if (os::CreateProcess(commandLine, true, &process, &processId) != 0) throw RtError::FileNotFound();
  return processId;
}

std::string GetSystemErrorText(uint32_t code) {
  try {
    if (code == 0) code = os::GetLastError();
    std::string text;
    constexpr size_t kBufferChars = 256;
    if (!os::FormatMessage(code, false, &text) || text.size() >= kBufferChars || text.size() < 2)
      return {};
    return text.substr(0, text.size() - 2);
  } catch (...) {
    (void)CurrentError();
    return {};
  }
}

// ---- Processes -------------------------------------------------------------------

long StartTool(const std::string& commandLine, ToolProcess* tool) {
  if (const long err = os::CreateJobObject(&tool->job); err != 0) return err;
  return os::CreateProcessInJob(tool->job, commandLine, true, &tool->process, &tool->processId);
}

bool EndToolTree(RunContext& rc, ToolProcess& tool) {
  uint32_t exitCode = 0;
  const bool running = tool.process.valid() && os::GetExitCodeProcess(tool.process, &exitCode) &&
                       exitCode == os::kStillActive;
  // The tool may have ended and left a child behind: the job ends that too,
  // but only the tool's own overrun is reported.
  if (!tool.job.valid() || !os::TerminateJobObject(tool.job, 0)) return false;
  if (running) WriteLog(rc, "MSG : Terminated the Process as given time elpased..");
  return running;
}

bool fncExecuteShell(RunContext& rc, const std::string& commandLine, uint32_t timeoutMs) {
  try {
    WriteLog(rc, "MSG : fncExecuteShell :: " + commandLine);
    ToolProcess tool;
    if (StartTool(commandLine, &tool) != 0) throw RtError::FileNotFound();
    uint32_t exitCode = 0;
    (void)os::GetExitCodeProcess(tool.process, &exitCode);
    if (exitCode == os::kStillActive) {
      (void)os::WaitForSingleObject(tool.process, timeoutMs == 0 ? kExecuteShellDefaultTimeoutMs : timeoutMs);
    }
    EndToolTree(rc, tool);
    return true;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, "ERR : fncExecuteShell, " + Num(e.number) + ":" + e.description);
    return false;
  }
}

void fncTerminateUpdateProcess(RunContext& rc, const os::ProcessHandle& process) {
  try {
    if (os::TerminateProcess(process, 0))
      WriteLog(rc, "MSG : Terminated the Process as given time elpased..");
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, "ERR : fncTerminateUpdateProcess " + Num(e.number) + " " + e.description);
  }
}

bool fncCreateProcess(RunContext& rc, const std::string& commandLine) {
  try {
    WriteLog(rc, "MSG : Executing Function fncCreateProcess ");
    os::JobHandle job;
    os::ProcessHandle process;
    uint32_t processId = 0;
    long err = os::CreateJobObject(&job);
    if (err == 0) err = os::CreateProcessInJob(job, commandLine, false, &process, &processId);
    if (err != 0) {
      WriteLog(rc, "ERR : fncCreateProcess " + Num(err) + " " +
                       GetSystemErrorText(static_cast<uint32_t>(err)));
      return false;
    }
    const uint32_t waited = os::WaitForSingleObject(process, kCreateProcessTimeoutMs);
    uint32_t exitCode = os::kStillActive;
    const bool haveExitCode = os::GetExitCodeProcess(process, &exitCode);
    // An overrun updater is ended with everything it started.
    if (waited != os::kWaitObject0) WriteLog(rc, "MSG : Terminated the Process as given time elpased..");
    (void)os::TerminateJobObject(job, 0);
    // Success only for a clean, finished run: a tool that failed must not read as success.
    return waited == os::kWaitObject0 && haveExitCode && exitCode == 0;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, "ERR : fncCreateProcess " + Num(e.number) + " " + e.description);
    return false;
  }
}

bool fncShellExecuteWait(RunContext& rc, const std::string& file, const std::string& parameters,
                         std::string* errorCode, std::string* errorText, uint32_t* timeoutMs) {
  try {
    errorCode->clear();
    errorText->clear();
    if (*timeoutMs == 0) *timeoutMs = kShellExecuteWaitDefaultTimeoutMs;
    WriteLog(rc, "MSG : Execution Path & Parameters : " + file + " " + parameters);
    os::JobHandle job;
    os::ProcessHandle process;
    // Started in its job, not handed to the shell and put in a job afterwards:
    // a helper the program starts at once would otherwise escape the job and
    // outlive its overrun. For a program file, "Open" is exactly this start.
    if (os::FileExists(file) && file.find('"') == std::string::npos && os::CreateJobObject(&job) == 0) {
      const std::string commandLine = "\"" + file + "\"" + (parameters.empty() ? "" : " " + parameters);
      (void)os::CreateProcessInJob(job, commandLine, true, &process, nullptr);
    }
    // Without a process the wait fails, and that failure is what the caller sees.
    const uint32_t waited = os::WaitForSingleObject(process, *timeoutMs);
    if (waited == os::kWaitObject0) return true;
    *errorCode = std::to_string(static_cast<int32_t>(waited));
    *errorText = GetSystemErrorText(waited);
    (void)os::TerminateProcess(process, 0);
    if (job.valid()) (void)os::TerminateJobObject(job, 0);
    return false;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, "ERR : fncShellExecuteWait " + Num(e.number) + " " + e.description);
    return false;
  }
}

namespace {

// The short form of a path for comparing, upper-cased; the path itself when
// it has no short form.
std::string ComparablePath(const std::string& path) {
  std::string shortPath;
  if (os::GetShortPathName(path, 1024, &shortPath) == 0) shortPath = path;
  return ToUpper(shortPath);
}

}  // namespace

bool ProcessTerminate(RunContext& rc, uint32_t* processId, uintptr_t window, const std::string& expectedImage) {
  try {
    if (window != 0) *processId = os::GetWindowThreadProcessId(window);
    if (*processId != 0) (void)os::EnableDebugPrivilege();
    os::ProcessHandle process;
    const uint32_t access =
        expectedImage.empty() ? os::kProcessTerminate : os::kProcessTerminate | os::kProcessQueryLimitedInformation;
    (void)os::OpenProcess(*processId, access, &process);
    if (!expectedImage.empty() && process.valid()) {
      std::string image;
      if (os::QueryFullProcessImageName(process, &image) != 0 ||
          ComparablePath(image) != ComparablePath(expectedImage)) {
        WriteLog(rc, "MSG : Process " + std::to_string(*processId) + " (" + image + ") is not " + expectedImage +
                         ": not terminated");
        return false;
      }
    }
    return os::TerminateProcess(process, 0);
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, "ERR : ProcessTerminate. " + Num(e.number) + " " + e.description + " " +
                     std::to_string(os::GetLastError()));
    return false;
  }
}

bool fncRegisterDLL(RunContext& rc, const std::string& path) {
  try {
    WriteLog(rc, "MSG : fncRegisterDLL - Registering " + path);
    ShellHidden("Regsvr32 " + path + " -s");
    os::Sleep(10000);
    return true;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, "ERR : fncRegisterDLL " + Num(e.number) + " " + e.description);
    return false;
  }
}

// ---- Services --------------------------------------------------------------------

bool SetServiceStopped(RunContext& rc, const std::string& name) {
  try {
    WriteLog(rc, "MSG : Executing Function SetServiceStopped ");
    os::ServiceHandle manager;
    if (long err = os::OpenSCManager(os::kScManagerConnect, &manager); err != 0) {
      LogManagerFailure(rc, err);
      return false;
    }
    os::ServiceHandle service;
    const long openErr = os::OpenService(manager, name, os::kServiceStop, &service);
    os::Sleep(5000);
    // A service that is not there counts as stopped.
    if (openErr != 0) return true;
    if (long err = os::ControlServiceStop(service); err != 0) {
      WriteLog(rc, "ERR : Function - SetServiceStopped - Unable to stop the service " + name + " " +
                       FormatCode(rc, err));
      return false;
    }
    return true;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, "ERR : Function - SetServiceStopped " + Num(e.number) + " " + e.description);
    return false;
  }
}

bool SetServiceStarted(RunContext& rc, const std::string& name) {
  try {
    WriteLog(rc, "MSG : Executing Function SetServiceStarted ");
    os::ServiceHandle manager;
    if (long err = os::OpenSCManager(os::kScManagerAllAccess, &manager); err != 0) {
      LogManagerFailure(rc, err);
      return false;
    }
    os::ServiceHandle service;
    if (os::OpenService(manager, name, os::kServiceAllAccess, &service) != 0) return true;
    constexpr int kAttempts = 5;
    long err = 0;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
      err = os::StartService(service);
      if (err == 0) return true;
      if (attempt < kAttempts) os::Sleep(2000);
    }
    // The line names the stop operation; the log readers know it by that text.
    WriteLog(rc, "ERR : Function - SetServiceStopped - Unable to start the service " + name + " " +
                     FormatCode(rc, err));
    return false;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, "ERR : Function - SetServiceStarted " + Num(e.number) + " " + e.description);
    return false;
  }
}

std::string ServiceStateText(uint32_t state) {
  switch (state) {
    case os::kServiceStopped:
      return "stopped";
    case os::kServiceStartPending:
      return "startpend";
    case os::kServiceStopPending:
      return "stoppend";
    case os::kServiceRunning:
      return "running";
    case os::kServiceContinuePending:
      return "contpend";
    case os::kServicePausePending:
      return "pausepend";
    case os::kServicePaused:
      return "paused";
    default:
      return {};
  }
}

bool EnumSystemServices(RunContext& rc, const std::string& name, const std::string& wantedState) {
  try {
    WriteLog(rc, "MSG : Executing Function EnumSystemServices for " + name);
    os::ServiceHandle manager;
    std::vector<os::ServiceStatusRecord> services;
    uint32_t bytesNeeded = 0;
    long err = os::OpenSCManager(os::kScManagerEnumerate, &manager);
    if (err == 0) err = os::EnumServicesStatus(manager, 0, &bytesNeeded, &services);
    if (err != os::kErrorMoreData) {
      WriteLog(rc, std::string("ERR : ") + "Function - EnumSystemServices - " + FormatCode(rc, err));
      return false;
    }
    constexpr uint32_t kRecordBytes = 36;
    const uint32_t records = bytesNeeded / kRecordBytes + 1;
    err = os::EnumServicesStatus(manager, records * kRecordBytes, &bytesNeeded, &services);
    if (err != 0) {
      WriteLog(rc, FormatCode(rc, err) + "ERR : EnumSystemServices - ");
      return false;
    }
    const std::string wanted = ToUpper(name);
    for (const os::ServiceStatusRecord& service : services)
      if (ToUpper(service.name) == wanted) return ServiceStateText(service.currentState) == wantedState;
    return false;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, "ERR : Function - EnumSystemServices " + Num(e.number) + " " + e.description);
    return false;
  }
}

// ---- Pattern archive -------------------------------------------------------------

bool FileUnzip(RunContext& rc, const std::string& folder, std::string* patternPath) {
  const std::string archivePath = folder + "\\TrendMicro.zip";
  try {
    WriteLog(rc, "MSG : Executing Function FileUnzip ");
    // The reader is built in: there is no component to register and retry.
    const zip::Result unzipped = zip::UnzipToFolder(archivePath, folder);
    switch (unzipped.status) {
      case zip::Status::kOk:
        break;
      case zip::Status::kBadArchive:
        throw RtError{321, "Invalid file format"};
      case zip::Status::kCannotRead:
      case zip::Status::kCannotWrite:
        throw FileSystemError(unzipped.osError);
    }
    bool found = false;
    std::vector<std::string> names;
    if (long err = os::ListFiles(folder, &names); err != 0) throw FileSystemError(err);
    for (const std::string& fileName : names) {
      if (StartsWithNoCase(fileName, "lpt")) {
        *patternPath = folder + "\\" + fileName;
        found = true;
        break;
      }
    }
    if (!fncDeleteFile(rc, archivePath, DeleteForm::kB))
      WriteLog(rc, std::string("ERR : Function - FileUnzip - Unable to delete file ") + " " + "TrendMicro.zip");
    return found;
  } catch (...) {
    RtError e = CurrentError();
    WriteLog(rc, "ERR : Function - FileUnZip " + archivePath + " " + Num(e.number) + " " + e.description);
    return false;
  }
}
