#include <gtest/gtest.h>

#include <filesystem>

#include "platform/os.h"
#include "tests/platform/sim/sim_fixture.h"

namespace {

using simtest::TempMachine;

int64_t NowMs() {
  const os::LocalTime t = os::Now();
  return ((static_cast<int64_t>(t.day) * 24 + t.hour) * 60 + t.minute) * 60000LL + t.second * 1000LL +
         t.millisecond;
}

TEST(SimProcess, WaitTimeoutTerminate) {
  TempMachine m;
  m.Write("drive_c/Vendor/update.exe", "MZ");
  m.Write("drive_c/Vendor/quick.exe", "MZ");
  m.Ini("[Programs]\nC:\\Vendor\\update.exe=runs=90000 exit=3\nquick.exe=exit=7\n");
  ASSERT_EQ(m.Load(), "");

  os::ProcessHandle p;
  uint32_t pid = 0;
  EXPECT_EQ(os::CreateProcess("C:\\Vendor\\missing.exe /s", true, &p, &pid), os::kErrorFileNotFound);
  EXPECT_EQ(os::GetLastError(), 2u);
  EXPECT_FALSE(p.valid());

  const int64_t start = NowMs();
  ASSERT_EQ(os::CreateProcess("\"C:\\VENDOR\\Update.exe\" /silent", true, &p, &pid), 0);
  EXPECT_NE(pid, 0u);
  uint32_t code = 0;
  EXPECT_TRUE(os::GetExitCodeProcess(p, &code));
  EXPECT_EQ(code, os::kStillActive);
  EXPECT_EQ(os::WaitForSingleObject(p, 60000), os::kWaitTimeout);
  EXPECT_EQ(NowMs() - start, 60000);
  EXPECT_EQ(os::WaitForSingleObject(p, 60000), os::kWaitObject0);
  EXPECT_EQ(NowMs() - start, 90000);  // only the remaining 30 s passed
  EXPECT_TRUE(os::GetExitCodeProcess(p, &code));
  EXPECT_EQ(code, 3u);
  EXPECT_FALSE(os::TerminateProcess(p, 1));
  EXPECT_EQ(os::GetLastError(), 5u);

  // The ended process can be opened while a handle is open, not after.
  os::ProcessHandle second;
  EXPECT_EQ(os::OpenProcess(pid, os::kProcessAllAccess, &second), 0);
  second.Close();
  p.Close();
  EXPECT_EQ(os::OpenProcess(pid, os::kProcessAllAccess, &second), os::kErrorInvalidParameter);
  EXPECT_EQ(os::WaitForSingleObject(p, 0), os::kWaitFailed);

  // Terminate a running one; ".exe" is appended when missing.
  ASSERT_EQ(os::CreateProcess("C:\\Vendor\\update", false, &p, &pid), 0);
  EXPECT_EQ(os::OpenProcess(pid, os::kProcessTerminate, &second), 0);
  EXPECT_TRUE(os::TerminateProcess(second, 42));
  EXPECT_TRUE(os::GetExitCodeProcess(p, &code));
  EXPECT_EQ(code, 42u);

  // A bare name in [Programs]; built-ins always exist.
  ASSERT_EQ(os::CreateProcess("C:\\Vendor\\quick.exe", false, &p, &pid), 0);
  EXPECT_EQ(os::WaitForSingleObject(p, 0), os::kWaitObject0);
  EXPECT_TRUE(os::GetExitCodeProcess(p, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(os::CreateProcess("regsvr32 -s C:\\Windows\\system32\\scrrun.dll", true, &p, &pid), 0);
  EXPECT_EQ(os::ShellExecuteEx("open", "cmd.exe", "/c dir", true, &p), 0);
  EXPECT_EQ(os::ShellExecuteEx("open", "C:\\Vendor\\none.exe", "", true, &p), os::kErrorFileNotFound);
  EXPECT_EQ(os::GetWindowThreadProcessId(1234), 0u);
  EXPECT_TRUE(os::EnableDebugPrivilege());
}

TEST(SimProcess, BatchFileRunsSysteminfoLine) {
  TempMachine m;
  m.Ini("[System]\nCaption=Microsoft Windows 8.1 Pro\n");
  m.Write("drive_c/Vendor/child.exe", "MZ");
  m.Write("drive_c/Agent/os.bat",
          "systeminfo | findstr /B /C:\"OS Name\">\"C:\\Agent\\osinfo.txt\"\r\n"
          "  SYSTEMINFO|findstr /B /C:\"OS Name\" > \"C:\\agent\\second.txt\"  \r\n"
          "C:\\Vendor\\child.exe /x\r\n");
  ASSERT_EQ(m.Load(), "");
  os::ProcessHandle p;
  ASSERT_EQ(os::ShellExecuteEx("open", "C:\\Agent\\os.bat", "", true, &p), 0);
  EXPECT_EQ(m.Read("drive_c/Agent/osinfo.txt"), "OS Name:                   Microsoft Windows 8.1 Pro\r\n");
  EXPECT_EQ(m.Read("drive_c/Agent/second.txt"), "OS Name:                   Microsoft Windows 8.1 Pro\r\n");
  uint32_t pid = 0;
  ASSERT_EQ(os::CreateProcess("C:\\Agent\\os.bat", true, &p, &pid), 0);
}

TEST(SimServices, StopStartEnumerate) {
  TempMachine m;
  m.Ini("[Services]\nWinDefend=running\nSpooler=stopped\nAVP=paused\nSlow=startpend\n");
  ASSERT_EQ(m.Load(), "");
  os::ServiceHandle scm;
  ASSERT_EQ(os::OpenSCManager(os::kScManagerAllAccess, &scm), 0);
  os::ServiceHandle svc;
  EXPECT_EQ(os::OpenService(scm, "NoSuch", os::kServiceAllAccess, &svc), os::kErrorServiceDoesNotExist);
  ASSERT_EQ(os::OpenService(scm, "windefend", os::kServiceAllAccess, &svc), 0);
  EXPECT_EQ(os::StartService(svc), os::kErrorServiceAlreadyRunning);
  EXPECT_EQ(os::ControlServiceStop(svc), 0);
  EXPECT_EQ(os::ControlServiceStop(svc), os::kErrorServiceNotActive);
  EXPECT_EQ(os::StartService(svc), 0);
  ASSERT_EQ(os::OpenService(scm, "AVP", os::kServiceStop, &svc), 0);
  EXPECT_EQ(os::ControlServiceStop(svc), 0);

  uint32_t needed = 0;
  std::vector<os::ServiceStatusRecord> records;
  EXPECT_EQ(os::EnumServicesStatus(scm, 0, &needed, &records), os::kErrorMoreData);
  const uint32_t expected = 4 * 36 + 2 * (10 + 8 + 4 + 5);
  EXPECT_EQ(needed, expected);
  EXPECT_EQ(os::EnumServicesStatus(scm, expected - 1, &needed, &records), os::kErrorMoreData);
  EXPECT_TRUE(records.empty());
  ASSERT_EQ(os::EnumServicesStatus(scm, expected, &needed, &records), 0);
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records[0].name, "WinDefend");
  EXPECT_EQ(records[0].currentState, os::kServiceRunning);
  EXPECT_EQ(records[1].currentState, os::kServiceStopped);
  EXPECT_EQ(records[2].name, "AVP");
  EXPECT_EQ(records[2].currentState, os::kServiceStopped);
  EXPECT_EQ(records[3].currentState, os::kServiceStartPending);

  // State changes last for the run only.
  ASSERT_EQ(m.Load(), "");
  ASSERT_EQ(os::OpenSCManager(os::kScManagerConnect, &scm), 0);
  ASSERT_EQ(os::EnumServicesStatus(scm, 1000, &needed, &records), 0);
  EXPECT_EQ(records[2].currentState, os::kServicePaused);
}


// The stand-in vendor tool, placed in drive_c under a vendor's name with its
// behaviour beside it.
void PlaceTool(const TempMachine& m, const std::string& relative, const std::string& ini) {
  m.Write(relative, "");
  std::filesystem::copy_file(AVDEF_VENDORTOOL, std::filesystem::path(m.dir()) / relative,
                             std::filesystem::copy_options::overwrite_existing);
  m.Write(relative + ".ini", "[tool]\r\n" + ini);
}

uint32_t ExitCodeAfterWait(const os::ProcessHandle& p, uint32_t ms, uint32_t* waited) {
  *waited = os::WaitForSingleObject(p, ms);
  uint32_t code = 0;
  EXPECT_TRUE(os::GetExitCodeProcess(p, &code));
  return code;
}

TEST(SimCommandInterpreter, RedirectionSequenceAndVirtualTime) {
  TempMachine m;
  PlaceTool(m, "drive_c/Vendor Tools/scan.exe", "print=Version 7.1\r\nprint=Engine 3\r\nruns=20000\r\nexit=0\r\n");
  PlaceTool(m, "drive_c/Vendor Tools/fail.exe", "print=broken\r\nruns=1000\r\nexit=4\r\n");
  PlaceTool(m, "drive_c/Vendor Tools/after.exe", "write=C:\\out\\after.txt|ran\r\n");
  m.Mkdir("drive_c/out");
  ASSERT_EQ(m.Load(), "");
  const int64_t start = NowMs();
  const struct {
    const char* line;
    uint32_t exitCode;
    int64_t elapsedMs;
    const char* file;  // relative to the machine
    const char* content;
  } cases[] = {
      {"cmd.exe /s /c \"\"C:\\Vendor Tools\\scan.exe\" /v > \"C:\\out\\a.txt\"\"", 0, 20000, "drive_c/out/a.txt",
       "Version 7.1\r\nEngine 3\r\n"},
      {"C:\\Windows\\system32\\cmd.exe /c \"C:\\Vendor Tools\\fail.exe\" >> C:\\out\\a.txt", 4, 1000,
       "drive_c/out/a.txt", "Version 7.1\r\nEngine 3\r\nbroken\r\n"},
      // && skips after a failure, & does not.
      {"cmd /s /c \"\"C:\\Vendor Tools\\fail.exe\" && \"C:\\Vendor Tools\\after.exe\"\"", 4, 1000,
       "drive_c/out/after.txt", ""},
      {"cmd /s /c \"\"C:\\Vendor Tools\\fail.exe\" & \"C:\\Vendor Tools\\after.exe\"\"", 0, 1000,
       "drive_c/out/after.txt", "ran\r\n"},
      // A redirection into a missing folder runs nothing.
      {"cmd /c \"C:\\Vendor Tools\\scan.exe\" > C:\\nowhere\\x.txt", 1, 0, "drive_c/out/a.txt",
       "Version 7.1\r\nEngine 3\r\nbroken\r\n"},
      {"cmd /c nosuchtool.exe", 9009, 0, "drive_c/out/a.txt", "Version 7.1\r\nEngine 3\r\nbroken\r\n"},
  };
  int64_t elapsed = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    os::ProcessHandle p;
    uint32_t pid = 0;
    ASSERT_EQ(os::CreateProcess(c.line, true, &p, &pid), 0);
    uint32_t waited = 0;
    EXPECT_EQ(ExitCodeAfterWait(p, 600000, &waited), c.exitCode);
    EXPECT_EQ(waited, os::kWaitObject0);
    elapsed += c.elapsedMs;
    EXPECT_EQ(NowMs() - start, elapsed);
    EXPECT_EQ(m.Read(c.file), c.content);
  }
}

TEST(SimCommandInterpreter, BatchFileLines) {
  TempMachine m;
  PlaceTool(m, "drive_c/Program Files (x86)/Agent/AVUpdate/info.exe", "output-arg=1\r\nprint=AVG 2016 x\r\nruns=5000\r\n");
  m.Write("drive_c/Program Files (x86)/Agent/AVUpdate/run.bat",
          "@echo off\r\n"
          "rem a comment\r\n"
          "cd\\\r\n"
          "C:\r\n"
          "cd /d \"C:\\Program Files (x86)\\Agent\\AVUpdate\"\r\n"
          "info.exe out.txt\r\n"
          "echo done>\"%~dp0echo.txt\"\r\n"
          "echo 100%% sure>>\"%~dp0echo.txt\"\r\n");
  ASSERT_EQ(m.Load(), "");
  const int64_t start = NowMs();
  os::ProcessHandle p;
  uint32_t pid = 0;
  ASSERT_EQ(os::CreateProcess("cmd.exe /s /c \"\"C:\\Program Files (x86)\\Agent\\AVUpdate\\run.bat\"\"", true, &p, &pid), 0);
  // The tool's output is there at once; echo runs only once the tool has ended.
  EXPECT_EQ(m.Read("drive_c/Program Files (x86)/Agent/AVUpdate/out.txt"), "AVG 2016 x\r\n");
  EXPECT_EQ(m.Read("drive_c/Program Files (x86)/Agent/AVUpdate/echo.txt"), "");
  uint32_t waited = 0;
  EXPECT_EQ(ExitCodeAfterWait(p, 60000, &waited), 0u);
  EXPECT_EQ(NowMs() - start, 5000);
  EXPECT_EQ(m.Read("drive_c/Program Files (x86)/Agent/AVUpdate/echo.txt"), "done\r\n100% sure\r\n");
}

TEST(SimJobs, EndingAJobEndsTheWholeTree) {
  for (const bool inJob : {true, false}) {
    SCOPED_TRACE(inJob ? "in a job" : "process only");
    TempMachine m;
    PlaceTool(m, "drive_c/Vendor/hang.exe",
              "runs=600000\r\nchild-runs=90000\r\nchild-write=C:\\Vendor\\child.txt|the child lived\r\n");
    ASSERT_EQ(m.Load(), "");
    os::JobHandle job;
    ASSERT_EQ(os::CreateJobObject(&job), 0);
    os::ProcessHandle p;
    uint32_t pid = 0;
    const std::string line = "cmd.exe /c C:\\Vendor\\hang.exe";
    ASSERT_EQ(inJob ? os::CreateProcessInJob(job, line, true, &p, &pid) : os::CreateProcess(line, true, &p, &pid), 0);
    EXPECT_EQ(os::WaitForSingleObject(p, 30000), os::kWaitTimeout);
    if (inJob) {
      EXPECT_TRUE(os::TerminateJobObject(job, 0));
    } else {
      EXPECT_TRUE(os::TerminateProcess(p, 0));
    }
    EXPECT_EQ(os::WaitForSingleObject(p, 0), os::kWaitObject0);
    os::Sleep(120000);
    // Only the process itself was ended without the job: its tool and the
    // tool's child ran on.
    EXPECT_EQ(m.Read("drive_c/Vendor/child.txt"), inJob ? "" : "the child lived\r\n");
  }
}

TEST(SimJobs, ClosingTheJobEndsItsProcesses) {
  TempMachine m;
  PlaceTool(m, "drive_c/Vendor/hang.exe", "runs=600000\r\n");
  ASSERT_EQ(m.Load(), "");
  os::ProcessHandle p;
  uint32_t pid = 0;
  {
    os::JobHandle job;
    ASSERT_EQ(os::CreateJobObject(&job), 0);
    ASSERT_EQ(os::CreateProcessInJob(job, "C:\\Vendor\\hang.exe", true, &p, &pid), 0);
  }
  EXPECT_EQ(os::WaitForSingleObject(p, 0), os::kWaitObject0);
}

TEST(SimWindows, OwnerAndImage) {
  TempMachine m;
  m.Ini("[Windows]\ncAvgInfo=C:\\Other\\notavg.exe\n");
  ASSERT_EQ(m.Load(), "");
  const uintptr_t window = os::FindWindow("CAVGINFO");
  ASSERT_NE(window, 0u);
  EXPECT_EQ(os::FindWindow("other"), 0u);
  const uint32_t pid = os::GetWindowThreadProcessId(window);
  ASSERT_NE(pid, 0u);
  os::ProcessHandle p;
  ASSERT_EQ(os::OpenProcess(pid, os::kProcessQueryLimitedInformation, &p), 0);
  std::string image;
  ASSERT_EQ(os::QueryFullProcessImageName(p, &image), 0);
  EXPECT_EQ(image, "C:\\Other\\notavg.exe");
  EXPECT_TRUE(os::TerminateProcess(p, 0));
  EXPECT_EQ(os::FindWindow("cAvgInfo"), 0u);
}

}  // namespace
