// The HTTP request object on Windows, over WinHTTP (what ServerXMLHTTP
// itself uses): a GET with the request object's proxy, credentials and
// time-outs, the body streamed to a file or kept as text.
#include "platform/win32/win32_api.h"

#include <winhttp.h>

#include <string>

#include "platform/os.h"

namespace os {

namespace {

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

class Handle {
 public:
  explicit Handle(HINTERNET h) : h_(h) {}
  ~Handle() {
    if (h_ != nullptr) ::WinHttpCloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HINTERNET get() const { return h_; }

 private:
  HINTERNET h_;
};

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

std::string Describe(DWORD code) {
  char* buffer = nullptr;
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
  HMODULE module = ::GetModuleHandleA("winhttp.dll");
  if (module != nullptr) flags |= FORMAT_MESSAGE_FROM_HMODULE;
  const DWORD n = ::FormatMessageA(flags, module, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = n > 0 && buffer != nullptr ? std::string(buffer, n) : "WinHTTP error " + std::to_string(code);
  if (buffer != nullptr) ::LocalFree(buffer);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

long Fail(std::string* error) {
  const DWORD code = ::GetLastError();
  *error = Describe(code);
  ::SetLastError(code);
  return static_cast<long>(code != 0 ? code : 12004);
}

}  // namespace

long HttpRequestGet(const std::string& url, const HttpRequestOptions& options, const std::string& toFile,
                    size_t maxText, int* status, std::string* text, std::string* error) {
  const std::wstring wideUrl = Widen(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!::WinHttpCrackUrl(wideUrl.c_str(), 0, 0, &parts)) return Fail(error);
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty()) path = L"/";

  // Wine takes a named proxy only as "host:port" given here.
  const std::wstring proxy = Widen(options.proxy);
  const std::wstring bypass = Widen(options.proxyBypass);
  Handle session(::WinHttpOpen(L"avdefupdate", proxy.empty() ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_NAMED_PROXY,
                               proxy.empty() ? WINHTTP_NO_PROXY_NAME : proxy.c_str(),
                               proxy.empty() || bypass.empty() ? WINHTTP_NO_PROXY_BYPASS : bypass.c_str(), 0));
  if (session.get() == nullptr) return Fail(error);
  if (!::WinHttpSetTimeouts(session.get(), static_cast<int>(options.resolveTimeoutMs),
                            static_cast<int>(options.connectTimeoutMs), static_cast<int>(options.sendTimeoutMs),
                            static_cast<int>(options.receiveTimeoutMs))) {
    return Fail(error);
  }
  Handle connection(::WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
  if (connection.get() == nullptr) return Fail(error);
  const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
  Handle request(::WinHttpOpenRequest(connection.get(), L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                      WINHTTP_DEFAULT_ACCEPT_TYPES, secure));
  if (request.get() == nullptr) return Fail(error);
  if (!proxy.empty() && options.proxyCredentials) {
    const std::wstring user = Widen(options.proxyUser);
    const std::wstring password = Widen(options.proxyPassword);
    ::WinHttpSetOption(request.get(), WINHTTP_OPTION_PROXY_USERNAME, const_cast<wchar_t*>(user.c_str()),
                       static_cast<DWORD>(user.size()));
    ::WinHttpSetOption(request.get(), WINHTTP_OPTION_PROXY_PASSWORD, const_cast<wchar_t*>(password.c_str()),
                       static_cast<DWORD>(password.size()));
  }
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
