// Runs avdefupdate (sim backend) on generated machines with many uninstall
// entries and prints wall time, the run's CPU time, wall time per entry and
// the run's peak RSS, so that a slowdown shows as a number.
//
//   avbench [entries per view...]        default: 2000 20000
//
// Each machine is the first-run scenario's machine with every built product
// family installed as its scenario installs it, N uninstall entries in each
// registry view and a 2 MB run log. The machine folders are made under
// $TMPDIR and removed afterwards (AVBENCH_KEEP=1 keeps them).
// AVBENCH_BINARY=<path> measures another build of avdefupdate.
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const kFamilies[] = {
    "norton-32bit-view",  "eset-endpoint-security",        "intune-one-record", "ca12-total-defense",
    "mse-vxna",           "forefront-client-security-key", "windows-defender",  "avira-registry-definition",
};
constexpr const char* kRegHeader = "Windows Registry Editor Version 5.00";
constexpr uintmax_t kLogBytes = 2 * 1024 * 1024;  // kept: the log's size limit is not exceeded

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void Spit(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "avbench: cannot write %s\n", p.c_str());
    std::exit(2);
  }
}

// A scenario's registry.reg without its header line.
std::string RegistryBody(const fs::path& machine) {
  std::string text = Slurp(machine / "registry.reg");
  const size_t header = text.find(kRegHeader);
  if (header != std::string::npos) text.erase(0, header + std::string(kRegHeader).size());
  return text + "\r\n";
}

// Every file of a scenario's machine but registry.reg, laid over the target.
void LayFiles(const fs::path& from, const fs::path& to) {
  for (const auto& e : fs::recursive_directory_iterator(from)) {
    if (!e.is_regular_file() || e.path().filename() == "registry.reg") continue;
    const fs::path dest = to / fs::relative(e.path(), from);
    fs::create_directories(dest.parent_path());
    fs::copy_file(e.path(), dest, fs::copy_options::overwrite_existing);
  }
}

std::string UninstallEntries(const std::string& view, int count) {
  std::string out;
  char line[512];
  for (int i = 0; i < count; ++i) {
    std::snprintf(line, sizeof line,
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\%sMicrosoft\\Windows\\CurrentVersion\\Uninstall\\"
                  "{%08X-BE9C-4C1A-8F00-%012X}]\r\n"
                  "\"DisplayName\"=\"Bench Application %d\"\r\n"
                  "\"DisplayVersion\"=\"%d.%d.%d\"\r\n"
                  "\"Publisher\"=\"Bench Publisher %d\"\r\n"
                  "\"UninstallString\"=\"C:\\\\Program Files\\\\Bench %d\\\\uninstall.exe\"\r\n\r\n",
                  view.c_str(), static_cast<unsigned>(i * 2654435761u), static_cast<unsigned>(i), i, i % 10,
                  i % 100, i % 1000, i % 97, i);
    out += line;
  }
  return out;
}

fs::path MakeMachine(const fs::path& scenarios, const fs::path& dir, int entries) {
  const fs::path base = scenarios / "first-run" / "machine";
  fs::create_directories(dir);
  LayFiles(base, dir);
  std::string registry = std::string(kRegHeader) + "\r\n\r\n";
  for (const char* family : kFamilies) {
    const fs::path machine = scenarios / family / "machine";
    if (!fs::exists(machine / "registry.reg")) {
      std::fprintf(stderr, "avbench: %s has no registry.reg\n", machine.c_str());
      std::exit(2);
    }
    registry += RegistryBody(machine);
    LayFiles(machine, dir);
  }
  // The base last, so that its identity (a QRTA computer) holds.
  registry += RegistryBody(base);
  registry += UninstallEntries("", entries);
  registry += UninstallEntries("Wow6432Node\\", entries);
  Spit(dir / "registry.reg", registry);

  std::string log;
  const std::string line = "12/06/2026 00:41:50\tMSG : filler line of an earlier run ....................\r\n";
  while (log.size() + line.size() <= kLogBytes) log += line;
  log.append(kLogBytes - log.size(), '.');
  Spit(dir / "drive_c/Program Files (x86)/Agent/AVUpdate/AntivirusAutoUpdLog_New.log", log);
  return dir;
}

struct RunResult {
  int exitCode = -1;
  double seconds = 0;
  double cpuSeconds = 0;  // user + system
  long maxRssKb = 0;
};

RunResult Run(const std::string& binary, const fs::path& machine) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid < 0) {
    std::perror("avbench: fork");
    std::exit(2);
  }
  if (pid == 0) {
    ::setenv("AVDEFUPDATE_MACHINE", machine.c_str(), 1);
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) {
      ::dup2(null, 1);
      ::dup2(null, 2);
    }
    ::execl(binary.c_str(), binary.c_str(), "FORCE", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  if (::wait4(pid, &status, 0, &usage) != pid) {
    std::perror("avbench: wait4");
    std::exit(2);
  }
  RunResult r;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  r.maxRssKb = usage.ru_maxrss;
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) {
    char* end = nullptr;
    const long n = std::strtol(argv[i], &end, 10);
    if (end == argv[i] || *end != '\0' || n < 0 || n > 1000000) {
      std::fprintf(stderr, "usage: avbench [entries per view...]\n");
      return 2;
    }
    sizes.push_back(static_cast<int>(n));
  }
  if (sizes.empty()) sizes = {2000, 20000};
  const char* keepEnv = std::getenv("AVBENCH_KEEP");
  const bool keep = keepEnv != nullptr && std::string(keepEnv) == "1";

  std::printf("%-18s %10s %10s %14s %12s %6s\n", "entries per view", "wall s", "cpu s", "us per entry", "peak RSS MB",
              "exit");
  int failures = 0;
  for (const int n : sizes) {
    const fs::path dir = fs::temp_directory_path() / ("avbench-" + std::to_string(::getpid()) + "-" + std::to_string(n));
    fs::remove_all(dir);
    MakeMachine(fs::path(AVDEF_SOURCE_DIR) / "tests" / "scenarios", dir, n);
    const char* binaryEnv = std::getenv("AVBENCH_BINARY");
    const RunResult r = Run(binaryEnv != nullptr && *binaryEnv != '\0' ? binaryEnv : AVDEF_BINARY, dir);
    const double perEntry = n > 0 ? r.seconds * 1e6 / (2.0 * n) : 0.0;
    std::printf("%-18d %10.3f %10.3f %14.2f %12.1f %6d\n", n, r.seconds, r.cpuSeconds, perEntry, r.maxRssKb / 1024.0,
                r.exitCode);
    std::fflush(stdout);
    if (r.exitCode != 0) ++failures;
    if (keep) {
      std::printf("  machine kept: %s\n", dir.c_str());
    } else {
      fs::remove_all(dir);
    }
  }
  return failures == 0 ? 0 : 1;
}
