// The OS seam's conformance suite: tests written once against os:: calls and
// run on both backends (the sim inside avconformance, the win32 backend as
// avconformance.exe under Wine or on Windows). Where the backends truly
// differ, a test states each one's result with PerBackend and says why.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/os.h"

namespace conformance {

enum class Backend { kSim, kWine, kWindows };
// Defined by the backend's own file (sim_machine.cpp, win32_main.cpp).
Backend CurrentBackend();
const char* BackendName();

// One expectation per backend, for the places where they differ.
template <typename T>
struct PerBackend {
  T sim, wine, windows;
  const T& Get() const {
    switch (CurrentBackend()) {
      case Backend::kSim:
        return sim;
      case Backend::kWine:
        return wine;
      case Backend::kWindows:
        break;
    }
    return windows;
  }
};

// Scratch key below HKEY_LOCAL_MACHINE: SOFTWARE, because only that subtree
// has two views (HKEY_CURRENT_USER\Software is shared by both).
inline const std::string kScratchKey = "SOFTWARE\\avdef-conformance";

// The program a test starts as a child: on Windows avconformance.exe itself,
// which sleeps kChildRunsMs and exits with kChildExitCode when given
// kChildFlag; on the sim the machine says the same of the program's file.
constexpr uint32_t kChildRunsMs = 3000;
constexpr uint32_t kChildExitCode = 7;
inline const std::string kChildFlag = "--conformance-child";
std::string ChildCommandLine();

// Sim: loads a new simulated machine; win32: the machine is the real one.
void PrepareMachine();
void ReleaseMachine();

// A fresh machine (sim), an empty scratch folder and no scratch key in either
// view; both are removed afterwards.
class ConformanceTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A path inside the scratch folder.
  std::string Scratch(const std::string& relative) const { return folder_ + "\\" + relative; }
  const std::string& folder() const { return folder_; }

  // Writes a whole file (asserting success).
  void WriteFile(const std::string& path, const std::string& bytes) const;
  std::string ReadFile(const std::string& path) const;

 private:
  std::string folder_;
};

}  // namespace conformance
