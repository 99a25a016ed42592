#include "base/text.h"

#include <algorithm>

namespace {
char Low(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
std::string TrimOf(std::string_view s, std::string_view chars) {
  const size_t b = s.find_first_not_of(chars);
  if (b == std::string_view::npos) return {};
  const size_t e = s.find_last_not_of(chars);
  return std::string(s.substr(b, e - b + 1));
}
}  // namespace

char UpperChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string TrimSpaces(std::string_view s) { return TrimOf(s, " "); }
std::string TrimBlanks(std::string_view s) { return TrimOf(s, " \t\r\n"); }
std::string TrimSpacesTabs(std::string_view s) { return TrimOf(s, " \t"); }

std::string ToUpper(std::string_view s) {
  std::string r(s);
  std::transform(r.begin(), r.end(), r.begin(), UpperChar);
  return r;
}

std::string ToLower(std::string_view s) {
  std::string r(s);
  std::transform(r.begin(), r.end(), r.begin(), Low);
  return r;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return UpperChar(x) == UpperChar(y); });
}

bool ContainsNoCase(std::string_view haystack, std::string_view needle) {
  return ToUpper(haystack).find(ToUpper(needle)) != std::string::npos;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

bool ContainsAny(std::string_view text, std::span<const std::string_view> needles) {
  for (std::string_view needle : needles)
    if (ContainsNoCase(text, needle)) return true;
  return false;
}

bool ContainsAny(std::string_view text, std::initializer_list<std::string_view> needles) {
  return ContainsAny(text, std::span<const std::string_view>(needles.begin(), needles.size()));
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(start, end - start));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to) {
  std::string r;
  if (from.empty()) return std::string(s);
  size_t pos = 0;
  while (true) {
    size_t hit = s.find(from, pos);
    if (hit == std::string_view::npos) break;
    r.append(s.substr(pos, hit - pos));
    r.append(to);
    pos = hit + from.size();
  }
  r.append(s.substr(pos));
  return r;
}

std::string TrimAtNull(std::string_view s) {
  size_t nul = s.find('\0');
  return std::string(nul == std::string_view::npos ? s : s.substr(0, nul));
}

std::string ControlsToSpaces(std::string_view s) {
  std::string out(s);
  for (char& ch : out) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F) ch = ' ';
  }
  return out;
}

std::string LogExcerpt(std::string_view s, size_t maxChars) {
  if (s.size() <= maxChars) return ControlsToSpaces(s);
  return ControlsToSpaces(s.substr(0, maxChars)) + " ... (" + std::to_string(s.size()) + " bytes)";
}
