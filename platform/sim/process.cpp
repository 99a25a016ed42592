// A small process table on the virtual clock, with a command interpreter for
// the cmd.exe lines and batch files the agent runs, and the project's stand-in
// vendor tool run as a real host program.
//
// Time: what a process does happens when it starts; it then lasts its run
// time. A command interpreter runs its commands one after another, each when
// the one before it has ended, as events on the virtual clock.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

#include "platform/sim/state.h"

extern char** environ;

namespace sim {
namespace {

constexpr uint32_t kInfinite = 0xFFFFFFFF;
constexpr int kMaxDepth = 8;
constexpr uint32_t kNotRecognized = 9009;

std::string BaseName(const std::string& path) {
  const size_t sep = path.find_last_of("\\/");
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string FolderOf(const std::string& path) {
  const size_t sep = path.find_last_of("\\/");
  return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

bool HasExtension(const std::string& name) { return name.find('.') != std::string::npos; }

std::string Extension(const std::string& path) {
  const std::string base = BaseName(path);
  const size_t dot = base.rfind('.');
  return dot == std::string::npos ? std::string() : Upper(base.substr(dot));
}

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

std::string Unquote(std::string token) {
  token = Trim(token);
  if (token.size() >= 2 && token.front() == '"' && token.back() == '"') return token.substr(1, token.size() - 2);
  return token;
}

bool IsAbsolute(const std::string& path) { return path.size() >= 2 && path[1] == ':'; }

// "C:\a" + "b\c" with "." and ".." resolved.
std::string Combine(const std::string& folder, const std::string& relative) {
  if (IsAbsolute(relative)) return relative;
  if (!relative.empty() && relative[0] == '\\') return "C:" + relative;
  std::vector<std::string> parts;
  if (!SplitWindowsPath(folder + "\\" + relative, &parts)) return {};
  std::string out = "C:";
  for (const std::string& p : parts) out += "\\" + p;
  return parts.empty() ? "C:\\" : out;
}

// The Windows path of an existing program file: the name as given, then with
// the extensions Windows tries.
std::string ExistingProgram(const std::string& candidate) {
  if (candidate.empty() || PathKey(candidate).empty()) return {};
  if (HasExtension(BaseName(candidate))) return os::FileExists(candidate) ? candidate : std::string();
  for (const char* ext : {".exe", ".bat", ".cmd"})
    if (os::FileExists(candidate + ext)) return candidate + ext;
  return {};
}

// The Windows path of the program a token names, or empty when it does not
// exist (built-in tools always exist in the system folder). A bare name is
// looked for in `cwd` (when given), the program's folder, the system folder
// and C:\Windows.
std::string FindProgram(const std::string& rawToken, const std::string& cwd = {}) {
  const std::string token = Unquote(rawToken);
  if (token.empty()) return {};
  const std::string base = BaseName(token);
  const bool bare = base == token;
  if (IsBuiltin(base)) {
    const std::string folder = bare ? M().systemDirectory : FolderOf(token);
    const std::string key = PathKey(folder);
    if (bare || key == PathKey(M().systemDirectory) || key == "C:\\WINDOWS\\SYSWOW64" ||
        key == "C:\\WINDOWS\\SYSTEM32") {
      return folder + "\\" + (HasExtension(base) ? base : base + ".exe");
    }
  }
  if (!bare) return ExistingProgram(cwd.empty() ? token : Combine(cwd, token));
  std::vector<std::string> folders;
  if (!cwd.empty()) folders.push_back(cwd);
  for (const std::string& f : {FolderOf(M().programPath), M().systemDirectory, std::string("C:\\Windows")})
    folders.push_back(f);
  for (const std::string& folder : folders) {
    const std::string found = ExistingProgram(folder + "\\" + token);
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

// The arguments of a command line as a C runtime splits them (quotes group
// and are removed; 2n backslashes before a quote are n, 2n+1 escape it).
std::vector<std::string> SplitArguments(const std::string& text) {
  std::vector<std::string> args;
  std::string current;
  bool inQuotes = false, any = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\') {
      size_t n = 0;
      while (i < text.size() && text[i] == '\\') ++n, ++i;
      if (i < text.size() && text[i] == '"') {
        current.append(n / 2, '\\');
        if (n % 2 == 1) {
          current += '"';
        } else {
          inQuotes = !inQuotes;
        }
        any = true;
      } else {
        current.append(n, '\\');
        --i;
      }
      any = true;
    } else if (c == '"') {
      inQuotes = !inQuotes;
      any = true;
    } else if ((c == ' ' || c == '\t') && !inQuotes) {
      if (any) args.push_back(current);
      current.clear();
      any = false;
    } else {
      current += c;
      any = true;
    }
  }
  if (any) args.push_back(current);
  return args;
}

// ---- Events on the virtual clock ----------------------------------------------------

std::map<std::pair<int64_t, uint64_t>, std::function<void()>> g_events;
uint64_t g_eventSeq = 0;

void At(int64_t when, std::function<void()> what) { g_events.emplace(std::make_pair(when, ++g_eventSeq), std::move(what)); }

// What runs when a process whose end was not known yet ends.
std::map<uint32_t, std::vector<std::function<void()>>> g_onEnd;

void Ended(uint32_t pid) {
  auto it = g_onEnd.find(pid);
  if (it == g_onEnd.end()) return;
  for (auto& what : it->second) At(M().clockMs, std::move(what));
  g_onEnd.erase(it);
}

// Runs `what` once the process has ended.
void WhenEnded(const Process& p, std::function<void()> what) {
  if (p.endMs == kNever) {
    g_onEnd[p.pid].push_back(std::move(what));
  } else {
    At(p.endMs, std::move(what));
  }
}

int64_t NextEventTime() { return g_events.empty() ? kNever : g_events.begin()->first.first; }

// Runs every event due by `target`, then sets the clock to it.
void RunEventsUntil(int64_t target) {
  while (!g_events.empty() && g_events.begin()->first.first <= target) {
    auto it = g_events.begin();
    if (it->first.first > M().clockMs) M().clockMs = it->first.first;
    std::function<void()> what = std::move(it->second);
    g_events.erase(it);
    what();
  }
  if (target > M().clockMs) M().clockMs = target;
}

bool Running(const Process& p) { return !p.killed && M().clockMs < p.endMs; }

Process* Find(uint32_t pid) {
  auto it = M().processes.find(pid);
  return it == M().processes.end() ? nullptr : &it->second;
}

bool Alive(uint32_t pid) {
  const Process* p = Find(pid);
  return p != nullptr && Running(*p);
}

void Kill(Process& p, uint32_t exitCode) {
  p.killed = true;
  p.endMs = M().clockMs;
  p.exitCode = exitCode;
  Ended(p.pid);
}

Process& NewProcess(const std::string& image, uint32_t parentPid) {
  Machine& m = M();
  Process p;
  p.pid = m.nextPid;
  m.nextPid += 4;
  p.image = image;
  p.parentPid = parentPid;
  if (const Process* parent = Find(parentPid)) p.job = parent->job;
  p.endMs = m.clockMs;
  return m.processes[p.pid] = p;
}

// ---- Writes of redirected output ------------------------------------------------------

// Creates or truncates (or, appending, creates) the file a redirection names:
// false when its folder does not exist.
bool OpenRedirect(const std::string& windowsPath, bool append) {
  const Resolved r = Resolve(windowsPath);
  if (!r.valid || !r.parentExists || r.isDir) return false;
  return WriteHost(r.host, "", append) == 0;
}

void WriteRedirect(const std::string& windowsPath, const std::string& bytes) {
  const Resolved r = Resolve(windowsPath);
  if (r.valid && r.parentExists && !r.isDir) WriteHost(r.host, bytes, true);
}

// ---- The stand-in vendor tool, run on the host ----------------------------------------

bool IsHostProgram(const std::string& image) {
  const Resolved r = Resolve(image);
  if (!r.exists || r.isDir || ::access(r.host.c_str(), X_OK) != 0) return false;
  std::ifstream in(r.host, std::ios::binary);
  char magic[4] = {};
  in.read(magic, 4);
  return in.gcount() == 4 && magic[0] == 0x7F && magic[1] == 'E' && magic[2] == 'L' && magic[3] == 'F';
}

struct HostRun {
  std::string output;  // what it wrote to stdout
  int64_t runsMs = 0;
  uint32_t exitCode = 0;
  int64_t childRunsMs = -1;
  std::string window;
};

std::string ReadHost(const std::string& host) {
  std::ifstream in(host, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Runs the host program with its working folder and C: mapped; it does its
// work at once and reports how long it would run.
HostRun RunHost(const std::string& image, const std::vector<std::string>& args, const std::string& cwd) {
  HostRun run;
  const std::string host = Resolve(image).host;
  Resolved dir = Resolve(cwd);
  const std::string hostCwd = dir.exists && dir.isDir ? dir.host : M().driveC;
  char scratch[] = "/tmp/avdef-tool-XXXXXX";
  if (::mkdtemp(scratch) == nullptr) {
    run.exitCode = 1;
    return run;
  }
  const std::string outFile = std::string(scratch) + "/stdout";
  const std::string reportFile = std::string(scratch) + "/report";

  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  env.push_back("AVDEF_TOOL_DRIVE_C=" + M().driveC);
  env.push_back("AVDEF_TOOL_REPORT=" + reportFile);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argStrings{host};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argStrings) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, hostCwd.c_str());
  pid_t child = 0;
  const int spawned = posix_spawn(&child, host.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  if (spawned == 0) {
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    run.exitCode = WIFEXITED(status) ? static_cast<uint32_t>(WEXITSTATUS(status)) : 1u;
  } else {
    run.exitCode = 1;
  }
  run.output = ReadHost(outFile);
  for (const std::string& line : SplitLines(ReadHost(reportFile))) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "runs") run.runsMs = std::atoll(value.c_str());
    if (key == "exit") run.exitCode = static_cast<uint32_t>(std::atoll(value.c_str()));
    if (key == "child-runs") run.childRunsMs = std::atoll(value.c_str());
    if (key == "window") run.window = value;
  }
  std::remove(outFile.c_str());
  std::remove(reportFile.c_str());
  ::rmdir(scratch);
  return run;
}

// The child's last act, run on the host when its time is up.
void RunHostChild(const std::string& image) {
  const std::string host = Resolve(image).host;
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  env.push_back("AVDEF_TOOL_DRIVE_C=" + M().driveC);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string a0 = host, a1 = "--child", a2 = host + ".ini";
  char* argv[] = {a0.data(), a1.data(), a2.data(), nullptr};
  pid_t child = 0;
  if (posix_spawn(&child, host.c_str(), nullptr, nullptr, argv, envp.data()) == 0) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

// ---- Starting processes ------------------------------------------------------------------

struct Started {
  uint32_t pid = 0;
  std::string output;  // stdout, for a redirection
};

Started Start(const std::string& image, const std::string& arguments, uint32_t parentPid,
              const std::string& cwd, int depth);

// ---- The command interpreter -------------------------------------------------------------

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

std::string EnvironmentValue(const std::string& name, bool* found) {
  for (const auto& [n, v] : M().environment) {
    if (EqualNoCase(n, name)) {
      *found = true;
      return v;
    }
  }
  *found = false;
  return {};
}

// %-expansion: in a batch file "%%" is "%", %0 and %~dp0 name the batch file,
// %1-%9 are empty and an undefined %NAME% is removed; on a command line an
// undefined %NAME% stays as written.
std::string ExpandPercent(const std::string& line, bool batch, const std::string& batchPath) {
  std::string out;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] != '%') {
      out += line[i];
      continue;
    }
    if (batch && i + 1 < line.size() && line[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    if (batch && line.compare(i, 5, "%~dp0") == 0) {
      out += FolderOf(batchPath) + "\\";
      i += 4;
      continue;
    }
    if (batch && i + 1 < line.size() && line[i + 1] >= '0' && line[i + 1] <= '9') {
      if (line[i + 1] == '0') out += batchPath;
      ++i;
      continue;
    }
    const size_t close = line.find('%', i + 1);
    if (close != std::string::npos && close > i + 1) {
      bool found = false;
      const std::string value = EnvironmentValue(line.substr(i + 1, close - i - 1), &found);
      if (found) {
        out += value;
        i = close;
        continue;
      }
      if (batch) {
        i = close;
        continue;
      }
    }
    out += '%';
  }
  return out;
}

// One command of a line, with the operator that joins it to the one before.
struct Command {
  std::string text;
  std::string joinedBy;  // "", "&", "&&", "||", "|"
};

// Splits a line at & && || | outside quotes; ^ outside quotes takes the next
// character literally.
std::vector<Command> SplitCommands(const std::string& line) {
  std::vector<Command> commands(1);
  bool inQuotes = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') inQuotes = !inQuotes;
    if (!inQuotes && c == '^' && i + 1 < line.size()) {
      commands.back().text += line[++i];
      continue;
    }
    if (!inQuotes && (c == '&' || c == '|')) {
      std::string op(1, c);
      if (i + 1 < line.size() && line[i + 1] == c) op += line[++i];
      commands.push_back({"", op});
      continue;
    }
    commands.back().text += c;
  }
  return commands;
}

struct Redirect {
  std::string target;
  bool append = false;
  bool stderrOnly = false;
};

// Takes the redirections out of a command (">", ">>", "1>", "2>", the target
// quoted or up to a blank).
std::string TakeRedirects(const std::string& text, std::vector<Redirect>* redirects) {
  std::string rest;
  bool inQuotes = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') inQuotes = !inQuotes;
    if (inQuotes || c != '>') {
      rest += c;
      continue;
    }
    Redirect r;
    if (!rest.empty() && (rest.back() == '1' || rest.back() == '2') &&
        (rest.size() == 1 || rest[rest.size() - 2] == ' ' || rest[rest.size() - 2] == '\t')) {
      r.stderrOnly = rest.back() == '2';
      rest.pop_back();
    }
    if (i + 1 < text.size() && text[i + 1] == '>') {
      r.append = true;
      ++i;
    }
    size_t j = i + 1;
    while (j < text.size() && (text[j] == ' ' || text[j] == '\t')) ++j;
    std::string target;
    if (j < text.size() && text[j] == '"') {
      const size_t close = text.find('"', j + 1);
      const size_t end = close == std::string::npos ? text.size() : close;
      target = text.substr(j + 1, end - j - 1);
      j = end + 1;
    } else {
      while (j < text.size() && text[j] != ' ' && text[j] != '\t' && text[j] != '>' && text[j] != '<') target += text[j++];
    }
    r.target = target;
    redirects->push_back(r);
    i = j - 1;
  }
  return rest;
}

// A command interpreter working through its lines: one per process.
struct Interpreter {
  uint32_t pid = 0;
  std::vector<std::string> lines;
  bool batch = false;
  std::string batchPath;
  size_t line = 0;
  std::vector<Command> commands;  // of the current line
  size_t command = 0;
  std::string cwd;
  uint32_t errorLevel = 0;
  int depth = 0;
  // The program the interpreter waits for, and where its output goes.
  uint32_t waitingFor = 0;
  std::vector<Redirect> waitingRedirects;
};

void Step(const std::shared_ptr<Interpreter>& in);

void Finish(Interpreter& in) {
  if (Process* p = Find(in.pid)) {
    if (!p->killed) {
      p->endMs = M().clockMs;
      p->exitCode = in.errorLevel;
      Ended(p->pid);
    }
  }
}

// Runs one command; true when the interpreter must wait for a program.
bool RunCommand(const std::shared_ptr<Interpreter>& in, const std::string& rawText) {
  std::string text = Trim(rawText);
  while (!text.empty() && text[0] == '@') text = Trim(text.substr(1));
  if (text.empty() || text.rfind("::", 0) == 0) return false;

  std::string file;
  bool systeminfoAppend = false;
  if (SystemInfoLine(text, &file, &systeminfoAppend)) {
    const std::string target = Combine(in->cwd, file);
    if (OpenRedirect(target, systeminfoAppend)) {
      WriteRedirect(target, "OS Name:                   " + M().caption + "\r\n");
      in->errorLevel = 0;
    } else {
      in->errorLevel = 1;
    }
    return false;
  }

  std::vector<Redirect> redirects;
  const std::string command = Trim(TakeRedirects(text, &redirects));
  for (const Redirect& r : redirects) {
    if (!OpenRedirect(Combine(in->cwd, r.target), r.append)) {
      in->errorLevel = 1;  // "The system cannot find the path specified."
      return false;
    }
  }
  auto deliver = [&](const std::string& output) {
    for (const Redirect& r : redirects)
      if (!r.stderrOnly) WriteRedirect(Combine(in->cwd, r.target), output);
  };

  std::string rest;
  const std::string first = FirstToken(command, &rest);
  const std::string word = Upper(Unquote(first));
  // "cd\" and "cd.." are one word to cmd.
  if (word == "CD" || word == "CHDIR" || word.rfind("CD\\", 0) == 0 || word == "CD..") {
    std::string target = word.size() > 2 && word != "CHDIR" ? Unquote(first).substr(2) : rest;
    target = Trim(target);
    if (Upper(target).rfind("/D", 0) == 0) target = Trim(target.substr(2));
    target = Unquote(target);
    if (target.empty()) return false;
    const std::string folder = Combine(in->cwd, target);
    const Resolved r = Resolve(folder);
    if (r.exists && r.isDir) {
      in->cwd = folder.size() > 3 && folder.back() == '\\' ? folder.substr(0, folder.size() - 1) : folder;
      in->errorLevel = 0;
    } else {
      in->errorLevel = 1;
    }
    return false;
  }
  if (word.size() == 2 && word[1] == ':') {
    in->errorLevel = word == "C:" ? 0 : 1;  // only C: exists
    return false;
  }
  if (word == "REM" || word == "SET" || word == "TITLE" || word == "PAUSE") return false;
  if (word == "ECHO" || word.rfind("ECHO.", 0) == 0) {
    const std::string u = Upper(Trim(rest));
    if (word == "ECHO" && (u == "OFF" || u == "ON" || u.empty())) return false;
    deliver((word == "ECHO" ? rest : Unquote(first).substr(5)) + "\r\n");
    in->errorLevel = 0;
    return false;
  }
  if (word == "EXIT") {
    std::string code = Trim(rest);
    if (Upper(code).rfind("/B", 0) == 0) code = Trim(code.substr(2));
    in->errorLevel = static_cast<uint32_t>(std::atoll(code.c_str()));
    in->line = in->lines.size();
    in->commands.clear();
    return false;
  }
  std::string program = command;
  if (word == "CALL") program = rest;
  std::string arguments;
  const std::string image = FindProgram(FirstToken(program, &arguments), in->cwd);
  if (image.empty()) {
    in->errorLevel = kNotRecognized;
    return false;
  }
  const Started started = Start(image, arguments, in->pid, in->cwd, in->depth + 1);
  deliver(started.output);
  const Process* p = Find(started.pid);
  if (p != nullptr && Running(*p)) {
    in->waitingFor = started.pid;
    return true;
  }
  in->errorLevel = p != nullptr ? p->exitCode : 1;
  return false;
}

// Works through the commands until one must be waited for or all are done.
void Step(const std::shared_ptr<Interpreter>& in) {
  if (!Alive(in->pid)) return;
  if (in->waitingFor != 0) {
    const Process* p = Find(in->waitingFor);
    in->errorLevel = p != nullptr ? p->exitCode : 1;
    in->waitingFor = 0;
  }
  while (true) {
    if (in->command >= in->commands.size()) {
      if (in->line >= in->lines.size()) {
        Finish(*in);
        return;
      }
      std::string text = ExpandPercent(in->lines[in->line++], in->batch, in->batchPath);
      std::string file;
      bool append = false;
      // The systeminfo pipe is one command of its own.
      in->commands = SystemInfoLine(text, &file, &append) ? std::vector<Command>{{text, ""}} : SplitCommands(text);
      in->command = 0;
    }
    const Command c = in->commands[in->command++];
    if (c.joinedBy == "&&" && in->errorLevel != 0) continue;
    if (c.joinedBy == "||" && in->errorLevel == 0) continue;
    if (c.joinedBy == "|") {
      in->errorLevel = 255;  // pipes other than the systeminfo line are not simulated
      continue;
    }
    if (RunCommand(in, c.text)) {
      WhenEnded(*Find(in->waitingFor), [in] { Step(in); });
      return;
    }
  }
}

std::string ReadWindowsFile(const std::string& path) {
  const Resolved r = Resolve(path);
  return r.exists && !r.isDir ? ReadHost(r.host) : std::string();
}

// cmd.exe's own arguments: the text after /c (or /k), with the outer quotes
// taken off as cmd does: always with /s; without it, unless the text is
// exactly one quoted name of an existing file with a blank in it and no
// special character.
std::string CmdCommandText(const std::string& arguments) {
  std::string rest = Trim(arguments);
  bool strip = false;
  while (rest.size() >= 2 && rest[0] == '/') {
    const char option = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[1])));
    rest = Trim(rest.substr(2));
    if (option == 'S') strip = true;
    if (option == 'C' || option == 'K') break;
  }
  if (rest.empty() || rest[0] != '"') return rest;
  const size_t quotes = std::count(rest.begin(), rest.end(), '"');
  if (!strip && quotes == 2) {
    const std::string inner = rest.substr(1, rest.find('"', 1) - 1);
    const bool special = inner.find_first_of("&<>()@^|") != std::string::npos;
    const bool blank = inner.find_first_of(" \t") != std::string::npos;
    if (!special && blank && !FindProgram("\"" + inner + "\"").empty()) return rest;
  }
  const size_t last = rest.rfind('"');
  return rest.substr(1, last - 1) + rest.substr(last + 1);
}

Started Start(const std::string& image, const std::string& arguments, uint32_t parentPid,
              const std::string& cwd, int depth) {
  Started started;
  const std::string ext = Extension(image);
  const bool batch = ext == ".BAT" || ext == ".CMD";
  const bool cmd = StripExe(Upper(BaseName(image))) == "CMD";
  // A batch file runs in a command interpreter.
  Process& p = NewProcess(batch ? M().systemDirectory + "\\cmd.exe" : image, parentPid);
  started.pid = p.pid;
  if ((batch || cmd) && depth < kMaxDepth) {
    auto in = std::make_shared<Interpreter>();
    in->pid = p.pid;
    in->cwd = cwd;
    in->depth = depth;
    if (batch) {
      in->batch = true;
      in->batchPath = image;
      in->lines = SplitLines(ReadWindowsFile(image));
    } else {
      in->lines = {CmdCommandText(arguments)};
    }
    p.endMs = kNever;
    Step(in);
    return started;
  }
  if (IsHostProgram(image)) {
    const HostRun run = RunHost(image, SplitArguments(arguments), cwd);
    Process& q = M().processes[started.pid];
    q.endMs = M().clockMs + run.runsMs;
    q.exitCode = run.exitCode;
    q.window = run.window;
    started.output = run.output;
    if (run.childRunsMs >= 0) {
      Process& child = NewProcess(image, started.pid);
      child.endMs = M().clockMs + run.childRunsMs;
      const uint32_t childPid = child.pid;
      At(child.endMs, [childPid, image] {
        Process* c = Find(childPid);
        if (c != nullptr && !c->killed) RunHostChild(image);
      });
    }
    return started;
  }
  const ProgramSpec spec = SpecFor(image);
  p.endMs = M().clockMs + spec.runsMs;
  p.exitCode = spec.exitCode;
  return started;
}

std::string AgentFolder() { return FolderOf(M().programPath); }

// Starts what a CreateProcess command line names: 0 or the Win32 error.
long StartCommandLine(const std::string& commandLine, uint32_t job, uint32_t* pid) {
  std::string arguments;
  const std::string image = FindProgram(FirstToken(commandLine, &arguments));
  if (image.empty()) {
    M().lastError = os::kErrorFileNotFound;
    return os::kErrorFileNotFound;
  }
  // The job is the process's from its start: give it to a placeholder parent.
  Process& holder = NewProcess("", 0);
  holder.job = job;
  holder.endMs = kNever;
  const uint32_t holderPid = holder.pid;
  const Started started = Start(image, arguments, holderPid, AgentFolder(), 0);
  M().processes.erase(holderPid);
  if (Process* p = Find(started.pid)) p->parentPid = 0;
  *pid = started.pid;
  return os::kErrorSuccess;
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
  return Find(h->pid);
}

uint32_t JobOf(const os::JobHandle& handle) {
  HandleData* h = FindHandle(os::HandleKind::kJob, handle.get());
  return h == nullptr ? 0 : h->job;
}

constexpr uintptr_t kWindowBase = 0x10000;

}  // namespace

void Advance(int64_t ms) {
  if (ms > 0) RunEventsUntil(M().clockMs + ms);
}

void StartWindowOwners() {
  g_events.clear();
  g_onEnd.clear();
  for (const auto& [title, image] : M().windows) {
    Process& p = NewProcess(image, 0);
    p.endMs = kNever;
    p.window = title;
  }
}

void JobClosed(uint32_t job) {
  for (auto& [pid, p] : M().processes)
    if (p.job == job && Running(p)) Kill(p, 0);
}

}  // namespace sim

namespace os {

long CreateProcess(const std::string& commandLine, bool hidden, ProcessHandle* process,
                   uint32_t* processId) {
  uint32_t pid = 0;
  if (const long err = sim::StartCommandLine(commandLine, 0, &pid); err != 0) return err;
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
  const uint32_t pid = sim::Start(image, parameters, 0, sim::AgentFolder(), 0).pid;
  *process = ProcessHandle(sim::NewProcessHandle(pid));
  return kErrorSuccess;
}

long OpenProcess(uint32_t processId, uint32_t access, ProcessHandle* process) {
  sim::Process* p = sim::Find(processId);
  if (p == nullptr || (!sim::Running(*p) && p->openHandles <= 0)) {
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
  const uint32_t pid = p->pid;
  const int64_t deadline =
      milliseconds == sim::kInfinite ? sim::kNever : sim::M().clockMs + static_cast<int64_t>(milliseconds);
  while (sim::Alive(pid)) {
    const int64_t next = std::min({sim::Find(pid)->endMs, sim::NextEventTime(), deadline});
    // A process that never ends, waited for without a limit.
    if (next == sim::kNever) return kWaitFailed;
    sim::RunEventsUntil(next);
    if (sim::M().clockMs >= deadline && sim::Alive(pid)) return kWaitTimeout;
  }
  return kWaitObject0;
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
  sim::Kill(*p, exitCode);
  return true;
}

uint32_t GetWindowThreadProcessId(uintptr_t window) {
  if (window <= sim::kWindowBase) return 0;
  const sim::Process* p = sim::Find(static_cast<uint32_t>(window - sim::kWindowBase));
  return p != nullptr && sim::Running(*p) && !p->window.empty() ? p->pid : 0;
}

uintptr_t FindWindow(const std::string& title) {
  for (const auto& [pid, p] : sim::M().processes)
    if (sim::Running(p) && !p.window.empty() && sim::EqualNoCase(p.window, title)) return sim::kWindowBase + pid;
  return 0;
}

long QueryFullProcessImageName(const ProcessHandle& process, std::string* path) {
  sim::Process* p = sim::ProcessOf(process);
  if (p == nullptr) {
    sim::M().lastError = kErrorInvalidHandle;
    return kErrorInvalidHandle;
  }
  *path = p->image;
  return kErrorSuccess;
}

long CreateJobObject(JobHandle* job) {
  sim::HandleData h;
  h.kind = HandleKind::kJob;
  h.job = sim::M().nextJob++;
  *job = JobHandle(sim::NewHandle(h));
  return kErrorSuccess;
}

long CreateProcessInJob(const JobHandle& job, const std::string& commandLine, bool hidden,
                        ProcessHandle* process, uint32_t* processId) {
  const uint32_t id = sim::JobOf(job);
  if (id == 0) {
    sim::M().lastError = kErrorInvalidHandle;
    return kErrorInvalidHandle;
  }
  uint32_t pid = 0;
  if (const long err = sim::StartCommandLine(commandLine, id, &pid); err != 0) return err;
  *process = ProcessHandle(sim::NewProcessHandle(pid));
  if (processId != nullptr) *processId = pid;
  return kErrorSuccess;
}

long AssignProcessToJobObject(const JobHandle& job, const ProcessHandle& process) {
  const uint32_t id = sim::JobOf(job);
  sim::Process* p = sim::ProcessOf(process);
  if (id == 0 || p == nullptr) {
    sim::M().lastError = kErrorInvalidHandle;
    return kErrorInvalidHandle;
  }
  p->job = id;
  return kErrorSuccess;
}

bool TerminateJobObject(const JobHandle& job, uint32_t exitCode) {
  const uint32_t id = sim::JobOf(job);
  if (id == 0) {
    sim::M().lastError = kErrorInvalidHandle;
    return false;
  }
  for (auto& [pid, p] : sim::M().processes)
    if (p.job == id && sim::Running(p)) sim::Kill(p, exitCode);
  return true;
}

}  // namespace os
