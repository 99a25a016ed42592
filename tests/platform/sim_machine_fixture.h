// A throw-away simulated machine per test, with the run log opened on it so
// that tests can read back the lines an operation wrote.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/os.h"
#include "platform/sim/machine.h"
#include "run/context.h"

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
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }

  // Writes the machine folder, loads it and opens the log on it.
  void Load(const MachineFiles& machine) {
    if (!folder_.empty()) {
      rc.LogStream.Close();
      std::filesystem::remove_all(folder_);
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "avdef-ops-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    Write(folder_ + "/registry.reg", "Windows Registry Editor Version 5.00\r\n\r\n" + machine.registry);
    Write(folder_ + "/machine.ini", machine.machineIni);
    // The machine needs the program's own folder.
    std::filesystem::create_directories(folder_ + "/drive_c/Program Files (x86)/Agent/AVUpdate");
    for (const auto& [path, bytes] : machine.files) {
      std::string relative = path;
      for (char& c : relative)
        if (c == '\\') c = '/';
      const std::filesystem::path host = std::filesystem::path(folder_) / "drive_c" / relative;
      std::filesystem::create_directories(host.parent_path());
      Write(host.string(), bytes);
    }
    const std::string error = sim::LoadMachine(folder_);
    ASSERT_EQ(error, "");
    rc = RunContext{};
    ASSERT_EQ(os::OpenFile(kLogPath, os::OpenMode::kCreateAlways, &rc.LogStream), 0);
    start_ms_ = VirtualMs(os::Now());
  }

  // The logged messages, without their time stamps.
  std::vector<std::string> LogLines() const {
    std::string bytes;
    EXPECT_EQ(os::ReadWholeFile(kLogPath, &bytes), 0);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
      size_t end = bytes.find("\r\n", start);
      if (end == std::string::npos) end = bytes.size();
      std::string line = bytes.substr(start, end - start);
      const size_t tab = line.find('\t');
      lines.push_back(tab == std::string::npos ? line : line.substr(tab + 1));
      start = end + 2;
    }
    return lines;
  }

  bool Logged(const std::string& message) const {
    for (const std::string& line : LogLines())
      if (line == message) return true;
    return false;
  }

  // Virtual milliseconds since the machine was loaded.
  int64_t ElapsedMs() const { return VirtualMs(os::Now()) - start_ms_; }

  RunContext rc;

 private:
  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
  }

  std::string folder_;
  int64_t start_ms_ = 0;
};

// A system message as the operations quote it: without its line break.
inline std::string SystemText(uint32_t code, bool wininet = false) {
  std::string text;
  if (!os::FormatMessage(code, wininet, &text) || text.size() < 2) return {};
  return text.substr(0, text.size() - 2);
}

}  // namespace simtest
