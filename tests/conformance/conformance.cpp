#include "tests/conformance/conformance.h"

namespace conformance {

const char* BackendName() {
  switch (CurrentBackend()) {
    case Backend::kSim:
      return "sim";
    case Backend::kWine:
      return "Wine";
    case Backend::kWindows:
      break;
  }
  return "Windows";
}

std::string ChildCommandLine() {
  return "\"" + os::GetModuleFileName() + "\" " + kChildFlag + " " + std::to_string(kChildRunsMs) +
         " " + std::to_string(kChildExitCode);
}

void ConformanceTest::SetUp() {
  PrepareMachine();
  std::string temp;
  ASSERT_TRUE(os::GetEnvironmentVariable("TEMP", &temp));
  folder_ = temp + "\\avdef-conformance";
  // What an earlier run that was killed left behind.
  if (os::FolderExists(folder_)) {
    ASSERT_EQ(os::DeleteFolder(folder_), 0);
  }
  ASSERT_EQ(os::CreateDirectory(folder_), 0) << folder_;
  for (uint32_t view : {os::kKeyWow64_32Key, os::kKeyWow64_64Key}) {
    const long deleted = os::RegDeleteTree(kScratchKey, view);
    ASSERT_TRUE(deleted == 0 || deleted == os::kErrorFileNotFound) << deleted;
  }
}

void ConformanceTest::TearDown() {
  EXPECT_EQ(os::DeleteFolder(folder_), 0);
  for (uint32_t view : {os::kKeyWow64_32Key, os::kKeyWow64_64Key}) {
    const long deleted = os::RegDeleteTree(kScratchKey, view);
    EXPECT_TRUE(deleted == 0 || deleted == os::kErrorFileNotFound) << deleted;
  }
  ReleaseMachine();
}

void ConformanceTest::WriteFile(const std::string& path, const std::string& bytes) const {
  ASSERT_EQ(os::WriteWholeFile(path, bytes), 0) << path;
}

std::string ConformanceTest::ReadFile(const std::string& path) const {
  std::string bytes;
  EXPECT_EQ(os::ReadWholeFile(path, &bytes), 0) << path;
  return bytes;
}

}  // namespace conformance
