// Registry, INI and file operations used by the readers and the update
// engine. Every operation logs through WriteLog and reports failure by an
// empty text or false; none throws to its caller.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

#include "platform/context.h"
#include "base/error.h"

// ---- Registry values ---------------------------------------------------------

// A text value by the two calls Windows needs: the first learns its type and
// size, the second reads that many bytes. *text is the value up to its first
// NUL; *type the type found, *error the second call's code. Every reader of
// a registry text goes through here; what each does with a failure is its own.
enum class RegTextRead { kRead, kMissing, kWrongType, kReadFailed };
[[nodiscard]] RegTextRead ReadRegText(const os::RegKey& key, const std::string& valueName,
                                      std::initializer_list<uint32_t> types, std::string* text,
                                      uint32_t* type = nullptr, long* error = nullptr);

// A REG_SZ value's text up to its first NUL; empty on any error or other type.
std::string ReadRegString(const os::RegKey& key, const std::string& valueName);

enum class GetRegValueForm {
  kA,  // logs on entry; used by the site discovery and launchers
  kB,  // everyone else
};
// Type 4: the DWORD in decimal ("0" when missing). Type 1: the text, or empty.
std::string GetRegValue(RunContext& rc, const os::RegKey& key, const std::string& valueName,
                        uint32_t type, GetRegValueForm form = GetRegValueForm::kB);

// A folder held in a value, ending in "\" (empty when missing).
std::string fncRegKeyValue(RunContext& rc, const std::string& keyPath, const std::string& valueName);
std::string fncGetRegValuePublic(RunContext& rc, const std::string& keyPath,
                                 const std::string& valueName);
std::string fncPrgFileDir(RunContext& rc);
std::string fncPrgFileDirforCA(RunContext& rc);

// ---- Paths ---------------------------------------------------------------------

std::string ExpandEnvPath(RunContext& rc, const std::string& text);
std::string GetSpecialfolder(RunContext& rc, int csidl);
// Short form of a path, or the input; records the outcome in ShortPathResult.
std::string GetShortpath(RunContext& rc, const std::string& path);

// ---- Files ---------------------------------------------------------------------

enum class DeleteForm {
  kA,  // waits 2 s
  kB,  // waits 5 s and clears the attributes first
};
bool fncDeleteFile(RunContext& rc, const std::string& path, DeleteForm form);
// Moves the run's current data file (rc.DataFilePath) into the folder.
bool fncCopyFile(RunContext& rc, const std::string& destinationFolder);
// "1.500 KB" style size text, "0" for an empty file, empty on error.
std::string fncGetFileSize(RunContext& rc, const std::string& path);

// The run-time error a file-system call reports for a Win32 code
// (2 -> 53 File not found, 3 -> 76 Path not found, 5 -> 70 Permission denied).
RtError FileSystemError(long win32Code);

// "code-text" for a Windows or WinINet error code, or empty.
std::string fncFormatMessage(RunContext& rc, uint32_t code);

// ---- Uninstall-list searches ---------------------------------------------------

// One walk over the subkeys of keyPath, each opened with `access`. The walk
// ends at the first subkey that cannot be opened, when enumeration reports no
// more subkeys, or when the visitor returns false.
// Returns the RegOpenKeyEx error of keyPath itself (0 when it was walked).
using SubkeyVisitor =
    std::function<bool(const os::RegKey& subkey, const std::string& subkeyName,
                       const std::string& subkeyPath, const os::RegKey& parent)>;
long WalkSubkeys(const std::string& keyPath, uint32_t access, const SubkeyVisitor& visit);

constexpr const char* kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
