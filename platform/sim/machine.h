// Entry points of the simulated machine for tests (sim backend only).
#pragma once

#include <cstdint>
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

// Injected faults. A change is any call that alters C: (a file created,
// written, copied, renamed or deleted, a folder created or deleted), counted
// from 1 since the machine was loaded or the faults were set.
struct Faults {
  int64_t failWrite = 0;        // the Nth change fails: data with 112 (disk full) after
                                // writing half its bytes, renames and deletes with 5
  int64_t killBeforeWrite = 0;  // the process ends (_exit 86) before its Nth change
  int64_t freeSpace = -1;       // bytes free on C:, -1 unlimited
};
void SetFaults(const Faults& faults);
int64_t ChangesSoFar();
// True once failWrite has failed a change; FaultPath: the Windows path of that change.
bool FaultFired();
std::string FaultPath();
// Whole-file writes and renames reach the host's disk (fsync) before they
// return, as FlushFileBuffers and MOVEFILE_WRITE_THROUGH do. Tests that make
// hundreds of runs may turn this off: a simulated kill ends the process, not
// the host, so what was written survives it either way.
void SetHostSync(bool on);
// What is left of freeSpace (-1: unlimited).
int64_t FreeSpaceLeft();

}  // namespace sim
