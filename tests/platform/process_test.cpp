#include "platform/process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/error.h"
#include "sim_machine_fixture.h"
#include "zip_builder.h"

namespace {

using simtest::SystemText;
using Lines = std::vector<std::string>;

constexpr const char* kTerminated = "MSG : Terminated the Process as given time elpased..";

// Tools with known run times (31 minutes is past every default time-out).
const simtest::MachineFiles kToolsMachine = {
    "",
    "[Programs]\r\n"
    "C:\\Tools\\quick.exe=runs=0 exit=0\r\n"
    "C:\\Tools\\ten.exe=runs=10000 exit=0\r\n"
    "C:\\Tools\\fail.exe=runs=1000 exit=3\r\n"
    "C:\\Tools\\long.exe=runs=1860000 exit=0\r\n"
    "[Services]\r\n"
    "Alpha=running\r\n"
    "Beta=stopped\r\n"
    "Gamma=paused\r\n",
    {{"Tools\\quick.exe", "x"}, {"Tools\\ten.exe", "x"}, {"Tools\\fail.exe", "x"}, {"Tools\\long.exe", "x"}},
};

class ProcessControl : public simtest::SimMachineTest {
 protected:
  void SetUp() override { Load(kToolsMachine); }
};

TEST_F(ProcessControl, ExecuteShellWaitsUpToTheTimeoutAndEndsOverrunners) {
  const struct {
    std::string command;
    uint32_t timeoutMs;
    bool expected;
    bool terminated;
    int64_t elapsedMs;
  } cases[] = {
      {"C:\\Tools\\long.exe", 0, true, true, 1800000},
      {"C:\\Tools\\long.exe /silent", 5000, true, true, 5000},
      {"C:\\Tools\\ten.exe", 0, true, false, 10000},
      {"C:\\Tools\\quick.exe", 0, true, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    Load(kToolsMachine);
    EXPECT_EQ(fncExecuteShell(rc, c.command, c.timeoutMs), c.expected);
    Lines expected = {"MSG : fncExecuteShell :: " + c.command};
    if (c.terminated) expected.push_back(kTerminated);
    EXPECT_EQ(LogLines(), expected);
    EXPECT_EQ(ElapsedMs(), c.elapsedMs);
  }
}

TEST_F(ProcessControl, ExecuteShellOfAMissingProgram) {
  EXPECT_FALSE(fncExecuteShell(rc, "C:\\Tools\\missing.exe", 0));
  EXPECT_EQ(LogLines(), (Lines{"MSG : fncExecuteShell :: C:\\Tools\\missing.exe",
                               "ERR : fncExecuteShell, 53:File not found"}));
  EXPECT_THROW(ShellHidden("C:\\Tools\\missing.exe"), RtError);
}

TEST_F(ProcessControl, CreateProcessIsTrueOnlyForACleanFinishedRun) {
  const struct {
    const char* command;
    bool expected;
    int64_t elapsedMs;
  } cases[] = {
      {"C:\\Tools\\quick.exe", true, 0},
      {"C:\\Tools\\ten.exe -x", true, 10000},
      {"C:\\Tools\\fail.exe", false, 1000},
      {"C:\\Tools\\long.exe", false, 1800000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    Load(kToolsMachine);
    EXPECT_EQ(fncCreateProcess(rc, c.command), c.expected);
    Lines expected = {"MSG : Executing Function fncCreateProcess "};
    if (c.elapsedMs == 1800000) expected.push_back(kTerminated);
    EXPECT_EQ(LogLines(), expected);
    EXPECT_EQ(ElapsedMs(), c.elapsedMs);
  }

  Load(kToolsMachine);
  EXPECT_FALSE(fncCreateProcess(rc, "C:\\Tools\\missing.exe"));
  const Lines log = LogLines();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1], "ERR : fncCreateProcess 2 " + SystemText(2));
}

TEST_F(ProcessControl, ShellExecuteWaitReportsTheWaitResult) {
  const struct {
    const char* file;
    uint32_t timeoutIn;
    bool expected;
    uint32_t timeoutOut;
    std::string code;
    uint32_t textOf;  // the wait result whose system text is expected, 0 for none
    int64_t elapsedMs;
  } cases[] = {
      {"C:\\Tools\\ten.exe", 0, true, 300000, "", 0, 10000},
      {"C:\\Tools\\long.exe", 0, false, 300000, "258", os::kWaitTimeout, 300000},
      {"C:\\Tools\\long.exe", 1000, false, 1000, "258", os::kWaitTimeout, 1000},
      {"C:\\Tools\\missing.exe", 0, false, 300000, "-1", os::kWaitFailed, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    Load(kToolsMachine);
    std::string code = "stale", text = "stale";
    uint32_t timeout = c.timeoutIn;
    EXPECT_EQ(fncShellExecuteWait(rc, c.file, "/q", &code, &text, &timeout), c.expected);
    EXPECT_EQ(timeout, c.timeoutOut);
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(text, c.textOf == 0 ? "" : SystemText(c.textOf));
    EXPECT_EQ(ElapsedMs(), c.elapsedMs);
    EXPECT_EQ(LogLines(), Lines{std::string("MSG : Execution Path & Parameters : ") + c.file + " /q"});
  }
}

TEST_F(ProcessControl, ProcessTerminateEndsARunningProcess) {
  uint32_t pid = ShellHidden("C:\\Tools\\long.exe");
  ASSERT_NE(pid, 0u);
  os::ProcessHandle process;  // held, so that the ended process can still be asked
  ASSERT_EQ(os::OpenProcess(pid, os::kProcessAllAccess, &process), 0);
  EXPECT_TRUE(ProcessTerminate(rc, &pid, 0));
  EXPECT_FALSE(ProcessTerminate(rc, &pid, 0));  // already ended
  uint32_t exitCode = os::kStillActive;
  ASSERT_TRUE(os::GetExitCodeProcess(process, &exitCode));
  EXPECT_EQ(exitCode, 0u);

  uint32_t none = 0;
  EXPECT_FALSE(ProcessTerminate(rc, &none, 0));
  // An unknown window has no owner: the id becomes 0 and nothing is ended.
  uint32_t byWindow = ShellHidden("C:\\Tools\\long.exe");
  EXPECT_FALSE(ProcessTerminate(rc, &byWindow, 0x7777));
  EXPECT_EQ(byWindow, 0u);
}

// A window's title says nothing about whose process it is: with the expected
// program given, only a process that runs that file is ended.
TEST_F(ProcessControl, WindowOwnerEndedOnlyWhenItRunsTheExpectedProgram) {
  const struct {
    const char* owner;
    bool terminated;
  } cases[] = {
      {"C:\\Tools\\cAvginfo.exe", true},
      {"C:\\TOOLS\\CAVGINFO.EXE", true},
      {"C:\\Other\\cAvginfo.exe", false},
      {"C:\\Windows\\explorer.exe", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.owner);
    simtest::MachineFiles machine = kToolsMachine;
    machine.machineIni += std::string("[Windows]\r\ncAvgInfo=") + c.owner + "\r\n";
    Load(machine);
    const uintptr_t window = os::FindWindow("cAvgInfo");
    ASSERT_NE(window, 0u);
    uint32_t pid = 0;
    EXPECT_EQ(ProcessTerminate(rc, &pid, window, "C:\\Tools\\cAvginfo.exe"), c.terminated);
    EXPECT_NE(pid, 0u);
    EXPECT_EQ(os::FindWindow("cAvgInfo") == 0, c.terminated);
    if (c.terminated) {
      EXPECT_TRUE(LogLines().empty());
    } else {
      EXPECT_EQ(LogLines(), Lines{"MSG : Process " + std::to_string(pid) + " (" + c.owner +
                                  ") is not C:\\Tools\\cAvginfo.exe: not terminated"});
    }
  }
}

TEST_F(ProcessControl, RegisterDllDoesNotWaitForTheTool) {
  EXPECT_TRUE(fncRegisterDLL(rc, "C:\\Windows\\system32\\patternzip.dll"));
  EXPECT_EQ(ElapsedMs(), 10000);
  EXPECT_EQ(LogLines(), Lines{"MSG : fncRegisterDLL - Registering C:\\Windows\\system32\\patternzip.dll"});
}

// ---- Services ----------------------------------------------------------------------

class ServiceControl : public ProcessControl {};

TEST_F(ServiceControl, StopService) {
  const struct {
    const char* name;
    bool expected;
    long errorCode;  // 0: no error line
  } cases[] = {
      {"NoSuchService", true, 0},
      {"alpha", true, 0},
      {"Beta", false, os::kErrorServiceNotActive},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Load(kToolsMachine);
    EXPECT_EQ(SetServiceStopped(rc, c.name), c.expected);
    EXPECT_EQ(ElapsedMs(), 5000);
    Lines expected = {"MSG : Executing Function SetServiceStopped "};
    if (c.errorCode != 0)
      expected.push_back(std::string("ERR : Function - SetServiceStopped - Unable to stop the service ") +
                         c.name + " " + std::to_string(c.errorCode) + "-" + SystemText(c.errorCode));
    EXPECT_EQ(LogLines(), expected);
  }
  Load(kToolsMachine);
  ASSERT_TRUE(SetServiceStopped(rc, "Alpha"));
  EXPECT_TRUE(EnumSystemServices(rc, "Alpha", "stopped"));
}

TEST_F(ServiceControl, StartService) {
  const struct {
    const char* name;
    bool expected;
    int64_t elapsedMs;
    long errorCode;
  } cases[] = {
      {"NoSuchService", true, 0, 0},
      {"beta", true, 0, 0},
      // Already running: five failed attempts, four pauses between them.
      {"Alpha", false, 8000, os::kErrorServiceAlreadyRunning},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Load(kToolsMachine);
    EXPECT_EQ(SetServiceStarted(rc, c.name), c.expected);
    EXPECT_EQ(ElapsedMs(), c.elapsedMs);
    Lines expected = {"MSG : Executing Function SetServiceStarted "};
    if (c.errorCode != 0)
      expected.push_back(std::string("ERR : Function - SetServiceStopped - Unable to start the service ") +
                         c.name + " " + std::to_string(c.errorCode) + "-" + SystemText(c.errorCode));
    EXPECT_EQ(LogLines(), expected);
  }
  Load(kToolsMachine);
  ASSERT_TRUE(SetServiceStarted(rc, "Beta"));
  EXPECT_TRUE(EnumSystemServices(rc, "Beta", "running"));
}

TEST_F(ServiceControl, EnumSystemServicesMatchesNameLooselyAndStateExactly) {
  const struct {
    const char* name;
    const char* state;
    bool expected;
  } cases[] = {
      {"alpha", "running", true}, {"ALPHA", "Running", false}, {"Alpha", "stopped", false},
      {"Beta", "stopped", true},  {"gamma", "paused", true},   {"NoSuchService", "stopped", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(EnumSystemServices(rc, c.name, c.state), c.expected) << c.name << " " << c.state;
  const Lines log = LogLines();
  ASSERT_EQ(log.size(), std::size(cases));
  EXPECT_EQ(log[0], "MSG : Executing Function EnumSystemServices for alpha");
}

// ---- Pattern archive -------------------------------------------------------------

class PatternUnzip : public simtest::SimMachineTest {
 protected:
  static constexpr const char* kFolder = "C:\\Pattern";
  static constexpr const char* kArchive = "C:\\Pattern\\TrendMicro.zip";

  void LoadWithArchive(const std::string& archive) {
    Load({"", "", {{"Pattern\\TrendMicro.zip", archive}}});
  }
  std::string Read(const std::string& path) {
    std::string bytes;
    EXPECT_EQ(os::ReadWholeFile(path, &bytes), 0) << path;
    return bytes;
  }
};

TEST_F(PatternUnzip, UnpacksAndFindsThePatternFile) {
  const std::string pattern(200000, 'p');
  LoadWithArchive(ziptest::Build({{"readme.txt", "read me", false},
                                  {"LPT$VPN.512", pattern, true},
                                  {"sub/inner.txt", "inner", true}}));
  std::string found;
  EXPECT_TRUE(FileUnzip(rc, kFolder, &found));
  EXPECT_EQ(found, "C:\\Pattern\\LPT$VPN.512");
  EXPECT_TRUE(Read(found) == pattern);
  EXPECT_EQ(Read("C:\\Pattern\\readme.txt"), "read me");
  EXPECT_EQ(Read("C:\\Pattern\\sub\\inner.txt"), "inner");
  EXPECT_FALSE(os::FileExists(kArchive));
  EXPECT_EQ(ElapsedMs(), 5000);  // the archive's delete waits
  EXPECT_EQ(LogLines(), Lines{"MSG : Executing Function FileUnzip "});
}

TEST_F(PatternUnzip, NoPatternFileStillDeletesTheArchive) {
  LoadWithArchive(ziptest::Build({{"readme.txt", "read me", true}, {"sub/lpt.txt", "nested", true}}));
  std::string found = "untouched";
  EXPECT_FALSE(FileUnzip(rc, kFolder, &found));
  EXPECT_EQ(found, "untouched");
  EXPECT_TRUE(os::FileExists("C:\\Pattern\\readme.txt"));
  EXPECT_FALSE(os::FileExists(kArchive));
  EXPECT_EQ(LogLines(), Lines{"MSG : Executing Function FileUnzip "});
}

TEST_F(PatternUnzip, UnusableArchives) {
  std::string corruptCrc = ziptest::Build({{"lpt1.x", "stored pattern", false}});
  corruptCrc[30 + 6] ^= 0x20;  // one byte of the stored data
  const struct {
    const char* label;
    bool present;
    std::string archive;
    std::string error;
  } cases[] = {
      {"missing", false, "", "53 File not found"},
      {"not a zip", true, "this is not an archive at all", "321 Invalid file format"},
      {"damaged data", true, corruptCrc, "321 Invalid file format"},
      {"entry leaving the folder", true, ziptest::Build({{"../lpt.x", "escape", true}}),
       "321 Invalid file format"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    if (c.present)
      LoadWithArchive(c.archive);
    else
      Load({"", "", {{"Pattern\\other.txt", "x"}}});
    std::string found;
    EXPECT_FALSE(FileUnzip(rc, kFolder, &found));
    EXPECT_EQ(LogLines(), (Lines{"MSG : Executing Function FileUnzip ",
                                 "ERR : Function - FileUnZip C:\\Pattern\\TrendMicro.zip " + c.error}));
    EXPECT_FALSE(os::FileExists("C:\\lpt.x"));
    EXPECT_FALSE(os::FileExists("C:\\Pattern\\lpt1.x"));
  }
}

}  // namespace
