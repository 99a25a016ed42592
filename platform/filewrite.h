// Checked, atomic writes: every file the agent writes goes through here, so
// that a full disk, a refused folder or a kill at any moment leaves either
// the previous file or the complete new one, never an empty or torn file.
//
// The way a file is written: the bytes go to a temporary file in the same
// folder (the final name + kTempSuffix), which is flushed to the disk and
// then renamed over the final name in one step (MoveFileEx with replace and
// write-through). A failure deletes the temporary and leaves the final name
// as it was. Leftover temporaries (a kill between the two steps) are removed
// by the next run's housekeeping.
#pragma once

#include <string>
#include <string_view>

#include "platform/context.h"

constexpr const char* kTempSuffix = ".avdef-tmp";

// Writes bytes as the whole content of path, as above. Returns 0 or the
// Win32 code of the step that failed. Logs nothing: for callers that report
// failures their own way.
[[nodiscard]] long ReplaceFileAtomically(const std::string& path, const std::string& bytes);

// ReplaceFileAtomically, and on failure one log line:
//   failureLine + path + ". ErrDesc: " + code + "-" + the system's text
// e.g. "ERR : Could not write C:\A\x.ini. ErrDesc: 112-There is not enough space on the disk."
[[nodiscard]] bool WriteFileChecked(RunContext& rc, const std::string& path, const std::string& bytes,
                                    std::string_view failureLine = "ERR : Could not write ");

// Copies source to destination (a full path, replaced when it exists) with
// WriteFileChecked; with deleteSource, deletes source once the destination is
// complete. A failure logs one line naming the file and the cause (the
// destination's write, or the source's read or delete) and returns false;
// the source is never deleted before its copy is complete.
[[nodiscard]] bool CopyFileChecked(RunContext& rc, const std::string& source, const std::string& destination,
                                   bool deleteSource, std::string_view failureLine = "ERR : Could not copy ");

// Sets key=value in one section of an INI file and writes the whole file
// with WriteFileChecked, so that a failed write keeps every other section.
// The value goes in on one line (control characters become spaces).
[[nodiscard]] bool WriteIniValue(RunContext& rc, const std::string& path, const std::string& section,
                                 const std::string& key, const std::string& value);

// The INI text with key=value set in section, as WritePrivateProfileStringA
// edits it: the first section of that name (case-insensitive) is used, an
// existing key's line is replaced, a new key goes after the section's last
// non-blank line, a new section at the end. Lines end with CR LF.
std::string SetIniValue(const std::string& text, const std::string& section,
                        const std::string& key, const std::string& value);

// "code-system text" for a Win32 code, or the code alone when the system has
// no text for it.
std::string ErrorCause(RunContext& rc, long code);
