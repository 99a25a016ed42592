// Files of C:, mapped onto <machine>/drive_c with Windows name semantics.
#include <filesystem>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/sim/machine.h"
#include "platform/sim/state.h"

namespace sim {

bool SplitWindowsPath(const std::string& path, std::vector<std::string>* components) {
  if (path.size() < 2 || (path[0] != 'C' && path[0] != 'c') || path[1] != ':') return false;
  if (path.size() > 2 && path[2] != '\\' && path[2] != '/') return false;  // drive-relative
  std::vector<std::string> parts;
  size_t start = 2;
  while (start < path.size()) {
    size_t sep = path.find_first_of("\\/", start);
    if (sep == std::string::npos) sep = path.size();
    std::string part = path.substr(start, sep - start);
    start = sep + 1;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    // Windows drops trailing dots and spaces of a name ("." and "" vanish).
    while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
    if (part.empty()) continue;
    parts.push_back(part);
  }
  *components = parts;
  return true;
}

std::string PathKey(const std::string& path) {
  std::vector<std::string> parts;
  if (!SplitWindowsPath(path, &parts)) return {};
  std::string key = "C:";
  for (const std::string& p : parts) {
    key += '\\';
    key += Upper(p);
  }
  if (parts.empty()) key += "\\";
  return key;
}

namespace {

bool HostStat(const std::string& host, struct stat* st) { return ::stat(host.c_str(), st) == 0; }

// The on-disk name in folder matching name without regard to case, or empty.
std::string MatchEntry(const std::string& folder, const std::string& name) {
  struct stat st {};
  if (HostStat(folder + "/" + name, &st)) return name;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return {};
  std::string found;
  const std::string wanted = Upper(name);
  while (dirent* e = ::readdir(dir)) {
    const std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    if (Upper(n) == wanted) {
      found = n;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

}  // namespace

Resolved Resolve(const std::string& windowsPath) {
  Resolved r;
  std::vector<std::string> parts;
  if (M().driveC.empty() || !SplitWindowsPath(windowsPath, &parts)) return r;
  r.valid = true;
  std::string host = M().driveC;
  bool alive = true;  // every component so far exists as a folder
  for (size_t i = 0; i < parts.size(); ++i) {
    if (alive) {
      struct stat st {};
      alive = HostStat(host, &st) && S_ISDIR(st.st_mode);
    }
    if (i + 1 == parts.size()) r.parentExists = alive;
    std::string name = parts[i];
    if (alive) {
      const std::string match = MatchEntry(host, name);
      if (match.empty()) {
        alive = false;  // this and the following components are kept as given
      } else {
        name = match;
      }
    }
    host += "/" + name;
  }
  if (parts.empty()) r.parentExists = true;
  r.host = host;
  struct stat st {};
  if (alive && HostStat(host, &st)) {
    r.exists = true;
    r.isDir = S_ISDIR(st.st_mode);
  }
  return r;
}

std::string HostPath(const std::string& windowsPath) {
  const Resolved r = Resolve(windowsPath);
  return r.valid ? r.host : std::string();
}

namespace {

long Missing(const Resolved& r) {
  return r.valid && r.parentExists ? os::kErrorFileNotFound : os::kErrorPathNotFound;
}

long SetError(long code) {
  M().lastError = static_cast<uint32_t>(code);
  return code;
}

bool ReadHost(const std::string& host, std::string* bytes) {
  std::ifstream in(host, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  *bytes = ss.str();
  return true;
}

}  // namespace

// What a program killed by the fault hook exits with.
constexpr int kKilledExitCode = 86;

long BeginChange(const std::string& windowsPath, Change kind, bool* partial) {
  Machine& m = M();
  const int64_t n = ++m.changes;
  if (m.killBeforeWrite != 0 && n == m.killBeforeWrite) {
    m.faultFired = true;
    ::_exit(kKilledExitCode);
  }
  if (!m.denied.empty()) {
    const std::string key = PathKey(windowsPath);
    const std::string parent = key.substr(0, key.find_last_of('\\'));
    for (const std::string& d : m.denied) {
      if (d == key || d == parent) return SetError(os::kErrorAccessDenied);
    }
  }
  if (m.failWrite != 0 && n == m.failWrite) {
    m.faultFired = true;
    m.faultPath = windowsPath;
    if (kind == Change::kData) {
      if (partial != nullptr) *partial = true;
      return SetError(os::kErrorDiskFull);
    }
    return SetError(os::kErrorAccessDenied);
  }
  return os::kErrorSuccess;
}

void Freed(const std::string& host) {
  struct stat st {};
  if (M().freeSpace >= 0 && ::stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    M().freeSpace += st.st_size;
  }
}

long WriteHost(const std::string& host, const std::string& bytes, bool append) {
  Machine& m = M();
  size_t count = bytes.size();
  if (m.freeSpace >= 0) {
    if (!append) Freed(host);  // truncation gives the old bytes back first
    if (static_cast<int64_t>(count) > m.freeSpace) count = static_cast<size_t>(m.freeSpace);
  }
  const int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0666);
  if (fd < 0) return SetError(os::kErrorAccessDenied);
  size_t done = 0;
  long error = os::kErrorSuccess;
  while (done < count) {
    const ssize_t w = ::write(fd, bytes.data() + done, count - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      error = errno == ENOSPC ? os::kErrorDiskFull : os::kErrorAccessDenied;
      break;
    }
    done += static_cast<size_t>(w);
  }
  if (m.freeSpace >= 0) m.freeSpace -= static_cast<int64_t>(done);
  if (error == os::kErrorSuccess && count < bytes.size()) error = os::kErrorDiskFull;
  // A whole file is flushed, as FlushFileBuffers does; appends (the log) are
  // not flushed line by line, as WriteFile does not.
  if (!append && error == os::kErrorSuccess) error = SyncHost(fd);
  if (::close(fd) != 0 && error == os::kErrorSuccess) error = os::kErrorAccessDenied;
  return error == os::kErrorSuccess ? error : SetError(error);
}

long SyncHost(int fd) {
  if (!M().hostSync || ::fsync(fd) == 0) return os::kErrorSuccess;
  return errno == ENOSPC ? os::kErrorDiskFull : os::kErrorAccessDenied;
}

// A data change: the fault hook first, then the write (part of it when the
// hook fails it).
long WriteChange(const std::string& windowsPath, const std::string& host, const std::string& bytes,
                 bool append) {
  bool partial = false;
  const long fault = BeginChange(windowsPath, Change::kData, &partial);
  if (fault != os::kErrorSuccess) {
    if (partial) WriteHost(host, bytes.substr(0, bytes.size() / 2), append);
    return SetError(fault);
  }
  return WriteHost(host, bytes, append);
}

}  // namespace sim

namespace os {

bool FileExists(const std::string& path) {
  const sim::Resolved r = sim::Resolve(path);
  return r.exists && !r.isDir;
}

bool FolderExists(const std::string& path) {
  const sim::Resolved r = sim::Resolve(path);
  return r.exists && r.isDir;
}

long GetFileSize(const std::string& path, uint64_t* size) {
  const sim::Resolved r = sim::Resolve(path);
  if (!r.exists) return sim::SetError(sim::Missing(r));
  if (r.isDir) return sim::SetError(kErrorAccessDenied);
  struct stat st {};
  if (::stat(r.host.c_str(), &st) != 0) return sim::SetError(kErrorFileNotFound);
  *size = static_cast<uint64_t>(st.st_size);
  return kErrorSuccess;
}

long GetFileLastWriteTime(const std::string& path, int64_t* time) {
  const sim::Resolved r = sim::Resolve(path);
  if (!r.exists) return sim::SetError(sim::Missing(r));
  struct stat st {};
  if (::stat(r.host.c_str(), &st) != 0) return sim::SetError(kErrorFileNotFound);
  *time = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return kErrorSuccess;
}

long ReadWholeFile(const std::string& path, std::string* bytes) {
  const sim::Resolved r = sim::Resolve(path);
  if (!r.exists) return sim::SetError(sim::Missing(r));
  if (r.isDir) return sim::SetError(kErrorAccessDenied);
  std::string content;
  if (!sim::ReadHost(r.host, &content)) return sim::SetError(kErrorAccessDenied);
  *bytes = content;
  return kErrorSuccess;
}

long WriteWholeFile(const std::string& path, const std::string& bytes) {
  const sim::Resolved r = sim::Resolve(path);
  if (!r.valid || !r.parentExists) return sim::SetError(kErrorPathNotFound);
  if (r.isDir) return sim::SetError(kErrorAccessDenied);
  return sim::WriteChange(path, r.host, bytes, false);
}

long DeleteFile(const std::string& path) {
  const sim::Resolved r = sim::Resolve(path);
  if (!r.exists) return sim::SetError(sim::Missing(r));
  if (r.isDir) return sim::SetError(kErrorAccessDenied);
  if (long fault = sim::BeginChange(path, sim::Change::kDelete); fault != 0) return fault;
  sim::Freed(r.host);
  if (::unlink(r.host.c_str()) != 0) return sim::SetError(kErrorAccessDenied);
  return kErrorSuccess;
}

long SetFileAttributes(const std::string& path, uint32_t attributes) {
  const sim::Resolved r = sim::Resolve(path);
  if (!r.exists) return sim::SetError(sim::Missing(r));
  return kErrorSuccess;
}

long CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
  const sim::Resolved src = sim::Resolve(from);
  if (!src.exists) return sim::SetError(sim::Missing(src));
  if (src.isDir) return sim::SetError(kErrorAccessDenied);
  const sim::Resolved dst = sim::Resolve(to);
  if (!dst.valid || !dst.parentExists) return sim::SetError(kErrorPathNotFound);
  if (dst.exists && dst.isDir) return sim::SetError(kErrorAccessDenied);
  if (dst.exists && failIfExists) return sim::SetError(kErrorFileExists);
  if (dst.exists && dst.host == src.host) return sim::SetError(32);  // sharing violation
  std::string bytes;
  if (!sim::ReadHost(src.host, &bytes)) return sim::SetError(kErrorAccessDenied);
  return sim::WriteChange(to, dst.host, bytes, false);
}

long MoveFile(const std::string& from, const std::string& to) {
  const sim::Resolved src = sim::Resolve(from);
  if (!src.exists) return sim::SetError(sim::Missing(src));
  const sim::Resolved dst = sim::Resolve(to);
  if (!dst.valid || !dst.parentExists) return sim::SetError(kErrorPathNotFound);
  std::string target = dst.host;
  if (dst.exists) {
    if (dst.host != src.host) return sim::SetError(183);  // ERROR_ALREADY_EXISTS
    // A change of case only: rename to the name as given.
    std::vector<std::string> parts;
    sim::SplitWindowsPath(to, &parts);
    target = dst.host.substr(0, dst.host.find_last_of('/') + 1) + parts.back();
  }
  if (long fault = sim::BeginChange(to, sim::Change::kRename); fault != 0) return fault;
  if (std::rename(src.host.c_str(), target.c_str()) != 0) return sim::SetError(kErrorAccessDenied);
  return kErrorSuccess;
}

long MoveFileEx(const std::string& from, const std::string& to) {
  const sim::Resolved src = sim::Resolve(from);
  if (!src.exists) return sim::SetError(sim::Missing(src));
  if (src.isDir) return sim::SetError(kErrorAccessDenied);
  const sim::Resolved dst = sim::Resolve(to);
  if (!dst.valid || !dst.parentExists) return sim::SetError(kErrorPathNotFound);
  if (dst.exists && dst.isDir) return sim::SetError(kErrorAccessDenied);
  std::string target = dst.host;
  if (!dst.exists || dst.host == src.host) {
    // A new name, or a change of case only: the case as given.
    std::vector<std::string> parts;
    sim::SplitWindowsPath(to, &parts);
    target = dst.host.substr(0, dst.host.find_last_of('/') + 1) + parts.back();
  }
  if (long fault = sim::BeginChange(to, sim::Change::kRename); fault != 0) return fault;
  if (dst.exists && dst.host != src.host) sim::Freed(dst.host);
  if (std::rename(src.host.c_str(), target.c_str()) != 0) return sim::SetError(kErrorAccessDenied);
  // Write-through: the rename itself reaches the disk before this returns.
  const std::string folder = target.substr(0, target.find_last_of('/'));
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    sim::SyncHost(fd);
    ::close(fd);
  }
  return kErrorSuccess;
}

long CreateDirectory(const std::string& path) {
  const sim::Resolved r = sim::Resolve(path);
  if (!r.valid || !r.parentExists) return sim::SetError(kErrorPathNotFound);
  if (r.exists) return sim::SetError(183);  // ERROR_ALREADY_EXISTS
  if (long fault = sim::BeginChange(path, sim::Change::kFolder); fault != 0) return fault;
  if (::mkdir(r.host.c_str(), 0777) != 0) return sim::SetError(kErrorAccessDenied);
  return kErrorSuccess;
}

long DeleteFolder(const std::string& path) {
  const sim::Resolved r = sim::Resolve(path);
  if (!r.valid || !r.exists) return sim::SetError(kErrorPathNotFound);
  if (!r.isDir) return sim::SetError(kErrorPathNotFound);
  if (long fault = sim::BeginChange(path, sim::Change::kFolder); fault != 0) return fault;
  std::error_code ec;
  std::filesystem::remove_all(r.host, ec);
  return ec ? sim::SetError(kErrorAccessDenied) : kErrorSuccess;
}

namespace {

long ListEntries(const std::string& folder, bool wantFolders, std::vector<std::string>* names) {
  const sim::Resolved r = sim::Resolve(folder);
  if (!r.exists) return sim::SetError(kErrorPathNotFound);
  if (!r.isDir) return sim::SetError(267);  // ERROR_DIRECTORY: a file where a folder was meant
  DIR* dir = ::opendir(r.host.c_str());
  if (dir == nullptr) return sim::SetError(kErrorAccessDenied);
  std::vector<std::string> found;
  while (dirent* e = ::readdir(dir)) {
    const std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    struct stat st {};
    if (::stat((r.host + "/" + n).c_str(), &st) != 0) continue;
    if (wantFolders ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode)) found.push_back(n);
  }
  ::closedir(dir);
  std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
    const std::string ua = sim::Upper(a), ub = sim::Upper(b);
    return ua != ub ? ua < ub : a < b;
  });
  *names = found;
  return kErrorSuccess;
}

}  // namespace

long ListFiles(const std::string& folder, std::vector<std::string>* names) {
  return ListEntries(folder, false, names);
}

long ListFolders(const std::string& folder, std::vector<std::string>* names) {
  return ListEntries(folder, true, names);
}

std::string GetFileVersion(const std::string& path) {
  const std::string key = sim::PathKey(path);
  if (key.empty()) return {};
  auto it = sim::M().fileVersions.find(key);
  // The program's own file carries the build's version unless the machine says otherwise.
  if (it == sim::M().fileVersions.end()) {
    return key == sim::PathKey(sim::M().programPath) ? AVDEF_FILE_VERSION : std::string();
  }
  return FileExists(path) ? it->second : std::string();
}

long OpenFile(const std::string& path, OpenMode mode, FileHandle* file) {
  const sim::Resolved r = sim::Resolve(path);
  if (!r.valid || !r.parentExists) return sim::SetError(kErrorPathNotFound);
  if (r.isDir) return sim::SetError(kErrorAccessDenied);
  if (mode == OpenMode::kAppendExisting) {
    if (!r.exists) return sim::SetError(kErrorFileNotFound);
  } else if (long err = sim::WriteChange(path, r.host, "", false); err != 0) {
    return err;
  }
  sim::HandleData h;
  h.kind = HandleKind::kFile;
  h.hostPath = r.host;
  h.windowsPath = path;
  *file = FileHandle(sim::NewHandle(h));
  return kErrorSuccess;
}

long WriteFileHandle(const FileHandle& file, const std::string& bytes) {
  sim::HandleData* h = sim::FindHandle(HandleKind::kFile, file.get());
  if (h == nullptr) return sim::SetError(kErrorInvalidHandle);
  return sim::WriteChange(h->windowsPath, h->hostPath, bytes, true);
}

uint32_t GetShortPathName(const std::string& path, uint32_t bufferSize, std::string* out) {
  const sim::Resolved r = sim::Resolve(path);
  if (!r.exists) {
    sim::SetError(sim::Missing(r));
    return 0;
  }
  const uint32_t length = static_cast<uint32_t>(path.size());
  if (length + 1 > bufferSize) return length + 1;
  *out = path;
  return length;
}

}  // namespace os
