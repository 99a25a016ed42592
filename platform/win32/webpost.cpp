// Web post on Windows: WinHTTP, synchronous.
#include <string>

#include "platform/win32/winhttp_request.h"

namespace os {

namespace {

std::string NarrowText(const wchar_t* text, size_t length) {
  if (length == 0) return {};
  const int n = ::WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), narrow.data(), n, nullptr, nullptr);
  return narrow;
}

using winhttp::Fail;

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
  winhttp::Setup setup;
  setup.proxy = options.proxy;
  setup.credentials = !options.proxyUser.empty() || !options.proxyPassword.empty();
  setup.user = options.proxyUser;
  setup.password = options.proxyPassword;
  // WinHTTP has no whole-request limit: the request's time-out holds for
  // sending and for receiving each.
  setup.resolveMs = setup.connectMs = static_cast<int>(options.connectTimeoutMs);
  setup.sendMs = setup.receiveMs = static_cast<int>(options.requestTimeoutMs);
  winhttp::Request request;
  if (!request.Open(url, L"POST", setup)) return Fail(error);

  const std::wstring headers = L"Content-Type: " + winhttp::Widen(options.contentType) + L"\r\n";
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
