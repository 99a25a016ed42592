// An agent installed on a SimMachine: the KOVAOD key, KovaMobile.ini and a
// server map whose three posts go to one base URL.
#pragma once

#include <string>

#include "platform/context.h"
#include "tests/support/sim_machine.h"

inline const std::string kAgentFolder = "C:\\Program Files (x86)\\Agent\\";
inline const std::string kStateIni = std::string(SimMachine::kAppFolder) + "\\LastAVDefUpd.ini";

// serverBase empty: the server map has no entries. clock: "YYYY-MM-DD HH:MM:SS".
inline void InstallAgent(SimMachine& m, const std::string& serverBase,
                         const std::string& clock = "2026-12-07 00:41:50",
                         const std::string& kovaMobileIni = "[Download]\r\nAVDownload=http://127.0.0.1:9/avdefs\r\n") {
  m.Registry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\KOVAOD]\r\n"
             "\"InstallationPath\"=\"C:\\\\Program Files (x86)\\\\Agent\"\r\n");
  m.MachineIni("[Clock]\r\nStart=" + clock + "\r\n");
  m.File(kAgentFolder + "KovaMobile.ini", kovaMobileIni);
  std::string map;
  if (!serverBase.empty()) {
    for (const char* post : {"wpavupdtexclude", "wpgetavversion", "wpavvendef"}) {
      map += std::string("[") + post + "]\r\nURL=" + serverBase + "\r\n";
    }
  }
  m.File(kAgentFolder + "Configuration\\kServerMap.ini", map);
}

// What GetoutputPath would have read from the key.
inline void SetIdentity(RunContext& rc) {
  rc.AgentInstallPath = kAgentFolder;
  rc.RegId = "100245";
  rc.SiteId = "17";
  rc.MemberId = "3301";
  rc.AgentType = "QRTA";
}
