// registry.reg: the text `reg export` writes (Version 5.00 or REGEDIT4).
#include <cctype>
#include <cstdlib>

#include "platform/sim/state.h"

namespace sim {
namespace {

// Unicode code points of Windows-1252 bytes 0x80..0x9F (0 = unassigned).
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char NarrowUnit(uint16_t u) {
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<char>(u);
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == u) return static_cast<char>(0x80 + i);
  }
  if (u >= 0x80 && u < 0xA0) return static_cast<char>(u);
  return '?';
}

// UTF-16LE bytes -> ANSI (Windows-1252); an odd trailing byte is dropped.
std::string Narrow(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const uint16_t u = static_cast<uint16_t>(static_cast<unsigned char>(bytes[i]) |
                                             (static_cast<unsigned char>(bytes[i + 1]) << 8));
    out += NarrowUnit(u);
  }
  return out;
}

bool StartsWithNoCase(const std::string& s, const std::string& prefix) {
  return s.size() >= prefix.size() && EqualNoCase(s.substr(0, prefix.size()), prefix);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Parses a quoted string starting at s[*pos] == '"'; leaves *pos after the
// closing quote. False when the closing quote is missing.
bool ParseQuoted(const std::string& s, size_t* pos, std::string* out) {
  size_t i = *pos + 1;
  out->clear();
  while (i < s.size()) {
    const char c = s[i];
    if (c == '\\' && i + 1 < s.size()) {
      *out += s[i + 1];
      i += 2;
      continue;
    }
    if (c == '"') {
      *pos = i + 1;
      return true;
    }
    *out += c;
    ++i;
  }
  return false;
}

bool ParseMask(const std::string& text, uint32_t* mask) {
  const std::string t = Trim(text);
  if (EqualNoCase(t, "KEY_READ")) {
    *mask = os::kKeyRead;
    return true;
  }
  if (EqualNoCase(t, "KEY_ALL_ACCESS")) {
    *mask = os::kKeyAllAccess;
    return true;
  }
  std::string digits = t;
  if (StartsWithNoCase(digits, "0x")) digits = digits.substr(2);
  if (digits.empty() || digits.size() > 8) return false;
  uint32_t v = 0;
  for (char c : digits) {
    const int d = HexDigit(c);
    if (d < 0) return false;
    v = v * 16 + static_cast<uint32_t>(d);
  }
  if (v == 0) return false;
  *mask = v;
  return true;
}

}  // namespace

std::string ParseRegFile(const std::string& raw, const std::string& fileLabel, RegNode* root) {
  std::string text;
  if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF &&
      static_cast<unsigned char>(raw[1]) == 0xFE) {
    text = Narrow(raw.substr(2));
  } else if (raw.rfind("\xEF\xBB\xBF", 0) == 0) {
    text = raw.substr(3);
  } else {
    text = raw;
  }
  const std::vector<std::string> lines = SplitLines(text);

  bool headerSeen = false;
  bool version5 = false;
  RegNode* current = nullptr;
  bool ignoring = false;  // inside a [-key] deletion
  for (size_t i = 0; i < lines.size(); ++i) {
    const size_t lineNo = i + 1;
    const std::string where = fileLabel + ":" + std::to_string(lineNo) + ": ";
    std::string t = Trim(lines[i]);
    if (t.empty()) continue;
    if (!headerSeen) {
      if (t == "Windows Registry Editor Version 5.00") {
        version5 = true;
      } else if (t != "REGEDIT4") {
        return where + "expected the header \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"";
      }
      headerSeen = true;
      continue;
    }
    if (t[0] == ';') {
      if (!StartsWithNoCase(t, ";sim:")) continue;
      const std::string directive = Trim(t.substr(5));
      if (!StartsWithNoCase(directive, "deny=")) return where + "unknown directive " + t;
      uint32_t mask = 0;
      if (!ParseMask(directive.substr(5), &mask)) {
        return where + "deny needs KEY_READ, KEY_ALL_ACCESS or a hex mask";
      }
      if (ignoring) continue;
      if (current == nullptr) return where + "deny directive outside a key";
      current->denyMasks.push_back(mask);
      continue;
    }
    if (t[0] == '[') {
      if (t.back() != ']') return where + "key line without closing ]";
      std::string path = t.substr(1, t.size() - 2);
      if (!path.empty() && path[0] == '-') {
        ignoring = true;
        current = nullptr;
        continue;
      }
      ignoring = false;
      std::vector<std::string> parts;
      size_t start = 0;
      while (true) {
        const size_t sep = path.find('\\', start);
        parts.push_back(path.substr(start, sep == std::string::npos ? std::string::npos : sep - start));
        if (sep == std::string::npos) break;
        start = sep + 1;
      }
      if (!EqualNoCase(parts[0], "HKEY_LOCAL_MACHINE")) {
        return where + "only HKEY_LOCAL_MACHINE keys are simulated";
      }
      RegNode* node = root;
      for (size_t p = 1; p < parts.size(); ++p) {
        if (parts[p].empty()) return where + "empty key name in " + path;
        auto& child = node->children[Upper(parts[p])];
        if (!child) {
          child = std::make_unique<RegNode>();
          child->name = parts[p];
        }
        node = child.get();
      }
      current = node;
      continue;
    }
    if (t[0] != '"' && t[0] != '@') return where + "unrecognized line " + t;

    // A value: "Name"=data or @=data.
    std::string name;
    size_t pos = 0;
    if (t[0] == '@') {
      pos = 1;
    } else if (!ParseQuoted(t, &pos, &name)) {
      return where + "value name without closing quote";
    }
    while (pos < t.size() && (t[pos] == ' ' || t[pos] == '\t')) ++pos;
    if (pos >= t.size() || t[pos] != '=') return where + "expected = after the value name";
    std::string data = Trim(t.substr(pos + 1));
    // Line continuations (hex data).
    while (!data.empty() && data.back() == '\\' && data[0] != '"') {
      data.pop_back();
      if (i + 1 >= lines.size()) return where + "continuation at the end of the file";
      data += Trim(lines[++i]);
    }
    if (ignoring) continue;
    if (current == nullptr) return where + "value outside a key";

    RegValue value;
    value.name = name;
    if (data == "-") continue;  // deletion: ignored
    if (!data.empty() && data[0] == '"') {
      size_t q = 0;
      std::string s;
      if (!ParseQuoted(data, &q, &s)) return where + "string value without closing quote";
      if (!Trim(data.substr(q)).empty()) return where + "text after the closing quote";
      value.type = os::kRegSz;
      value.data = s + '\0';
    } else if (StartsWithNoCase(data, "dword:")) {
      const std::string digits = Trim(data.substr(6));
      if (digits.empty() || digits.size() > 8) return where + "dword needs 1 to 8 hex digits";
      uint32_t v = 0;
      for (char c : digits) {
        const int d = HexDigit(c);
        if (d < 0) return where + "dword needs 1 to 8 hex digits";
        v = v * 16 + static_cast<uint32_t>(d);
      }
      value.type = os::kRegDword;
      for (int b = 0; b < 4; ++b) value.data += static_cast<char>((v >> (8 * b)) & 0xFF);
    } else if (StartsWithNoCase(data, "hex")) {
      size_t p = 3;
      uint32_t type = os::kRegBinary;
      if (p < data.size() && data[p] == '(') {
        const size_t close = data.find(')', p);
        if (close == std::string::npos || close == p + 1 || close - p - 1 > 8) {
          return where + "malformed hex(N) type";
        }
        type = 0;
        for (size_t k = p + 1; k < close; ++k) {
          const int d = HexDigit(data[k]);
          if (d < 0) return where + "malformed hex(N) type";
          type = type * 16 + static_cast<uint32_t>(d);
        }
        p = close + 1;
      }
      if (p >= data.size() || data[p] != ':') return where + "expected : after hex";
      const std::string list = data.substr(p + 1);
      std::string bytes;
      size_t start = 0;
      if (!Trim(list).empty()) {
        while (true) {
          const size_t comma = list.find(',', start);
          const std::string token =
              Trim(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
          if (token.empty() && comma == std::string::npos) break;  // trailing comma
          if (token.empty() || token.size() > 2 || HexDigit(token[0]) < 0 ||
              (token.size() == 2 && HexDigit(token[1]) < 0)) {
            return where + "bad hex byte \"" + token + "\"";
          }
          int v = HexDigit(token[0]);
          if (token.size() == 2) v = v * 16 + HexDigit(token[1]);
          bytes += static_cast<char>(v);
          if (comma == std::string::npos) break;
          start = comma + 1;
        }
      }
      if (version5 && (type == os::kRegSz || type == os::kRegExpandSz || type == os::kRegMultiSz)) {
        bytes = Narrow(bytes);
      }
      value.type = type;
      value.data = bytes;
    } else {
      return where + "unrecognized value data " + data;
    }
    current->values[Upper(name)] = value;
  }
  if (!headerSeen) {
    return fileLabel + ":1: expected the header \"Windows Registry Editor Version 5.00\" or \"REGEDIT4\"";
  }
  return {};
}

}  // namespace sim
