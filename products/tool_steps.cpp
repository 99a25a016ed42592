// Steps the tool-output readers share.
#include "base/text.h"
#include "platform/commandline.h"
#include "platform/log.h"
#include "products/tool_readers.h"

void RemoveStaleOutput(RunContext& rc, const std::string& path) {
  if (os::FileExists(path)) DeleteFileLogged(rc, path);
}

std::string BatchQuoted(RunContext& rc, const std::string& value, const std::string& what) {
  if (const std::string reason = UnquotableReason(value, QuoteFor::kBatchLine); !reason.empty()) {
    WriteLog(rc, "ERR : Refused to run " + what + ": " + LogExcerpt(value) + " " + reason);
    return {};
  }
  std::string out;
  for (const char c : value) out += c == '%' ? std::string("%%") : std::string(1, c);
  return out;
}
