// Network transfers on the simulated machine: real transfers through libcurl
// (http, https, ftp; certificates checked), files into the machine's C:.
// Waits are real network time; the virtual clock does not move for them.
#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/os.h"
#include "platform/sim/state.h"

namespace sim {

// What a kInternet handle refers to.
struct InternetObject {
  enum Kind { kSession, kFtp, kUrl } kind = kSession;
  // kFtp
  std::string host;
  uint16_t port = 21;
  std::vector<std::string> cwd;  // path below the login folder
  // kUrl
  std::string body;
  size_t position = 0;
};

}  // namespace sim

namespace os {

namespace {

// Plenty for the one 50,000-byte read a page open serves.
constexpr size_t kPageKeepBytes = 1 << 20;
constexpr long kBufferBytes = 512 * 1024;

struct CurlDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
using Curl = std::unique_ptr<CURL, CurlDeleter>;

Curl NewCurl() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  Curl c(curl_easy_init());
  if (c) {
    curl_easy_setopt(c.get(), CURLOPT_NOSIGNAL, 1L);
    // The agent's own settings are the only proxy; never the host's.
    curl_easy_setopt(c.get(), CURLOPT_PROXY, "");
    curl_easy_setopt(c.get(), CURLOPT_PROTOCOLS_STR, "http,https,ftp");
    curl_easy_setopt(c.get(), CURLOPT_REDIR_PROTOCOLS_STR, "http,https,ftp");
    curl_easy_setopt(c.get(), CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c.get(), CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(c.get(), CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c.get(), CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(c.get(), CURLOPT_CONNECTTIMEOUT_MS, 60000L);
    curl_easy_setopt(c.get(), CURLOPT_BUFFERSIZE, kBufferBytes);
    curl_easy_setopt(c.get(), CURLOPT_FTP_USE_EPSV, 1L);
  }
  return c;
}

// The WinINet code a Windows caller would have seen.
long WinInetCode(CURLcode code) {
  switch (code) {
    case CURLE_OK: return 0;
    case CURLE_UNSUPPORTED_PROTOCOL: return kInternetUnrecognizedScheme;
    case CURLE_URL_MALFORMAT: return kInternetInvalidUrl;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return kInternetNameNotResolved;
    case CURLE_COULDNT_CONNECT: return kInternetCannotConnect;
    case CURLE_OPERATION_TIMEDOUT: return kInternetTimeout;
    case CURLE_LOGIN_DENIED: return kInternetLoginFailure;
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_FTP_COULDNT_RETR_FILE: return kInternetExtendedError;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CACERT_BADFILE: return kInternetSecureFailure;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING: return kInternetConnectionAborted;
    default: return 12004;  // ERROR_INTERNET_INTERNAL_ERROR
  }
}

long Fail(long code) {
  sim::M().lastError = static_cast<uint32_t>(code);
  return code;
}

// Straight to the file, no second buffer: the chunk libcurl hands over is
// still in the cache, and a copy into a large stdio buffer only evicts it.
struct FileSink {
  int fd = -1;
  int error = 0;  // errno of a failed write
};
size_t ToFile(char* data, size_t size, size_t count, void* out) {
  FileSink* sink = static_cast<FileSink*>(out);
  const size_t n = size * count;
  size_t done = 0;
  while (done < n) {
    const ssize_t w = ::write(sink->fd, data + done, n - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      sink->error = w < 0 ? errno : ENOSPC;
      return 0;  // libcurl ends the transfer with CURLE_WRITE_ERROR
    }
    done += static_cast<size_t>(w);
  }
  return n;
}

struct Capped {
  std::string* text;
  size_t max;
};
size_t ToCapped(char* data, size_t size, size_t count, void* out) {
  Capped* c = static_cast<Capped*>(out);
  const size_t n = size * count;
  if (c->text->size() < c->max) c->text->append(data, std::min(n, c->max - c->text->size()));
  return n;  // the rest is read and dropped
}

// A Windows path on the machine's C: opened for writing (created or truncated).
long OpenLocal(const std::string& windowsPath, int* fd) {
  const sim::Resolved r = sim::Resolve(windowsPath);
  if (!r.valid || !r.parentExists) return kErrorPathNotFound;
  if (r.isDir) return kErrorAccessDenied;
  *fd = ::open(r.host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  return *fd < 0 ? kErrorAccessDenied : kErrorSuccess;
}

// Runs a transfer into a local file; a failed write or close is a failed
// transfer (a full disk: ERROR_DISK_FULL).
long PerformToFile(CURL* c, const std::string& windowsPath, CURLcode* code) {
  FileSink sink;
  const long opened = OpenLocal(windowsPath, &sink.fd);
  if (opened != 0) return opened;
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, ToFile);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
  *code = curl_easy_perform(c);
  if (::close(sink.fd) != 0 && sink.error == 0) sink.error = errno;
  if (sink.error != 0) return sink.error == ENOSPC ? 112 : kErrorAccessDenied;  // 112: ERROR_DISK_FULL
  return 0;
}

sim::InternetObject* Object(const InternetHandle& h, sim::InternetObject::Kind kind) {
  sim::HandleData* data = sim::FindHandle(HandleKind::kInternet, h.get());
  if (data == nullptr || !data->internet || data->internet->kind != kind) return nullptr;
  return data->internet.get();
}

void* NewInternetHandle(std::shared_ptr<sim::InternetObject> object) {
  sim::HandleData data;
  data.kind = HandleKind::kInternet;
  data.internet = std::move(object);
  return sim::NewHandle(data);
}

std::string Escape(CURL* c, const std::string& part) {
  char* escaped = curl_easy_escape(c, part.c_str(), static_cast<int>(part.size()));
  std::string out = escaped != nullptr ? escaped : "";
  curl_free(escaped);
  return out;
}

// ftp://host:port/<cwd>/ plus an optional file name.
std::string FtpUrl(CURL* c, const sim::InternetObject& ftp, const std::vector<std::string>& dir,
                   const std::string& file) {
  std::string url = "ftp://" + ftp.host + ":" + std::to_string(ftp.port) + "/";
  for (const std::string& part : dir) url += Escape(c, part) + "/";
  return url + Escape(c, file);
}

// Windows-style wildcard match ("*", "?"), case-insensitive.
bool WildcardMatch(const std::string& pattern, const std::string& name) {
  size_t p = 0, n = 0, star = std::string::npos, mark = 0;
  auto same = [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b)); };
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || same(pattern[p], name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// "file:///C:/dir/f" or "file://C:\dir\f" as a Windows path.
bool FileUrlPath(const std::string& url, std::string* path) {
  if (url.size() < 7 || sim::Upper(url.substr(0, 7)) != "FILE://") return false;
  std::string rest = url.substr(7);
  if (!rest.empty() && rest[0] == '/') rest.erase(0, 1);
  for (char& ch : rest) {
    if (ch == '/') ch = '\\';
  }
  *path = rest;
  return true;
}

}  // namespace

long URLDownloadToFile(const std::string& url, const std::string& path, int* status) {
  *status = 0;
  std::string source;
  if (FileUrlPath(url, &source)) {
    const long copied = CopyFile(source, path, false);
    return copied == 0 ? 0 : Fail(copied);
  }
  Curl curl = NewCurl();
  if (!curl) return Fail(12004);
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  CURLcode code = CURLE_OK;
  const long local = PerformToFile(c, path, &code);
  if (local != 0) return Fail(local);
  long httpStatus = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &httpStatus);
  if (url.compare(0, 4, "http") == 0 || url.compare(0, 4, "HTTP") == 0) *status = static_cast<int>(httpStatus);
  if (code != CURLE_OK) return Fail(WinInetCode(code));
  if (*status != 0 && (*status < 200 || *status > 299)) return Fail(kHttpStatusNotSuccess);
  return 0;
}

long InternetOpen(InternetHandle* session) {
  auto object = std::make_shared<sim::InternetObject>();
  object->kind = sim::InternetObject::kSession;
  *session = InternetHandle(NewInternetHandle(std::move(object)));
  return 0;
}

long InternetOpenUrl(const InternetHandle& session, const std::string& url, InternetHandle* file) {
  if (Object(session, sim::InternetObject::kSession) == nullptr) return Fail(kErrorInvalidHandle);
  Curl curl = NewCurl();
  if (!curl) return Fail(12004);
  CURL* c = curl.get();
  auto object = std::make_shared<sim::InternetObject>();
  object->kind = sim::InternetObject::kUrl;
  Capped sink{&object->body, kPageKeepBytes};
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, ToCapped);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
  const CURLcode code = curl_easy_perform(c);
  // What arrived before a cut is still readable, as it would be on Windows.
  if (code != CURLE_OK && !(code == CURLE_PARTIAL_FILE && !object->body.empty())) {
    return Fail(WinInetCode(code));
  }
  *file = InternetHandle(NewInternetHandle(std::move(object)));
  return 0;
}

long InternetReadFile(const InternetHandle& file, uint32_t bytesToRead, std::string* data) {
  sim::InternetObject* url = Object(file, sim::InternetObject::kUrl);
  if (url == nullptr) return Fail(kErrorInvalidHandle);
  const size_t n = std::min<size_t>(bytesToRead, url->body.size() - url->position);
  *data = url->body.substr(url->position, n);
  url->position += n;
  return 0;
}

long InternetConnectFtp(const InternetHandle& session, const std::string& host, uint16_t port,
                        InternetHandle* connection) {
  if (Object(session, sim::InternetObject::kSession) == nullptr) return Fail(kErrorInvalidHandle);
  auto object = std::make_shared<sim::InternetObject>();
  object->kind = sim::InternetObject::kFtp;
  object->host = host;
  object->port = port;
  Curl curl = NewCurl();
  if (!curl) return Fail(12004);
  CURL* c = curl.get();
  // Connect and log in only (anonymous, passive).
  curl_easy_setopt(c, CURLOPT_URL, FtpUrl(c, *object, {}, "").c_str());
  curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
  const CURLcode code = curl_easy_perform(c);
  if (code != CURLE_OK) return Fail(WinInetCode(code));
  *connection = InternetHandle(NewInternetHandle(std::move(object)));
  return 0;
}

long FtpSetCurrentDirectory(const InternetHandle& connection, const std::string& directory) {
  sim::InternetObject* ftp = Object(connection, sim::InternetObject::kFtp);
  if (ftp == nullptr) return Fail(kErrorInvalidHandle);
  std::vector<std::string> dir = !directory.empty() && directory[0] == '/' ? std::vector<std::string>{} : ftp->cwd;
  size_t start = 0;
  while (start <= directory.size()) {
    const size_t slash = directory.find('/', start);
    const std::string part = directory.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (part == "..") {
      if (!dir.empty()) dir.pop_back();
    } else if (!part.empty() && part != ".") {
      dir.push_back(part);
    }
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  Curl curl = NewCurl();
  if (!curl) return Fail(12004);
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, FtpUrl(c, *ftp, dir, "").c_str());
  curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
  const CURLcode code = curl_easy_perform(c);
  if (code != CURLE_OK) return Fail(WinInetCode(code));
  ftp->cwd = dir;
  return 0;
}

long FtpFindFirstFile(const InternetHandle& connection, const std::string& pattern, std::string* name) {
  sim::InternetObject* ftp = Object(connection, sim::InternetObject::kFtp);
  if (ftp == nullptr) return Fail(kErrorInvalidHandle);
  Curl curl = NewCurl();
  if (!curl) return Fail(12004);
  CURL* c = curl.get();
  std::string listing;
  Capped sink{&listing, 16u << 20};
  curl_easy_setopt(c, CURLOPT_URL, FtpUrl(c, *ftp, ftp->cwd, "").c_str());
  curl_easy_setopt(c, CURLOPT_DIRLISTONLY, 1L);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, ToCapped);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
  const CURLcode code = curl_easy_perform(c);
  if (code != CURLE_OK) return Fail(WinInetCode(code));
  for (std::string line : sim::SplitLines(listing)) {
    line = line.substr(0, line.find('\0'));
    // NLST may name files with their folder.
    const size_t slash = line.find_last_of('/');
    if (slash != std::string::npos) line.erase(0, slash + 1);
    if (line.empty() || line == "." || line == "..") continue;
    if (WildcardMatch(pattern, line)) {
      *name = line.substr(0, 259);
      return 0;
    }
  }
  return Fail(kErrorNoMoreFiles);
}

long FtpGetFile(const InternetHandle& connection, const std::string& remote, const std::string& local) {
  sim::InternetObject* ftp = Object(connection, sim::InternetObject::kFtp);
  if (ftp == nullptr) return Fail(kErrorInvalidHandle);
  Curl curl = NewCurl();
  if (!curl) return Fail(12004);
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, FtpUrl(c, *ftp, ftp->cwd, remote).c_str());
  CURLcode code = CURLE_OK;
  const long opened = PerformToFile(c, local, &code);
  if (opened != 0) return Fail(opened);
  if (code != CURLE_OK) return Fail(WinInetCode(code));
  return 0;
}

long HttpRequestGet(const std::string& url, const HttpRequestOptions& options, const std::string& toFile,
                    size_t maxText, int* status, std::string* text, std::string* error) {
  Curl curl = NewCurl();
  if (!curl) {
    *error = "curl_easy_init failed";
    return Fail(12004);
  }
  CURL* c = curl.get();
  char errorBuffer[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(options.resolveTimeoutMs + options.connectTimeoutMs));
  // The receive time-out holds for each wait for data, as WinHTTP's does.
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>(std::max<uint32_t>(1, options.receiveTimeoutMs / 1000)));
  if (!options.proxy.empty()) {
    curl_easy_setopt(c, CURLOPT_PROXY, options.proxy.c_str());
    std::string bypass = options.proxyBypass;
    if (bypass.rfind("*.", 0) == 0) bypass.erase(0, 1);
    curl_easy_setopt(c, CURLOPT_NOPROXY, bypass.c_str());
    if (options.proxyCredentials) {
      curl_easy_setopt(c, CURLOPT_PROXYUSERNAME, options.proxyUser.c_str());
      curl_easy_setopt(c, CURLOPT_PROXYPASSWORD, options.proxyPassword.c_str());
    }
  }
  CURLcode code = CURLE_OK;
  std::string received;
  if (!toFile.empty()) {
    const long opened = PerformToFile(c, toFile, &code);
    if (opened != 0) {
      *error = "the local file cannot be written";
      return Fail(opened);
    }
  } else {
    Capped sink{&received, maxText};
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, ToCapped);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
    code = curl_easy_perform(c);
  }
  if (code != CURLE_OK) {
    *error = errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(code);
    return Fail(WinInetCode(code));
  }
  long httpStatus = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &httpStatus);
  *status = static_cast<int>(httpStatus);
  if (toFile.empty()) *text = std::move(received);
  return 0;
}

}  // namespace os
