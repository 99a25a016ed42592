// A simulated machine for the fuzz targets: made once per process in a
// temporary folder, with the agent installed and a server map whose posts go
// to one address. Each input writes its files and starts a fresh run on it.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/context.h"
#include "platform/log.h"
#include "platform/sim/machine.h"

namespace fuzz {

inline const char* const kAppFolder = "C:\\Program Files (x86)\\Agent\\AVUpdate";

class Machine {
 public:
  // extraRegistry: more registry.reg lines; serverBase: where the posts go.
  explicit Machine(const std::string& extraRegistry = "",
                   const std::string& serverBase = "http://127.0.0.1:9/") {
    std::string pattern = (std::filesystem::temp_directory_path() / "avfuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    dir_ = pattern;
    Host("drive_c/Program Files (x86)/Agent/AVUpdate/.keep", "");
    Host("registry.reg",
         "Windows Registry Editor Version 5.00\r\n\r\n"
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\KOVAOD]\r\n"
         "\"InstallationPath\"=\"C:\\\\Program Files (x86)\\\\Agent\"\r\n" +
             extraRegistry);
    Host("machine.ini", "[Clock]\r\nStart=2026-12-07 00:41:50\r\n");
    Host("drive_c/Program Files (x86)/Agent/KovaMobile.ini", "[Download]\r\nAVDownload=http://127.0.0.1:9/\r\n");
    std::string map;
    for (const char* post : {"wpavupdtexclude", "wpgetavversion", "wpavvendef"}) {
      map += std::string("[") + post + "]\r\nURL=" + serverBase + "\r\n";
    }
    Host("drive_c/Program Files (x86)/Agent/Configuration/kServerMap.ini", map);
  }
  ~Machine() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  const std::string& dir() const { return dir_; }

  // Writes a file relative to the machine folder (parents created).
  void Host(const std::string& relative, const std::string& bytes) const {
    const std::filesystem::path p = std::filesystem::path(dir_) / relative;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  void Remove(const std::string& relative) const {
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::path(dir_) / relative, ec);
  }

  // Loads the machine and opens a fresh run log, as a run starts.
  void Start(RunContext& rc) const {
    Remove("drive_c/Program Files (x86)/Agent/AVUpdate/AntivirusAutoUpdLog_New.log");
    if (!sim::LoadMachine(dir_).empty()) std::abort();
    OpenRunLog(rc);
    rc.AgentInstallPath = "C:\\Program Files (x86)\\Agent\\";
    rc.RegId = "100245";
    rc.SiteId = "17";
    rc.MemberId = "3301";
    rc.AgentType = "QRTA";
  }

 private:
  std::string dir_;
};

}  // namespace fuzz
