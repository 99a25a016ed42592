// Whole runs under injected faults: every change a run makes to the disk is
// failed in turn (and, in a second sweep, the program is killed before it),
// then a clean run follows. After each, no record or status file may be lost
// or torn, the state INI must keep its values, and the failure must be named.
//
// Each run is the program's Main() in a forked child on a fresh copy of one
// machine, so that a kill ends only the child.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/filewrite.h"
#include "platform/sim/machine.h"
#include "products/record.h"
#include "run/driver.h"
#include "tests/scenario/scenario.h"

namespace fs = std::filesystem;

namespace {

const std::string kApp = "C:\\Program Files (x86)\\Agent\\AVUpdate\\";
const std::string kStatus = "C:\\Program Files (x86)\\Agent\\Status\\";
const std::string kPMStatus = "C:\\Program Files (x86)\\Agent\\PMStatus\\";
const std::string kLogName = "AntivirusAutoUpdLog_New.log";
constexpr const char* kFirstClock = "Start=2026-12-07 00:41:50";
constexpr const char* kLaterClock = "Start=2026-12-07 06:41:50";

std::string Record(const std::string& sdt, const std::string& category) {
  return "<regid>100245</regid>\r\n<sdt>" + sdt + "</sdt>\r\n<category>" + category +
         "</category>\r\n<bcurdef>1.0</bcurdef>\r\n<blastdef></blastdef>\r\n<acurdef>1.0</acurdef>\r\n"
         "<alastdef></alastdef>\r\n<bscanengno></bscanengno>\r\n<status>0</status>\r\n";
}

// What earlier runs left: a state INI, a delivered record and status file,
// a complete leftover record to hand over and a torn one that must not be.
const std::map<std::string, std::string>& Seeds() {
  static const std::map<std::string, std::string> seeds = {
      {kApp + "LastAVDefUpd.ini",
       "[LastRunDateTime]\r\nLastRun=Dec/06/2026 12:00:00\r\n[LastExcludeStatus]\r\nExcludeUpdate=1\r\n"
       "[LastInternetDownload]\r\nNorton=Dec/01/2026 08:00:00\r\n"},
      {kStatus + "defrecord_100245_AV_12062026120000432000.txt", Record("12/06/2026 12:00:00", "Earlier")},
      {kPMStatus + "defRecord_100245_AV_12062026120000.ini",
       "[STATUS_INFO]\r\nREGID=100245\r\nPID=Antivirus Update\r\nSysID=0.1.0.0\r\n"
       "LastRunDateTime=12/06/2026 12:00:00\r\nNextRunDateTime=12/06/2026 16:00:00\r\nDesc= \r\n"
       "LastRunStatusCode=SUCCESS\r\n"},
      {kApp + "defrecord_100245_AV_12062026120500432300.txt", Record("12/06/2026 12:05:00", "Leftover")},
  };
  return seeds;
}
const std::string kTornLeftover = "defrecord_100245_AV_12062026120600432360.txt";

std::string ReadHost(const fs::path& p) { return scenario::ReadFile(p); }

void WriteHost(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

// The registry of three product scenarios in one: Intune, ESET, Windows Defender.
std::string SweepRegistry() {
  std::string reg = "Windows Registry Editor Version 5.00\r\n";
  const fs::path root = fs::path(AVDEF_SOURCE_DIR) / "tests" / "scenarios";
  for (const char* s : {"intune-one-record", "eset-endpoint-security", "windows-defender"}) {
    std::string text = ReadHost(root / s / "machine" / "registry.reg");
    reg += "\r\n" + text.substr(text.find('\n') + 1);
  }
  return reg;
}

// A machine with products installed and the seeds, made once per test.
fs::path Template() {
  static const fs::path folder = [] {
    const fs::path f = fs::temp_directory_path() / ("avdef-sweep-template-" + std::to_string(getpid()));
    fs::remove_all(f);
    scenario::Scenario s = scenario::Load(fs::path(AVDEF_SOURCE_DIR) / "tests" / "scenarios" / "first-run");
    scenario::PrepareMachine(s, f);
    WriteHost(f / "registry.reg", SweepRegistry());
    for (const auto& [path, bytes] : Seeds()) WriteHost(scenario::HostPath(f, path), bytes);
    WriteHost(scenario::HostPath(f, kApp + kTornLeftover),
              Record("12/06/2026 12:06:00", "Torn").substr(0, 90));
    return f;
  }();
  return folder;
}

struct RunResult {
  int exitCode = -1;
  bool fired = false;
  std::string faultPath;
  int64_t changes = 0;
  int64_t freeLeft = -1;
  std::string stderrText;
};

void SetClock(const fs::path& machine, const char* clock) {
  const fs::path ini = machine / "machine.ini";
  std::string text = ReadHost(ini);
  for (const char* c : {kFirstClock, kLaterClock}) {
    const size_t at = text.find(c);
    if (at != std::string::npos) text.replace(at, std::string(c).size(), clock);
  }
  WriteHost(ini, text);
}

// One run of the program on the machine, in a child process.
RunResult RunProgram(const fs::path& machine, const char* clock, const sim::Faults& faults) {
  SetClock(machine, clock);
  const fs::path errFile = machine.parent_path() / (machine.filename().string() + ".stderr");
  int report[2];
  if (pipe(report) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    close(report[0]);
    const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(err, 2);
    if (!sim::LoadMachine(machine.string()).empty()) _exit(90);
    sim::SetFaults(faults);
    sim::SetHostSync(false);
    const int code = Main();
    std::ostringstream out;
    out << sim::FaultFired() << ' ' << sim::ChangesSoFar() << ' ' << sim::FreeSpaceLeft() << ' '
        << sim::FaultPath();
    const std::string text = out.str();
    if (write(report[1], text.data(), text.size()) < 0) _exit(91);
    _exit(code);
  }
  close(report[1]);
  std::string text;
  char buffer[512];
  for (ssize_t n; (n = read(report[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  close(report[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  RunResult r;
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::istringstream in(text);
  in >> r.fired >> r.changes >> r.freeLeft;
  std::getline(in >> std::ws, r.faultPath);
  r.stderrText = ReadHost(errFile);
  return r;
}

std::vector<std::string> FileNames(const fs::path& folder) {
  std::vector<std::string> names;
  if (!fs::is_directory(folder)) return names;
  for (const auto& e : fs::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (e.is_regular_file() && name[0] != '.') names.push_back(name);  // not .keep
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool EndsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// A status file as the agent may take it: whole lines, REGID, PID and the
// status code present.
bool CompleteStatusFile(const std::string& text) {
  if (text.empty() || !EndsWith(text, "\r\n")) return false;
  bool regid = false, pid = false, code = false;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line.back() != '\r') return false;
    line.pop_back();
    regid |= line.rfind("REGID=", 0) == 0 && line.size() > 6;
    pid |= line == "PID=Antivirus Update";
    code |= line == "LastRunStatusCode=SUCCESS" || line == "LastRunStatusCode=FAILED";
  }
  return regid && pid && code;
}

struct Stage {
  bool cleanRunDone = false;  // the follow-up run has run
  bool tempsAllowed = false;  // a kill may leave a temporary until the next run
};

// Everything that must hold of the machine, whatever happened to the last run.
std::vector<std::string> Check(const fs::path& machine, const Stage& stage) {
  std::vector<std::string> bad;
  const fs::path status = scenario::HostPath(machine, kStatus);
  const fs::path pmstatus = scenario::HostPath(machine, kPMStatus);
  const fs::path app = scenario::HostPath(machine, kApp);
  for (const fs::path& folder : {status, pmstatus, app}) {
    for (const std::string& name : FileNames(folder)) {
      if (EndsWith(name, kTempSuffix) && !stage.tempsAllowed) bad.push_back("temporary left: " + name);
    }
  }
  for (const std::string& name : FileNames(status)) {
    if (EndsWith(name, kTempSuffix)) continue;
    if (!IsCompleteRecord(ReadHost(status / name))) bad.push_back("torn record in Status: " + name);
    if (name == kTornLeftover) bad.push_back("the torn leftover record was delivered");
  }
  for (const std::string& name : FileNames(pmstatus)) {
    if (EndsWith(name, kTempSuffix)) continue;
    if (!CompleteStatusFile(ReadHost(pmstatus / name))) bad.push_back("incomplete status file in PMStatus: " + name);
  }
  // Records and status files waiting in the program folder are whole too.
  for (const std::string& name : FileNames(app)) {
    const std::string lower = scenario::Lower(name);
    if (lower.rfind("defrecord_", 0) == 0 && EndsWith(lower, ".txt") && name != kTornLeftover &&
        !IsCompleteRecord(ReadHost(app / name))) {
      bad.push_back("torn record in the program folder: " + name);
    }
    if (stage.cleanRunDone && lower.rfind("defrecord_", 0) == 0) bad.push_back("not handed over: " + name);
  }
  for (const auto& [path, bytes] : Seeds()) {
    const std::string now = ReadHost(scenario::HostPath(machine, path));
    if (path == kApp + "LastAVDefUpd.ini") {
      static const std::regex lastRun("LastRun=[A-Z][a-z]{2}/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d\r\n");
      if (!std::regex_search(now, lastRun)) bad.push_back("LastAVDefUpd.ini lost LastRun: " + now);
      if (now.find("[LastExcludeStatus]\r\nExcludeUpdate=1\r\n") == std::string::npos ||
          now.find("[LastInternetDownload]\r\nNorton=Dec/01/2026 08:00:00\r\n") == std::string::npos) {
        bad.push_back("LastAVDefUpd.ini lost a section: " + now);
      }
    } else if (path.rfind(kApp, 0) == 0) {
      // The leftover record: still waiting, or delivered whole.
      const std::string name = path.substr(kApp.size());
      const std::string delivered = ReadHost(status / name);
      if (delivered != bytes && (stage.cleanRunDone || now != bytes)) bad.push_back("leftover record lost: " + name);
    } else if (now != bytes) {
      bad.push_back("an earlier run's file changed: " + path);
    }
  }
  return bad;
}

// Categories of the records a run stamped with sdtPrefix delivered.
std::multiset<std::string> Categories(const fs::path& machine, const std::string& sdtPrefix) {
  std::multiset<std::string> found;
  const fs::path status = scenario::HostPath(machine, kStatus);
  static const std::regex category("<category>(.*)</category>");
  for (const std::string& name : FileNames(status)) {
    const std::string text = ReadHost(status / name);
    std::smatch m;
    if (text.find("<sdt>" + sdtPrefix) != std::string::npos && std::regex_search(text, m, category)) {
      found.insert(m[1].str());
    }
  }
  return found;
}

// The last line of the status file of the follow-up run in PMStatus.
std::string LaterStatusCode(const fs::path& machine) {
  const fs::path pmstatus = scenario::HostPath(machine, kPMStatus);
  for (const std::string& name : FileNames(pmstatus)) {
    if (name.find("_12072026064") == std::string::npos) continue;
    const std::string text = ReadHost(pmstatus / name);
    const size_t at = text.find("LastRunStatusCode=");
    return at == std::string::npos ? "" : text.substr(at);
  }
  return "no status file";
}

// Records the faulty run logged as created must reach Status by the end.
std::vector<std::string> CreatedRecords(const std::string& log) {
  std::vector<std::string> names;
  static const std::regex created("MSG : Successfully created file .*\\\\(defrecord_[^\\\\\r\n]+\\.txt)");
  for (std::sregex_iterator it(log.begin(), log.end(), created), end; it != end; ++it) names.push_back((*it)[1]);
  return names;
}

struct Baseline {
  int64_t changes = 0;
  int64_t bytes = 0;
  std::multiset<std::string> categories;
  std::string statusCode;
};

class FaultSweep : public ::testing::Test {
 protected:
  void SetUp() override {
    work_ = fs::temp_directory_path() / ("avdef-sweep-" + std::to_string(getpid()));
    fs::remove_all(work_);
    fs::create_directories(work_);
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(work_);
  }

  fs::path Fresh(const std::string& name) {
    const fs::path m = work_ / name;
    fs::remove_all(m);
    fs::copy(Template(), m, fs::copy_options::recursive);
    return m;
  }

  Baseline Measure() {
    const fs::path m = Fresh("baseline");
    sim::Faults unlimited;
    unlimited.freeSpace = int64_t{1} << 40;
    const RunResult first = RunProgram(m, kFirstClock, unlimited);
    EXPECT_EQ(first.exitCode, 0);
    const RunResult later = RunProgram(m, kLaterClock, {});
    EXPECT_EQ(later.exitCode, 0);
    const std::vector<std::string> bad = Check(m, {true, false});
    for (const std::string& b : bad) ADD_FAILURE() << "baseline: " << b;
    Baseline b;
    b.changes = first.changes;
    b.bytes = unlimited.freeSpace - first.freeLeft;
    b.categories = Categories(m, "12/07/2026 06:41:5");
    b.statusCode = LaterStatusCode(m);
    EXPECT_EQ(b.categories, Categories(m, "12/07/2026 00:41:5")) << "both runs report the same products";
    EXPECT_GE(b.categories.size(), 3u) << "the sweep needs products installed";
    return b;
  }

  // The faulty run, its checks, the clean follow-up and its checks. Returns
  // the failures found at this point.
  std::vector<std::string> SweepPoint(const std::string& label, const sim::Faults& faults,
                                      const Baseline& base, bool killed, RunResult* out) {
    const fs::path m = Fresh("point");
    const RunResult first = RunProgram(m, kFirstClock, faults);
    *out = first;
    std::vector<std::string> bad = Check(m, {false, killed});
    const std::string log = ReadHost(scenario::HostPath(m, kApp + kLogName));
    if (!killed && first.fired) {
      // The failure is named: on stderr with exit code 3 when the log itself
      // failed, else in the log with the file's name and the system's text.
      std::string file = first.faultPath.substr(first.faultPath.find_last_of('\\') + 1);
      if (EndsWith(file, kTempSuffix)) file.resize(file.size() - std::string(kTempSuffix).size());
      if (file == kLogName) {
        if (first.exitCode != 3 || first.stderrText.find("run log") == std::string::npos) {
          bad.push_back("log failure not reported: exit " + std::to_string(first.exitCode) + ", " + first.stderrText);
        }
      } else {
        const std::regex named("ERR : [^\r\n]*" + std::regex_replace(file, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)") +
                               "[^\r\n]*(There is not enough space on the disk|Access is denied)");
        if (!std::regex_search(log, named)) bad.push_back("the log does not name the failure of " + first.faultPath);
      }
    }
    if (faults.freeSpace >= 0 && first.exitCode != 0 && first.stderrText.find("run log") == std::string::npos &&
        log.find("There is not enough space on the disk") == std::string::npos) {
      bad.push_back("the full disk is named nowhere");
    }
    const RunResult later = RunProgram(m, kLaterClock, {});
    if (later.exitCode != 0) bad.push_back("follow-up run exit code " + std::to_string(later.exitCode));
    for (const std::string& b : Check(m, {true, false})) bad.push_back("after the follow-up: " + b);
    if (Categories(m, "12/07/2026 06:41:5") != base.categories) bad.push_back("follow-up records differ");
    if (LaterStatusCode(m) != base.statusCode) bad.push_back("follow-up status: " + LaterStatusCode(m));
    const std::vector<std::string> status = FileNames(scenario::HostPath(m, kStatus));
    for (const std::string& name : CreatedRecords(log)) {
      if (std::find(status.begin(), status.end(), name) == status.end()) bad.push_back("record lost: " + name);
    }
    for (std::string& b : bad) b = label + ": " + b;
    return bad;
  }

  fs::path work_;
};

TEST_F(FaultSweep, EveryChangeFailedInTurn) {
  const Baseline base = Measure();
  ASSERT_GT(base.changes, 50);
  int64_t swept = 0, failures = 0;
  for (int64_t n = 1; n <= base.changes; ++n) {
    sim::Faults f;
    f.failWrite = n;
    RunResult r;
    const std::vector<std::string> bad = SweepPoint("fail change " + std::to_string(n), f, base, false, &r);
    EXPECT_TRUE(r.fired) << "change " << n << " of " << base.changes;
    ++swept;
    if (!bad.empty()) ++failures;
    for (const std::string& b : bad) ADD_FAILURE() << b;
  }
  std::printf("fault sweep: %lld changes failed in turn, %lld points with failures\n",
              static_cast<long long>(swept), static_cast<long long>(failures));
}

TEST_F(FaultSweep, KilledBeforeEveryChange) {
  const Baseline base = Measure();
  ASSERT_GT(base.changes, 50);
  int64_t swept = 0, failures = 0;
  for (int64_t n = 1; n <= base.changes; ++n) {
    sim::Faults f;
    f.killBeforeWrite = n;
    RunResult r;
    const std::vector<std::string> bad = SweepPoint("kill before change " + std::to_string(n), f, base, true, &r);
    EXPECT_EQ(r.exitCode, 86) << "change " << n << " of " << base.changes;
    ++swept;
    if (!bad.empty()) ++failures;
    for (const std::string& b : bad) ADD_FAILURE() << b;
  }
  std::printf("kill sweep: killed before %lld changes in turn, %lld points with failures\n",
              static_cast<long long>(swept), static_cast<long long>(failures));
}

TEST_F(FaultSweep, DiskFillingUp) {
  const Baseline base = Measure();
  ASSERT_GT(base.bytes, 1000);
  int64_t swept = 0, failures = 0;
  // From an already full disk to one that just holds the run, in steps of a
  // few lines of log.
  for (int64_t free = 0; free < base.bytes; free += 97) {
    sim::Faults f;
    f.freeSpace = free;
    RunResult r;
    const std::vector<std::string> bad = SweepPoint("free space " + std::to_string(free), f, base, false, &r);
    ++swept;
    if (!bad.empty()) ++failures;
    for (const std::string& b : bad) ADD_FAILURE() << b;
  }
  std::printf("full-disk sweep: %lld free-space limits, %lld points with failures\n",
              static_cast<long long>(swept), static_cast<long long>(failures));
}

}  // namespace
