// Command lines built from values the agent reads (install folders from the
// registry, folders from INI files) and the batch files it writes. A value
// goes into a command line only as one quoted argument; a value that cannot
// be quoted safely is refused with a log line, so that no value can start a
// second command or change the one it belongs to.
#pragma once

#include <string>
#include <vector>

#include "platform/context.h"

enum class QuoteFor {
  kCreateProcess,  // a program's own command line (C runtime parsing)
  kCmdLine,        // a command after "cmd.exe /c" (cmd parses it first)
  kBatchLine,      // a line of a batch file ("%" must be doubled there)
};

// Why a value cannot be quoted for that use, or empty when it can: a double
// quote, a control character, or (for a cmd.exe line) a "%", which cmd
// expands even inside quotes.
std::string UnquotableReason(const std::string& value, QuoteFor where);

// The value as one argument: as it is when it has no blank and no character
// a command interpreter treats specially, otherwise in double quotes (with
// trailing backslashes doubled, so the closing quote stays a quote). In a
// batch line "%" becomes "%%". A value that cannot be quoted logs
//   "ERR : Refused to run <what>: <value> <reason>"
// and gives false.
bool QuoteArgument(RunContext& rc, const std::string& value, QuoteFor where, const std::string& what,
                   std::string* quoted);

// The command line that runs command through the system's cmd.exe:
// "<system folder>\cmd.exe /c <command>", or, when the command begins with a
// double quote, "<system folder>\cmd.exe /s /c \"<command>\"" so that cmd
// takes off exactly the outer pair of quotes.
std::string CmdCommandLine(const std::string& command);

// The command line that runs a batch file: the path in double quotes when it
// has no blank and no operator character; otherwise through cmd.exe /s /c
// with the path quoted (a quoted .bat path given straight to CreateProcess
// loses its quotes when it holds "&" or parentheses). False, with the refusal
// logged, when the path cannot be quoted.
bool BatchCommandLine(RunContext& rc, const std::string& batchPath, std::string* commandLine);

// Writes a batch file afresh with these lines (CR LF after each), through the
// checked, atomic writer: whatever a file of that name held before (a planted
// command) is never run. False when it could not be written (logged).
bool WriteBatchFile(RunContext& rc, const std::string& path, const std::vector<std::string>& lines);
