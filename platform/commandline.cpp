#include "platform/commandline.h"

#include "platform/filewrite.h"
#include "base/text.h"
#include "platform/log.h"

namespace {

// Characters that make cmd.exe or a program's argument parser read a value as
// more than one word, or as an operator, when they stand outside quotes.
constexpr const char* kNeedsQuotes = " \t&|<>^()%!,;=\"'`";

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

}  // namespace

std::string UnquotableReason(const std::string& value, QuoteFor where) {
  for (const char ch : value) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '"') return "(holds a double quote)";
    if (IsControl(c)) return "(holds a control character)";
    if (c == '%' && where == QuoteFor::kCmdLine) return "(holds a \"%\", which cmd.exe expands)";
  }
  return {};
}

bool QuoteArgument(RunContext& rc, const std::string& value, QuoteFor where, const std::string& what,
                   std::string* quoted) {
  const std::string reason = UnquotableReason(value, where);
  if (!reason.empty()) {
    WriteLog(rc, "ERR : Refused to run " + what + ": " + LogExcerpt(value) + " " + reason);
    return false;
  }
  std::string text;
  for (const char c : value) {
    text += c;
    if (c == '%' && where == QuoteFor::kBatchLine) text += '%';
  }
  if (!value.empty() && value.find_first_of(kNeedsQuotes) == std::string::npos) {
    *quoted = text;
    return true;
  }
  // Backslashes right before the closing quote would escape it.
  size_t trailing = 0;
  while (trailing < text.size() && text[text.size() - 1 - trailing] == '\\') ++trailing;
  *quoted = "\"" + text + std::string(trailing, '\\') + "\"";
  return true;
}

std::string CmdCommandLine(const std::string& command) {
  const std::string cmd = os::GetSystemDirectory() + "\\cmd.exe";
  if (!command.empty() && command[0] == '"') return cmd + " /s /c \"" + command + "\"";
  return cmd + " /c " + command;
}

bool BatchCommandLine(RunContext& rc, const std::string& batchPath, std::string* commandLine) {
  std::string quoted;
  if (!QuoteArgument(rc, batchPath, QuoteFor::kCmdLine, "the batch file", &quoted)) return false;
  // A plain path may go to CreateProcess in quotes; one with a blank or an
  // operator character only through cmd.exe, which keeps the quotes on.
  *commandLine = quoted == batchPath ? "\"" + batchPath + "\"" : CmdCommandLine(quoted);
  return true;
}

bool WriteBatchFile(RunContext& rc, const std::string& path, const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return WriteFileChecked(rc, path, text, "ERR : Could not write the batch file ");
}
