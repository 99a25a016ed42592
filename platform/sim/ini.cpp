// GetPrivateProfileStringA / WritePrivateProfileStringA over drive_c files.
#include <fstream>
#include <sstream>

#include "platform/sim/state.h"

namespace sim {
namespace {

bool ReadIni(const Resolved& r, std::vector<std::string>* lines) {
  if (!r.exists || r.isDir) return false;
  std::ifstream in(r.host, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  *lines = SplitLines(ss.str());
  return true;
}

// The section name of a header line, or false when the line is no header.
bool SectionHeader(const std::string& line, std::string* name) {
  const std::string t = Trim(line);
  if (t.empty() || t[0] != '[') return false;
  const size_t close = t.find(']');
  *name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
  return true;
}

// Splits a "key=value" line; false when it has no '='.
bool KeyLine(const std::string& line, std::string* key, std::string* value) {
  const size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  *key = Trim(line.substr(0, eq));
  *value = Trim(line.substr(eq + 1));
  return true;
}

}  // namespace
}  // namespace sim

namespace os {

uint32_t GetPrivateProfileString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue, uint32_t bufferSize,
                                 const std::string& path, std::string* out) {
  std::string result = defaultValue;
  while (!result.empty() && result.back() == ' ') result.pop_back();

  std::vector<std::string> lines;
  if (sim::ReadIni(sim::Resolve(path), &lines)) {
    const std::string wantedSection = sim::Trim(section);
    const std::string wantedKey = sim::Trim(key);
    bool inSection = false, seen = false;
    for (const std::string& line : lines) {
      std::string name, k, v;
      if (sim::SectionHeader(line, &name)) {
        if (seen) break;  // only the first section of that name counts
        inSection = sim::EqualNoCase(name, wantedSection);
        seen = inSection;
        continue;
      }
      if (!inSection || !sim::KeyLine(line, &k, &v) || !sim::EqualNoCase(k, wantedKey)) continue;
      if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) {
        v = v.substr(1, v.size() - 2);
      }
      result = v;
      break;
    }
  }
  if (bufferSize == 0) {
    *out = "";
    return 0;
  }
  if (result.size() > bufferSize - 1) result.resize(bufferSize - 1);
  *out = result;
  return static_cast<uint32_t>(result.size());
}

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& path) {
  const sim::Resolved r = sim::Resolve(path);
  if (!r.valid || !r.parentExists) {
    sim::M().lastError = kErrorPathNotFound;
    return false;
  }
  if (r.isDir) {
    sim::M().lastError = kErrorAccessDenied;
    return false;
  }
  std::vector<std::string> lines;
  sim::ReadIni(r, &lines);

  const std::string wantedSection = sim::Trim(section);
  const std::string wantedKey = sim::Trim(key);
  const std::string entry = wantedKey + "=" + value;
  size_t header = lines.size();
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string name;
    if (sim::SectionHeader(lines[i], &name) && sim::EqualNoCase(name, wantedSection)) {
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
      if (sim::SectionHeader(lines[i], &name)) break;
      if (!sim::Trim(lines[i]).empty()) lastNonBlank = i;
      if (sim::KeyLine(lines[i], &k, &v) && sim::EqualNoCase(k, wantedKey)) {
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
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return sim::WriteChange(path, r.host, text, false) == kErrorSuccess;
}

}  // namespace os
