// Internal state of the simulated machine, shared by the platform/sim/*.cpp
// files. Not for use outside the sim backend.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/os.h"

namespace sim {

// ---- Text helpers -------------------------------------------------------------

std::string Upper(const std::string& s);
bool EqualNoCase(const std::string& a, const std::string& b);
std::string Trim(const std::string& s);  // spaces and tabs
// Splits text into lines on LF, dropping one trailing CR from each line.
std::vector<std::string> SplitLines(const std::string& text);

// ---- Registry -------------------------------------------------------------------

struct RegValue {
  std::string name;  // as written
  uint32_t type = 0;
  std::string data;  // raw bytes as RegQueryValueEx returns them
};

struct RegNode {
  std::string name;                                         // as written
  std::map<std::string, std::unique_ptr<RegNode>> children;  // upper-cased name -> key
  std::map<std::string, RegValue> values;                    // upper-cased name -> value
  std::vector<uint32_t> denyMasks;

  RegNode() = default;
  RegNode(RegNode&&) = default;
  RegNode& operator=(RegNode&&);
  // Takes the subtree apart without recursion: a registry.reg may nest keys
  // deeper than the stack would allow.
  ~RegNode();
};

// Parses registry.reg text into root (HKEY_LOCAL_MACHINE). Returns an error
// "<fileLabel>:<line>: <message>" or empty.
std::string ParseRegFile(const std::string& bytes, const std::string& fileLabel, RegNode* root);

// ---- Machine --------------------------------------------------------------------

struct ProgramSpec {
  int64_t runsMs = 0;
  uint32_t exitCode = 0;
};

struct ServiceEntry {
  std::string name;
  uint32_t state = 0;
};

struct Process {
  uint32_t pid = 0;
  uint32_t parentPid = 0;
  uint32_t job = 0;   // the job it belongs to; 0: none
  std::string image;  // Windows path of its program file
  // Virtual time at which it ends; kNever while unknown (a command
  // interpreter still working through its commands, a window's owner).
  int64_t endMs = 0;
  uint32_t exitCode = 0;
  bool killed = false;  // ended by TerminateProcess or its job
  std::string window;   // title of its top-level window; empty: none
  int openHandles = 0;
};
constexpr int64_t kNever = INT64_MAX;

struct InternetObject;  // platform/sim/transfer.cpp

struct HandleData {
  os::HandleKind kind = os::HandleKind::kRegKey;
  RegNode* key = nullptr;          // kRegKey; nullptr once the key is deleted
  uint32_t keyRights = 0;          // kRegKey: the rights it was opened with
  // The last subkey RegEnumKey returned, so that a walk by rising index
  // costs O(1) per step instead of O(index).
  size_t enumIndex = SIZE_MAX;
  std::map<std::string, std::unique_ptr<RegNode>>::const_iterator enumAt;
  uint32_t pid = 0;                // kProcess
  uint32_t job = 0;                // kJob
  bool isManager = false;          // kService: the SCM itself
  size_t serviceIndex = 0;         // kService
  std::string hostPath;            // kFile
  std::string windowsPath;         // kFile
  std::shared_ptr<InternetObject> internet;  // kInternet
};

struct Machine {
  std::string folder;  // host folder
  std::string driveC;  // host folder of C:\ (no trailing slash)
  std::string commandLine;

  RegNode registry;

  std::string programPath = "C:\\Program Files (x86)\\Agent\\AVUpdate\\avdefupdate.exe";
  int bits = 64;
  std::string wow64;  // "1", "0" or "absent"; empty = default for bits
  std::string caption = "Microsoft Windows 10 Pro";
  std::string systemType;  // empty = default for bits
  uint32_t versionMajor = 6, versionMinor = 2;
  bool wmi = true;
  std::string systemDirectory = "C:\\Windows\\system32";

  std::vector<std::pair<std::string, std::string>> environment;  // name, value
  std::map<int, std::string> specialFolders;
  std::vector<ServiceEntry> services;
  std::map<std::string, ProgramSpec> programs;      // upper-cased key -> behaviour
  std::map<std::string, std::string> fileVersions;  // normalized upper path -> version

  int64_t clockMs = 0;  // virtual local time, ms since 1970-01-01 00:00:00

  std::map<uint32_t, Process> processes;
  uint32_t nextPid = 4200;
  uint32_t nextJob = 1;
  // [Windows]: title -> Windows path of the program of the process that owns it.
  std::vector<std::pair<std::string, std::string>> windows;
  std::map<uintptr_t, HandleData> handles;
  uint32_t lastError = 0;

  int lockFd = -1;

  // Injected faults (tests and the AVDEFUPDATE_FAULT variable): see machine.h.
  int64_t failWrite = 0;        // the Nth change fails; 0: none
  int64_t killBeforeWrite = 0;  // the program ends before its Nth change; 0: none
  int64_t freeSpace = -1;       // bytes free on C:; -1: unlimited
  int64_t changes = 0;          // changes to C: counted so far
  bool faultFired = false;
  std::string faultPath;  // the file of the change failWrite failed
  bool hostSync = true;   // whole-file writes and renames fsync on the host
  std::vector<std::string> denied;  // PathKey of files and folders that refuse changes
  // [Signatures]: PathKey -> "" for a valid signature, else the reason it is not.
  std::map<std::string, std::string> signatures;
};

Machine& M();

// Handles are small integers cast to pointers; they are never reused, so a
// stale handle from an earlier load is simply unknown.
void* NewHandle(const HandleData& data);
HandleData* FindHandle(os::HandleKind kind, const void* raw);

// ---- Clock ------------------------------------------------------------------------

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d);
void CivilFromDays(int64_t z, int* y, int* m, int* d);
// "YYYY-MM-DD HH:MM:SS" -> ms since epoch; false when malformed or out of range.
bool ParseClock(const std::string& text, int64_t* ms);

// ---- Paths ------------------------------------------------------------------------

// Splits "C:\a\b" into components (".", ".." and empty ones resolved);
// false for anything but an absolute C: path.
bool SplitWindowsPath(const std::string& path, std::vector<std::string>* components);
// Normalized, upper-cased "C:\A\B" form used as a lookup key; empty when invalid.
std::string PathKey(const std::string& path);

struct Resolved {
  bool valid = false;        // an absolute C: path
  std::string host;          // host path (existing components in their on-disk case)
  bool parentExists = false; // the folder that would hold it exists
  bool exists = false;
  bool isDir = false;
};
Resolved Resolve(const std::string& windowsPath);

// ---- Changes to C: ------------------------------------------------------------------

enum class Change { kData, kRename, kDelete, kFolder };
// Counts one change to the file at windowsPath and applies the injected
// faults: 0 to go ahead, or the error the change must fail with. A data
// change that fails by an injected fault writes part of its bytes first
// (*partial set), as a full disk does.
long BeginChange(const std::string& windowsPath, Change kind, bool* partial = nullptr);
// Writes bytes to a host file (replacing or appending) within the free space
// of C:, through to the disk. 0 or a Win32 error; on a full disk the bytes
// that fit are written.
long WriteHost(const std::string& host, const std::string& bytes, bool append);
// Flushes a host file or folder to the disk (fsync) unless hostSync is off;
// 0 or the Win32 error.
long SyncHost(int fd);
// A data change of the file at windowsPath: BeginChange, then WriteHost (with
// part of the bytes when the hook fails it).
long WriteChange(const std::string& windowsPath, const std::string& host, const std::string& bytes,
                 bool append);
// The free space of C: grows by what a deleted or replaced file held.
void Freed(const std::string& host);

// ---- Processes ----------------------------------------------------------------------

// Advances the virtual clock, running what the simulated processes do on the
// way (a batch file's next command, a child's last act) at its time.
void Advance(int64_t ms);
// The processes of the [Windows] section, running from the start.
void StartWindowOwners();
// A job's handle was closed: its processes end.
void JobClosed(uint32_t job);

}  // namespace sim
