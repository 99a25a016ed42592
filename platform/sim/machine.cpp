// The simulated machine: loading the folder, machine.ini, start-up, handles,
// the virtual clock and the single-instance guard.
#include "platform/sim/machine.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/os.h"
#include "platform/sim/state.h"

namespace sim {

// ---- Text helpers -------------------------------------------------------------

// Upper case in the ANSI code page (Windows-1252), as Windows compares names.
std::string Upper(const std::string& s) {
  std::string r = s;
  for (char& ch : r) {
    const unsigned char c = static_cast<unsigned char>(ch);
    unsigned char u = c;
    if (c >= 'a' && c <= 'z') {
      u = static_cast<unsigned char>(c - 0x20);
    } else if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {
      u = static_cast<unsigned char>(c - 0x20);
    } else if (c == 0x9A || c == 0x9C || c == 0x9E) {
      u = static_cast<unsigned char>(c - 0x10);
    } else if (c == 0xFF) {
      u = 0x9F;
    }
    ch = static_cast<char>(u);
  }
  return r;
}

bool EqualNoCase(const std::string& a, const std::string& b) { return Upper(a) == Upper(b); }

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

// ---- State and handles ----------------------------------------------------------

namespace {
Machine& Storage() {
  static Machine machine;
  return machine;
}
uintptr_t g_nextHandle = 0x1000;
}  // namespace

Machine& M() { return Storage(); }

void* NewHandle(const HandleData& data) {
  g_nextHandle += 4;
  M().handles[g_nextHandle] = data;
  return reinterpret_cast<void*>(g_nextHandle);
}

HandleData* FindHandle(os::HandleKind kind, const void* raw) {
  auto it = M().handles.find(reinterpret_cast<uintptr_t>(raw));
  if (it == M().handles.end() || it->second.kind != kind) return nullptr;
  return &it->second;
}


// ---- Clock ------------------------------------------------------------------------

// Howard Hinnant's days_from_civil / civil_from_days.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int* y, int* m, int* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(yy + (*m <= 2));
}

namespace {
int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
  return kDays[m - 1];
}
}  // namespace

bool ParseClock(const std::string& raw, int64_t* ms) {
  const std::string t = Trim(raw);
  if (t.size() != 19) return false;
  for (size_t i = 0; i < t.size(); ++i) {
    const char expected = i == 4 || i == 7 ? '-' : i == 10 ? ' ' : i == 13 || i == 16 ? ':' : '9';
    if (expected == '9' ? !std::isdigit(static_cast<unsigned char>(t[i])) : t[i] != expected) return false;
  }
  const int y = std::stoi(t.substr(0, 4)), mo = std::stoi(t.substr(5, 2)), d = std::stoi(t.substr(8, 2));
  const int h = std::stoi(t.substr(11, 2)), mi = std::stoi(t.substr(14, 2)), s = std::stoi(t.substr(17, 2));
  if (y < 1601 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo) || h > 23 || mi > 59 || s > 59) {
    return false;
  }
  *ms = ((DaysFromCivil(y, mo, d) * 24 + h) * 60 + mi) * 60000LL + s * 1000LL;
  return true;
}

// ---- machine.ini --------------------------------------------------------------------

namespace {

constexpr const char* kDefaultClock = "2026-12-07 00:41:50";

bool ParseUint(const std::string& text, int64_t* value) {
  const std::string t = Trim(text);
  if (t.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long long v = 0;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    v = std::strtoll(t.c_str() + 2, &end, 16);
  } else {
    v = std::strtoll(t.c_str(), &end, 10);
  }
  if (errno != 0 || end == nullptr || *end != '\0') return false;
  *value = v;
  return true;
}

bool ParseServiceState(const std::string& text, uint32_t* state) {
  static const std::pair<const char*, uint32_t> kStates[] = {
      {"running", os::kServiceRunning},          {"stopped", os::kServiceStopped},
      {"paused", os::kServicePaused},            {"startpend", os::kServiceStartPending},
      {"stoppend", os::kServiceStopPending},     {"contpend", os::kServiceContinuePending},
      {"pausepend", os::kServicePausePending}};
  for (const auto& [name, value] : kStates) {
    if (EqualNoCase(text, name)) {
      *state = value;
      return true;
    }
  }
  return false;
}

// Key of [Programs]: a Windows path (normalized) or a bare program name.
std::string ProgramKey(const std::string& name) {
  if (name.find('\\') != std::string::npos || name.find(':') != std::string::npos) return PathKey(name);
  return Upper(name);
}

// One fault setting (a [Faults] key or an AVDEFUPDATE_FAULT entry); an error text or empty.
std::string ParseFault(const std::string& key, const std::string& value, Machine* m) {
  int64_t number = 0;
  if (!ParseUint(value, &number) || number < 0) return key + " must be a number of 0 or more";
  const std::string k = Upper(Trim(key));
  if (k == "FAILWRITE") {
    m->failWrite = number;
  } else if (k == "KILLBEFOREWRITE") {
    m->killBeforeWrite = number;
  } else if (k == "FREESPACE") {
    m->freeSpace = number;
  } else {
    return "unknown fault " + key;
  }
  return {};
}

std::string ParseMachineIni(const std::string& text, const std::string& label, Machine* m,
                            std::string* clockStart) {
  std::string section;
  std::vector<std::pair<std::string, std::string>> envOverrides;
  int lineNo = 0;
  for (std::string line : SplitLines(text)) {
    ++lineNo;
    if (lineNo == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    const std::string t = Trim(line);
    const std::string where = label + ":" + std::to_string(lineNo) + ": ";
    if (t.empty() || t[0] == ';' || t[0] == '#') continue;
    if (t[0] == '[') {
      if (t.back() != ']') return where + "malformed section header " + t;
      section = Upper(Trim(t.substr(1, t.size() - 2)));
      static const char* kSections[] = {"SYSTEM",       "ENVIRONMENT", "SPECIALFOLDERS", "SERVICES",
                                        "PROGRAMS",     "FILEVERSIONS", "CLOCK",         "FAULTS",
                                        "DENIED",       "SIGNATURES",
                                        "WINDOWS"};
      bool known = false;
      for (const char* s : kSections) known = known || section == s;
      if (!known) return where + "unknown section " + t;
      continue;
    }
    const size_t eq = t.find('=');
    if (eq == std::string::npos) return where + "expected name=value";
    const std::string key = Trim(t.substr(0, eq));
    const std::string value = Trim(t.substr(eq + 1));
    if (key.empty()) return where + "empty name";
    if (section.empty()) return where + "entry outside a section";
    const std::string k = Upper(key);
    if (section == "SYSTEM") {
      if (k == "PROGRAMPATH") {
        if (PathKey(value).empty()) return where + "ProgramPath must be a C:\\ path";
        m->programPath = value;
      } else if (k == "BITS") {
        if (value != "32" && value != "64") return where + "Bits must be 32 or 64";
        m->bits = value == "32" ? 32 : 64;
      } else if (k == "WOW64") {
        if (value != "1" && value != "0" && !EqualNoCase(value, "absent")) {
          return where + "Wow64 must be 1, 0 or absent";
        }
        m->wow64 = EqualNoCase(value, "absent") ? "absent" : value;
      } else if (k == "CAPTION") {
        m->caption = value;
      } else if (k == "SYSTEMTYPE") {
        m->systemType = value;
      } else if (k == "VERSION") {
        const size_t dot = value.find('.');
        int64_t major = 0, minor = 0;
        if (dot == std::string::npos || !ParseUint(value.substr(0, dot), &major) ||
            !ParseUint(value.substr(dot + 1), &minor) || major < 0 || minor < 0) {
          return where + "Version must be major.minor";
        }
        m->versionMajor = static_cast<uint32_t>(major);
        m->versionMinor = static_cast<uint32_t>(minor);
      } else if (k == "WMI") {
        if (!EqualNoCase(value, "available") && !EqualNoCase(value, "unavailable")) {
          return where + "WMI must be available or unavailable";
        }
        m->wmi = EqualNoCase(value, "available");
      } else if (k == "SYSTEMDIRECTORY") {
        if (PathKey(value).empty()) return where + "SystemDirectory must be a C:\\ path";
        m->systemDirectory = value;
      } else {
        return where + "unknown [System] key " + key;
      }
    } else if (section == "ENVIRONMENT") {
      envOverrides.emplace_back(key, value);
    } else if (section == "SPECIALFOLDERS") {
      int64_t csidl = 0;
      if (!ParseUint(key, &csidl) || csidl < 0) return where + "CSIDL must be a number";
      m->specialFolders[static_cast<int>(csidl)] = value;
    } else if (section == "SERVICES") {
      uint32_t state = 0;
      if (!ParseServiceState(value, &state)) return where + "unknown service state " + value;
      bool found = false;
      for (ServiceEntry& s : m->services) {
        if (EqualNoCase(s.name, key)) {
          s.state = state;
          found = true;
        }
      }
      if (!found) m->services.push_back({key, state});
    } else if (section == "PROGRAMS") {
      ProgramSpec spec;
      std::istringstream words(value);
      std::string word;
      while (words >> word) {
        const size_t weq = word.find('=');
        const std::string name = Upper(word.substr(0, weq == std::string::npos ? word.size() : weq));
        int64_t number = 0;
        if (weq == std::string::npos || !ParseUint(word.substr(weq + 1), &number)) {
          return where + "expected runs=<ms> exit=<code>";
        }
        if (name == "RUNS" && number >= 0) {
          spec.runsMs = number;
        } else if (name == "EXIT") {
          spec.exitCode = static_cast<uint32_t>(number);
        } else {
          return where + "expected runs=<ms> exit=<code>";
        }
      }
      const std::string pk = ProgramKey(key);
      if (pk.empty()) return where + "program must be a C:\\ path or a program name";
      m->programs[pk] = spec;
    } else if (section == "FILEVERSIONS") {
      const std::string pk = PathKey(key);
      if (pk.empty()) return where + "file must be a C:\\ path";
      m->fileVersions[pk] = value;
    } else if (section == "FAULTS") {
      const std::string error = ParseFault(key, value, m);
      if (!error.empty()) return where + error;
    } else if (section == "DENIED") {
      const std::string pk = PathKey(key);
      if (pk.empty()) return where + "denied path must be a C:\\ path";
      m->denied.push_back(pk);
    } else if (section == "SIGNATURES") {
      const std::string pk = PathKey(key);
      if (pk.empty()) return where + "signed file must be a C:\\ path";
      if (EqualNoCase(value, "valid")) {
        m->signatures[pk] = "";
      } else if (Upper(value).rfind("INVALID", 0) == 0) {
        std::string reason = Trim(value.substr(7));
        if (!reason.empty() && reason[0] == ':') reason = Trim(reason.substr(1));
        m->signatures[pk] = reason.empty() ? "The digital signature of the object did not verify." : reason;
      } else {
        return where + "expected valid or invalid: <reason>";
      }
    } else if (section == "WINDOWS") {
      if (PathKey(value).empty()) return where + "the owner of a window must be a C:\\ path";
      m->windows.emplace_back(key, value);
    } else if (section == "CLOCK") {
      if (k != "START") return where + "unknown [Clock] key " + key;
      int64_t ms = 0;
      if (!ParseClock(value, &ms)) return where + "Start must be YYYY-MM-DD HH:MM:SS";
      *clockStart = value;
    }
  }

  // Environment: defaults, then the machine's entries (an empty value removes).
  const bool is64 = m->bits == 64;
  m->environment = {{"ALLUSERSPROFILE", "C:\\ProgramData"},
                    {"ProgramFiles", is64 ? "C:\\Program Files (x86)" : "C:\\Program Files"},
                    {"SystemRoot", "C:\\Windows"},
                    {"TEMP", "C:\\Windows\\TEMP"},
                    {"windir", "C:\\Windows"}};
  for (const auto& entry : envOverrides) {
    const std::string& name = entry.first;
    std::erase_if(m->environment, [&name](const auto& e) { return EqualNoCase(e.first, name); });
    if (!entry.second.empty()) m->environment.emplace_back(name, entry.second);
  }
  if (m->wow64.empty()) m->wow64 = is64 ? "1" : "0";
  if (m->systemType.empty()) m->systemType = is64 ? "x64-based PC" : "X86-based PC";
  const std::string pf = is64 ? "C:\\Program Files (x86)" : "C:\\Program Files";
  const std::map<int, std::string> defaults = {
      {35, "C:\\ProgramData"},
      {36, "C:\\Windows"},
      {37, is64 ? "C:\\Windows\\SysWOW64" : "C:\\Windows\\system32"},
      {38, pf},
      {42, pf},
      {43, pf + "\\Common Files"},
      {44, pf + "\\Common Files"}};
  for (const auto& [csidl, path] : defaults) m->specialFolders.emplace(csidl, path);
  return {};
}

bool ReadHostFile(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  *bytes = ss.str();
  return true;
}

bool IsHostDir(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string LoadInto(const std::string& folderIn, const std::string& commandLine, Machine* m,
                     const char* clockOverride) {
  std::string folder = folderIn;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder.empty()) return "the machine folder name is empty";
  if (!IsHostDir(folder)) return "machine folder " + folder + " does not exist";
  m->folder = folder;
  m->driveC = folder + "/drive_c";
  m->commandLine = commandLine;

  std::string bytes;
  const std::string regPath = folder + "/registry.reg";
  if (ReadHostFile(regPath, &bytes)) {
    std::string error = ParseRegFile(bytes, regPath, &m->registry);
    if (!error.empty()) return error;
  } else if (::access(regPath.c_str(), F_OK) == 0) {
    return regPath + ": cannot be read";
  }

  std::string clockStart = kDefaultClock;
  const std::string iniPath = folder + "/machine.ini";
  bytes.clear();
  if (ReadHostFile(iniPath, &bytes)) {
    std::string error = ParseMachineIni(bytes, iniPath, m, &clockStart);
    if (!error.empty()) return error;
  } else if (::access(iniPath.c_str(), F_OK) == 0) {
    return iniPath + ": cannot be read";
  } else {
    std::string unused;
    ParseMachineIni("", iniPath, m, &unused);
  }
  if (clockOverride != nullptr) {
    if (!ParseClock(clockOverride, &m->clockMs)) {
      return std::string("AVDEFUPDATE_CLOCK=") + clockOverride + ": expected YYYY-MM-DD HH:MM:SS";
    }
  } else {
    ParseClock(clockStart, &m->clockMs);
  }

  if (!IsHostDir(m->driveC)) return "machine folder " + folder + " has no drive_c folder";
  // The program runs from its folder, so that folder must exist.
  std::vector<std::string> parts;
  SplitWindowsPath(m->programPath, &parts);
  std::string programFolder = "C:";
  for (size_t i = 0; i + 1 < parts.size(); ++i) programFolder += "\\" + parts[i];
  if (parts.size() <= 1) programFolder += "\\";
  const Resolved r = Resolve(programFolder);
  if (!r.exists || !r.isDir) {
    return "the folder of ProgramPath " + m->programPath + " does not exist in " + m->driveC;
  }
  StartWindowOwners();
  return {};
}

std::string Load(const std::string& folder, const std::string& commandLine, const char* clockOverride) {
  Machine& m = Storage();
  if (m.lockFd >= 0) ::close(m.lockFd);
  m = Machine();
  std::string error = LoadInto(folder, commandLine, &m, clockOverride);
  if (!error.empty()) {
    m = Machine();
  }
  return error;
}

}  // namespace

std::string LoadMachine(const std::string& folder, const std::string& commandLine) {
  return Load(folder, commandLine, nullptr);
}

std::string InstanceLockPath() { return M().folder; }

void SetFaults(const Faults& faults) {
  Machine& m = M();
  m.failWrite = faults.failWrite;
  m.killBeforeWrite = faults.killBeforeWrite;
  m.freeSpace = faults.freeSpace;
  m.changes = 0;
  m.faultFired = false;
  m.faultPath.clear();
}

int64_t ChangesSoFar() { return M().changes; }

void SetHostSync(bool on) { M().hostSync = on; }

bool FaultFired() { return M().faultFired; }

std::string FaultPath() { return M().faultPath; }

int64_t FreeSpaceLeft() { return M().freeSpace; }

}  // namespace sim

// ---- The seam: start-up, clock, system facts, instance guard, handles -------------

namespace os {

bool Startup(int argc, char** argv, std::string* error) {
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }
  const char* folder = std::getenv("AVDEFUPDATE_MACHINE");
  if (folder == nullptr || *folder == '\0') {
    *error = "AVDEFUPDATE_MACHINE is not set; it must name a simulated machine folder";
    return false;
  }
  std::string message = sim::Load(folder, commandLine, std::getenv("AVDEFUPDATE_CLOCK"));
  if (!message.empty()) {
    *error = message;
    return false;
  }
  // "FailWrite=3;FreeSpace=0": faults for this run on top of machine.ini's.
  if (const char* faults = std::getenv("AVDEFUPDATE_FAULT"); faults != nullptr) {
    std::istringstream entries(faults);
    std::string entry;
    while (std::getline(entries, entry, ';')) {
      if (sim::Trim(entry).empty()) continue;
      const size_t eq = entry.find('=');
      const std::string fault = sim::ParseFault(entry.substr(0, eq), eq == std::string::npos ? "" : entry.substr(eq + 1),
                                                &sim::M());
      if (!fault.empty()) {
        *error = "AVDEFUPDATE_FAULT: " + fault;
        return false;
      }
    }
  }
  return true;
}

LocalTime Now() {
  const int64_t ms = sim::M().clockMs;
  const int64_t days = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
  const int64_t inDay = ms - days * 86400000;
  LocalTime t;
  sim::CivilFromDays(days, &t.year, &t.month, &t.day);
  t.hour = static_cast<int>(inDay / 3600000);
  t.minute = static_cast<int>(inDay / 60000 % 60);
  t.second = static_cast<int>(inDay / 1000 % 60);
  t.millisecond = static_cast<int>(inDay % 1000);
  return t;
}

void Sleep(uint32_t milliseconds) { sim::Advance(milliseconds); }

bool AcquireSingleInstance() {
  sim::Machine& m = sim::M();
  if (m.lockFd >= 0) return true;
  if (m.folder.empty()) return false;
  const int fd = ::open(m.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  m.lockFd = fd;
  return true;
}

bool GetEnvironmentVariable(const std::string& name, std::string* value) {
  for (const auto& [n, v] : sim::M().environment) {
    if (sim::EqualNoCase(n, name)) {
      *value = v;
      return true;
    }
  }
  sim::M().lastError = 203;  // ERROR_ENVVAR_NOT_FOUND
  return false;
}

std::string GetSystemDirectory() { return sim::M().systemDirectory; }

bool GetSpecialFolderPath(int csidl, std::string* path) {
  auto it = sim::M().specialFolders.find(csidl);
  if (it == sim::M().specialFolders.end()) return false;
  *path = it->second;
  return true;
}

std::string GetModuleFileName() { return sim::M().programPath; }

std::string GetCommandLineArgs() { return sim::M().commandLine; }

bool IsWow64Process(bool* wow64) {
  const std::string& w = sim::M().wow64;
  if (w == "absent") return false;
  *wow64 = w == "1";
  return true;
}

bool GetVersionEx(uint32_t* major, uint32_t* minor) {
  *major = sim::M().versionMajor;
  *minor = sim::M().versionMinor;
  return true;
}

std::string WmiObject::Get(const std::string& name) const {
  auto it = properties.find(sim::Upper(name));
  return it == properties.end() ? std::string() : it->second;
}

bool WmiInstancesOf(const std::string& className, std::vector<WmiObject>* instances) {
  const sim::Machine& m = sim::M();
  if (!m.wmi) return false;
  WmiObject object;
  const std::string c = sim::Upper(className);
  if (c == "WIN32_OPERATINGSYSTEM") {
    object.properties["CAPTION"] = m.caption;
    object.properties["OSARCHITECTURE"] = m.bits == 64 ? "64-bit" : "32-bit";
    object.properties["VERSION"] =
        std::to_string(m.versionMajor) + "." + std::to_string(m.versionMinor);
  } else if (c == "WIN32_COMPUTERSYSTEM") {
    object.properties["SYSTEMTYPE"] = m.systemType;
  } else {
    return false;
  }
  instances->assign(1, object);
  return true;
}

bool EnableDebugPrivilege() { return true; }

uint32_t GetLastError() { return sim::M().lastError; }

void CloseNativeHandle(HandleKind kind, void* raw) {
  sim::HandleData* h = sim::FindHandle(kind, raw);
  if (h == nullptr) return;
  if (kind == HandleKind::kProcess) {
    auto it = sim::M().processes.find(h->pid);
    if (it != sim::M().processes.end()) --it->second.openHandles;
  }
  const uint32_t job = kind == HandleKind::kJob ? h->job : 0;
  sim::M().handles.erase(reinterpret_cast<uintptr_t>(raw));
  if (job != 0) sim::JobClosed(job);
}

}  // namespace os
