#include "tests/scenario/network.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace scenario {

namespace {

std::string Replaced(std::string text, const std::map<std::string, std::string>& addresses) {
  for (const auto& [name, value] : addresses) {
    size_t at = 0;
    while ((at = text.find(name, at)) != std::string::npos) {
      text.replace(at, name.size(), value);
      at += value.size();
    }
  }
  return text;
}

}  // namespace

ScenarioServers::ScenarioServers(const Scenario& s) {
  const ServersSpec& spec = s.servers;
  if (!spec.httpFolder.empty()) {
    std::map<std::string, HttpRule> rules;
    for (const auto& [kind, value] : spec.httpRules) {
      const size_t bar = value.rfind('|');
      const std::string path = value.substr(0, bar);
      const long long n = std::stoll(value.substr(bar + 1));
      HttpRule& rule = rules[path];
      if (kind == "status") rule.status = static_cast<int>(n);
      else if (kind == "delay") rule.delayMs = static_cast<int>(n);
      else rule.cutAfter = n;
    }
    http_ = std::make_unique<HttpFolderServer>(s.folder / spec.httpFolder, rules, spec.proxyAuth);
    addresses_["{HTTP}"] = http_->BaseUrl();
    addresses_["{HTTP_PORT}"] = std::to_string(http_->port());
  }
  if (!spec.ftpFolder.empty()) {
    ftp_ = std::make_unique<FtpFolderServer>(s.folder / spec.ftpFolder);
    if (ftp_->port() == 0) throw std::runtime_error(s.name + ": FTP server: " + ftp_->error());
    addresses_["{FTP}"] = "127.0.0.1:" + std::to_string(ftp_->port());
    addresses_["{FTP_PORT}"] = std::to_string(ftp_->port());
  }
}

void WriteServerAddresses(const fs::path& machine, const std::map<std::string, std::string>& addresses) {
  if (addresses.empty() || !fs::exists(machine / "drive_c")) return;
  for (const auto& entry : fs::recursive_directory_iterator(machine / "drive_c")) {
    if (!entry.is_regular_file()) continue;
    std::string ext = entry.path().extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext != ".ini") continue;
    std::string text = ReadFile(entry.path());
    const std::string replaced = Replaced(text, addresses);
    if (replaced != text) std::ofstream(entry.path(), std::ios::binary | std::ios::trunc) << replaced;
  }
}

void ExpandServerAddresses(Scenario* s, const std::map<std::string, std::string>& addresses) {
  for (std::vector<std::string>* lines : {&s->log, &s->logAbsent, &s->logSim, &s->stderrTexts}) {
    for (std::string& line : *lines) line = Replaced(line, addresses);
  }
  for (ExpectedFile& f : s->files) {
    for (std::string& line : f.lines) line = Replaced(line, addresses);
  }
  for (Run& run : s->runs) {
    for (std::string& arg : run.args) arg = Replaced(arg, addresses);
  }
}

}  // namespace scenario
