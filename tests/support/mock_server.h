// A loopback HTTP/1.1 server standing in for the management server in unit
// tests: 127.0.0.1 on an ephemeral port, one connection at a time, replies
// from a per-test table, and a record of every request it received.
#pragma once

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class MockServer {
 public:
  struct Reply {
    std::string body;
    int status = 200;
    int delayMs = 0;                 // wait this long before answering
    bool closeWithoutReply = false;  // read the request, then hang up
  };
  struct Request {
    std::string method;
    std::string target;  // as sent: "/path?query", or an absolute URL through a proxy
    std::map<std::string, std::string> headers;  // names lower-cased
    std::string body;
  };

  MockServer();
  ~MockServer();
  MockServer(const MockServer&) = delete;
  MockServer& operator=(const MockServer&) = delete;

  // Replies to requests for this path (the target without its query; for an
  // absolute URL, its path). Other paths get 404.
  void On(const std::string& path, const Reply& reply);
  int port() const { return port_; }
  // "http://127.0.0.1:<port>/"
  std::string BaseUrl() const;
  std::vector<Request> Requests() const;

  // A loopback port nobody listens on: connections to it are refused.
  static int RefusingPort();

 private:
  void Serve();
  void Handle(int client);

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::condition_variable stopped_;
  std::map<std::string, Reply> routes_;
  std::vector<Request> requests_;
  std::thread thread_;
};
