// A stand-in for any vendor tool (scanner, updater, definition package). A
// scenario copies it into drive_c under the vendor's file name and puts its
// behaviour in an INI file beside it, named after the copy plus ".ini"
// (cAvginfo.exe -> cAvginfo.exe.ini):
//
//   [tool]
//   print=<line>              a line of output (repeatable, in order)
//   output-arg=<n>            the output goes to the file named by argument n
//   output-prefix=<text>      ... or by the argument that starts with text
//                             (the rest of it); otherwise to stdout
//   write=<path>|<line>       a line into a file (the first line of a run
//                             replaces the file; repeatable)
//   copy=<from>|<to>          copies a file over another
//   delete=<path>             deletes a file
//   args-to=<path>            writes the arguments it got, one a line
//   runs=<ms>                 how long it runs after doing all of that
//   exit=<code>               its exit code
//   child-runs=<ms>           starts a child that runs that long and then
//   child-write=<path>|<line> writes this line (a tree that was killed never does)
//   window=<title>            a window of that title (the simulated machine only)
//
// Paths are Windows paths or relative to the working folder. Without a
// section or file it prints nothing and exits 0.
//
// A Windows build started as "--service <name> running|startpend" is instead
// the program of a service of that name (the Wine runner registers one for
// each service of the scenario's machine). A running one accepts a stop: it
// reports stopped and ends, so a later start brings it back running. A
// startpend one never gets past starting and accepts no control.
//
// On the simulated machine the host runs it with AVDEF_TOOL_DRIVE_C (the host
// folder of C:) and AVDEF_TOOL_REPORT (a file): it then maps C:\ paths, does
// its work at once and, instead of sleeping and starting its child, writes
// runs, exit, child-runs and window into the report for the virtual clock.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

struct Config {
  std::vector<std::string> prints;
  int outputArg = 0;
  std::string outputPrefix;
  std::vector<std::pair<std::string, std::string>> writes, copies;
  std::vector<std::string> deletes;
  std::string argsTo;
  long runs = 0, exitCode = 0, childRuns = -1;
  std::vector<std::pair<std::string, std::string>> childWrites;
  std::string window;
};

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::pair<std::string, std::string> SplitBar(const std::string& v) {
  const size_t bar = v.find('|');
  if (bar == std::string::npos) return {v, {}};
  return {v.substr(0, bar), v.substr(bar + 1)};
}

Config ReadConfig(const std::string& iniPath) {
  Config c;
  std::ifstream in(iniPath, std::ios::binary);
  std::string line;
  bool inTool = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string t = Trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '#') continue;
    if (t[0] == '[') {
      inTool = Lower(t) == "[tool]";
      continue;
    }
    const size_t eq = line.find('=');
    if (!inTool || eq == std::string::npos) continue;
    const std::string key = Lower(Trim(line.substr(0, eq)));
    const std::string value = line.substr(eq + 1);  // kept as written: output lines may have blanks
    if (key == "print") c.prints.push_back(value);
    else if (key == "output-arg") c.outputArg = std::atoi(value.c_str());
    else if (key == "output-prefix") c.outputPrefix = Trim(value);
    else if (key == "write") c.writes.push_back(SplitBar(value));
    else if (key == "copy") c.copies.push_back(SplitBar(Trim(value)));
    else if (key == "delete") c.deletes.push_back(Trim(value));
    else if (key == "args-to") c.argsTo = Trim(value);
    else if (key == "runs") c.runs = std::atol(value.c_str());
    else if (key == "exit") c.exitCode = std::atol(value.c_str());
    else if (key == "child-runs") c.childRuns = std::atol(value.c_str());
    else if (key == "child-write") c.childWrites.push_back(SplitBar(value));
    else if (key == "window") c.window = Trim(value);
  }
  return c;
}

// ---- Paths -------------------------------------------------------------------

const char* DriveC() { return std::getenv("AVDEF_TOOL_DRIVE_C"); }

#ifdef _WIN32
std::string HostPath(const std::string& path) { return path; }
#else
// "C:\a\b" -> <drive_c>/a/b with existing components matched without regard
// to case, as Windows names them; a relative path stays relative.
std::string HostPath(const std::string& path) {
  std::string p = path;
  for (char& c : p)
    if (c == '\\') c = '/';
  const char* drive = DriveC();
  if (drive == nullptr || p.size() < 2 || p[1] != ':' || std::tolower(static_cast<unsigned char>(p[0])) != 'c')
    return p;
  std::string host = drive;
  std::istringstream parts(p.substr(2));
  std::string part;
  while (std::getline(parts, part, '/')) {
    if (part.empty() || part == ".") continue;
    std::string chosen = part;
    if (DIR* dir = opendir(host.c_str())) {
      while (dirent* e = readdir(dir)) {
        if (Lower(e->d_name) == Lower(part)) {
          chosen = e->d_name;
          break;
        }
      }
      closedir(dir);
    }
    host += "/" + chosen;
  }
  return host;
}
#endif

std::string FileText(const std::string& path) {
  std::ifstream in(HostPath(path), std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool WriteText(const std::string& path, const std::string& text, bool append) {
  std::ofstream out(HostPath(path), std::ios::binary | (append ? std::ios::app : std::ios::trunc));
  out << text;
  return static_cast<bool>(out);
}

void DeleteFileAt(const std::string& path) { std::remove(HostPath(path).c_str()); }

void WriteLines(const std::vector<std::pair<std::string, std::string>>& writes) {
  std::set<std::string> started;
  for (const auto& [path, line] : writes) {
    const bool first = started.insert(Lower(path)).second;
    WriteText(path, line + "\r\n", !first);
  }
}

void SleepMs(long ms) {
  if (ms <= 0) return;
#ifdef _WIN32
  ::Sleep(static_cast<DWORD>(ms));
#else
  usleep(static_cast<useconds_t>(ms) * 1000);
#endif
}

// ---- The child ----------------------------------------------------------------

int RunChild(const Config& c) {
  // On the simulated machine the host starts the child once its time is up.
  if (DriveC() == nullptr) SleepMs(c.childRuns);
  WriteLines(c.childWrites);
  return 0;
}

#ifdef _WIN32
void StartChild(const std::string& self, const std::string& ini) {
  std::string line = "\"" + self + "\" --child \"" + ini + "\"";
  std::vector<char> buffer(line.begin(), line.end());
  buffer.push_back('\0');
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (::CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
  }
}

std::string SelfPath(const char*) {
  char buffer[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  return buffer;
}

// ---- Service mode --------------------------------------------------------------

struct ServiceMode {
  std::string name;
  DWORD state = SERVICE_RUNNING;
  SERVICE_STATUS_HANDLE handle = nullptr;
  SERVICE_STATUS status{};
  HANDLE ended = nullptr;
};
ServiceMode service;

void ReportService(DWORD state, DWORD accepted) {
  service.status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  service.status.dwCurrentState = state;
  service.status.dwControlsAccepted = accepted;
  service.status.dwWin32ExitCode = NO_ERROR;
  ::SetServiceStatus(service.handle, &service.status);
}

DWORD WINAPI ServiceControl(DWORD control, DWORD, LPVOID, LPVOID) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
      if ((service.status.dwControlsAccepted & SERVICE_ACCEPT_STOP) == 0) return ERROR_CALL_NOT_IMPLEMENTED;
      // Stopped before the control returns, as the caller's next look expects.
      ReportService(SERVICE_STOPPED, 0);
      ::SetEvent(service.ended);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI ServiceMain(DWORD, LPSTR*) {
  service.handle = ::RegisterServiceCtrlHandlerExA(service.name.c_str(), ServiceControl, nullptr);
  if (service.handle == nullptr) return;
  ReportService(service.state, service.state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0);
  ::WaitForSingleObject(service.ended, INFINITE);
}

int RunService(const std::string& name, const std::string& state) {
  service.name = name;
  if (Lower(state) == "startpend") service.state = SERVICE_START_PENDING;
  else if (Lower(state) != "running") return 2;
  service.ended = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::vector<char> serviceName(name.begin(), name.end());
  serviceName.push_back('\0');
  SERVICE_TABLE_ENTRYA table[] = {{serviceName.data(), ServiceMain}, {nullptr, nullptr}};
  return ::StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
#else
std::string SelfPath(const char* argv0) { return argv0; }
#endif

}  // namespace

int main(int argc, char** argv) {
  const std::string self = SelfPath(argv[0]);
  if (argc >= 3 && std::string(argv[1]) == "--child") return RunChild(ReadConfig(argv[2]));
#ifdef _WIN32
  if (argc >= 4 && std::string(argv[1]) == "--service") return RunService(argv[2], argv[3]);
#endif
  const std::string ini = self + ".ini";
  const Config c = ReadConfig(ini);
  std::vector<std::string> args(argv + 1, argv + argc);

  if (!c.argsTo.empty()) {
    std::string text;
    for (const std::string& a : args) text += a + "\r\n";
    WriteText(c.argsTo, text, false);
  }

  std::string output;
  for (const std::string& line : c.prints) output += line + "\r\n";
  std::string outputFile;
  if (c.outputArg > 0 && c.outputArg <= static_cast<int>(args.size())) outputFile = args[c.outputArg - 1];
  if (!c.outputPrefix.empty()) {
    for (const std::string& a : args)
      if (Lower(a).rfind(Lower(c.outputPrefix), 0) == 0) outputFile = a.substr(c.outputPrefix.size());
  }
  if (!outputFile.empty()) {
    WriteText(outputFile, output, false);
  } else {
#ifdef _WIN32
    // The lines already end in CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::fwrite(output.data(), 1, output.size(), stdout);
    std::fflush(stdout);
  }

  WriteLines(c.writes);
  for (const auto& [from, to] : c.copies) WriteText(to, FileText(from), false);
  for (const std::string& path : c.deletes) DeleteFileAt(path);

  if (const char* report = std::getenv("AVDEF_TOOL_REPORT")) {
    std::ofstream out(report, std::ios::binary | std::ios::trunc);
    out << "runs=" << c.runs << "\nexit=" << c.exitCode << "\nchild-runs=" << c.childRuns
        << "\nwindow=" << c.window << "\n";
    return static_cast<int>(c.exitCode);
  }
  if (c.childRuns >= 0) {
#ifdef _WIN32
    StartChild(self, ini);
#else
    if (fork() == 0) _exit(RunChild(c));
#endif
  }
  SleepMs(c.runs);
  return static_cast<int>(c.exitCode);
}
