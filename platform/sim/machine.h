// Entry points of the simulated machine for tests (sim backend only).
#pragma once

#include <string>

namespace sim {

// Loads the machine folder (registry.reg, machine.ini, drive_c/) and resets
// every piece of simulated state (clock, processes, services, handles, the
// instance lock). Returns an error text ("<file>:<line>: <message>" where
// there is a line), or empty on success. commandLine is what
// os::GetCommandLineArgs() returns afterwards.
std::string LoadMachine(const std::string& folder, const std::string& commandLine = "");

// The host path a Windows path "C:\..." maps to under drive_c/, resolving
// existing components without regard to case; empty for paths outside C:.
std::string HostPath(const std::string& windowsPath);

// The folder whose flock() is the single-instance guard (the machine folder).
std::string InstanceLockPath();

}  // namespace sim
