#include "tests/scenario/scenario.h"

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace scenario {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string MachineIni(const fs::path& machine, const std::string& section, const std::string& key,
                       const std::string& fallback) {
  std::istringstream ini(ReadFile(machine / "machine.ini"));
  std::string line, current, found = fallback;
  while (std::getline(ini, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string t = Trim(line);
    if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
      current = Lower(Trim(t.substr(1, t.size() - 2)));
      continue;
    }
    const size_t eq = t.find('=');
    // The last one wins, as the simulated machine reads it.
    if (current == Lower(section) && eq != std::string::npos && Lower(Trim(t.substr(0, eq))) == Lower(key)) {
      found = Trim(t.substr(eq + 1));
    }
  }
  return found;
}

namespace {

std::string Unquote(const std::string& v) {
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') return v.substr(1, v.size() - 2);
  return v;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string cur;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      if (!cur.empty() && cur.back() == '\r') cur.pop_back();
      lines.push_back(cur);
      cur.clear();
    } else {
      cur += text[i];
    }
  }
  if (!cur.empty()) lines.push_back(cur);
  return lines;
}

long CountCrLf(const std::string& text) {
  long n = 0;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++n;
  return n;
}

// An expected line: exact text, or "~ <regex>" for the whole line.
bool LineMatches(const std::string& expected, const std::string& actual) {
  if (expected.rfind("~ ", 0) == 0) return std::regex_match(actual, std::regex(expected.substr(2)));
  return expected == actual;
}

std::string RegexEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) out += '\\';
    out += c;
  }
  return out;
}

std::string Expand(std::string line, const std::string& version, const ShortPathFn& shortPath) {
  if (line == "<empty>") return {};
  const bool regex = line.rfind("~ ", 0) == 0;
  size_t at;
  while ((at = line.find("{VERSION}")) != std::string::npos) line.replace(at, 9, version);
  for (const std::string_view open : {kShortOpen, kArgOpen}) {
    while ((at = line.find(open)) != std::string::npos) {
      const size_t end = line.find('}', at);
      if (end == std::string::npos) break;
      const std::string path = line.substr(at + open.size(), end - at - open.size());
      std::string resolved = shortPath ? shortPath(path) : path;
      // The agent quotes an argument that holds a blank or an operator character.
      if (open == kArgOpen && resolved.find_first_of(" \t&|<>^()%!,;=\"'`") != std::string::npos)
        resolved = "\"" + resolved + "\"";
      line.replace(at, end - at + 1, regex ? RegexEscape(resolved) : resolved);
    }
  }
  return line;
}

}  // namespace

Scenario Load(const fs::path& folder) {
  Scenario s;
  s.folder = folder;
  s.name = folder.filename().string();
  const fs::path file = folder / "scenario.ini";
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error(file.string() + ": cannot be read");

  std::vector<fs::path> layers{folder / "machine"};
  std::string section;
  std::string line;
  int number = 0;
  auto fail = [&](const std::string& why) {
    throw std::runtime_error(file.string() + ":" + std::to_string(number) + ": " + why);
  };
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    if (trimmed[0] == '|' && Lower(section).rfind("file ", 0) == 0) {
      // File content: "| " then the line, so that "[Section]" lines stay content.
      s.files.back().lines.push_back(trimmed.size() > 2 ? trimmed.substr(2) : std::string());
      continue;
    }
    if (trimmed.front() == '[' && trimmed.back() == ']') {
      section = trimmed.substr(1, trimmed.size() - 2);
      const std::string lower = Lower(section);
      if (lower == "run") s.runs.emplace_back();
      if (lower.rfind("file ", 0) == 0) s.files.push_back({Trim(section.substr(5)), {}});
      continue;
    }
    const std::string lower = Lower(section);
    auto keyValue = [&](std::string* key, std::string* value) {
      size_t eq = line.find('=');
      if (eq == std::string::npos) fail("expected key=value");
      *key = Lower(Trim(line.substr(0, eq)));
      *value = Trim(line.substr(eq + 1));
    };
    std::string key, value;
    if (lower == "machine") {
      keyValue(&key, &value);
      if (key != "base") fail("unknown key " + key);
      layers.insert(layers.begin(), folder.parent_path() / value / "machine");
    } else if (lower == "setup") {
      keyValue(&key, &value);
      size_t bar = value.rfind('|');
      if (key == "remove") {
        s.removals.push_back(value);
      } else if (key == "fill" && bar != std::string::npos) {
        s.fills.emplace_back(value.substr(0, bar), std::stoull(value.substr(bar + 1)));
      } else {
        fail("expected fill=<path>|<bytes> or remove=<path>");
      }
    } else if (lower == "run") {
      keyValue(&key, &value);
      Run& run = s.runs.back();
      if (key == "arg") run.args.push_back(Unquote(value));
      else if (key == "clock") run.clock = value;
      else if (key == "hold-instance") run.holdInstance = value == "1";
      else if (key == "exit") run.exitCode = std::stoi(value);
      else if (key == "program" && (value == kTransferProbe || value == kLauncherProbe)) run.program = value;
      else if (key == "program")
        fail(std::string("the only other programs are ") + kTransferProbe + " and " + kLauncherProbe);
      else fail("unknown key " + key);
    } else if (lower == "servers") {
      keyValue(&key, &value);
      if (key == "http") s.servers.httpFolder = value;
      else if (key == "ftp") s.servers.ftpFolder = value;
      else if (key == "proxy-auth") s.servers.proxyAuth = value;
      else if (key == "http-status" || key == "http-delay" || key == "http-cut") {
        if (value.find('|') == std::string::npos) fail("expected " + key + "=/path|number");
        s.servers.httpRules.emplace_back(key.substr(5), value);
      } else {
        fail("unknown key " + key);
      }
    } else if (lower == "tools") {
      keyValue(&key, &value);
      if (key != "place" || value.empty()) fail("expected place=<C:\\path of a tool>");
      s.tools.push_back(value);
    } else if (lower == "backends") {
      keyValue(&key, &value);
      s.unsupportedBackends.emplace_back(key, value);
    } else if (lower == "log") {
      s.log.push_back(line);
    } else if (lower == "log-absent") {
      s.logAbsent.push_back(line);
    } else if (lower == "log-sim") {
      s.logSim.push_back(line);
    } else if (lower == "file-count") {
      const size_t eq = line.rfind('=');
      if (eq == std::string::npos) fail("expected <path pattern>=<count>");
      s.fileCounts.emplace_back(Trim(line.substr(0, eq)), std::stoi(line.substr(eq + 1)));
    } else if (lower == "file-absent") {
      s.fileAbsent.push_back(trimmed);
    } else if (lower == "stderr") {
      s.stderrTexts.push_back(trimmed);
    } else if (lower.rfind("file ", 0) == 0) {
      fail("file lines begin with \"| \"");
    } else {
      fail("line outside a known section");
    }
  }
  if (s.runs.empty()) s.runs.emplace_back();
  s.machineLayers = layers;
  return s;
}

std::vector<fs::path> FindAll(const fs::path& root) {
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator(root)) {
    if (entry.is_directory() && fs::exists(entry.path() / "scenario.ini")) found.push_back(entry.path());
  }
  std::sort(found.begin(), found.end());
  return found;
}

fs::path HostPath(const fs::path& machine, const std::string& windowsPath) {
  std::string rest = windowsPath;
  if (rest.size() >= 2 && (rest[0] == 'C' || rest[0] == 'c') && rest[1] == ':') rest = rest.substr(2);
  fs::path current = machine / "drive_c";
  std::stringstream parts(rest);
  std::string part;
  while (std::getline(parts, part, '\\')) {
    if (part.empty()) continue;
    fs::path next = current / part;
    if (fs::is_directory(current)) {
      for (const auto& entry : fs::directory_iterator(current)) {
        if (Lower(entry.path().filename().string()) == Lower(part)) {
          next = entry.path();
          break;
        }
      }
    }
    current = next;
  }
  return current;
}

namespace {

bool WildcardMatch(const std::string& pattern, const std::string& text) {
  if (pattern.empty()) return text.empty();
  if (pattern[0] == '*') {
    for (size_t i = 0; i <= text.size(); ++i) {
      if (WildcardMatch(pattern.substr(1), text.substr(i))) return true;
    }
    return false;
  }
  return !text.empty() && std::tolower(static_cast<unsigned char>(pattern[0])) ==
                              std::tolower(static_cast<unsigned char>(text[0])) &&
         WildcardMatch(pattern.substr(1), text.substr(1));
}

}  // namespace

std::vector<fs::path> Matching(const fs::path& machine, const std::string& windowsPattern) {
  const size_t slash = windowsPattern.find_last_of('\\');
  const fs::path folder = HostPath(machine, windowsPattern.substr(0, slash));
  const std::string name = windowsPattern.substr(slash + 1);
  std::vector<fs::path> found;
  if (name.find('*') == std::string::npos) {
    const fs::path host = HostPath(machine, windowsPattern);
    if (fs::is_regular_file(host)) found.push_back(host);
    return found;
  }
  if (!fs::is_directory(folder)) return found;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file() && WildcardMatch(name, entry.path().filename().string())) {
      found.push_back(entry.path());
    }
  }
  return found;
}

std::string LogWindowsPath(const fs::path& machine) {
  const std::string program =
      MachineIni(machine, "System", "ProgramPath", "C:\\Program Files (x86)\\Agent\\AVUpdate\\avdefupdate.exe");
  return program.substr(0, program.find_last_of('\\')) + "\\AntivirusAutoUpdLog_New.log";
}

void PrepareMachine(const Scenario& s, const fs::path& machine) {
  fs::create_directories(machine);
  for (const fs::path& layer : s.machineLayers) {
    if (!fs::exists(layer)) throw std::runtime_error(layer.string() + ": no such machine folder");
    fs::copy(layer, machine, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  }
  for (const std::string& path : s.removals) fs::remove_all(HostPath(machine, path));
  for (const auto& [path, bytes] : s.fills) {
    const fs::path host = HostPath(machine, path);
    fs::create_directories(host.parent_path());
    std::ofstream out(host, std::ios::binary);
    // 64 bytes a line, so that the usual sizes hold whole lines.
    const std::string line = "01/01/2026 00:00:00\tMSG : filler line of an earlier run ......\r\n";
    for (uint64_t written = 0; written < bytes; written += line.size()) {
      out.write(line.data(), static_cast<std::streamsize>(std::min<uint64_t>(line.size(), bytes - written)));
    }
  }
}

void PlaceTools(const Scenario& s, const fs::path& root, const fs::path& toolBinary) {
  for (const std::string& path : s.tools) {
    const fs::path host = HostPath(root, path);
    fs::create_directories(host.parent_path());
    fs::copy_file(toolBinary, host, fs::copy_options::overwrite_existing);
  }
}

std::vector<std::string> ShortPathsNamed(const Scenario& s) {
  std::vector<std::string> paths;
  auto scan = [&](const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
      for (const std::string_view open : {kShortOpen, kArgOpen}) {
        for (size_t at = line.find(open); at != std::string::npos; at = line.find(open, at + 1)) {
          const size_t end = line.find('}', at);
          if (end == std::string::npos) break;
          const std::string path = line.substr(at + open.size(), end - at - open.size());
          if (std::find(paths.begin(), paths.end(), path) == paths.end()) paths.push_back(path);
        }
      }
    }
  };
  scan(s.log);
  scan(s.logAbsent);
  scan(s.logSim);
  for (const ExpectedFile& f : s.files) scan(f.lines);
  return paths;
}

std::vector<std::string> Check(const Scenario& s, const fs::path& machine,
                               const std::vector<Outcome>& outcomes, bool simBackend,
                               const std::string& fileVersion, const ShortPathFn& shortPath) {
  std::vector<std::string> failures;
  for (size_t i = 0; i < outcomes.size() && i < s.runs.size(); ++i) {
    if (outcomes[i].exitCode != s.runs[i].exitCode) {
      failures.push_back("run " + std::to_string(i + 1) + ": exit code " +
                         std::to_string(outcomes[i].exitCode) + ", expected " +
                         std::to_string(s.runs[i].exitCode) + "; stderr: " + outcomes[i].stderrText);
    }
  }
  const std::string lastStderr = outcomes.empty() ? std::string() : outcomes.back().stderrText;
  for (const std::string& text : s.stderrTexts) {
    if (lastStderr.find(text) == std::string::npos) failures.push_back("stderr lacks: " + text);
  }

  const fs::path logPath = HostPath(machine, LogWindowsPath(machine));
  const bool wantsLog = !s.log.empty() || !s.logSim.empty();
  std::vector<std::string> lines;
  std::vector<std::string> messages;
  if (fs::exists(logPath)) {
    const std::string text = ReadFile(logPath);
    if (text.find('\n') != std::string::npos && text.find("\r\n") == std::string::npos) {
      failures.push_back("log lines do not end in CR LF");
    }
    lines = SplitLines(text);
    static const std::regex stamp(R"(^\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\t)");
    for (size_t i = 0; i < lines.size(); ++i) {
      std::smatch m;
      if (std::regex_search(lines[i], m, stamp)) {
        messages.push_back(lines[i].substr(m.length()));
      } else if (lines[i].empty()) {
        messages.push_back("");
      } else if (lines[i].find("filler line of an earlier run") == std::string::npos) {
        failures.push_back("log line " + std::to_string(i + 1) + " has no time stamp: " + lines[i]);
      }
    }
  } else if (wantsLog) {
    failures.push_back("no log at " + logPath.string());
  }

  auto inOrder = [&](const std::vector<std::string>& expected, const std::vector<std::string>& actual,
                     const char* what) {
    size_t at = 0;
    for (const std::string& raw : expected) {
      const std::string want = Expand(raw, fileVersion, shortPath);
      auto hit = std::find_if(actual.begin() + static_cast<long>(at), actual.end(),
                              [&](const std::string& a) { return LineMatches(want, a); });
      if (hit == actual.end()) {
        failures.push_back(std::string(what) + " lacks (in order): " + want);
        return;
      }
      at = static_cast<size_t>(hit - actual.begin()) + 1;
    }
  };
  inOrder(s.log, messages, "log");
  if (simBackend) inOrder(s.logSim, lines, "log (sim)");
  for (const std::string& raw : s.logAbsent) {
    const std::string unwanted = Expand(raw, fileVersion, shortPath);
    if (std::any_of(messages.begin(), messages.end(),
                    [&](const std::string& m) { return LineMatches(unwanted, m); })) {
      failures.push_back("log has unexpected line: " + unwanted);
    }
  }

  for (const auto& [pattern, count] : s.fileCounts) {
    const size_t n = Matching(machine, pattern).size();
    if (n != static_cast<size_t>(count)) {
      failures.push_back(pattern + ": " + std::to_string(n) + " files, expected " + std::to_string(count));
    }
  }
  for (const ExpectedFile& f : s.files) {
    const std::vector<fs::path> found = Matching(machine, f.windowsPath);
    if (found.size() != 1) {
      failures.push_back(std::to_string(found.size()) + " files match " + f.windowsPath + ", expected one");
      continue;
    }
    const fs::path host = found.front();
    const std::string got = ReadFile(host);
    const std::vector<std::string> gotLines = SplitLines(got);
    const bool crlf = std::count(got.begin(), got.end(), '\n') == CountCrLf(got) &&
                      (got.empty() || got.back() == '\n');
    bool same = crlf && gotLines.size() == f.lines.size();
    for (size_t i = 0; same && i < gotLines.size(); ++i) {
      same = LineMatches(Expand(f.lines[i], fileVersion, shortPath), gotLines[i]);
    }
    if (!same) failures.push_back("file " + f.windowsPath + " holds:\n" + got);
  }
  for (const std::string& p : s.fileAbsent) {
    if (fs::exists(HostPath(machine, p))) failures.push_back("file should not exist: " + p);
  }
  return failures;
}

}  // namespace scenario
