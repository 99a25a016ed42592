// The OS seam: the raw Windows primitives the agent uses, one function per
// Win32 call, with Win32 error codes as results. Two backends implement it:
// platform/win32 (the real calls) and platform/sim (a simulated machine).
//
// Conventions for every function here:
//  - Results are Win32 error codes (0 = success) unless stated otherwise.
//  - Out-parameters are left untouched on failure.
//  - Paths are Windows paths ("C:\Dir\file.txt") in the ANSI code page.
//  - Registry paths are relative to HKEY_LOCAL_MACHINE.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/dates.h"

namespace os {

// Win32 error codes the logic tests for.
constexpr long kErrorSuccess = 0;
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorPathNotFound = 3;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorInvalidHandle = 6;
constexpr long kErrorFileExists = 80;
constexpr long kErrorDiskFull = 112;
constexpr long kErrorInvalidParameter = 87;
constexpr long kErrorMoreData = 234;
constexpr long kErrorNoMoreItems = 259;
constexpr long kErrorServiceAlreadyRunning = 1056;
constexpr long kErrorServiceDoesNotExist = 1060;
constexpr long kErrorServiceNotActive = 1062;

// Registry access masks (RegOpenKeyExA samDesired).
constexpr uint32_t kKeyRead = 0x20019;
constexpr uint32_t kKeyAllAccess = 0xF003F;
constexpr uint32_t kKeyWow64_64Key = 0x0100;
constexpr uint32_t kKeyWow64_32Key = 0x0200;

// Registry value types.
constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;
constexpr uint32_t kRegQword = 11;

// Wait results and process codes.
constexpr uint32_t kWaitObject0 = 0;
constexpr uint32_t kWaitTimeout = 258;
constexpr uint32_t kWaitFailed = 0xFFFFFFFF;
constexpr uint32_t kStillActive = 259;
constexpr uint32_t kProcessAllAccess = 0x1F0FFF;
constexpr uint32_t kProcessTerminate = 0x0001;
constexpr uint32_t kProcessQueryLimitedInformation = 0x1000;

// Service control manager access and states.
constexpr uint32_t kScManagerConnect = 0x0001;
constexpr uint32_t kScManagerEnumerate = 0x0004;
constexpr uint32_t kScManagerAllAccess = 0xF003F;
constexpr uint32_t kServiceStop = 0x0020;
constexpr uint32_t kServiceAllAccess = 0xF01FF;
constexpr uint32_t kServiceStopped = 1;
constexpr uint32_t kServiceStartPending = 2;
constexpr uint32_t kServiceStopPending = 3;
constexpr uint32_t kServiceRunning = 4;
constexpr uint32_t kServiceContinuePending = 5;
constexpr uint32_t kServicePausePending = 6;
constexpr uint32_t kServicePaused = 7;

constexpr uint32_t kFileAttributeNormal = 0x80;

// What a handle refers to; each backend closes each kind its own way.
enum class HandleKind { kRegKey, kProcess, kService, kFile, kInternet, kJob };
void CloseNativeHandle(HandleKind kind, void* raw);

// Move-only owner of one backend handle; closes it on destruction.
template <HandleKind K>
class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(void* raw) : raw_(raw) {}
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept : raw_(std::exchange(other.raw_, nullptr)) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) {
      Close();
      raw_ = std::exchange(other.raw_, nullptr);
    }
    return *this;
  }
  ~ScopedHandle() { Close(); }

  bool valid() const { return raw_ != nullptr; }
  void* get() const { return raw_; }
  void Close() {
    if (raw_ != nullptr) CloseNativeHandle(K, std::exchange(raw_, nullptr));
  }

 private:
  void* raw_ = nullptr;
};

using RegKey = ScopedHandle<HandleKind::kRegKey>;
using ProcessHandle = ScopedHandle<HandleKind::kProcess>;
using ServiceHandle = ScopedHandle<HandleKind::kService>;
using FileHandle = ScopedHandle<HandleKind::kFile>;
// A WinINet handle: a session, an FTP connection or an open URL.
using InternetHandle = ScopedHandle<HandleKind::kInternet>;
// A job object: a process and every process it starts.
using JobHandle = ScopedHandle<HandleKind::kJob>;

// ---- Start-up -------------------------------------------------------------

// Prepares the backend from the process arguments. On failure returns false
// with one line for stderr in *error; nothing has been written then.
[[nodiscard]] bool Startup(int argc, char** argv, std::string* error);

// ---- Registry (advapi32) --------------------------------------------------

// RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key). Without a
// KEY_WOW64_* flag the 32-bit program's view is used.
[[nodiscard]] long RegOpenKeyEx(const std::string& path, uint32_t access, RegKey* key);

// RegOpenKeyA(HKEY_LOCAL_MACHINE, path, &key): default view, maximum access.
[[nodiscard]] long RegOpenKey(const std::string& path, RegKey* key);

// RegEnumKeyA(key, index, buffer, bufferSize). Subkeys come in the order
// Windows gives them; 259 past the last one; 234 when the name and its NUL
// do not fit bufferSize.
[[nodiscard]] long RegEnumKey(const RegKey& key, uint32_t index, uint32_t bufferSize, std::string* name);

// RegQueryValueExA. With data == nullptr only *type and *size are filled.
// Otherwise *size is the buffer size on entry: a smaller buffer than the value
// gives 234 with *size set to the size needed; on success *data holds exactly
// the value's bytes (strings include their terminating NUL as stored).
[[nodiscard]] long RegQueryValueEx(const RegKey& key, const std::string& valueName, uint32_t* type,
                                   std::string* data, uint32_t* size);

// Registry writes. The agent only reads the registry; the seam's conformance
// tests make their own keys with these. The view is chosen as for RegOpenKeyEx.
// RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, ..., access, &key): opens the key,
// creating it and any missing parent.
[[nodiscard]] long RegCreateKeyEx(const std::string& path, uint32_t access, RegKey* key);
// RegSetValueExA(key, name, 0, type, data, size) with exactly these bytes: a
// string's terminating NUL is stored only when data ends with one. The key must
// have been opened with KEY_SET_VALUE (5 otherwise).
[[nodiscard]] long RegSetValueEx(const RegKey& key, const std::string& valueName, uint32_t type,
                                 const std::string& data);
// RegDeleteTreeA: the key with every subkey and value; 2 when it does not exist.
[[nodiscard]] long RegDeleteTree(const std::string& path, uint32_t access);

// ---- INI files (kernel32) -------------------------------------------------

// GetPrivateProfileStringA: at most bufferSize - 1 characters are copied to
// *out; returns their count.
[[nodiscard]] uint32_t GetPrivateProfileString(const std::string& section, const std::string& key,
                                               const std::string& defaultValue, uint32_t bufferSize,
                                               const std::string& path, std::string* out);

// WritePrivateProfileStringA with a key and a value (creates file and section).
// It rewrites the file in place; the agent's own INI updates go through
// WriteIniValue (platform/filewrite.h), which replaces the file whole.
[[nodiscard]] bool WritePrivateProfileString(const std::string& section, const std::string& key,
                                             const std::string& value, const std::string& path);

// ---- Files ----------------------------------------------------------------

[[nodiscard]] bool FileExists(const std::string& path);
[[nodiscard]] bool FolderExists(const std::string& path);
[[nodiscard]] long GetFileSize(const std::string& path, uint64_t* size);
[[nodiscard]] long ReadWholeFile(const std::string& path, std::string* bytes);
// GetFileAttributesExA's last-write time, as a count that orders as the
// times do (the units are the backend's own).
[[nodiscard]] long GetFileLastWriteTime(const std::string& path, int64_t* time);
// CreateFileA(CREATE_ALWAYS) + WriteFile + FlushFileBuffers + CloseHandle:
// creates or replaces the file with exactly these bytes, on the disk when it
// returns 0. The result is the first error of the four calls; after an error
// the file may hold part of the bytes (a full disk), so callers that must not
// lose the old content write a temporary file and MoveFileEx it into place.
[[nodiscard]] long WriteWholeFile(const std::string& path, const std::string& bytes);
[[nodiscard]] long DeleteFile(const std::string& path);
[[nodiscard]] long SetFileAttributes(const std::string& path, uint32_t attributes);
[[nodiscard]] long CopyFile(const std::string& from, const std::string& to, bool failIfExists);
[[nodiscard]] long MoveFile(const std::string& from, const std::string& to);
// MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH):
// renames a file over an existing one in one step, on the disk when it
// returns 0. Within one folder `to` is then either the old file or the new
// one, never a mix; on failure both files are as they were.
[[nodiscard]] long MoveFileEx(const std::string& from, const std::string& to);
[[nodiscard]] long CreateDirectory(const std::string& path);
// Deletes a folder with everything in it.
[[nodiscard]] long DeleteFolder(const std::string& path);
// Names (not paths) of the files directly in a folder, in listing order.
[[nodiscard]] long ListFiles(const std::string& folder, std::vector<std::string>* names);
// Names of the folders directly in a folder, in listing order.
[[nodiscard]] long ListFolders(const std::string& folder, std::vector<std::string>* names);
// Version resource "a.b.c.d" of a file; empty when it has none.
[[nodiscard]] std::string GetFileVersion(const std::string& path);

enum class OpenMode { kAppendExisting, kCreateAlways };
[[nodiscard]] long OpenFile(const std::string& path, OpenMode mode, FileHandle* file);
// WriteFile: writes the bytes through to the file (no buffering of our own);
// the error of the write (112 on a full disk) when not all of them were written.
[[nodiscard]] long WriteFileHandle(const FileHandle& file, const std::string& bytes);

// GetShortPathNameA(path, buffer, bufferSize): the length of the short path,
// 0 on failure (missing path), or the size needed when it does not fit.
[[nodiscard]] uint32_t GetShortPathName(const std::string& path, uint32_t bufferSize, std::string* out);

// ---- Process environment and system facts --------------------------------

// GetEnvironmentVariableA; false when the variable is not set.
[[nodiscard]] bool GetEnvironmentVariable(const std::string& name, std::string* value);
[[nodiscard]] std::string GetSystemDirectory();
// SHGetSpecialFolderLocation + SHGetPathFromIDListA; false when unknown.
[[nodiscard]] bool GetSpecialFolderPath(int csidl, std::string* path);
// Full path of the running executable.
[[nodiscard]] std::string GetModuleFileName();
// The command line after the program name, as the program receives it.
[[nodiscard]] std::string GetCommandLineArgs();
// IsWow64Process through GetProcAddress; false when the call does not exist.
[[nodiscard]] bool IsWow64Process(bool* wow64);
// GetVersionExA major and minor version.
[[nodiscard]] bool GetVersionEx(uint32_t* major, uint32_t* minor);

// The message table text for a system code (wininet: from wininet.dll), with
// its trailing CR LF as FormatMessageA gives it; false when there is none.
[[nodiscard]] bool FormatMessage(uint32_t code, bool wininet, std::string* text);

// One WMI instance: property name (any case) -> value as text.
struct WmiObject {
  std::map<std::string, std::string> properties;  // keys upper-cased
  std::string Get(const std::string& name) const;
};
// GetObject("winmgmts:").InstancesOf(className); false when no collection.
[[nodiscard]] bool WmiInstancesOf(const std::string& className, std::vector<WmiObject>* instances);

// ---- Clock ----------------------------------------------------------------

using LocalTime = ::DateTime;
[[nodiscard]] LocalTime Now();
void Sleep(uint32_t milliseconds);

// ---- Single instance --------------------------------------------------------

// True when no other copy of the program holds the instance guard; this copy
// then holds it until it exits.
[[nodiscard]] bool AcquireSingleInstance();

// ---- Processes ----------------------------------------------------------------

// CreateProcessA(NULL, commandLine, ...) with a hidden or normal window.
[[nodiscard]] long CreateProcess(const std::string& commandLine, bool hidden, ProcessHandle* process,
                                 uint32_t* processId);
// ShellExecuteExA with SEE_MASK_NOCLOSEPROCESS.
[[nodiscard]] long ShellExecuteEx(const std::string& verb, const std::string& file,
                                  const std::string& parameters, bool hidden, ProcessHandle* process);
[[nodiscard]] long OpenProcess(uint32_t processId, uint32_t access, ProcessHandle* process);
// WaitForSingleObject on a process; an invalid handle gives kWaitFailed.
[[nodiscard]] uint32_t WaitForSingleObject(const ProcessHandle& process, uint32_t milliseconds);
[[nodiscard]] bool GetExitCodeProcess(const ProcessHandle& process, uint32_t* exitCode);
[[nodiscard]] bool TerminateProcess(const ProcessHandle& process, uint32_t exitCode);
// GetWindowThreadProcessId: the owner's process id, 0 for no such window.
[[nodiscard]] uint32_t GetWindowThreadProcessId(uintptr_t window);
// FindWindowA(NULL, title): a top-level window with exactly that title (any
// letter case), hidden ones included; 0 when there is none.
[[nodiscard]] uintptr_t FindWindow(const std::string& title);
// QueryFullProcessImageNameA(process, 0, ...): the Windows path of the
// program file the process runs. The process must have been opened with
// kProcessQueryLimitedInformation (kProcessAllAccess includes it).
[[nodiscard]] long QueryFullProcessImageName(const ProcessHandle& process, std::string* path);

// ---- Jobs ---------------------------------------------------------------------
//
// A tool that is waited for runs in a job of its own, so that ending it after
// its wait ends everything it started (a batch file's programs, an updater's
// helpers) and nothing of it outlives the agent's step.

// CreateJobObjectA(NULL, NULL), then SetInformationJobObject with
// JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE: closing the job's last handle ends every
// process still in it.
[[nodiscard]] long CreateJobObject(JobHandle* job);
// CreateProcessA(NULL, commandLine, ..., CREATE_SUSPENDED, ...) with a hidden
// or normal window, AssignProcessToJobObject(job, process) and ResumeThread:
// the program runs only once it is in the job, so every process it starts is
// in the job too. When the process cannot be put in the job it is ended and
// the error returned; nothing then runs.
[[nodiscard]] long CreateProcessInJob(const JobHandle& job, const std::string& commandLine, bool hidden,
                        ProcessHandle* process, uint32_t* processId);
// AssignProcessToJobObject, for a process started another way (ShellExecuteEx):
// what it started before the call is not in the job.
[[nodiscard]] long AssignProcessToJobObject(const JobHandle& job, const ProcessHandle& process);
// TerminateJobObject: ends every process in the job with exitCode. True when
// the call succeeded (also for a job whose processes had all ended).
[[nodiscard]] bool TerminateJobObject(const JobHandle& job, uint32_t exitCode);
// OpenProcessToken + LookupPrivilegeValueA + AdjustTokenPrivileges.
[[nodiscard]] bool EnableDebugPrivilege();
[[nodiscard]] uint32_t GetLastError();

// ---- Code signatures (wintrust) -----------------------------------------------

// Codes of a failed signature check (WinVerifyTrust's results).
constexpr uint32_t kTrustNoSignature = 0x800B0100;        // TRUST_E_NOSIGNATURE
constexpr uint32_t kTrustSubjectNotTrusted = 0x800B0004;  // TRUST_E_SUBJECT_NOT_TRUSTED

// WinVerifyTrust with WINTRUST_ACTION_GENERIC_VERIFY_V2 on a file's
// Authenticode signature: no UI, no revocation fetch over the network (an
// unattended run must not hang on it). 0 when the file is validly signed by a
// publisher the machine trusts; otherwise the provider's code (kTrustNoSignature
// for an unsigned file, 2 or 3 for a missing one) and *reason a short text.
uint32_t VerifyFileSignature(const std::string& path, std::string* reason);

// ---- Services ----------------------------------------------------------------

[[nodiscard]] long OpenSCManager(uint32_t access, ServiceHandle* manager);
[[nodiscard]] long OpenService(const ServiceHandle& manager, const std::string& name, uint32_t access,
                               ServiceHandle* service);
[[nodiscard]] long ControlServiceStop(const ServiceHandle& service);
[[nodiscard]] long StartService(const ServiceHandle& service);

struct ServiceStatusRecord {
  std::string name;
  std::string displayName;
  uint32_t currentState = 0;
};
// EnumServicesStatusA for all Win32 services in all states, resuming from the
// start. bufferBytes too small: 234 with *bytesNeeded set.
[[nodiscard]] long EnumServicesStatus(const ServiceHandle& manager, uint32_t bufferBytes,
                                      uint32_t* bytesNeeded, std::vector<ServiceStatusRecord>* services);

// ---- Web post (management server) ----------------------------------------

struct HttpPostOptions {
  std::string contentType = "text/xml";
  // "host:port"; empty: no proxy (the agent's own settings are the only source).
  std::string proxy;
  std::string proxyUser, proxyPassword;
  // Time-outs: connecting, and the whole request from start to last byte.
  // The sim backend replaces both with AVDEFUPDATE_WEBPOST_TIMEOUT_MS when set;
  // WinHTTP has no whole-request limit, so win32 applies it to sending and to
  // receiving each.
  uint32_t connectTimeoutMs = 30000;
  uint32_t requestTimeoutMs = 120000;
  // The longest reply body read; 0: no limit. A longer one is not an answer:
  // reading stops there and the post returns kErrorMoreData.
  size_t maxResponseBytes = 0;
};

// POSTs body to an http or https URL. Returns 0 when the server answered (any
// status): *status is its number, *statusLine the line as sent
// ("HTTP/1.1 500 Internal Server Error") and *response the body. Otherwise
// returns the transport's error code (curl code in the sim, Win32/WinHTTP error
// on Windows) with a description of the connection error in *error, or
// kErrorMoreData when the body passed options.maxResponseBytes.
[[nodiscard]] long HttpPost(const std::string& url, const std::string& body, const HttpPostOptions& options,
                            int* status, std::string* statusLine, std::string* response, std::string* error);

// ---- Network transfer (urlmon, WinINet, the HTTP request object) -----------
//
// Results are Win32 error codes: WinINet's own range from 12001 (the texts come
// from FormatMessage with wininet = true), 2 / 3 / 5 for local files, and
// ERROR_NO_MORE_FILES (18) for an FTP search without a match. Backends: libcurl
// on the sim (http, https, ftp; certificates checked), urlmon / WinINet /
// WinHTTP on Windows. No proxy is taken from the host or the system settings:
// only what the caller passes.

constexpr long kErrorNoMoreFiles = 18;
constexpr long kInternetTimeout = 12002;           // ERROR_INTERNET_TIMEOUT
constexpr long kInternetExtendedError = 12003;     // the server refused a command
constexpr long kInternetInvalidUrl = 12005;
constexpr long kInternetUnrecognizedScheme = 12006;
constexpr long kInternetNameNotResolved = 12007;
constexpr long kInternetLoginFailure = 12015;
constexpr long kInternetConnectionAborted = 12030;
constexpr long kInternetCannotConnect = 12029;
constexpr long kInternetSecureFailure = 12175;     // certificate not trusted or invalid
// An HTTP download whose status was not 2xx (not a WinINet code: the agent's own).
constexpr long kHttpStatusNotSuccess = 12152;      // ERROR_HTTP_INVALID_SERVER_RESPONSE

// URLDownloadToFileA(NULL, url, path, 0, callback): fetches url (http, https,
// ftp, file) into path, streamed to disk. Returns 0 when the transfer
// completed; *status is the HTTP status (0 for other schemes). Unlike the bare
// call, a body cut short of its announced length is a failure
// (kInternetConnectionAborted), and a non-2xx status gives kHttpStatusNotSuccess
// (*status set). The file at path is created or truncated; on failure it may
// hold part of a body: callers download to a temporary name.
[[nodiscard]] long URLDownloadToFile(const std::string& url, const std::string& path, int* status);

// InternetOpenA(NULL, INTERNET_OPEN_TYPE_DIRECT, NULL, NULL, 0).
[[nodiscard]] long InternetOpen(InternetHandle* session);
// InternetOpenUrlA(session, url, NULL, 0, INTERNET_FLAG_RELOAD, 0): an http,
// https or ftp URL, opened for reading. A server that answers with any status
// is a success (the page is what it sent).
[[nodiscard]] long InternetOpenUrl(const InternetHandle& session, const std::string& url, InternetHandle* file);
// InternetReadFile(file, buffer, bytesToRead, &read), one call: at most
// bytesToRead bytes into *data (fewer when the body is shorter; empty at its end).
[[nodiscard]] long InternetReadFile(const InternetHandle& file, uint32_t bytesToRead, std::string* data);
// InternetConnectA(session, host, port, "", "", INTERNET_SERVICE_FTP,
// INTERNET_FLAG_PASSIVE, 0): an anonymous passive FTP connection, logged in.
[[nodiscard]] long InternetConnectFtp(const InternetHandle& session, const std::string& host, uint16_t port,
                                      InternetHandle* connection);
// FtpSetCurrentDirectoryA(connection, directory).
[[nodiscard]] long FtpSetCurrentDirectory(const InternetHandle& connection, const std::string& directory);
// FtpFindFirstFileA(connection, pattern, &data, 0, 0) with the handle closed at
// once: the name of the first file of the current directory that matches
// ("*" and "?" wildcards), as the server lists it, cut at the first NUL and at
// 260 characters. No match: kErrorNoMoreFiles.
[[nodiscard]] long FtpFindFirstFile(const InternetHandle& connection, const std::string& pattern, std::string* name);
// FtpGetFileA(connection, remote, local, FALSE, 0, FTP_TRANSFER_TYPE_UNKNOWN, 0):
// the remote file of the current directory into local (overwritten).
[[nodiscard]] long FtpGetFile(const InternetHandle& connection, const std::string& remote, const std::string& local);

// The HTTP request object (MSXML2.ServerXMLHTTP): Open("GET", url, false),
// setProxy(2, proxy, bypass) when proxy is set, setProxyCredentials when a
// user is set (even with an empty password), setTimeouts, Send.
struct HttpRequestOptions {
  std::string proxy;  // "host" or "host:port"; empty: no proxy
  std::string proxyBypass = "*.intra";
  bool proxyCredentials = false;
  std::string proxyUser, proxyPassword;
  uint32_t resolveTimeoutMs = 600000, connectTimeoutMs = 600000, sendTimeoutMs = 600000,
           receiveTimeoutMs = 1800000;
};
// GET url. Returns 0 when the server answered (any status): *status its
// number. The body (ResponseBody) is streamed into the file toFile when it is
// given (created or truncated), else ResponseText: at most maxText bytes into
// *text (the rest is read and dropped). Otherwise returns the transport's
// error with its description in *error. A body cut short of its announced
// length is kInternetConnectionAborted.
[[nodiscard]] long HttpRequestGet(const std::string& url, const HttpRequestOptions& options, const std::string& toFile,
                                  size_t maxText, int* status, std::string* text, std::string* error);

}  // namespace os
