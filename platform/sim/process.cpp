// A small process table on the virtual clock.
#include <fstream>
#include <sstream>

#include "platform/sim/state.h"

namespace sim {
namespace {

constexpr uint32_t kInfinite = 0xFFFFFFFF;
constexpr int kMaxBatchDepth = 4;

std::string BaseName(const std::string& path) {
  const size_t sep = path.find_last_of("\\/");
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string FolderOf(const std::string& path) {
  const size_t sep = path.find_last_of("\\/");
  return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

bool HasExtension(const std::string& name) { return name.find('.') != std::string::npos; }

std::string StripExe(const std::string& upperName) {
  if (upperName.size() > 4 && upperName.substr(upperName.size() - 4) == ".EXE") {
    return upperName.substr(0, upperName.size() - 4);
  }
  return upperName;
}

bool IsBuiltin(const std::string& name) {
  const std::string n = StripExe(Upper(name));
  return n == "REGSVR32" || n == "CMD" || n == "SYSTEMINFO";
}

// The Windows path of the program a token names, or empty when it does not
// exist (built-in tools always exist in the system folder).
std::string FindProgram(const std::string& rawToken) {
  std::string token = Trim(rawToken);
  if (token.size() >= 2 && token.front() == '"' && token.back() == '"') {
    token = token.substr(1, token.size() - 2);
  }
  if (token.empty()) return {};
  const std::string base = BaseName(token);
  const bool bare = base == token;
  auto existing = [](const std::string& candidate) -> std::string {
    if (os::FileExists(candidate)) return candidate;
    if (!HasExtension(BaseName(candidate)) && os::FileExists(candidate + ".exe")) return candidate + ".exe";
    return {};
  };
  if (IsBuiltin(base)) {
    const std::string folder = bare ? M().systemDirectory : FolderOf(token);
    const std::string key = PathKey(folder);
    if (bare || key == PathKey(M().systemDirectory) || key == "C:\\WINDOWS\\SYSWOW64" ||
        key == "C:\\WINDOWS\\SYSTEM32") {
      return folder + "\\" + (HasExtension(base) ? base : base + ".exe");
    }
  }
  if (!bare) return PathKey(token).empty() ? std::string() : existing(token);
  for (const std::string& folder : {FolderOf(M().programPath), M().systemDirectory, std::string("C:\\Windows")}) {
    const std::string found = existing(folder + "\\" + token);
    if (!found.empty()) return found;
  }
  return {};
}

ProgramSpec SpecFor(const std::string& image) {
  const auto& programs = M().programs;
  const std::string base = Upper(BaseName(image));
  for (const std::string& key : {PathKey(image), base, StripExe(base)}) {
    auto it = programs.find(key);
    if (it != programs.end()) return it->second;
  }
  return {};
}

// First token of a command line: quoted, or up to the first blank.
std::string FirstToken(const std::string& commandLine, std::string* rest) {
  const std::string t = Trim(commandLine);
  size_t end = 0;
  if (!t.empty() && t[0] == '"') {
    end = t.find('"', 1);
    end = end == std::string::npos ? t.size() : end + 1;
  } else {
    end = t.find_first_of(" \t");
    if (end == std::string::npos) end = t.size();
  }
  if (rest != nullptr) *rest = Trim(t.substr(end));
  return t.substr(0, end);
}

uint32_t Start(const std::string& image, int depth);

// Matches `systeminfo | findstr /B /C:"OS Name">"<file>"` (spacing and case
// free, ">>" appends); *file and *append get the redirection.
bool SystemInfoLine(const std::string& line, std::string* file, bool* append) {
  const std::string u = Upper(line);
  size_t pos = 0;
  auto skip = [&] {
    while (pos < u.size() && (u[pos] == ' ' || u[pos] == '\t')) ++pos;
  };
  auto take = [&](const std::string& word) {
    skip();
    if (u.compare(pos, word.size(), word) != 0) return false;
    pos += word.size();
    return true;
  };
  if (!take("SYSTEMINFO")) return false;
  take(".EXE");
  if (!take("|") || !take("FINDSTR")) return false;
  take(".EXE");
  if (!take("/B") || !take("/C:\"OS NAME\"") || !take(">")) return false;
  *append = take(">");
  skip();
  std::string target = line.substr(pos);
  if (!target.empty() && target[0] == '"') {
    const size_t close = target.find('"', 1);
    if (close == std::string::npos || !Trim(target.substr(close + 1)).empty()) return false;
    target = target.substr(1, close - 1);
  }
  *file = Trim(target);
  return !file->empty();
}

void RunBatch(const std::string& image, int depth) {
  std::ifstream in(Resolve(image).host, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  for (std::string line : SplitLines(ss.str())) {
    line = Trim(line);
    while (!line.empty() && line[0] == '@') line = Trim(line.substr(1));
    if (line.empty() || line.rfind("::", 0) == 0) continue;
    const std::string word = Upper(FirstToken(line, nullptr));
    if (word == "REM" || word == "ECHO" || word == "EXIT" || word == "SET" || word == "CD") continue;
    std::string file;
    bool append = false;
    if (SystemInfoLine(line, &file, &append)) {
      const Resolved target = Resolve(file);
      if (!target.valid || !target.parentExists || target.isDir) continue;
      std::ofstream out(target.host, std::ios::binary | (append ? std::ios::app : std::ios::trunc));
      out << "OS Name:                   " << M().caption << "\r\n";
      continue;
    }
    const std::string program = FindProgram(FirstToken(line, nullptr));
    if (!program.empty()) Start(program, depth + 1);
  }
}

uint32_t Start(const std::string& image, int depth) {
  Machine& m = M();
  const ProgramSpec spec = SpecFor(image);
  Process p;
  p.pid = m.nextPid;
  m.nextPid += 4;
  p.image = image;
  p.endMs = m.clockMs + spec.runsMs;
  p.exitCode = spec.exitCode;
  m.processes[p.pid] = p;
  const std::string ext = Upper(image.size() >= 4 ? image.substr(image.size() - 4) : image);
  if ((ext == ".BAT" || ext == ".CMD") && depth < kMaxBatchDepth) RunBatch(image, depth);
  return p.pid;
}

void* NewProcessHandle(uint32_t pid) {
  HandleData h;
  h.kind = os::HandleKind::kProcess;
  h.pid = pid;
  ++M().processes[pid].openHandles;
  return NewHandle(h);
}

Process* ProcessOf(const os::ProcessHandle& handle) {
  HandleData* h = FindHandle(os::HandleKind::kProcess, handle.get());
  if (h == nullptr) return nullptr;
  auto it = M().processes.find(h->pid);
  return it == M().processes.end() ? nullptr : &it->second;
}

bool Running(const Process& p) { return M().clockMs < p.endMs; }

}  // namespace
}  // namespace sim

namespace os {

long CreateProcess(const std::string& commandLine, bool hidden, ProcessHandle* process,
                   uint32_t* processId) {
  const std::string image = sim::FindProgram(sim::FirstToken(commandLine, nullptr));
  if (image.empty()) {
    sim::M().lastError = kErrorFileNotFound;
    return kErrorFileNotFound;
  }
  const uint32_t pid = sim::Start(image, 0);
  *process = ProcessHandle(sim::NewProcessHandle(pid));
  if (processId != nullptr) *processId = pid;
  return kErrorSuccess;
}

long ShellExecuteEx(const std::string& verb, const std::string& file, const std::string& parameters,
                    bool hidden, ProcessHandle* process) {
  std::string quoted = "\"";
  quoted += sim::Trim(file);
  quoted += '"';
  const std::string image = sim::FindProgram(quoted);
  if (image.empty()) {
    sim::M().lastError = kErrorFileNotFound;
    return kErrorFileNotFound;
  }
  const uint32_t pid = sim::Start(image, 0);
  *process = ProcessHandle(sim::NewProcessHandle(pid));
  return kErrorSuccess;
}

long OpenProcess(uint32_t processId, uint32_t access, ProcessHandle* process) {
  auto it = sim::M().processes.find(processId);
  if (it == sim::M().processes.end() || (!sim::Running(it->second) && it->second.openHandles <= 0)) {
    sim::M().lastError = kErrorInvalidParameter;
    return kErrorInvalidParameter;
  }
  *process = ProcessHandle(sim::NewProcessHandle(processId));
  return kErrorSuccess;
}

uint32_t WaitForSingleObject(const ProcessHandle& process, uint32_t milliseconds) {
  sim::Process* p = sim::ProcessOf(process);
  if (p == nullptr) {
    sim::M().lastError = kErrorInvalidHandle;
    return kWaitFailed;
  }
  const int64_t remaining = p->endMs - sim::M().clockMs;
  if (remaining <= 0) return kWaitObject0;
  if (milliseconds == sim::kInfinite || remaining <= static_cast<int64_t>(milliseconds)) {
    sim::Advance(remaining);
    return kWaitObject0;
  }
  sim::Advance(milliseconds);
  return kWaitTimeout;
}

bool GetExitCodeProcess(const ProcessHandle& process, uint32_t* exitCode) {
  sim::Process* p = sim::ProcessOf(process);
  if (p == nullptr) {
    sim::M().lastError = kErrorInvalidHandle;
    return false;
  }
  *exitCode = sim::Running(*p) ? kStillActive : p->exitCode;
  return true;
}

bool TerminateProcess(const ProcessHandle& process, uint32_t exitCode) {
  sim::Process* p = sim::ProcessOf(process);
  if (p == nullptr) {
    sim::M().lastError = kErrorInvalidHandle;
    return false;
  }
  if (!sim::Running(*p)) {
    sim::M().lastError = kErrorAccessDenied;
    return false;
  }
  p->endMs = sim::M().clockMs;
  p->exitCode = exitCode;
  return true;
}

uint32_t GetWindowThreadProcessId(uintptr_t window) { return 0; }

}  // namespace os
