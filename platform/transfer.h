// The network transfers the definition operations are built on: the WinINet
// page read, the HTTP request object, the URL-to-file download and WinINet
// FTP, each with its log lines, constants and success test, and the order in
// which the vendors' wrappers try them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/context.h"

// Constants of the transports.
constexpr uint32_t kInetReadBufferBytes = 50000;  // one read
constexpr uint16_t kFtpPort = 21;
constexpr size_t kFtpNameChars = 260;
constexpr const char* kProxyBypass = "*.intra";
// ResponseText is kept up to this much; pages the agent searches are small.
constexpr size_t kResponseTextLimit = 8u << 20;

// The URL as it may be logged: a "user:password@" part is dropped.
std::string UrlForLog(const std::string& url);

// The error text of a transfer code: fncFormatMessage, or "<code>-Internet
// error <code>" where the system has no text (Wine's table is sparse).
std::string TransferErrorText(RunContext& rc, long code);

// A download's outcome: 0 when the file is in place, else the error code
// (kEmptyBody: the transfer completed without a byte); status is the HTTP
// status where there was one.
constexpr long kEmptyBody = -1;
struct FetchResult {
  long error = 0;
  int status = 0;
  uint64_t bytes = 0;
};

// Fetches into a temporary file beside path with fetch(temporary) (which
// returns 0 or an error code and the HTTP status), and puts it in place of
// path only when the fetch succeeded and the file is not empty. A failure
// leaves an older file at path untouched and no temporary file behind.
FetchResult FetchReplacing(RunContext& rc, const std::string& path,
                           const std::function<long(const std::string& temporary, int* status)>& fetch);

// URL-to-file download (URLDownloadToFileA) into path, through FetchReplacing.
// Success needs a completed transfer, a 2xx status for http(s) and a body.
FetchResult UrlDownloadToFileSafely(RunContext& rc, const std::string& url, const std::string& path);

// WinINet page read: one read of at most 50,000 bytes. Logs the Executing /
// Successfully Executed lines and, on failure, one line naming operation and
// step. True with the page.
bool InetReadPage(RunContext& rc, const std::string& operation, const std::string& url, std::string* page);

// The request object's settings from the agent's proxy (fncGetProxyDetails);
// no proxy when it has none or when withProxy is false.
os::HttpRequestOptions RequestOptions(RunContext& rc, bool withProxy);

// HTTP request object, definition operation: true with ResponseText when
// Status is below 300 (204: an empty page).
bool HttpRequestPage(RunContext& rc, const std::string& operation, const std::string& url, std::string* page);
// HTTP request object, download operation: ResponseBody streamed into path
// through FetchReplacing; needs a 2xx status and a body. withProxy is false
// only for the MSE package.
bool HttpRequestDownload(RunContext& rc, const std::string& operation, const std::string& url,
                         const std::string& path, bool withProxy);
// URL-to-file download operation: the file at path, with one failure line.
bool UrlDownloadOperation(RunContext& rc, const std::string& operation, const std::string& url,
                          const std::string& path);

// FTP: anonymous, passive, port 21 unless the host says "host:port".
struct FtpTarget {
  std::string host;       // "ftp.example.com" or "127.0.0.1:2121"
  std::string directory;  // changed to before the search
  std::string pattern;    // FtpFindFirstFileA pattern
};
// Connects, changes directory and finds the first match. *upperName is the
// listed name upper-cased (for version texts and the log). With localPath set
// (a download operation) the file is then got, by the name as listed, into
// localPath through FetchReplacing. definition: the operation's InternetConnect
// line ends in a full stop.
bool FtpOperation(RunContext& rc, const std::string& operation, const FtpTarget& target,
                  const std::string& localPath, std::string* upperName);

// Retry order of the vendors' wrappers.
enum class Transport {
  kRequestObject,     // HTTP request object
  kWinInet,           // WinINet page read
  kWinInetThenFile,   // WinINet page read, then URL-to-file of the link found
  kUrlToFile,         // URL-to-file download
  kFtp,               // WinINet FTP
  kDownloadFile,      // the gateway download (a text file)
};
enum class Wrapper {
  kMseDefinition,
  kMseDownload,
  kMcAfeeDefinition,
  kMcAfeeDownload,
  kNortonDefinition,
  kNortonDownload,
  kTrendMicroDefinition,
  kTrendMicroDownload,
  kAvgDefinition,
};
struct RetryStep {
  Transport transport;
  int tries;
};
const std::vector<RetryStep>& RetryOrder(Wrapper wrapper);
// Tries attempt(transport) as the wrapper's order says, with no pause: each
// transport its number of times in a row, the next one only when all of those
// failed. True at the first success.
bool RunRetryOrder(Wrapper wrapper, const std::function<bool(Transport)>& attempt);
