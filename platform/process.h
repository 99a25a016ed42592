// Starting and waiting for vendor tools, services, DLL registration and the
// pattern-archive unzip. Every operation logs and never throws.
#pragma once

#include <cstdint>
#include <string>

#include "platform/context.h"

constexpr uint32_t kExecuteShellDefaultTimeoutMs = 1800000;
constexpr uint32_t kCreateProcessTimeoutMs = 1800000;
constexpr uint32_t kShellExecuteWaitDefaultTimeoutMs = 300000;

bool fncExecuteShell(RunContext& rc, const std::string& commandLine, uint32_t timeoutMs);
void fncTerminateUpdateProcess(RunContext& rc, const os::ProcessHandle& process);
bool fncCreateProcess(RunContext& rc, const std::string& commandLine);
bool fncShellExecuteWait(RunContext& rc, const std::string& file, const std::string& parameters,
                         std::string* errorCode, std::string* errorText, uint32_t* timeoutMs);
// With expectedImage set, a process found by its window is ended only when
// the program it runs is that file (compared by short path, any letter case):
// a window title alone does not say whose process it is.
bool ProcessTerminate(RunContext& rc, uint32_t* processId, uintptr_t window,
                      const std::string& expectedImage = {});
bool fncRegisterDLL(RunContext& rc, const std::string& path);

bool SetServiceStopped(RunContext& rc, const std::string& name);
bool SetServiceStarted(RunContext& rc, const std::string& name);
// "stopped", "startpend", "stoppend", "running", "contpend", "pausepend", "paused"
std::string ServiceStateText(uint32_t state);
bool EnumSystemServices(RunContext& rc, const std::string& name, const std::string& wantedState);

// Unpacks folder\TrendMicro.zip into the folder; *patternPath gets the first
// file whose name starts with "lpt".
bool FileUnzip(RunContext& rc, const std::string& folder, std::string* patternPath);

std::string GetSystemErrorText(uint32_t code);

// A tool started hidden in a job of its own: ending the job ends the tool and
// everything it started. Closing the job (leaving scope) ends them as well.
struct ToolProcess {
  os::JobHandle job;
  os::ProcessHandle process;
  uint32_t processId = 0;
};
// Starts commandLine hidden in a new job, without waiting; 0 or the Win32 error.
long StartTool(const std::string& commandLine, ToolProcess* tool);
// When the tool or anything it started still runs, ends them all and logs
// "MSG : Terminated the Process as given time elpased.."; true when it did.
bool EndToolTree(RunContext& rc, ToolProcess& tool);

// Starts a program with a hidden window without waiting for it (VB Shell):
// the process id, or throws RtError 53 when it cannot be started.
uint32_t ShellHidden(const std::string& commandLine);
