// GetPrivateProfileStringA / WritePrivateProfileStringA over drive_c files.
#include <fstream>
#include <sstream>

#include "base/ini_text.h"
#include "platform/sim/state.h"

namespace sim {
namespace {

bool ReadIni(const Resolved& r, std::string* text) {
  if (!r.exists || r.isDir) return false;
  std::ifstream in(r.host, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  *text = ss.str();
  return true;
}

// Windows compares profile names in the ANSI code page, not ASCII only.
bool SameName(std::string_view a, std::string_view b) { return EqualNoCase(std::string(a), std::string(b)); }

}  // namespace
}  // namespace sim

namespace os {

uint32_t GetPrivateProfileString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue, uint32_t bufferSize,
                                 const std::string& path, std::string* out) {
  std::string result = defaultValue;
  while (!result.empty() && result.back() == ' ') result.pop_back();

  std::string text;
  if (sim::ReadIni(sim::Resolve(path), &text)) {
    const std::string wantedSection = sim::Trim(section);
    const std::string wantedKey = sim::Trim(key);
    bool inSection = false, seen = false;
    for (const std::string& line : SplitLines(text)) {
      std::string name, k, v;
      if (IniSectionHeader(line, &name)) {
        if (seen) break;  // only the first section of that name counts
        inSection = sim::EqualNoCase(name, wantedSection);
        seen = inSection;
        continue;
      }
      if (!inSection || !IniKeyLine(line, &k, &v) || !sim::EqualNoCase(k, wantedKey)) continue;
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
  std::string text;
  (void)sim::ReadIni(r, &text);  // a missing file starts empty
  text = SetIniValue(text, section, key, value, sim::SameName);
  return sim::WriteChange(path, r.host, text, false) == kErrorSuccess;
}

}  // namespace os
