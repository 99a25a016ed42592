// A throw-away simulated machine per test, with the run log opened on it so
// that tests can read back the lines an operation wrote.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/os.h"
#include "platform/sim/machine.h"
#include "platform/context.h"
#include "tests/support/sim_machine.h"

namespace simtest {

struct MachineFiles {
  std::string registry;    // body after the .reg header
  std::string machineIni;  // whole machine.ini
  std::vector<std::pair<std::string, std::string>> files;  // path below C:\ ("Dir\f.txt"), bytes
};

inline int64_t VirtualMs(const os::LocalTime& t) {
  using namespace std::chrono;
  const sys_days day = year{t.year} / month{static_cast<unsigned>(t.month)} /
                       std::chrono::day{static_cast<unsigned>(t.day)};
  return duration_cast<milliseconds>(day.time_since_epoch()).count() +
         ((t.hour * 60LL + t.minute) * 60 + t.second) * 1000 + t.millisecond;
}

class SimMachineTest : public ::testing::Test {
 protected:
  static constexpr const char* kLogPath = "C:\\unit-test.log";

  void TearDown() override {
    rc.LogStream.Close();
    machine_.reset();
  }

  // Writes the machine folder, loads it and opens the log on it.
  void Load(const MachineFiles& machine) {
    rc.LogStream.Close();
    machine_ = std::make_unique<SimMachine>();
    machine_->Registry(machine.registry);
    machine_->ReplaceMachineIni(machine.machineIni);
    for (const auto& [path, bytes] : machine.files) machine_->File("C:\\" + path, bytes);
    machine_->Load();
    rc = RunContext{};
    ASSERT_EQ(os::OpenFile(kLogPath, os::OpenMode::kCreateAlways, &rc.LogStream), 0);
    start_ms_ = VirtualMs(os::Now());
  }

  // The logged messages, without their time stamps.
  std::vector<std::string> LogLines() const { return machine_->LogMessages(kLogPath); }

  bool Logged(const std::string& message) const {
    for (const std::string& line : LogLines())
      if (line == message) return true;
    return false;
  }

  // Virtual milliseconds since the machine was loaded.
  int64_t ElapsedMs() const { return VirtualMs(os::Now()) - start_ms_; }

  RunContext rc;

 private:
  std::unique_ptr<SimMachine> machine_;
  int64_t start_ms_ = 0;
};

// A system message as the operations quote it: without its line break.
inline std::string SystemText(uint32_t code, bool wininet = false) {
  std::string text;
  if (!os::FormatMessage(code, wininet, &text) || text.size() < 2) return {};
  return text.substr(0, text.size() - 2);
}

}  // namespace simtest
