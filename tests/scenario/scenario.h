// Whole-run scenarios: a machine folder plus what a run of the program must
// leave behind. Parsing and checking here know nothing of the backend that
// runs the program.
#pragma once

#include <filesystem>
#include <functional>
#include <string_view>
#include <string>
#include <vector>

namespace scenario {

// The test tools a [run] may run instead of the agent (program=).
inline constexpr const char* kTransferProbe = "transfer_probe";
inline constexpr const char* kLauncherProbe = "launcher_probe";

struct Run {
  std::string program;  // empty: the agent; else kTransferProbe or kLauncherProbe
  std::vector<std::string> args;
  std::string clock;
  bool holdInstance = false;
  int exitCode = 0;
};

struct ExpectedFile {
  std::string windowsPath;
  std::vector<std::string> lines;
};

// [servers]: loopback servers the runner starts for the scenario.
struct ServersSpec {
  std::string httpFolder, ftpFolder;  // relative to the scenario folder; empty: none
  std::vector<std::pair<std::string, std::string>> httpRules;  // "status"/"delay"/"cut", "/path|n"
  std::string proxyAuth;
};

struct Scenario {
  std::string name;
  std::filesystem::path folder;
  std::vector<std::filesystem::path> machineLayers;  // base first
  std::vector<std::pair<std::string, uint64_t>> fills;
  std::vector<std::string> removals;  // Windows paths taken out of the base machine
  std::vector<Run> runs;
  std::vector<std::string> log, logAbsent, logSim, fileAbsent, stderrTexts;
  std::vector<ExpectedFile> files;
  std::vector<std::pair<std::string, int>> fileCounts;  // pattern, how many files match
  std::vector<std::pair<std::string, std::string>> unsupportedBackends;  // backend, reason
  ServersSpec servers;
  std::vector<std::string> tools;  // [tools] place=: Windows paths of the stand-in vendor tool
};

std::string Lower(std::string s);
std::string Trim(const std::string& s);  // spaces and tabs
std::string ReadFile(const std::filesystem::path& p);
// [section] key of the machine's machine.ini, or the fallback.
std::string MachineIni(const std::filesystem::path& machine, const std::string& section,
                       const std::string& key, const std::string& fallback);

// Reads folder/scenario.ini; throws std::runtime_error naming file and line.
Scenario Load(const std::filesystem::path& folder);
std::vector<std::filesystem::path> FindAll(const std::filesystem::path& root);

// Copies the machine layers into an empty folder and makes the fill files.
void PrepareMachine(const Scenario& s, const std::filesystem::path& machine);
// Copies the stand-in vendor tool (the backend's build of it) to every path
// of [tools], under root's drive_c.
void PlaceTools(const Scenario& s, const std::filesystem::path& root, const std::filesystem::path& toolBinary);

// The host path of a Windows path under machine/drive_c, matching existing
// components without regard to case.
std::filesystem::path HostPath(const std::filesystem::path& machine, const std::string& windowsPath);
// Host paths of the files a Windows path names; "*" in its last component
// matches any run of characters (case-insensitive).
std::vector<std::filesystem::path> Matching(const std::filesystem::path& machine,
                                            const std::string& windowsPattern);
// The run log's Windows path for the machine (folder of its ProgramPath).
std::string LogWindowsPath(const std::filesystem::path& machine);

struct Outcome {
  int exitCode = 0;
  std::string stderrText;
};

// Checks everything the scenario expects of the machine as the runs left it;
// returns one text per failed expectation.
// "{SHORT:<Windows path>}" in an expected line stands for that path's short
// (8.3) form, which only the machine that ran the program knows;
// "{ARG:<Windows path>}" for that short form as the agent puts it into a
// command line (in double quotes when it holds a blank or an operator).
inline constexpr std::string_view kShortOpen = "{SHORT:";
inline constexpr std::string_view kArgOpen = "{ARG:";
using ShortPathFn = std::function<std::string(const std::string&)>;
std::vector<std::string> ShortPathsNamed(const Scenario& s);

std::vector<std::string> Check(const Scenario& s, const std::filesystem::path& machine,
                               const std::vector<Outcome>& outcomes, bool simBackend,
                               const std::string& fileVersion, const ShortPathFn& shortPath = nullptr);

}  // namespace scenario
