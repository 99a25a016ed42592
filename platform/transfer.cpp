#include "platform/transfer.h"

#include <map>

#include "base/error.h"
#include "base/text.h"
#include "platform/identity.h"
#include "platform/log.h"
#include "platform/regfiles.h"

namespace {

std::string FileName(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Folder(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Puts the finished temporary file in place of target in one step, so a
// crash leaves the old file or the new one, never none.
long ReplaceWithTemporary(const std::string& temporary, const std::string& target) {
  return os::MoveFileEx(temporary, target);
}

}  // namespace

std::string UrlForLog(const std::string& url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string::npos) return url;
  const size_t hostStart = scheme + 3;
  const size_t hostEnd = url.find_first_of("/?#", hostStart);
  const size_t at = url.rfind('@', hostEnd == std::string::npos ? std::string::npos : hostEnd);
  if (at == std::string::npos || at < hostStart) return url;
  return url.substr(0, hostStart) + url.substr(at + 1);
}

std::string TransferErrorText(RunContext& rc, long code) {
  if (code == kEmptyBody) return "the server sent an empty body";
  std::string text = code > 0 ? fncFormatMessage(rc, static_cast<uint32_t>(code)) : std::string();
  if (text.empty() || text == std::to_string(code) + "-") {
    text = std::to_string(code) + "-Internet error " + std::to_string(code);
  }
  return text;
}

FetchResult FetchReplacing(RunContext& rc, const std::string& path,
                           const std::function<long(const std::string&, int*)>& fetch) {
  FetchResult result;
  // Same folder, so that the rename never crosses a volume.
  const std::string temporary = Folder(path) + "\\~" + FileName(path) + ".part";
  result.error = fetch(temporary, &result.status);
  if (result.error == 0) {
    uint64_t size = 0;
    if (os::GetFileSize(temporary, &size) != 0 || size == 0) {
      // An empty package is never a package, whatever the status said.
      result.error = kEmptyBody;
    } else {
      result.bytes = size;
      result.error = ReplaceWithTemporary(temporary, path);
    }
  }
  if (os::FileExists(temporary)) (void)os::DeleteFile(temporary);  // the transfer's result is the one to report
  return result;
}

FetchResult UrlDownloadToFileSafely(RunContext& rc, const std::string& url, const std::string& path) {
  return FetchReplacing(rc, path, [&](const std::string& temporary, int* status) {
    return os::URLDownloadToFile(url, temporary, status);
  });
}

bool InetReadPage(RunContext& rc, const std::string& operation, const std::string& url, std::string* page) {
  try {
    const std::string shown = UrlForLog(url);
    WriteLog(rc, "MSG : Executing Function InternetOpen");
    os::InternetHandle session;
    long err = os::InternetOpen(&session);
    if (err != 0) {
      WriteLog(rc, "ERR : " + operation + " - InternetOpen - Failed to open an internet connection. " +
                       TransferErrorText(rc, err));
      return false;
    }
    WriteLog(rc, "MSG : Successfully Executed Function InternetOpen");
    WriteLog(rc, "MSG : Executing Function InternetOpenURL");
    os::InternetHandle file;
    err = os::InternetOpenUrl(session, url, &file);
    if (err != 0) {
      WriteLog(rc, "ERR : " + operation + " - InternetOpenUrl - Failed to open an internet URL. " + shown + " " +
                       TransferErrorText(rc, err));
      return false;
    }
    WriteLog(rc, "MSG : Successfully Executed Function InternetOpenURL");
    WriteLog(rc, "MSG : Executing Function InternetReadFile");
    std::string data;
    err = os::InternetReadFile(file, kInetReadBufferBytes, &data);
    if (err != 0) {
      WriteLog(rc, "ERR : " + operation + " - InternetReadFile - Failed to read an internet file. " + shown + " " +
                       TransferErrorText(rc, err));
      return false;
    }
    WriteLog(rc, "MSG : Successfully Executed Function InternetReadFile");
    *page = data;
    return true;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : " + operation + " " + std::to_string(e.number) + " " + e.description);
    return false;
  }
}

os::HttpRequestOptions RequestOptions(RunContext& rc, bool withProxy) {
  os::HttpRequestOptions options;
  options.proxyBypass = kProxyBypass;
  if (!withProxy) return options;
  ProxyDetails proxy;
  if (!fncGetProxyDetails(rc, &proxy) || !proxy.useProxy) return options;
  options.proxy = TrimSpaces(proxy.ip);
  const std::string port = TrimSpaces(proxy.port);
  if (!port.empty()) options.proxy.append(1, ':').append(port);
  if (!proxy.user.empty()) {
    options.proxyCredentials = true;
    options.proxyUser = proxy.user;
    options.proxyPassword = proxy.password;
  }
  return options;
}

namespace {

void LogStatusFailure(RunContext& rc, const std::string& operation, int status, const std::string& what,
                      const std::string& url) {
  WriteLog(rc, "ERR : " + operation + " - WinHttpRequest.Status = " + std::to_string(status) + what +
                   UrlForLog(url) + " " + TransferErrorText(rc, os::GetLastError()));
}

void LogTransportFailure(RunContext& rc, const std::string& operation, long err, const std::string& what,
                         const std::string& url) {
  WriteLog(rc, "ERR : " + operation + what + UrlForLog(url) + " " + TransferErrorText(rc, err));
}

}  // namespace

bool HttpRequestPage(RunContext& rc, const std::string& operation, const std::string& url, std::string* page) {
  try {
    const os::HttpRequestOptions options = RequestOptions(rc, true);
    int status = 0;
    std::string text, error;
    const long err = os::HttpRequestGet(url, options, "", kResponseTextLimit, &status, &text, &error);
    if (err != 0) {
      LogTransportFailure(rc, operation, err, " - Failed to read an internet file. ", url);
      return false;
    }
    if (status >= 300) {
      LogStatusFailure(rc, operation, status, " - Failed to read an internet file. ", url);
      return false;
    }
    *page = text;
    return true;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : " + operation + " " + std::to_string(e.number) + " " + e.description);
    return false;
  }
}

bool HttpRequestDownload(RunContext& rc, const std::string& operation, const std::string& url,
                         const std::string& path, bool withProxy) {
  try {
    const os::HttpRequestOptions options = RequestOptions(rc, withProxy);
    long transportError = 0;
    const FetchResult r = FetchReplacing(rc, path, [&](const std::string& temporary, int* status) -> long {
      std::string ignored, error;
      transportError = os::HttpRequestGet(url, options, temporary, 0, status, &ignored, &error);
      if (transportError != 0) return transportError;
      return *status >= 200 && *status < 300 ? 0 : os::kHttpStatusNotSuccess;
    });
    if (r.error == 0) return true;
    if (transportError != 0) {
      LogTransportFailure(rc, operation, transportError, " - Failed to download an internet file. ", url);
    } else if (r.status < 200 || r.status >= 300) {
      LogStatusFailure(rc, operation, r.status, " - Failed to download an internet file. ", url);
    } else {
      LogTransportFailure(rc, operation, r.error, " - Failed to download an internet file. ", url);
    }
    return false;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : " + operation + " " + std::to_string(e.number) + " " + e.description);
    return false;
  }
}

bool UrlDownloadOperation(RunContext& rc, const std::string& operation, const std::string& url,
                          const std::string& path) {
  try {
    const FetchResult r = UrlDownloadToFileSafely(rc, url, path);
    if (r.error == 0) return true;
    const std::string status = r.status != 0 ? " (HTTP status " + std::to_string(r.status) + ")" : "";
    LogTransportFailure(rc, operation, r.error, " - URLDownloadToFile - Failed to download an internet file" + status + ". ", url);
    return false;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : " + operation + " " + std::to_string(e.number) + " " + e.description);
    return false;
  }
}

bool FtpOperation(RunContext& rc, const std::string& operation, const FtpTarget& target,
                  const std::string& localPath, std::string* upperName) {
  try {
    const bool download = !localPath.empty();
    auto fail = [&](const std::string& what, long err) {
      WriteLog(rc, "ERR : " + operation + " - " + what + TransferErrorText(rc, err));
      return false;
    };
    WriteLog(rc, "MSG : Executing Function InternetOpen");
    os::InternetHandle session;
    long err = os::InternetOpen(&session);
    if (err != 0) return fail("InternetOpen - Failed to open an internet connection. ", err);

    WriteLog(rc, download ? "MSG : Executing Function InternetConnect" : "MSG : Executing Function InternetConnect.");
    std::string host = target.host;
    uint16_t port = kFtpPort;
    const size_t colon = host.rfind(':');
    if (colon != std::string::npos && host.find(':') == colon) {
      const std::string digits = host.substr(colon + 1);
      if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos ||
          std::stol(digits) == 0 || std::stol(digits) > 65535) {
        return fail("InternetConnect - Failed to connect to the FTP Server. ", os::kInternetInvalidUrl);
      }
      port = static_cast<uint16_t>(std::stol(digits));
      host = host.substr(0, colon);
    }
    os::InternetHandle connection;
    err = os::InternetConnectFtp(session, host, port, &connection);
    if (err != 0) return fail("InternetConnect - Failed to connect to the FTP Server. ", err);

    WriteLog(rc, "MSG : Executing Function FtpSetCurrentDirectory");
    err = os::FtpSetCurrentDirectory(connection, target.directory);
    if (err != 0) return fail("FtpSetCurrentDirectory - Failed to set the FTP Directory. ", err);

    std::string listed;
    err = os::FtpFindFirstFile(connection, target.pattern, &listed);
    if (err != 0) return fail("FtpFindFirstFile - Failed to find the FTP File ", err);
    listed = listed.substr(0, listed.find('\0')).substr(0, kFtpNameChars - 1);
    // A name is only ever a name: a separator or control character would
    // make the local file or the log lie.
    for (const char ch : listed) {
      if (static_cast<unsigned char>(ch) < 0x20 || ch == '/' || ch == '\\') {
        return fail("FtpFindFirstFile - Failed to find the FTP File ", os::kInternetExtendedError);
      }
    }
    *upperName = ToUpper(listed);
    if (!download) return true;

    WriteLog(rc, "MSG : Executing Function FtpGetFile");
    // The server's names are case-sensitive: ask for the name as listed.
    const FetchResult r = FetchReplacing(rc, localPath, [&](const std::string& temporary, int* status) {
      *status = 0;
      return os::FtpGetFile(connection, listed, temporary);
    });
    if (r.error != 0) return fail("FtpGetFile - Failed to get the FTP File ", r.error);
    return true;
  } catch (...) {
    const RtError e = CurrentError();
    WriteLog(rc, "ERR : " + operation + " " + std::to_string(e.number) + " " + e.description);
    return false;
  }
}

const std::vector<RetryStep>& RetryOrder(Wrapper wrapper) {
  using T = Transport;
  static const std::map<Wrapper, std::vector<RetryStep>> kOrders = {
      {Wrapper::kMseDefinition, {{T::kRequestObject, 5}, {T::kWinInet, 5}}},
      {Wrapper::kMseDownload, {{T::kRequestObject, 3}, {T::kUrlToFile, 3}}},
      {Wrapper::kMcAfeeDefinition, {{T::kFtp, 5}, {T::kRequestObject, 5}, {T::kWinInet, 5}}},
      {Wrapper::kMcAfeeDownload, {{T::kFtp, 3}, {T::kRequestObject, 3}, {T::kWinInetThenFile, 3}}},
      {Wrapper::kNortonDefinition, {{T::kRequestObject, 5}, {T::kWinInet, 5}, {T::kFtp, 5}}},
      {Wrapper::kNortonDownload, {{T::kRequestObject, 5}, {T::kWinInetThenFile, 5}, {T::kFtp, 5}}},
      {Wrapper::kTrendMicroDefinition, {{T::kDownloadFile, 5}}},
      {Wrapper::kTrendMicroDownload, {{T::kRequestObject, 5}, {T::kWinInetThenFile, 5}}},
      {Wrapper::kAvgDefinition, {{T::kRequestObject, 5}, {T::kWinInet, 5}}},
  };
  return kOrders.at(wrapper);
}

bool RunRetryOrder(Wrapper wrapper, const std::function<bool(Transport)>& attempt) {
  for (const RetryStep& step : RetryOrder(wrapper)) {
    for (int i = 0; i < step.tries; ++i) {
      if (attempt(step.transport)) return true;
    }
  }
  return false;
}
