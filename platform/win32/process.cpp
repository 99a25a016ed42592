#include <vector>

#include "platform/win32/win32_api.h"

namespace os {
namespace {

HANDLE Raw(const ProcessHandle& process) { return static_cast<HANDLE>(process.get()); }

const char* OrNull(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

// CreateProcessA with a hidden or normal window; the caller owns both handles.
bool Start(const std::string& commandLine, bool hidden, DWORD flags, PROCESS_INFORMATION* started) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  if (hidden) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  // CreateProcessA may write into the command line.
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  return ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup,
                          started) != FALSE;
}

}  // namespace

long CreateProcess(const std::string& commandLine, bool hidden, ProcessHandle* process,
                   uint32_t* processId) {
  PROCESS_INFORMATION started{};
  if (!Start(commandLine, hidden, 0, &started)) return win32::LastError();
  ::CloseHandle(started.hThread);
  *process = ProcessHandle(started.hProcess);
  if (processId != nullptr) *processId = started.dwProcessId;
  return ERROR_SUCCESS;
}

long ShellExecuteEx(const std::string& verb, const std::string& file,
                    const std::string& parameters, bool hidden, ProcessHandle* process) {
  win32::EnsureCom();
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  // Unattended: a failure must come back as an error, never as a dialog.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = OrNull(verb);
  info.lpFile = file.c_str();
  info.lpParameters = OrNull(parameters);
  info.nShow = hidden ? SW_HIDE : SW_SHOWNORMAL;
  if (!::ShellExecuteExA(&info)) return win32::LastError();
  // No process handle when the shell handed the file to a running program.
  *process = ProcessHandle(info.hProcess);
  return ERROR_SUCCESS;
}

long OpenProcess(uint32_t processId, uint32_t access, ProcessHandle* process) {
  HANDLE opened = ::OpenProcess(access, FALSE, processId);
  if (opened == nullptr) return win32::LastError();
  *process = ProcessHandle(opened);
  return ERROR_SUCCESS;
}

uint32_t WaitForSingleObject(const ProcessHandle& process, uint32_t milliseconds) {
  if (!process.valid()) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return ::WaitForSingleObject(Raw(process), milliseconds);
}

bool GetExitCodeProcess(const ProcessHandle& process, uint32_t* exitCode) {
  if (!process.valid()) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  DWORD code = 0;
  if (!::GetExitCodeProcess(Raw(process), &code)) return false;
  *exitCode = code;
  return true;
}

bool TerminateProcess(const ProcessHandle& process, uint32_t exitCode) {
  if (!process.valid()) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return ::TerminateProcess(Raw(process), exitCode) != FALSE;
}

uint32_t GetWindowThreadProcessId(uintptr_t window) {
  DWORD processId = 0;
  if (::GetWindowThreadProcessId(reinterpret_cast<HWND>(window), &processId) == 0) return 0;
  return processId;
}

uintptr_t FindWindow(const std::string& title) {
  return reinterpret_cast<uintptr_t>(::FindWindowA(nullptr, title.c_str()));
}

long QueryFullProcessImageName(const ProcessHandle& process, std::string* path) {
  if (!process.valid()) return ERROR_INVALID_HANDLE;
  std::vector<char> buffer(32768);
  DWORD size = static_cast<DWORD>(buffer.size());
  if (!::QueryFullProcessImageNameA(Raw(process), 0, buffer.data(), &size)) return win32::LastError();
  path->assign(buffer.data(), size);
  return ERROR_SUCCESS;
}

// ---- Jobs ------------------------------------------------------------------------

namespace {

HANDLE Raw(const JobHandle& job) { return static_cast<HANDLE>(job.get()); }

}  // namespace

long CreateJobObject(JobHandle* job) {
  HANDLE created = ::CreateJobObjectA(nullptr, nullptr);
  if (created == nullptr) return win32::LastError();
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!::SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    const long error = win32::LastError();
    ::CloseHandle(created);
    return error;
  }
  *job = JobHandle(created);
  return ERROR_SUCCESS;
}

long CreateProcessInJob(const JobHandle& job, const std::string& commandLine, bool hidden,
                        ProcessHandle* process, uint32_t* processId) {
  if (!job.valid()) return ERROR_INVALID_HANDLE;
  PROCESS_INFORMATION started{};
  if (!Start(commandLine, hidden, CREATE_SUSPENDED, &started)) return win32::LastError();
  if (!::AssignProcessToJobObject(Raw(job), started.hProcess)) {
    const long error = win32::LastError();
    ::TerminateProcess(started.hProcess, 1);
    ::CloseHandle(started.hThread);
    ::CloseHandle(started.hProcess);
    return error;
  }
  ::ResumeThread(started.hThread);
  ::CloseHandle(started.hThread);
  *process = ProcessHandle(started.hProcess);
  if (processId != nullptr) *processId = started.dwProcessId;
  return ERROR_SUCCESS;
}

long AssignProcessToJobObject(const JobHandle& job, const ProcessHandle& process) {
  if (!job.valid() || !process.valid()) return ERROR_INVALID_HANDLE;
  return ::AssignProcessToJobObject(Raw(job), Raw(process)) ? ERROR_SUCCESS : win32::LastError();
}

bool TerminateJobObject(const JobHandle& job, uint32_t exitCode) {
  if (!job.valid()) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return ::TerminateJobObject(Raw(job), exitCode) != FALSE;
}

bool EnableDebugPrivilege() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    return false;
  }
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  bool adjusted = false;
  if (::LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &privileges.Privileges[0].Luid)) {
    // Succeeds even when the privilege is not held; GetLastError then
    // reports ERROR_NOT_ALL_ASSIGNED, which the caller may read.
    adjusted = ::AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, nullptr,
                                       nullptr) != FALSE;
  }
  const DWORD error = ::GetLastError();
  ::CloseHandle(token);
  ::SetLastError(error);
  return adjusted;
}

// ---- Services ------------------------------------------------------------------

namespace {

SC_HANDLE Raw(const ServiceHandle& service) { return static_cast<SC_HANDLE>(service.get()); }

}  // namespace

long OpenSCManager(uint32_t access, ServiceHandle* manager) {
  SC_HANDLE opened = ::OpenSCManagerA(nullptr, nullptr, access);
  if (opened == nullptr) return win32::LastError();
  *manager = ServiceHandle(opened);
  return ERROR_SUCCESS;
}

long OpenService(const ServiceHandle& manager, const std::string& name, uint32_t access,
                 ServiceHandle* service) {
  if (!manager.valid()) return ERROR_INVALID_HANDLE;
  SC_HANDLE opened = ::OpenServiceA(Raw(manager), name.c_str(), access);
  if (opened == nullptr) return win32::LastError();
  *service = ServiceHandle(opened);
  return ERROR_SUCCESS;
}

long ControlServiceStop(const ServiceHandle& service) {
  if (!service.valid()) return ERROR_INVALID_HANDLE;
  SERVICE_STATUS status{};
  return ::ControlService(Raw(service), SERVICE_CONTROL_STOP, &status) ? ERROR_SUCCESS
                                                                       : win32::LastError();
}

long StartService(const ServiceHandle& service) {
  if (!service.valid()) return ERROR_INVALID_HANDLE;
  return ::StartServiceA(Raw(service), 0, nullptr) ? ERROR_SUCCESS : win32::LastError();
}

long EnumServicesStatus(const ServiceHandle& manager, uint32_t bufferBytes,
                        uint32_t* bytesNeeded, std::vector<ServiceStatusRecord>* services) {
  if (!manager.valid()) return ERROR_INVALID_HANDLE;
  // Records hold pointers, so the buffer must be aligned like one.
  std::vector<ENUM_SERVICE_STATUSA> buffer(bufferBytes / sizeof(ENUM_SERVICE_STATUSA) + 1);
  DWORD needed = 0;
  DWORD returned = 0;
  DWORD resume = 0;
  if (!::EnumServicesStatusA(Raw(manager), SERVICE_WIN32, SERVICE_STATE_ALL, buffer.data(),
                             bufferBytes, &needed, &returned, &resume)) {
    const long error = win32::LastError();
    if (error == ERROR_MORE_DATA && bytesNeeded != nullptr) *bytesNeeded = needed;
    return error;
  }
  std::vector<ServiceStatusRecord> records;
  records.reserve(returned);
  for (DWORD i = 0; i < returned; ++i) {
    const ENUM_SERVICE_STATUSA& entry = buffer[i];
    ServiceStatusRecord record;
    if (entry.lpServiceName != nullptr) record.name = entry.lpServiceName;
    if (entry.lpDisplayName != nullptr) record.displayName = entry.lpDisplayName;
    record.currentState = entry.ServiceStatus.dwCurrentState;
    records.push_back(std::move(record));
  }
  *services = std::move(records);
  return ERROR_SUCCESS;
}

}  // namespace os
