// A throw-away simulated machine folder for the sim backend's tests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/sim/machine.h"

namespace simtest {

class TempMachine {
 public:
  TempMachine() {
    std::string pattern = (std::filesystem::temp_directory_path() / "simtest-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    // The default ProgramPath's folder.
    std::filesystem::create_directories(dir_ + "/drive_c/Program Files (x86)/Agent/AVUpdate");
  }
  ~TempMachine() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  TempMachine(const TempMachine&) = delete;
  TempMachine& operator=(const TempMachine&) = delete;

  const std::string& dir() const { return dir_; }

  // Writes a file relative to the machine folder (parents created).
  void Write(const std::string& relative, const std::string& bytes) const {
    const std::filesystem::path p = std::filesystem::path(dir_) / relative;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::string Read(const std::string& relative) const {
    std::ifstream in(std::filesystem::path(dir_) / relative, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  void Mkdir(const std::string& relative) const {
    std::filesystem::create_directories(std::filesystem::path(dir_) / relative);
  }
  // registry.reg with the Version 5.00 header and CR LF line ends.
  void Registry(const std::string& body) const {
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
    std::istringstream lines(body);
    for (std::string line; std::getline(lines, line);) text += line + "\r\n";
    Write("registry.reg", text);
  }
  void Ini(const std::string& text) const { Write("machine.ini", text); }

  std::string Load(const std::string& commandLine = "") const {
    return sim::LoadMachine(dir_, commandLine);
  }

 private:
  std::string dir_;
};

}  // namespace simtest
