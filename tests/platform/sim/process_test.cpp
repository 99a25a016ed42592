#include <gtest/gtest.h>

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

}  // namespace
