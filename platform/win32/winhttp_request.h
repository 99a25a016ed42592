// The WinHTTP request both HTTP callers open the same way: the request
// object's GET (request.cpp) and the web post (webpost.cpp).
#pragma once

#include "platform/win32/win32_api.h"

#include <winhttp.h>

#include <string>

namespace os::winhttp {

std::wstring Widen(const std::string& text);

// The system's text for a WinHTTP error (its table is in winhttp.dll), or
// "WinHTTP error <code>".
std::string Describe(DWORD code);

// The last error as a result: *error its text, the code itself (12004,
// ERROR_INTERNET_INTERNAL_ERROR, when the system left none, so that a
// failure never reads as success). The last error stays set.
long Fail(std::string* error);

struct Setup {
  std::string proxy;   // "host:port"; empty: direct
  std::string bypass;  // with a proxy; empty: none
  bool credentials = false;
  std::string user, password;
  int resolveMs = 0, connectMs = 0, sendMs = 0, receiveMs = 0;
};

// Session, connection and request for verb on url, closed in reverse order.
class Request {
 public:
  Request() = default;
  ~Request();
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  // Opens all three with the named proxy (Wine takes one only as
  // "host:port" given to WinHttpOpen) and its credentials on the request.
  // False with the last error set on failure.
  bool Open(const std::string& url, const wchar_t* verb, const Setup& setup);
  HINTERNET get() const { return request_; }

 private:
  HINTERNET session_ = nullptr, connection_ = nullptr, request_ = nullptr;
};

}  // namespace os::winhttp
