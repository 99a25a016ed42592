// The HTTP request object on Windows, over WinHTTP (what ServerXMLHTTP
// itself uses): a GET with the request object's proxy, credentials and
// time-outs, the body streamed to a file or kept as text.
#include <string>

#include "platform/os.h"
#include "platform/win32/winhttp_request.h"

namespace os {

namespace {

using winhttp::Fail;

class LocalFile {
 public:
  explicit LocalFile(HANDLE h) : h_(h) {}
  ~LocalFile() {
    if (h_ != INVALID_HANDLE_VALUE) ::CloseHandle(h_);
  }
  LocalFile(const LocalFile&) = delete;
  LocalFile& operator=(const LocalFile&) = delete;
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

}  // namespace

long HttpRequestGet(const std::string& url, const HttpRequestOptions& options, const std::string& toFile,
                    size_t maxText, int* status, std::string* text, std::string* error) {
  winhttp::Setup setup;
  setup.proxy = options.proxy;
  setup.bypass = options.proxyBypass;
  setup.credentials = options.proxyCredentials;
  setup.user = options.proxyUser;
  setup.password = options.proxyPassword;
  setup.resolveMs = static_cast<int>(options.resolveTimeoutMs);
  setup.connectMs = static_cast<int>(options.connectTimeoutMs);
  setup.sendMs = static_cast<int>(options.sendTimeoutMs);
  setup.receiveMs = static_cast<int>(options.receiveTimeoutMs);
  winhttp::Request request;
  if (!request.Open(url, L"GET", setup)) return Fail(error);
  if (!::WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
      !::WinHttpReceiveResponse(request.get(), nullptr)) {
    return Fail(error);
  }
  DWORD code = 0;
  DWORD size = sizeof code;
  if (!::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX)) {
    return Fail(error);
  }
  DWORD announced = 0;
  size = sizeof announced;
  const bool hasLength = ::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                                               WINHTTP_HEADER_NAME_BY_INDEX, &announced, &size,
                                               WINHTTP_NO_HEADER_INDEX) != FALSE;

  LocalFile file(toFile.empty() ? INVALID_HANDLE_VALUE
                                : ::CreateFileA(toFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!toFile.empty() && file.get() == INVALID_HANDLE_VALUE) {
    const DWORD local = ::GetLastError();
    *error = "the local file cannot be written";
    return static_cast<long>(local);
  }
  std::string received;
  uint64_t total = 0;
  std::string chunk(256 * 1024, '\0');
  for (;;) {
    DWORD read = 0;
    if (!::WinHttpReadData(request.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read)) return Fail(error);
    if (read == 0) break;
    total += read;
    if (!toFile.empty()) {
      DWORD written = 0;
      if (!::WriteFile(file.get(), chunk.data(), read, &written, nullptr) || written != read) {
        const DWORD local = ::GetLastError();
        *error = "the local file cannot be written";
        return static_cast<long>(local);
      }
    } else if (received.size() < maxText) {
      received.append(chunk.data(), std::min<size_t>(read, maxText - received.size()));
    }
  }
  if (hasLength && total < announced) {
    *error = "the connection ended before the whole body arrived";
    ::SetLastError(kInternetConnectionAborted);
    return kInternetConnectionAborted;
  }
  *status = static_cast<int>(code);
  if (toFile.empty()) *text = std::move(received);
  return 0;
}

}  // namespace os
