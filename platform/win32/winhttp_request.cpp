#include "platform/win32/winhttp_request.h"

namespace os::winhttp {

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

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
  DWORD code = ::GetLastError();
  if (code == 0) code = 12004;
  *error = Describe(code);
  ::SetLastError(code);
  return static_cast<long>(code);
}

Request::~Request() {
  if (request_ != nullptr) ::WinHttpCloseHandle(request_);
  if (connection_ != nullptr) ::WinHttpCloseHandle(connection_);
  if (session_ != nullptr) ::WinHttpCloseHandle(session_);
}

bool Request::Open(const std::string& url, const wchar_t* verb, const Setup& setup) {
  const std::wstring wideUrl = Widen(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!::WinHttpCrackUrl(wideUrl.c_str(), 0, 0, &parts)) return false;
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty()) path = L"/";

  // (Under Wine, a proxy host written exactly like the target host garbles
  // the request; on Windows it does not matter.)
  const std::wstring proxy = Widen(setup.proxy);
  const std::wstring bypass = Widen(setup.bypass);
  session_ = ::WinHttpOpen(L"avdefupdate", proxy.empty() ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_NAMED_PROXY,
                           proxy.empty() ? WINHTTP_NO_PROXY_NAME : proxy.c_str(),
                           proxy.empty() || bypass.empty() ? WINHTTP_NO_PROXY_BYPASS : bypass.c_str(), 0);
  if (session_ == nullptr) return false;
  if (!::WinHttpSetTimeouts(session_, setup.resolveMs, setup.connectMs, setup.sendMs, setup.receiveMs)) return false;
  connection_ = ::WinHttpConnect(session_, host.c_str(), parts.nPort, 0);
  if (connection_ == nullptr) return false;
  const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
  request_ = ::WinHttpOpenRequest(connection_, verb, path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                  WINHTTP_DEFAULT_ACCEPT_TYPES, secure);
  if (request_ == nullptr) return false;
  if (!proxy.empty() && setup.credentials) {
    const std::wstring user = Widen(setup.user);
    const std::wstring password = Widen(setup.password);
    ::WinHttpSetOption(request_, WINHTTP_OPTION_PROXY_USERNAME, const_cast<wchar_t*>(user.c_str()),
                       static_cast<DWORD>(user.size()));
    ::WinHttpSetOption(request_, WINHTTP_OPTION_PROXY_PASSWORD, const_cast<wchar_t*>(password.c_str()),
                       static_cast<DWORD>(password.size()));
  }
  return true;
}

}  // namespace os::winhttp
