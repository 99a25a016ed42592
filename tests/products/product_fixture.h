// A simulated machine for one product family: the run log opened, agent type
// "VXNA" so that records land in rc.AntivirusElements, and the log lines the
// family wrote readable on their own.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/sim_machine.h"

namespace producttest {

using Lines = std::vector<std::string>;

constexpr const char* kUninstall64 =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kUninstall32 =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// One uninstall entry in the given list.
inline std::string Entry(const std::string& list, const std::string& subkey,
                         const std::string& displayName) {
  return "[" + list + "\\" + subkey + "]\r\n\"DisplayName\"=\"" + displayName + "\"\r\n\r\n";
}

// A key with one string value (the value left out when name is empty).
inline std::string Value(const std::string& key, const std::string& name, const std::string& value) {
  std::string text = "[HKEY_LOCAL_MACHINE\\" + key + "]\r\n";
  if (!name.empty()) text += "\"" + name + "\"=\"" + value + "\"\r\n";
  return text + "\r\n";
}

// The <Antivirus> element a record becomes for agent type "VXNA".
inline std::string Element(const std::string& category, const std::string& bcur,
                           const std::string& blast, const std::string& acur,
                           const std::string& alast, const std::string& engine,
                           const std::string& status) {
  return "<Antivirus><Category>" + category + "</Category><BCurrentDefinition>" + bcur +
         "</BCurrentDefinition><BLastDefinition>" + blast + "</BLastDefinition><ACurrentDefinition>" +
         acur + "</ACurrentDefinition><ALastDefinition>" + alast + "</ALastDefinition><BScanEngineNumber>" +
         engine + "</BScanEngineNumber><StatusDetail>" + status + "</StatusDetail></Antivirus>";
}

// The lines from the first one starting with `prefix` on.
inline Lines From(const Lines& log, const std::string& prefix) {
  auto it = std::find_if(log.begin(), log.end(),
                         [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  return Lines(it, log.end());
}

class ProductTest : public ::testing::Test {
 protected:
  // Loads the machine as described so far; rc starts afresh.
  void Start(const std::string& registry) {
    rc = RunContext();
    m.Registry(registry);
    m.Start(rc);
    rc.AgentType = "VXNA";
    mark_ = m.LogMessages().size();
  }

  // The log lines written since Start.
  Lines Log() const {
    const Lines all = m.LogMessages();
    return Lines(all.begin() + static_cast<long>(mark_), all.end());
  }

  SimMachine m;
  RunContext rc;

 private:
  size_t mark_ = 0;
};

}  // namespace producttest
