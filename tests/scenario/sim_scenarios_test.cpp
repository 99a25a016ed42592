// Runs every scenario folder on the simulated machine, as a separate process.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/scenario/network.h"
#include "tests/scenario/scenario.h"
#include "tests/scenario/spawn.h"

namespace fs = std::filesystem;
extern char** environ;

namespace {

fs::path ScenarioRoot() { return fs::path(AVDEF_SOURCE_DIR) / "tests" / "scenarios"; }

scenario::Outcome RunProgram(const fs::path& machine, const scenario::Run& run) {
  const fs::path errFile = machine.parent_path() / "stderr.txt";
  std::vector<std::string> envStrings;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    if (entry.rfind("AVDEFUPDATE_", 0) != 0) envStrings.push_back(entry);
  }
  envStrings.push_back("AVDEFUPDATE_MACHINE=" + machine.string());
  if (!run.clock.empty()) envStrings.push_back("AVDEFUPDATE_CLOCK=" + run.clock);

  std::vector<std::string> args{run.program.empty()                     ? AVDEF_BINARY
                                : run.program == scenario::kLauncherProbe ? AVDEF_LAUNCHER_PROBE
                                                                          : AVDEF_TRANSFER_PROBE};
  args.insert(args.end(), run.args.begin(), run.args.end());

  // Another copy "runs" while this lock on the machine folder is held.
  int lockFd = -1;
  if (run.holdInstance) {
    lockFd = open(machine.c_str(), O_RDONLY | O_DIRECTORY);
    flock(lockFd, LOCK_EX);
  }
  const scenario::Spawned ran = scenario::Spawn(args, envStrings, "/dev/null", errFile, 120);
  if (lockFd >= 0) close(lockFd);
  scenario::Outcome outcome;
  outcome.exitCode = ran.timedOut ? -1 : ran.exitCode;
  outcome.stderrText = scenario::ReadFile(errFile);
  return outcome;
}

// Network scenarios: the scenario's servers run for the whole scenario, and
// their addresses are in the machine's files and the expectations before the
// first run.
std::unique_ptr<scenario::ScenarioServers> StartNetwork(scenario::Scenario* s, const fs::path& machine) {
  auto servers = std::make_unique<scenario::ScenarioServers>(*s);
  scenario::WriteServerAddresses(machine, servers->Addresses());
  scenario::ExpandServerAddresses(s, servers->Addresses());
  return servers;
}

class SimScenario : public ::testing::TestWithParam<fs::path> {};

TEST_P(SimScenario, LeavesWhatItExpects) {
  scenario::Scenario s = scenario::Load(GetParam());
  const fs::path work = fs::temp_directory_path() / ("avdef-scenario-" + s.name + "-" + std::to_string(getpid()));
  fs::remove_all(work);
  const fs::path machine = work / "machine";
  scenario::PrepareMachine(s, machine);
  scenario::PlaceTools(s, machine, AVDEF_VENDORTOOL);
  const auto servers = StartNetwork(&s, machine);

  std::vector<scenario::Outcome> outcomes;
  for (const scenario::Run& run : s.runs) outcomes.push_back(RunProgram(machine, run));

  const std::vector<std::string> failures = scenario::Check(s, machine, outcomes, true, AVDEF_FILE_VERSION);
  for (const std::string& f : failures) ADD_FAILURE() << s.name << ": " << f;
  if (failures.empty()) fs::remove_all(work);
}

std::vector<fs::path> AllScenarios() { return scenario::FindAll(ScenarioRoot()); }

INSTANTIATE_TEST_SUITE_P(All, SimScenario, ::testing::ValuesIn(AllScenarios()),
                         [](const ::testing::TestParamInfo<fs::path>& param) {
                           std::string name = param.param.filename().string();
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

}  // namespace
