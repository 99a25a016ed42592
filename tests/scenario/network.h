// Network scenarios: the loopback servers a scenario's [servers] section asks
// for, and their addresses written into the machine and the expectations.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "tests/scenario/scenario.h"
#include "tests/scenario/servers.h"

namespace scenario {

class ScenarioServers {
 public:
  // Starts what s.servers names; throws std::runtime_error when a server
  // cannot start.
  explicit ScenarioServers(const Scenario& s);

  // {HTTP} (http://127.0.0.1:<port>), {HTTP_PORT}, {FTP} (127.0.0.1:<port>)
  // and {FTP_PORT}, for the servers that run.
  const std::map<std::string, std::string>& Addresses() const { return addresses_; }

 private:
  std::unique_ptr<HttpFolderServer> http_;
  std::unique_ptr<FtpFolderServer> ftp_;
  std::map<std::string, std::string> addresses_;
};

// Replaces the placeholders in every .ini file under machine/drive_c (the
// agent's KovaMobile.ini, its kServerMap.ini, the state files).
void WriteServerAddresses(const std::filesystem::path& machine, const std::map<std::string, std::string>& addresses);
// Replaces them in the scenario's expected lines and its runs' arguments.
void ExpandServerAddresses(Scenario* s, const std::map<std::string, std::string>& addresses);

}  // namespace scenario
