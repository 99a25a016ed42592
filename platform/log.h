// The run log: AntivirusAutoUpdLog_New.log in the program's folder.
#pragma once

#include <string>
#include <string_view>

#include "platform/context.h"

constexpr const char* kLogFileName = "AntivirusAutoUpdLog_New.log";
constexpr uint64_t kLogSizeLimitKb = 2048;
// Exit code of a run whose log could not be opened or written (the reason is on stderr).
constexpr int kExitLogUnwritable = 3;

// Appends time stamp, TAB, message and CR LF. Never fails towards the caller.
void WriteLog(RunContext& rc, std::string_view message);

// Opens the log and writes the start lines. Errors reach the caller (RtError).
void OpenRunLog(RunContext& rc);

// Writes the end lines, closes the run's streams and ends the run (throws
// RunEnded, which the program's entry turns into the process exit).
[[noreturn]] void EndRun(RunContext& rc, int exitCode = 0);

// Logs "MSG : Deleting File " + path, then deletes it; errors ignored.
void DeleteFileLogged(RunContext& rc, const std::string& path);
