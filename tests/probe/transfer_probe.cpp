// Runs one network transfer with the agent's own code on the machine it runs
// on (the sim or Windows), logging into the agent's run log, so that scenarios
// can drive on both backends the transports that no step of a run calls yet.
//
//   transfer_probe page <operation> <url>
//       WinINet page read; logs the size and the first line of the page
//   transfer_probe ftp <operation> <host[:port]> <directory> <pattern> [<file name>]
//       FTP find (and, with a file name, get into the program folder)
//   transfer_probe download <url> <file name>
//       DownloadFile into the program folder
//   transfer_probe request <operation> <url> <file name>
//       request-object download into the program folder (no proxy)
//
// Exit code 0 when the transfer succeeded, 1 when it failed, 2 on bad usage.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/context.h"
#include "platform/log.h"
#include "platform/os.h"
#include "platform/transfer.h"
#include "update/gateway_index.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: transfer_probe page <operation> <url>\n"
               "       transfer_probe ftp <operation> <host[:port]> <directory> <pattern> [<file name>]\n"
               "       transfer_probe download <url> <file name>\n"
               "       transfer_probe request <operation> <url> <file name>\n");
  return 2;
}

bool Probe(RunContext& rc, const std::vector<std::string>& a) {
  const std::string& command = a[0];
  if (command == "page") {
    std::string page;
    if (!InetReadPage(rc, a[1], a[2], &page)) return false;
    const std::string first = page.substr(0, page.find_first_of("\r\n"));
    WriteLog(rc, "MSG : Page read :: " + std::to_string(page.size()) + " bytes, first line :: " + first);
    return true;
  }
  if (command == "ftp") {
    const std::string local = a.size() > 5 ? rc.AppFolder + "\\" + a[5] : std::string();
    std::string upper;
    if (!FtpOperation(rc, a[1], FtpTarget{a[2], a[3], a[4]}, local, &upper)) return false;
    WriteLog(rc, "MSG : FTP file :: " + upper);
    return true;
  }
  if (command == "download") return DownloadFile(rc, a[1], a[2]);
  if (command == "request") return HttpRequestDownload(rc, a[1], a[2], rc.AppFolder + "\\" + a[3], false);
  return false;
}

bool Known(const std::vector<std::string>& a) {
  if (a.empty()) return false;
  if (a[0] == "page") return a.size() == 3;
  if (a[0] == "ftp") return a.size() == 5 || a.size() == 6;
  if (a[0] == "download") return a.size() == 3;
  if (a[0] == "request") return a.size() == 4;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!Known(args)) return Usage();
  std::string error;
  if (!os::Startup(argc, argv, &error)) {
    std::fprintf(stderr, "transfer_probe: %s\n", error.c_str());
    return 2;
  }
  RunContext rc;
  try {
    OpenRunLog(rc);
  } catch (...) {
    std::fprintf(stderr, "transfer_probe: the run log cannot be opened\n");
    return 2;
  }
  const bool ok = Probe(rc, args);
  WriteLog(rc, ok ? "MSG : Transfer probe succeeded" : "MSG : Transfer probe failed");
  rc.LogStream.Close();
  return ok ? 0 : 1;
}
