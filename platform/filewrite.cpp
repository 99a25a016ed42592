#include "platform/filewrite.h"

#include <vector>

#include "base/text.h"
#include "platform/log.h"
#include "platform/regfiles.h"

long ReplaceFileAtomically(const std::string& path, const std::string& bytes) {
  const std::string temp = path + kTempSuffix;
  long err = os::WriteWholeFile(temp, bytes);
  if (err == os::kErrorSuccess) err = os::MoveFileEx(temp, path);
  // The failed step's code is the one to report; a temporary that stays is
  // removed by the next run's housekeeping.
  if (err != os::kErrorSuccess && os::FileExists(temp)) (void)os::DeleteFile(temp);
  return err;
}

std::string ErrorCause(RunContext& rc, long code) {
  const std::string text = fncFormatMessage(rc, static_cast<uint32_t>(code));
  return text.empty() ? std::to_string(code) : text;
}

bool WriteFileChecked(RunContext& rc, const std::string& path, const std::string& bytes,
                      std::string_view failureLine) {
  const long err = ReplaceFileAtomically(path, bytes);
  if (err == os::kErrorSuccess) return true;
  WriteLog(rc, std::string(failureLine) + path + ". ErrDesc: " + ErrorCause(rc, err));
  return false;
}

bool CopyFileChecked(RunContext& rc, const std::string& source, const std::string& destination,
                     bool deleteSource, std::string_view failureLine) {
  std::string bytes;
  long err = os::ReadWholeFile(source, &bytes);
  if (err != os::kErrorSuccess) {
    WriteLog(rc, std::string(failureLine) + source + ". ErrDesc: " + ErrorCause(rc, err));
    return false;
  }
  if (!WriteFileChecked(rc, destination, bytes, failureLine)) return false;
  if (!deleteSource) return true;
  // Clears read-only; the delete's own result says whether the file went.
  (void)os::SetFileAttributes(source, os::kFileAttributeNormal);
  err = os::DeleteFile(source);
  if (err != os::kErrorSuccess) {
    WriteLog(rc, "ERR : Could not delete " + source + " after copying it to " + destination +
                     ". ErrDesc: " + ErrorCause(rc, err));
    return false;
  }
  return true;
}

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

std::string Blank(std::string_view s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(" \t");
  return std::string(s.substr(b, e - b + 1));
}

bool SectionHeader(const std::string& line, std::string* name) {
  const std::string t = Blank(line);
  if (t.empty() || t[0] != '[') return false;
  const size_t close = t.find(']');
  *name = Blank(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
  return true;
}

bool KeyIs(const std::string& line, const std::string& key) {
  const size_t eq = line.find('=');
  return eq != std::string::npos && EqualsNoCase(Blank(line.substr(0, eq)), key);
}

}  // namespace

std::string SetIniValue(const std::string& text, const std::string& section,
                        const std::string& key, const std::string& value) {
  std::vector<std::string> lines = Lines(text);
  const std::string wantedSection = Blank(section);
  const std::string wantedKey = Blank(key);
  const std::string entry = wantedKey + "=" + value;
  size_t header = lines.size();
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string name;
    if (SectionHeader(lines[i], &name) && EqualsNoCase(name, wantedSection)) {
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
      std::string name;
      if (SectionHeader(lines[i], &name)) break;
      if (!Blank(lines[i]).empty()) lastNonBlank = i;
      if (KeyIs(lines[i], wantedKey)) {
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

bool WriteIniValue(RunContext& rc, const std::string& path, const std::string& section,
                   const std::string& key, const std::string& value) {
  std::string text;
  if (os::FileExists(path)) {
    const long err = os::ReadWholeFile(path, &text);
    if (err != os::kErrorSuccess) {
      // Writing without the old content would lose its other sections.
      WriteLog(rc, "ERR : Could not read " + path + ". ErrDesc: " + ErrorCause(rc, err));
      return false;
    }
  }
  return WriteFileChecked(rc, path, SetIniValue(text, section, key, ControlsToSpaces(value)));
}
