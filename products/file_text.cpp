#include "products/file_text.h"

#include "base/error.h"
#include "base/text.h"
#include "platform/os.h"
#include "platform/regfiles.h"

std::vector<std::string> ReadTextLines(const std::string& path) {
  std::string bytes;
  if (const long err = os::ReadWholeFile(path, &bytes); err != 0) throw FileSystemError(err);
  return SplitLines(bytes);
}

std::vector<std::string> Subfolders(const std::string& folder) {
  std::vector<std::string> names;
  (void)os::ListFolders(folder, &names);  // an unlistable folder has no subfolders to look in
  return names;
}

std::string LeadingDigits(const std::string& text) {
  size_t i = text.find_first_not_of(' ');
  if (i == std::string::npos) return {};
  size_t end = i;
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  while (i < end && text[i] == '0') ++i;
  return text.substr(i, end - i);
}

int CompareLeadingNumbers(const std::string& a, const std::string& b) {
  const std::string x = LeadingDigits(a), y = LeadingDigits(b);
  if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
  return x.compare(y);
}

bool LeadingNumberIsZero(const std::string& text) { return LeadingDigits(text).empty(); }

std::string LastPart(const std::string& text) {
  const size_t dot = text.rfind('.');
  return dot == std::string::npos ? text : text.substr(dot + 1);
}

std::string CheckedDefinition(const std::string& value) {
  if (value.size() > kMaxDefinitionLength) return {};
  for (char c : value) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u > 0x7E) return {};
  }
  return value;
}

std::string CheckedPath(const std::string& value) {
  if (value.size() >= 260) return {};
  for (char c : value)
    if (static_cast<unsigned char>(c) < 0x20) return {};
  return value;
}

std::string WithBackslash(std::string folder) {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

std::string RemoveNoCase(const std::string& text, const std::string& word) {
  if (word.empty()) return text;
  const std::string upper = ToUpper(text), needle = ToUpper(word);
  std::string out;
  size_t pos = 0;
  for (size_t hit; (hit = upper.find(needle, pos)) != std::string::npos; pos = hit + needle.size())
    out.append(text, pos, hit - pos);
  return out + text.substr(pos);
}
