#include "tests/scenario/servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <stdexcept>

extern char** environ;

namespace fs = std::filesystem;

namespace scenario {

namespace {

bool WaitReadable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) > 0;
}

std::string LowerText(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool SendAll(int fd, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

std::string PercentDecode(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string Base64(const std::string& in) {
  static const char* const kChars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < in.size(); i += 3) {
    const uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8) | uint8_t(in[i + 2]);
    out += {kChars[v >> 18], kChars[(v >> 12) & 63], kChars[(v >> 6) & 63], kChars[v & 63]};
  }
  if (i + 1 == in.size()) {
    const uint32_t v = uint8_t(in[i]) << 16;
    out += {kChars[v >> 18], kChars[(v >> 12) & 63], '=', '='};
  } else if (i + 2 == in.size()) {
    const uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8);
    out += {kChars[v >> 18], kChars[(v >> 12) & 63], kChars[(v >> 6) & 63], '='};
  }
  return out;
}

std::string Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 304: return "Not Modified";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 407: return "Proxy Authentication Required";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

}  // namespace

HttpFolderServer::HttpFolderServer(fs::path root, std::map<std::string, HttpRule> rules, std::string proxyAuth)
    : root_(std::move(root)), rules_(std::move(rules)), proxyAuth_(std::move(proxyAuth)) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) throw std::runtime_error("socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0 || ::listen(listener_, 16) != 0) {
    ::close(listener_);
    throw std::runtime_error("cannot listen on loopback");
  }
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

HttpFolderServer::~HttpFolderServer() {
  stop_ = true;
  thread_.join();
  for (std::thread& t : workers_) t.join();
  ::close(listener_);
}

std::vector<std::string> HttpFolderServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void HttpFolderServer::Serve() {
  while (!stop_) {
    if (!WaitReadable(listener_, 20)) continue;
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    workers_.emplace_back([this, client] {
      Handle(client);
      ::close(client);
    });
  }
}

void HttpFolderServer::Handle(int client) {
  std::string data;
  size_t headerEnd = std::string::npos;
  char buf[8192];
  while (!stop_ && headerEnd == std::string::npos && data.size() < (1 << 20) && WaitReadable(client, 5000)) {
    const ssize_t n = ::recv(client, buf, sizeof buf, 0);
    if (n <= 0) return;
    data.append(buf, static_cast<size_t>(n));
    headerEnd = data.find("\r\n\r\n");
  }
  if (headerEnd == std::string::npos) return;
  const std::string head = data.substr(0, headerEnd);
  const std::string lowerHead = LowerText(head);
  // Read and drop a request body.
  const size_t cl = lowerHead.find("\r\ncontent-length:");
  if (cl != std::string::npos) {
    const size_t want = std::strtoul(lowerHead.c_str() + cl + 17, nullptr, 10);
    while (!stop_ && data.size() < headerEnd + 4 + want && WaitReadable(client, 5000)) {
      const ssize_t n = ::recv(client, buf, sizeof buf, 0);
      if (n <= 0) break;
      data.append(buf, static_cast<size_t>(n));
    }
  }

  const std::string firstLine = head.substr(0, head.find("\r\n"));
  const size_t sp1 = firstLine.find(' ');
  const size_t sp2 = firstLine.find(' ', sp1 + 1);
  if (sp1 == std::string::npos || sp2 == std::string::npos) return;
  const std::string method = firstLine.substr(0, sp1);
  std::string target = firstLine.substr(sp1 + 1, sp2 - sp1 - 1);
  const bool proxied = target.find("://") != std::string::npos;
  if (proxied) {
    const size_t slash = target.find('/', target.find("://") + 3);
    target = slash == std::string::npos ? "/" : target.substr(slash);
  }
  const std::string path = PercentDecode(target.substr(0, target.find('?')));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(method + " " + path + (proxied ? " (proxy)" : ""));
  }

  auto answer = [&](int status, const std::string& body, const std::string& extra = "") {
    SendAll(client, "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) +
                        "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
                        "\r\n" + extra + "Connection: close\r\n\r\n" + (method == "HEAD" ? "" : body));
  };
  auto errorPage = [](int status) {
    return "<html><body><h1>" + std::to_string(status) + " " + Reason(status) + "</h1></body></html>";
  };

  if (proxied && !proxyAuth_.empty()) {
    const std::string wanted = "proxy-authorization: basic " + LowerText(Base64(proxyAuth_));
    if (lowerHead.find(wanted) == std::string::npos) {
      answer(407, errorPage(407), "Proxy-Authenticate: Basic realm=\"proxy\"\r\n");
      return;
    }
  }

  HttpRule rule;
  const auto it = rules_.find(path);
  if (it != rules_.end()) rule = it->second;
  if (rule.delayMs > 0) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(rule.delayMs);
    while (!stop_ && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (stop_) return;
  if (rule.status != 0) {
    answer(rule.status, rule.status == 204 || rule.status == 304 ? std::string() : errorPage(rule.status));
    return;
  }
  if (path.find("..") != std::string::npos) {
    answer(403, errorPage(403));
    return;
  }
  const fs::path file = root_ / fs::path(path).relative_path();
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st{};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd >= 0) ::close(fd);
    answer(404, errorPage(404));
    return;
  }
  const int64_t size = st.st_size;
  const std::string header = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                             std::to_string(size) + "\r\nConnection: close\r\n\r\n";
  if (SendAll(client, header) && method != "HEAD") {
    const int64_t limit = rule.cutAfter >= 0 && rule.cutAfter < size ? rule.cutAfter : size;
    off_t offset = 0;
    while (!stop_ && offset < limit) {
      const ssize_t n = ::sendfile(client, fd, &offset, static_cast<size_t>(std::min<int64_t>(limit - offset, 1 << 22)));
      if (n <= 0) break;
    }
  }
  ::close(fd);
  // A cut-off body ends with the connection, short of its announced length.
  ::shutdown(client, SHUT_RDWR);
}

namespace {

// Anonymous, read-only, passive; prints the port it listens on.
const char* const kFtpScript = R"(
import logging, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
logging.basicConfig(level=logging.ERROR)
authorizer = DummyAuthorizer()
authorizer.add_anonymous(sys.argv[1])
FTPHandler.authorizer = authorizer
FTPHandler.permit_foreign_addresses = False
server = FTPServer(("127.0.0.1", 0), FTPHandler)
print(server.address[1], flush=True)
server.serve_forever()
)";

}  // namespace

FtpFolderServer::FtpFolderServer(const fs::path& root) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) {
    error_ = "pipe failed";
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  const std::string rootText = fs::absolute(root).string();
  // Debian's own python3, where python3-pyftpdlib is installed.
  std::vector<std::string> args{"/usr/bin/python3", "-c", kFtpScript, rootText};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (spawned != 0) {
    ::close(out[0]);
    error_ = "cannot start /usr/bin/python3";
    return;
  }
  pid_ = pid;
  std::string line;
  char ch;
  while (WaitReadable(out[0], 15000) && ::read(out[0], &ch, 1) == 1 && ch != '\n') line += ch;
  ::close(out[0]);
  if (line.empty() || line.find_first_not_of("0123456789") != std::string::npos) {
    error_ = "pyftpdlib did not start (is python3-pyftpdlib installed? scripts/setup.sh)";
    return;
  }
  port_ = std::stoi(line);
}

FtpFolderServer::~FtpFolderServer() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
}

}  // namespace scenario
