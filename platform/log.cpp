#include "platform/log.h"

#include <cstdio>

#include "platform/regfiles.h"
#include "base/text.h"
#include "base/error.h"
#include "platform/instance.h"

void WriteLog(RunContext& rc, std::string_view message) {
  try {
    if (!rc.LogStream.valid()) return;
    std::string line = FormatLogTime(os::Now());
    line += '\t';
    line += message;
    line += "\r\n";
    os::WriteFileHandle(rc.LogStream, line);
  } catch (...) {
    // A lost log line must never disturb the run.
  }
}

void DeleteFileLogged(RunContext& rc, const std::string& path) {
  WriteLog(rc, "MSG : Deleting File " + path);
  try {
    os::SetFileAttributes(path, os::kFileAttributeNormal);
    os::DeleteFile(path);
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
  rc.StatusStream.Close();
  rc.LogStream.Close();
  throw RunEnded{exitCode};
}
