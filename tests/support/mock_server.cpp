#include "tests/support/mock_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace {

int ListenOnLoopback(int* port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(fd);
    throw std::runtime_error("bind");
  }
  *port = ntohs(addr.sin_port);
  return fd;
}

// Waits up to the time-out for data; false on time-out or error.
bool WaitReadable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) > 0;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string PathOf(const std::string& target) {
  std::string path = target;
  const size_t scheme = path.find("://");
  if (scheme != std::string::npos) {
    const size_t slash = path.find('/', scheme + 3);
    path = slash == std::string::npos ? "/" : path.substr(slash);
  }
  return path.substr(0, path.find('?'));
}

const char* Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
  }
}

}  // namespace

MockServer::MockServer() {
  listener_ = ListenOnLoopback(&port_);
  if (::listen(listener_, 8) != 0) {
    ::close(listener_);
    throw std::runtime_error("listen");
  }
  thread_ = std::thread([this] { Serve(); });
}

MockServer::~MockServer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  stopped_.notify_all();
  thread_.join();
  ::close(listener_);
}

void MockServer::On(const std::string& path, const Reply& reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  routes_[path] = reply;
}

std::string MockServer::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

std::vector<MockServer::Request> MockServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

int MockServer::RefusingPort() {
  int port = 0;
  ::close(ListenOnLoopback(&port));
  return port;
}

void MockServer::Serve() {
  while (!stop_) {
    if (!WaitReadable(listener_, 20)) continue;
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    Handle(client);
    ::close(client);
  }
}

void MockServer::Handle(int client) {
  std::string data;
  size_t headerEnd = std::string::npos;
  size_t contentLength = 0;
  char buf[4096];
  // A client that stops sending is given up on rather than waited for.
  while (!stop_ && WaitReadable(client, 2000)) {
    const ssize_t n = ::recv(client, buf, sizeof buf, 0);
    if (n <= 0) break;
    data.append(buf, static_cast<size_t>(n));
    if (headerEnd == std::string::npos) {
      headerEnd = data.find("\r\n\r\n");
      if (headerEnd != std::string::npos) {
        const std::string lower = Lower(data.substr(0, headerEnd));
        const size_t cl = lower.find("\r\ncontent-length:");
        if (cl != std::string::npos) contentLength = std::strtoul(lower.c_str() + cl + 17, nullptr, 10);
      }
    }
    if (headerEnd != std::string::npos && data.size() >= headerEnd + 4 + contentLength) break;
  }
  if (headerEnd == std::string::npos) return;

  Request request;
  const size_t firstLineEnd = data.find("\r\n");
  const std::string firstLine = data.substr(0, firstLineEnd);
  const size_t sp1 = firstLine.find(' ');
  const size_t sp2 = firstLine.find(' ', sp1 + 1);
  request.method = firstLine.substr(0, sp1);
  request.target = firstLine.substr(sp1 + 1, sp2 - sp1 - 1);
  for (size_t pos = firstLineEnd + 2; pos < headerEnd;) {
    const size_t eol = data.find("\r\n", pos);
    const std::string line = data.substr(pos, eol - pos);
    const size_t colon = line.find(':');
    if (colon != std::string::npos) {
      const size_t value = line.find_first_not_of(' ', colon + 1);
      request.headers[Lower(line.substr(0, colon))] =
          value == std::string::npos ? "" : line.substr(value);
    }
    pos = eol + 2;
  }
  request.body = data.substr(headerEnd + 4, contentLength);

  Reply reply{"", 404, 0, false};
  {
    std::unique_lock<std::mutex> lock(mutex_);
    requests_.push_back(request);
    const auto it = routes_.find(PathOf(request.target));
    if (it != routes_.end()) reply = it->second;
    if (reply.delayMs > 0) {
      stopped_.wait_for(lock, std::chrono::milliseconds(reply.delayMs), [this] { return stop_.load(); });
    }
  }
  if (reply.closeWithoutReply || stop_) return;
  const std::string response = "HTTP/1.1 " + std::to_string(reply.status) + " " + Reason(reply.status) +
                               "\r\nContent-Type: text/html\r\nContent-Length: " +
                               std::to_string(reply.body.size()) + "\r\nConnection: close\r\n\r\n" +
                               reply.body;
  ::send(client, response.data(), response.size(), MSG_NOSIGNAL);
}
