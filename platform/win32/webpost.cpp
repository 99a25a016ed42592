// Web post on Windows: WinHTTP, synchronous.
#include "platform/win32/win32_api.h"

#include <winhttp.h>

#include <string>

namespace os {

namespace {

std::wstring WidenText(const std::string& text) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string NarrowText(const wchar_t* text, size_t length) {
  if (length == 0) return {};
  const int n = ::WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), narrow.data(), n, nullptr, nullptr);
  return narrow;
}

class Internet {
 public:
  explicit Internet(HINTERNET h) : h_(h) {}
  ~Internet() {
    if (h_ != nullptr) ::WinHttpCloseHandle(h_);
  }
  Internet(const Internet&) = delete;
  Internet& operator=(const Internet&) = delete;
  HINTERNET get() const { return h_; }

 private:
  HINTERNET h_;
};

// The system's text for a WinHTTP error, which lives in winhttp.dll.
std::string DescribeError(DWORD code) {
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
  *error = DescribeError(code);
  return static_cast<long>(code);
}

std::wstring QueryHeader(HINTERNET request, DWORD which) {
  DWORD size = 0;
  ::WinHttpQueryHeaders(request, which, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                        WINHTTP_NO_HEADER_INDEX);
  if (size == 0) return {};
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  if (!::WinHttpQueryHeaders(request, which, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &size,
                             WINHTTP_NO_HEADER_INDEX)) {
    return {};
  }
  value.resize(size / sizeof(wchar_t));
  return value;
}

}  // namespace

long HttpPost(const std::string& url, const std::string& body, const HttpPostOptions& options,
              int* status, std::string* statusLine, std::string* response, std::string* error) {
  const std::wstring wideUrl = WidenText(url);
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

  // Wine takes a named proxy only as "host:port" here. (Under Wine, a proxy
  // host written exactly like the target host garbles the request; on Windows
  // it does not matter.)
  const std::wstring proxy = WidenText(options.proxy);
  Internet session(::WinHttpOpen(L"avdefupdate",
                                 proxy.empty() ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_NAMED_PROXY,
                                 proxy.empty() ? WINHTTP_NO_PROXY_NAME : proxy.c_str(), WINHTTP_NO_PROXY_BYPASS, 0));
  if (session.get() == nullptr) return Fail(error);
  const int connectMs = static_cast<int>(options.connectTimeoutMs);
  const int requestMs = static_cast<int>(options.requestTimeoutMs);
  if (!::WinHttpSetTimeouts(session.get(), connectMs, connectMs, requestMs, requestMs)) return Fail(error);

  Internet connection(::WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
  if (connection.get() == nullptr) return Fail(error);
  const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
  Internet request(::WinHttpOpenRequest(connection.get(), L"POST", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                        WINHTTP_DEFAULT_ACCEPT_TYPES, secure));
  if (request.get() == nullptr) return Fail(error);

  if (!proxy.empty() && (!options.proxyUser.empty() || !options.proxyPassword.empty())) {
    const std::wstring user = WidenText(options.proxyUser);
    const std::wstring password = WidenText(options.proxyPassword);
    ::WinHttpSetOption(request.get(), WINHTTP_OPTION_PROXY_USERNAME, const_cast<wchar_t*>(user.c_str()),
                       static_cast<DWORD>(user.size()));
    ::WinHttpSetOption(request.get(), WINHTTP_OPTION_PROXY_PASSWORD, const_cast<wchar_t*>(password.c_str()),
                       static_cast<DWORD>(password.size()));
  }

  const std::wstring headers = L"Content-Type: " + WidenText(options.contentType) + L"\r\n";
  if (!::WinHttpSendRequest(request.get(), headers.c_str(), static_cast<DWORD>(-1L),
                            const_cast<char*>(body.data()), static_cast<DWORD>(body.size()),
                            static_cast<DWORD>(body.size()), 0) ||
      !::WinHttpReceiveResponse(request.get(), nullptr)) {
    return Fail(error);
  }

  DWORD code = 0;
  DWORD size = sizeof code;
  if (!::WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX)) {
    return Fail(error);
  }
  const std::wstring version = QueryHeader(request.get(), WINHTTP_QUERY_VERSION);
  const std::wstring reason = QueryHeader(request.get(), WINHTTP_QUERY_STATUS_TEXT);
  const std::wstring line = version + L" " + std::to_wstring(code) + (reason.empty() ? L"" : L" " + reason);

  std::string received;
  for (;;) {
    DWORD available = 0;
    if (!::WinHttpQueryDataAvailable(request.get(), &available)) return Fail(error);
    if (available == 0) break;
    std::string chunk(available, '\0');
    DWORD read = 0;
    if (!::WinHttpReadData(request.get(), chunk.data(), available, &read)) return Fail(error);
    if (read == 0) break;
    received.append(chunk.data(), read);
    if (options.maxResponseBytes != 0 && received.size() > options.maxResponseBytes) {
      *error = "the reply is longer than " + std::to_string(options.maxResponseBytes) + " bytes";
      return ERROR_MORE_DATA;
    }
  }
  *status = static_cast<int>(code);
  *statusLine = NarrowText(line.c_str(), line.size());
  *response = std::move(received);
  return 0;
}

}  // namespace os
