// Processes: waits that time out while the child runs, exit codes, ending one.
// The sim's waits advance its virtual clock; the real ones take real time.
#include "tests/conformance/conformance.h"

namespace conformance {
namespace {

using ProcessConformance = ConformanceTest;

int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

int64_t NowMs() {
  const os::LocalTime t = os::Now();
  return ((DaysFromCivil(t.year, t.month, t.day) * 24 + t.hour) * 60 + t.minute) * 60000LL +
         t.second * 1000LL + t.millisecond;
}

// How early a real wait may end: Windows times waits in clock ticks (~16 ms).
const int64_t kSlackMs = PerBackend<int64_t>{0, 40, 40}.Get();

TEST_F(ProcessConformance, WaitsTimeOutWhileTheChildRunsThenSeeItsExit) {
  os::ProcessHandle child;
  uint32_t pid = 0;
  const int64_t started = NowMs();
  ASSERT_EQ(os::CreateProcess(ChildCommandLine(), true, &child, &pid), 0) << ChildCommandLine();
  EXPECT_NE(pid, 0u);
  uint32_t code = 0;
  ASSERT_TRUE(os::GetExitCodeProcess(child, &code));
  EXPECT_EQ(code, os::kStillActive);

  EXPECT_EQ(os::WaitForSingleObject(child, 0), os::kWaitTimeout);
  const int64_t before = NowMs();
  EXPECT_EQ(os::WaitForSingleObject(child, 200), os::kWaitTimeout);
  const int64_t waited = NowMs() - before;
  EXPECT_GE(waited, 200 - kSlackMs);
  if (CurrentBackend() == Backend::kSim) {
    EXPECT_EQ(waited, 200) << "the virtual clock";
  }
  EXPECT_LT(waited, static_cast<int64_t>(kChildRunsMs));
  ASSERT_TRUE(os::GetExitCodeProcess(child, &code));
  EXPECT_EQ(code, os::kStillActive);

  EXPECT_EQ(os::WaitForSingleObject(child, 60000), os::kWaitObject0);
  EXPECT_GE(NowMs() - started, kChildRunsMs - kSlackMs);
  if (CurrentBackend() == Backend::kSim) {
    EXPECT_EQ(NowMs() - started, kChildRunsMs);
  }
  ASSERT_TRUE(os::GetExitCodeProcess(child, &code));
  EXPECT_EQ(code, kChildExitCode);
  // An ended process stays signalled.
  EXPECT_EQ(os::WaitForSingleObject(child, 0), os::kWaitObject0);

  // Opening it again by its id works while a handle keeps it.
  os::ProcessHandle again;
  ASSERT_EQ(os::OpenProcess(pid, os::kProcessAllAccess, &again), 0);
  ASSERT_TRUE(os::GetExitCodeProcess(again, &code));
  EXPECT_EQ(code, kChildExitCode);
}

TEST_F(ProcessConformance, TerminatedChildEndsWithTheGivenCode) {
  os::ProcessHandle child;
  ASSERT_EQ(os::CreateProcess(ChildCommandLine(), true, &child, nullptr), 0);
  const int64_t started = NowMs();
  ASSERT_TRUE(os::TerminateProcess(child, 3));
  EXPECT_EQ(os::WaitForSingleObject(child, 10000), os::kWaitObject0);
  EXPECT_LT(NowMs() - started, static_cast<int64_t>(kChildRunsMs));
  uint32_t code = 0;
  ASSERT_TRUE(os::GetExitCodeProcess(child, &code));
  EXPECT_EQ(code, 3u);
  // Ending it again: Windows refuses with access denied, as the call's
  // remarks say of a process that has ended; Wine reports success.
  const bool again = os::TerminateProcess(child, 4);
  EXPECT_EQ(again, (PerBackend<bool>{false, true, false}.Get()));
  if (!again) {
    EXPECT_EQ(os::GetLastError(), static_cast<uint32_t>(os::kErrorAccessDenied));
  }
  ASSERT_TRUE(os::GetExitCodeProcess(child, &code));
  EXPECT_EQ(code, 3u);
}

TEST_F(ProcessConformance, NoProcessNoWait) {
  os::ProcessHandle none;
  EXPECT_EQ(os::WaitForSingleObject(none, 0), os::kWaitFailed);
  os::ProcessHandle child;
  EXPECT_EQ(os::CreateProcess("\"" + Scratch("missing.exe") + "\" arg", true, &child, nullptr),
            os::kErrorFileNotFound);
  EXPECT_FALSE(child.valid());
}

}  // namespace
}  // namespace conformance
