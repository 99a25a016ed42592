// Runs the scenarios with the real Windows executable under Wine, one fresh
// copy of a template prefix per scenario, and checks them as the sim runner
// does (the virtual-clock log lines excepted).
//
//   wine_scenarios [-j N] <avdefupdate.exe> <template prefix> <scenarios root> [name...]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/scenario/network.h"
#include "tests/scenario/scenario.h"
#include "tests/scenario/spawn.h"

namespace fs = std::filesystem;
extern char** environ;

namespace {

using scenario::Lower;
using scenario::MachineIni;
using scenario::ReadFile;
using scenario::Spawn;
using scenario::Spawned;
using scenario::Trim;

const char* const kWine = "/usr/lib/wine/wine64";
const char* const kWineServer = "/usr/lib/wine/wineserver";
const char* const kFakeTimeLib = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
const char* const kDefaultProgram = "C:\\Program Files (x86)\\Agent\\AVUpdate\\avdefupdate.exe";
const char* const kDefaultClock = "2026-12-07 00:41:50";
// A run that takes this long is hung (the program's own waits are minutes at
// most on a machine without products; a vendor tool may be waited for 5).
constexpr int kRunTimeoutSeconds = 600;


std::vector<std::string> BaseEnvironment(const fs::path& prefix) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    static const char* const dropped[] = {"AVDEFUPDATE_", "WINEPREFIX=", "WINEDEBUG=", "WINEDLLOVERRIDES=",
                                          "FAKETIME", "LD_PRELOAD=", "NO_FAKE_STAT=", "TZ=", "DISPLAY=",
                                          "WAYLAND_DISPLAY="};
    bool drop = false;
    for (const char* d : dropped) drop = drop || entry.rfind(d, 0) == 0;
    if (!drop) env.push_back(entry);
  }
  env.push_back("WINEPREFIX=" + prefix.string());
  env.push_back("WINEDEBUG=-all");
  // The prefix was made in UTC; the clock below is local time in that zone.
  env.push_back("TZ=UTC");
  return env;
}

void KillWineServer(const fs::path& prefix, const fs::path& scratch) {
  Spawn({kWineServer, "-k"}, BaseEnvironment(prefix), "/dev/null", scratch / "wineserver.err", 60);
}

// The folder with the given name in dir, compared without regard to case.
fs::path FindNoCase(const fs::path& dir, const fs::path& name) {
  if (fs::is_directory(dir)) {
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (Lower(entry.path().filename().string()) == Lower(name.string())) return entry.path();
    }
  }
  return dir / name;
}

// Lays from over to, matching names as Windows does. System files the prefix
// already has are real ones and the scenario's are stand-ins, so those stay.
void LayOver(const fs::path& from, const fs::path& to, bool underWindows) {
  fs::create_directories(to);
  for (const auto& entry : fs::directory_iterator(from)) {
    const fs::path target = FindNoCase(to, entry.path().filename());
    if (entry.is_directory()) {
      LayOver(entry.path(), target,
              underWindows || Lower(entry.path().filename().string()) == "windows");
    } else if (!(underWindows && fs::exists(target))) {
      fs::copy_file(entry.path(), target, fs::copy_options::overwrite_existing);
    }
  }
}

// 0x80..0x9F of Windows-1252; the rest of its upper half is Latin-1.
const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// reg import reads a Version 5.00 file only as UTF-16; an 8-bit one holds
// ANSI text, widened here byte for byte.
std::string RegFileForImport(const std::string& text) {
  const bool utf16 = text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF &&
                     static_cast<unsigned char>(text[1]) == 0xFE;
  if (utf16 || text.rfind("REGEDIT4", 0) == 0) return text;
  std::string out = "\xFF\xFE";
  for (unsigned char c : text) {
    const char16_t w = (c >= 0x80 && c < 0xA0) ? kCp1252High[c - 0x80] : c;
    out += static_cast<char>(w & 0xFF);
    out += static_cast<char>(w >> 8);
  }
  return out;
}

// Command-line words of one arg= value: Wine quotes an argument that holds
// spaces, which Windows callers of the agent never do.
std::vector<std::string> Words(const std::string& arg) {
  std::vector<std::string> words;
  std::istringstream in(arg);
  std::string w;
  while (in >> w) words.push_back(w);
  return words;
}

// Where the stand-in program of the machine's services lies in the prefix.
const char* const kServiceProgram = "C:\\windows\\standin-service.exe";

// The key=value lines of one section of the staged machine's settings, in order.
std::vector<std::pair<std::string, std::string>> MachineSection(const fs::path& staged, const std::string& wanted) {
  std::vector<std::pair<std::string, std::string>> entries;
  std::istringstream ini(ReadFile(staged / "machine.ini"));
  std::string line, section;
  while (std::getline(ini, line)) {
    const std::string t = Trim(line.empty() || line.back() != '\r' ? line : line.substr(0, line.size() - 1));
    if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
      section = Lower(Trim(t.substr(1, t.size() - 2)));
      continue;
    }
    const size_t eq = t.find('=');
    if (section != wanted || eq == std::string::npos) continue;
    entries.emplace_back(Trim(t.substr(0, eq)), Trim(t.substr(eq + 1)));
  }
  return entries;
}

// [Services] of the staged machine, in order; a later line for the same name
// wins, as the simulated machine reads it.
std::vector<std::pair<std::string, std::string>> MachineServices(const fs::path& staged) {
  std::vector<std::pair<std::string, std::string>> services;
  for (const auto& entry : MachineSection(staged, "services")) {
    const std::string& name = entry.first;
    const std::string state = Lower(entry.second);
    auto same = std::find_if(services.begin(), services.end(),
                             [&](const auto& kept) { return Lower(kept.first) == Lower(name); });
    if (same != services.end()) services.erase(same);
    services.emplace_back(name, state);
  }
  return services;
}

const char* const kOpenSsl = "/usr/bin/openssl";
const char* const kSignTool = "/usr/bin/osslsigncode";

// The files the machine's [Signatures] calls validly signed get a real
// Authenticode signature, made with a throwaway code-signing certificate, so
// that the program's WinVerifyTrust call takes its success path. Wine 8
// accepts such a signature without asking whether its root is trusted;
// Windows would also need the root in its trusted store. An empty answer, or
// why the machine cannot be made.
std::string SignMachineFiles(const fs::path& staged, const fs::path& prefix, const fs::path& scratch) {
  const auto entries = MachineSection(staged, "signatures");
  if (entries.empty()) return {};
  for (const char* tool : {kOpenSsl, kSignTool}) {
    if (!fs::exists(tool)) return std::string(tool) + " is missing: run scripts/setup.sh --windows";
  }
  const fs::path key = scratch / "sign-key.pem", cert = scratch / "sign-cert.pem";
  const Spawned made = Spawn({kOpenSsl, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key.string(),
                              "-out", cert.string(), "-days", "30", "-subj", "/CN=Scenario code signing",
                              "-addext", "extendedKeyUsage=codeSigning"},
                             {}, scratch / "openssl.out", scratch / "openssl.err", 60);
  if (made.exitCode != 0) return "openssl could not make a certificate: " + ReadFile(scratch / "openssl.err");
  for (const auto& [path, value] : entries) {
    if (Lower(value) != "valid") {
      return "signature " + value + " of " + path + ": the Wine runner makes only valid signatures; mark wine=no";
    }
    const fs::path file = scenario::HostPath(prefix, path);
    const fs::path signedFile = scratch / "signed.exe";
    fs::remove(signedFile);
    const Spawned sign = Spawn({kSignTool, "sign", "-certs", cert.string(), "-key", key.string(), "-h", "sha256",
                                "-in", file.string(), "-out", signedFile.string()},
                               {}, scratch / "sign.out", scratch / "sign.err", 60);
    if (sign.exitCode != 0) {
      return "osslsigncode could not sign " + path + ": " + ReadFile(scratch / "sign.out") +
             ReadFile(scratch / "sign.err");
    }
    fs::copy_file(signedFile, file, fs::copy_options::overwrite_existing);
  }
  return {};
}

// Whether the prefix's own registry (as copied from the template) has the
// service: Wine's services stay as they are.
bool PrefixHasService(const fs::path& prefix, const std::string& name) {
  const std::string key = Lower("[System\\\\CurrentControlSet\\\\Services\\\\" + name + "]");
  std::istringstream reg(ReadFile(prefix / "system.reg"));
  std::string line;
  while (std::getline(reg, line)) {
    if (Lower(line).rfind(key, 0) == 0) return true;
  }
  return false;
}

// Registers the machine's services with Wine's service manager, each one run
// by the stand-in program, and starts those the machine has running or stuck
// starting. An empty answer, or why the machine cannot be made.
std::string StartMachineServices(const fs::path& staged, const fs::path& prefix, const fs::path& standIn,
                                 const fs::path& scratch) {
  const auto services = MachineServices(staged);
  if (services.empty()) return {};
  fs::copy_file(standIn, scenario::HostPath(prefix, kServiceProgram), fs::copy_options::overwrite_existing);
  for (const auto& [name, state] : services) {
    if (state != "running" && state != "stopped" && state != "startpend") {
      return "service " + name + " is " + state +
             ": the Wine runner makes only running, stopped and startpend services; mark the scenario wine=no";
    }
    if (PrefixHasService(prefix, name)) continue;
    const std::string command =
        std::string(kServiceProgram) + " --service " + name + " " + (state == "startpend" ? "startpend" : "running");
    const Spawned created = Spawn({kWine, "sc", "create", name, "binpath=", command}, BaseEnvironment(prefix),
                                  scratch / "sc.out", scratch / "sc.err", 60);
    if (created.exitCode != 0) {
      return "sc create " + name + " failed (exit " + std::to_string(created.exitCode) +
             "): " + ReadFile(scratch / "sc.out");
    }
    if (state == "stopped") continue;
    const Spawned started = Spawn({kWine, "sc", "start", name}, BaseEnvironment(prefix), scratch / "sc.out",
                                  scratch / "sc.err", 60);
    if (started.exitCode != 0) {
      return "sc start " + name + " failed (exit " + std::to_string(started.exitCode) +
             "): " + ReadFile(scratch / "sc.out");
    }
  }
  return {};
}

struct Result {
  enum { kPass, kFail, kSkip } kind;
  std::vector<std::string> details;
};

// Network scenarios: the scenario's servers run on the host's loopback, which
// Wine's programs reach as 127.0.0.1; their addresses go into the staged
// machine (before it is laid over the prefix) and into the expectations.
std::unique_ptr<scenario::ScenarioServers> StartNetwork(scenario::Scenario* s, const fs::path& staged) {
  auto servers = std::make_unique<scenario::ScenarioServers>(*s);
  scenario::WriteServerAddresses(staged, servers->Addresses());
  scenario::ExpandServerAddresses(s, servers->Addresses());
  return servers;
}

Result RunScenario(scenario::Scenario s, const fs::path& exe, const fs::path& templatePrefix,
                   const fs::path& work) {
  for (const auto& [backend, reason] : s.unsupportedBackends) {
    if (Lower(backend) == "wine") {
      std::string why = Trim(reason);
      if (Lower(why).rfind("no", 0) == 0) why = Trim(why.substr(2));
      if (!why.empty() && why[0] == ':') why = Trim(why.substr(1));
      return {Result::kSkip, {why}};
    }
  }

  fs::remove_all(work);
  fs::create_directories(work);
  const fs::path prefix = work / "prefix";
  const fs::path staged = work / "machine";
  const fs::path scratch = work / "scratch";
  fs::create_directories(scratch);

  const Spawned copied = Spawn({"/bin/cp", "-a", templatePrefix.string(), prefix.string()}, BaseEnvironment(prefix),
                               "/dev/null", scratch / "cp.err", 300);
  if (copied.exitCode != 0) return {Result::kFail, {"cannot copy the template prefix: " + ReadFile(scratch / "cp.err")}};

  scenario::PrepareMachine(s, staged);
  const auto servers = StartNetwork(&s, staged);
  if (fs::exists(staged / "drive_c")) LayOver(staged / "drive_c", prefix / "drive_c", false);
  // The Windows build of the stand-in vendor tool lies beside the program.
  scenario::PlaceTools(s, prefix, exe.parent_path() / "vendortool.exe");
  for (const std::string& path : s.removals) fs::remove_all(scenario::HostPath(prefix, path));
  if (fs::exists(staged / "machine.ini")) fs::copy_file(staged / "machine.ini", prefix / "machine.ini");

  const std::string program = MachineIni(staged, "System", "ProgramPath", kDefaultProgram);
  const fs::path programHost = scenario::HostPath(prefix, program);
  fs::create_directories(programHost.parent_path());
  fs::copy_file(exe, programHost, fs::copy_options::overwrite_existing);
  // The test tools sit beside the agent, so that they log where the agent does.
  const std::string programFolder = program.substr(0, program.find_last_of('\\') + 1);
  for (const scenario::Run& run : s.runs) {
    if (run.program.empty()) continue;
    const std::string probe = programFolder + run.program + ".exe";
    const fs::path built = exe.parent_path() / (run.program + ".exe");
    if (!fs::exists(built)) return {Result::kFail, {"no " + built.string() + " beside the agent"}};
    fs::copy_file(built, scenario::HostPath(prefix, probe), fs::copy_options::overwrite_existing);
  }

  // The machine is up before the agent starts, as on Windows: a server kept
  // alive and its services started by the first command. A cold start would
  // put seconds of Wine's own start-up onto the program's clock.
  struct ServerGuard {
    const fs::path& prefix;
    const fs::path& scratch;
    bool up = true;
    void End() {
      if (up) KillWineServer(prefix, scratch);
      up = false;
    }
    ~ServerGuard() { End(); }
  } server{prefix, scratch};
  const Spawned persistent = Spawn({kWineServer, "-p"}, BaseEnvironment(prefix), scratch / "wineserver.out",
                                   scratch / "wineserver.err", 60);
  if (persistent.exitCode != 0) return {Result::kFail, {"wineserver -p failed: " + ReadFile(scratch / "wineserver.err")}};

  if (fs::exists(staged / "registry.reg")) {
    const fs::path reg = scratch / "import.reg";
    std::ofstream(reg, std::ios::binary) << RegFileForImport(ReadFile(staged / "registry.reg"));
    std::string windowsReg = "Z:" + fs::absolute(reg).string();
    std::replace(windowsReg.begin(), windowsReg.end(), '/', '\\');
    const Spawned imported = Spawn({kWine, "reg", "import", windowsReg}, BaseEnvironment(prefix),
                                   scratch / "reg.out", scratch / "reg.err", 120);
    if (imported.exitCode != 0) {
      return {Result::kFail,
              {"reg import refused registry.reg (exit " + std::to_string(imported.exitCode) + "): " +
               ReadFile(scratch / "reg.out") + ReadFile(scratch / "reg.err")}};
    }
  } else {
    const Spawned booted = Spawn({kWine, "cmd", "/c", "exit"}, BaseEnvironment(prefix), scratch / "boot.out",
                                 scratch / "boot.err", 120);
    if (booted.exitCode != 0) return {Result::kFail, {"the prefix does not start: " + ReadFile(scratch / "boot.err")}};
  }

  const std::string signWhy = SignMachineFiles(staged, prefix, scratch);
  if (!signWhy.empty()) return {Result::kFail, {signWhy}};

  // Their processes belong to this prefix's server and end with it.
  const std::string servicesWhy = StartMachineServices(staged, prefix, exe.parent_path() / "vendortool.exe", scratch);
  if (!servicesWhy.empty()) return {Result::kFail, {servicesWhy}};

  const std::string startClock = MachineIni(staged, "Clock", "Start", kDefaultClock);
  std::vector<scenario::Outcome> outcomes;
  for (size_t i = 0; i < s.runs.size(); ++i) {
    const scenario::Run& run = s.runs[i];
    if (run.holdInstance) return {Result::kFail, {"hold-instance cannot be done under Wine; mark the scenario wine=no"}};
    std::vector<std::string> env = BaseEnvironment(prefix);
    // The program's clock starts at the scenario's local time and then runs on.
    env.push_back("LD_PRELOAD=" + std::string(kFakeTimeLib));
    env.push_back("FAKETIME=@" + (run.clock.empty() ? startClock : run.clock));
    // The wine server times a wait with a time-out on the real monotonic
    // clock; a faked one in the program would put the end of every such wait
    // decades away.
    env.push_back("FAKETIME_DONT_FAKE_MONOTONIC=1");
    // Real file times, or Wine takes the prefix for out of date and rebuilds it.
    env.push_back("NO_FAKE_STAT=1");
    std::vector<std::string> args{kWine, run.program.empty() ? program : programFolder + run.program + ".exe"};
    for (const std::string& a : run.args) {
      for (const std::string& w : Words(a)) args.push_back(w);
    }
    const fs::path errFile = scratch / ("run" + std::to_string(i + 1) + ".err");
    const Spawned ran = Spawn(args, env, scratch / ("run" + std::to_string(i + 1) + ".out"), errFile,
                              kRunTimeoutSeconds);
    if (ran.timedOut) {
      return {Result::kFail, {"run " + std::to_string(i + 1) + " did not end within " +
                              std::to_string(kRunTimeoutSeconds) + " s"}};
    }
    outcomes.push_back({ran.exitCode, ReadFile(errFile)});
  }
  // Short (8.3) names are the prefix's own: winepath asks GetShortPathName
  // for the ones the expectations name.
  std::map<std::string, std::string> shortNames;
  const std::vector<std::string> named = scenario::ShortPathsNamed(s);
  if (!named.empty()) {
    std::vector<std::string> ask{kWine, "winepath", "-s"};
    ask.insert(ask.end(), named.begin(), named.end());
    const Spawned asked = Spawn(ask, BaseEnvironment(prefix), scratch / "short.out", scratch / "short.err", 60);
    std::istringstream answers(ReadFile(scratch / "short.out"));
    std::string line;
    for (const std::string& path : named) {
      if (asked.exitCode != 0 || !std::getline(answers, line)) {
        return {Result::kFail, {"no short name for " + path + ": " + ReadFile(scratch / "short.err")}};
      }
      if (!line.empty() && line.back() == '\r') line.pop_back();
      shortNames[path] = line;
    }
  }

  // Ending the server writes the registry out and lets the prefix go.
  server.End();

  const std::vector<std::string> failures =
      scenario::Check(s, prefix, outcomes, false, AVDEF_FILE_VERSION,
                      [&](const std::string& path) { return shortNames.count(path) ? shortNames[path] : path; });
  if (!failures.empty()) return {Result::kFail, failures};
  fs::remove_all(work);
  return {Result::kPass, {}};
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  // A run mostly sleeps through the program's pauses between products, so
  // several scenarios at a time barely load the cores.
  int jobs = 4;
  if (args.size() >= 2 && args[0] == "-j") {
    jobs = std::max(1, std::atoi(args[1].c_str()));
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.size() < 3) {
    std::fprintf(stderr, "usage: %s [-j N] <avdefupdate.exe> <template prefix> <scenarios root> [name...]\n",
                 argv[0]);
    return 2;
  }
  const fs::path exe = fs::absolute(args[0]);
  const fs::path templatePrefix = fs::absolute(args[1]);
  const fs::path root = fs::absolute(args[2]);
  for (const fs::path& p : {exe, templatePrefix / "system.reg", fs::path(kWine), fs::path(kFakeTimeLib)}) {
    if (!fs::exists(p)) {
      std::fprintf(stderr, "wine_scenarios: %s does not exist\n", p.c_str());
      return 2;
    }
  }

  std::vector<fs::path> folders;
  for (size_t i = 3; i < args.size(); ++i) folders.push_back(root / args[i]);
  if (folders.empty()) folders = scenario::FindAll(root);

  const fs::path workRoot = fs::temp_directory_path() / ("avdef-wine-" + std::to_string(getpid()));
  int passed = 0, failed = 0, skipped = 0;
  std::mutex mutex;
  size_t next = 0;
  const auto started = std::chrono::steady_clock::now();
  auto worker = [&] {
    while (true) {
      size_t index;
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (next >= folders.size()) return;
        index = next++;
      }
      const fs::path& folder = folders[index];
      const auto t0 = std::chrono::steady_clock::now();
      const std::string name = folder.filename().string();
      Result result{Result::kFail, {}};
      try {
        const scenario::Scenario s = scenario::Load(folder);
        result = RunScenario(s, exe, templatePrefix, workRoot / name);
      } catch (const std::exception& e) {
        result = {Result::kFail, {e.what()}};
      }
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      char time[32];
      std::snprintf(time, sizeof time, "%.1f s", seconds);
      std::ostringstream line;
      switch (result.kind) {
        case Result::kPass:
          line << "PASS " << name << " (" << time << ")\n";
          break;
        case Result::kSkip:
          line << "SKIP " << name << ": " << result.details.front() << "\n";
          break;
        case Result::kFail:
          line << "FAIL " << name << " (" << time << "), prefix kept in " << (workRoot / name).string() << "\n";
          for (const std::string& d : result.details) line << "    " << d << "\n";
          break;
      }
      std::lock_guard<std::mutex> lock(mutex);
      (result.kind == Result::kPass ? passed : result.kind == Result::kSkip ? skipped : failed)++;
      std::cout << line.str() << std::flush;
    }
  };
  std::vector<std::thread> workers;
  for (int i = 0; i < jobs; ++i) workers.emplace_back(worker);
  for (std::thread& t : workers) t.join();

  if (failed == 0) fs::remove_all(workRoot);
  const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("wine scenarios took %.0f s with %d at a time\n", total, jobs);
  std::printf("%d passed, %d failed, %d skipped\n", passed, failed, skipped);
  return failed == 0 ? 0 : 1;
}
