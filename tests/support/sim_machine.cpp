#include "tests/support/sim_machine.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/sim/machine.h"
#include "platform/log.h"

namespace fs = std::filesystem;

namespace {

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace

SimMachine::SimMachine() {
  static std::atomic<int> counter{0};
  folder_ = fs::temp_directory_path() /
            ("avdef-unit-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
  fs::remove_all(folder_);
  fs::create_directories(folder_ / "drive_c" / "Program Files (x86)" / "Agent" / "AVUpdate");
}

SimMachine::~SimMachine() {
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
}

void SimMachine::Registry(const std::string& body) { registry_ = body; }
void SimMachine::System(const std::string& lines) { system_ += lines; }
void SimMachine::MachineIni(const std::string& sections) { sections_ += sections; }

void SimMachine::ReplaceMachineIni(const std::string& text) {
  replaceIni_ = true;
  wholeIni_ = text;
}

void SimMachine::File(const std::string& windowsPath, const std::string& content) {
  std::string rel = windowsPath.substr(3);
  std::replace(rel.begin(), rel.end(), '\\', '/');
  const fs::path host = folder_ / "drive_c" / rel;
  fs::create_directories(host.parent_path());
  std::ofstream(host, std::ios::binary) << content;
}

void SimMachine::WriteIni() const {
  std::ofstream(folder_ / "registry.reg", std::ios::binary)
      << "Windows Registry Editor Version 5.00\r\n\r\n" << registry_;
  std::ofstream ini(folder_ / "machine.ini", std::ios::binary);
  if (replaceIni_) {
    ini << wholeIni_;
  } else {
    ini << "[System]\r\nProgramPath=" << kAppFolder << "\\avdefupdate.exe\r\n" << system_ << "\r\n"
        << sections_;
  }
}

void SimMachine::Load(const std::string& commandLine) {
  WriteIni();
  const std::string error = sim::LoadMachine(folder_.string(), commandLine);
  ASSERT_EQ(error, "");
}

void SimMachine::Start(RunContext& rc, const std::string& commandLine) {
  Load(commandLine);
  OpenRunLog(rc);
}

std::string SimMachine::Read(const std::string& windowsPath) const {
  return Slurp(sim::HostPath(windowsPath));
}

bool SimMachine::Exists(const std::string& windowsPath) const {
  return fs::exists(sim::HostPath(windowsPath));
}

std::vector<std::string> SimMachine::LogMessages() const {
  return LogMessages(std::string(kAppFolder) + "\\" + kLogFileName);
}

std::vector<std::string> SimMachine::LogMessages(const std::string& logPath) const {
  std::vector<std::string> messages;
  std::istringstream in(Read(logPath));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t tab = line.find('\t');
    messages.push_back(tab == std::string::npos ? line : line.substr(tab + 1));
  }
  return messages;
}

bool SimMachine::Logged(const std::string& message) const {
  const auto messages = LogMessages();
  return std::find(messages.begin(), messages.end(), message) != messages.end();
}
