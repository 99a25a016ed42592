// Starting a program for a scenario run, with its output in files and a
// time limit.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace scenario {

struct Spawned {
  int exitCode = -1;
  bool timedOut = false;
};

// Runs argv with env, stdout and stderr to files; kills it (and its process
// group) after timeoutSeconds.
Spawned Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
              const std::filesystem::path& outFile, const std::filesystem::path& errFile,
              int timeoutSeconds);

}  // namespace scenario
