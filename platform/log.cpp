#include "platform/log.h"

#include <cstdio>

#include "platform/filewrite.h"
#include "platform/regfiles.h"
#include "base/text.h"
#include "base/error.h"
#include "platform/instance.h"

namespace {

// The log is where a run explains itself; when it cannot be written, say so
// where the caller of the program can see it, once.
void ReportLogFailure(RunContext& rc, const std::string& what, long code) {
  if (rc.LogFailed) return;
  rc.LogFailed = true;
  std::string text;
  if (os::FormatMessage(static_cast<uint32_t>(code), false, &text)) text = TrimBlanks(text);
  std::fprintf(stderr, "avdefupdate: %s %s\\%s: %ld%s%s\n", what.c_str(), rc.AppFolder.c_str(),
               kLogFileName, code, text.empty() ? "" : "-", text.c_str());
}

}  // namespace

void WriteLog(RunContext& rc, std::string_view message) {
  try {
    if (!rc.LogStream.valid()) return;
    std::string line = FormatLogTime(os::Now());
    line += '\t';
    line += message;
    line += "\r\n";
    if (const long err = os::WriteFileHandle(rc.LogStream, line); err != 0) {
      ReportLogFailure(rc, "cannot write the run log", err);
    }
  } catch (...) {
    // A lost log line must never disturb the run.
  }
}

void DeleteFileLogged(RunContext& rc, const std::string& path) {
  WriteLog(rc, "MSG : Deleting File " + path);
  try {
    (void)os::SetFileAttributes(path, os::kFileAttributeNormal);  // the delete's result decides
    // A file that stays would be met again by every later run: say why.
    if (const long err = os::DeleteFile(path); err != 0 && os::FileExists(path)) {
      WriteLog(rc, "ERR : Could not delete " + path + ". ErrDesc: " + ErrorCause(rc, err));
    }
  } catch (...) {
  }
}

namespace {

std::string ExeBaseName() {
  std::string module = os::GetModuleFileName();
  size_t slash = module.find_last_of('\\');
  std::string name = slash == std::string::npos ? module : module.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string ExeFolder() {
  std::string module = os::GetModuleFileName();
  size_t slash = module.find_last_of('\\');
  return slash == std::string::npos ? std::string() : module.substr(0, slash);
}

}  // namespace

void OpenRunLog(RunContext& rc) {
  if (AnotherInstanceRunning()) throw RunEnded{kExitSecondInstance};

  rc.AppFolder = GetShortpath(rc, ExeFolder());

  const std::string logPath = rc.AppFolder + "\\" + kLogFileName;
  uint64_t size = 0;
  if (os::FileExists(logPath) && os::GetFileSize(logPath, &size) == 0 &&
      static_cast<double>(size) / 1024.0 > static_cast<double>(kLogSizeLimitKb)) {
    DeleteFileLogged(rc, logPath);
    os::Sleep(1000);
  }

  os::FileHandle stream;
  long err = os::FileExists(logPath) ? os::OpenFile(logPath, os::OpenMode::kAppendExisting, &stream)
                                     : os::OpenFile(logPath, os::OpenMode::kCreateAlways, &stream);
  if (err != 0) {
    ReportLogFailure(rc, "cannot open the run log", err);
    if (err == os::kErrorPathNotFound || err == os::kErrorFileNotFound) throw RtError::PathNotFound();
    throw RtError::PermissionDenied();
  }
  rc.LogStream = std::move(stream);

  WriteLog(rc, "MSG : Application Started");
  WriteLog(rc, "MSG : CommandLine Parameters are :: " + TrimSpaces(os::GetCommandLineArgs()));
  rc.ExeVersion = os::GetFileVersion(rc.AppFolder + "\\" + ExeBaseName() + ".exe");
  WriteLog(rc, "MSG : Exe Version :: " + rc.ExeVersion);
}

void EndRun(RunContext& rc, int exitCode) {
  WriteLog(rc, "MSG : Application Ended");
  WriteLog(rc, "====================================END====================================================");
  WriteLog(rc, "\r\n");
  rc.StatusOpen = false;
  rc.LogStream.Close();
  throw RunEnded{exitCode == 0 && rc.LogFailed ? kExitLogUnwritable : exitCode};
}
