#include "base/ini_text.h"

#include <cstddef>
#include <vector>

bool IniSectionHeader(std::string_view line, std::string* name) {
  const std::string t = TrimSpacesTabs(line);
  if (t.empty() || t[0] != '[') return false;
  const size_t close = t.find(']');
  *name = TrimSpacesTabs(std::string_view(t).substr(1, close == std::string::npos ? std::string::npos : close - 1));
  return true;
}

bool IniKeyLine(std::string_view line, std::string* key, std::string* value) {
  const size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  *key = TrimSpacesTabs(line.substr(0, eq));
  *value = TrimSpacesTabs(line.substr(eq + 1));
  return true;
}

std::string SetIniValue(std::string_view text, const std::string& section, const std::string& key,
                        const std::string& value, IniNamesEqual equal) {
  std::vector<std::string> lines = SplitLines(text);
  const std::string wantedSection = TrimSpacesTabs(section);
  const std::string wantedKey = TrimSpacesTabs(key);
  const std::string entry = wantedKey + "=" + value;
  size_t header = lines.size();
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string name;
    if (IniSectionHeader(lines[i], &name) && equal(name, wantedSection)) {
      header = i;
      break;
    }
  }
  if (header == lines.size()) {
    lines.push_back("[" + wantedSection + "]");
    lines.push_back(entry);
  } else {
    size_t lastNonBlank = header;
    size_t found = lines.size();
    for (size_t i = header + 1; i < lines.size(); ++i) {
      std::string name, k, v;
      if (IniSectionHeader(lines[i], &name)) break;
      if (!TrimSpacesTabs(lines[i]).empty()) lastNonBlank = i;
      if (IniKeyLine(lines[i], &k, &v) && equal(k, wantedKey)) {
        found = i;
        break;
      }
    }
    if (found != lines.size()) {
      lines[found] = entry;
    } else {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastNonBlank + 1), entry);
    }
  }
  std::string out;
  for (const std::string& line : lines) out += line + "\r\n";
  return out;
}
