// A small simulated machine in a temporary folder, for unit tests.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/context.h"

class SimMachine {
 public:
  static constexpr const char* kAppFolder = "C:\\Program Files (x86)\\Agent\\AVUpdate";

  // A 64-bit Windows 10 machine with the program's folder and nothing else.
  SimMachine();
  ~SimMachine();
  SimMachine(const SimMachine&) = delete;
  SimMachine& operator=(const SimMachine&) = delete;

  // registry.reg body after the Version 5.00 header.
  void Registry(const std::string& body);
  // Extra machine.ini text appended to the default [System] section.
  void System(const std::string& lines);
  // Further machine.ini sections.
  void MachineIni(const std::string& sections);
  // The whole machine.ini instead of the default one.
  void ReplaceMachineIni(const std::string& text);
  void File(const std::string& windowsPath, const std::string& content);

  // Loads the machine; fails the test on a load error.
  void Load(const std::string& commandLine = "");
  // Loads the machine and opens the run log as a run does, in rc.
  void Start(RunContext& rc, const std::string& commandLine = "");

  std::string Read(const std::string& windowsPath) const;
  bool Exists(const std::string& windowsPath) const;
  // The log's messages (text after time stamp and TAB), one per line.
  std::vector<std::string> LogMessages() const;
  std::vector<std::string> LogMessages(const std::string& logPath) const;
  bool Logged(const std::string& message) const;

  const std::filesystem::path& folder() const { return folder_; }

 private:
  void WriteIni() const;

  std::filesystem::path folder_;
  std::string registry_;
  std::string system_;
  std::string sections_;
  bool replaceIni_ = false;
  std::string wholeIni_;
};
