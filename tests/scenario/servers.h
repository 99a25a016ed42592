// Loopback servers for network scenarios and transfer tests: an HTTP server
// that serves a folder (with per-path status codes, delays and cut-off
// bodies, and a proxy mode), and an anonymous passive FTP server (Debian's
// pyftpdlib under /usr/bin/python3). Both listen on 127.0.0.1, ephemeral ports.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace scenario {

struct HttpRule {
  int status = 0;            // answer with this status and a small error page
  int delayMs = 0;           // wait this long before answering
  int64_t cutAfter = -1;     // announce the whole file, send only this many bytes
};

class HttpFolderServer {
 public:
  // Serves root: GET, HEAD and POST of /a/b read root/a/b (404 with an error
  // page when it is missing). A request for an absolute URL is a proxy
  // request, served from the same folder; with proxyAuth ("user:password")
  // set, it needs those Proxy-Authorization credentials (407 otherwise).
  HttpFolderServer(std::filesystem::path root, std::map<std::string, HttpRule> rules,
                   std::string proxyAuth = "");
  ~HttpFolderServer();
  HttpFolderServer(const HttpFolderServer&) = delete;
  HttpFolderServer& operator=(const HttpFolderServer&) = delete;

  int port() const { return port_; }
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }
  // "GET /path" per request, in arrival order; " (proxy)" marks a proxy request.
  std::vector<std::string> Requests() const;

 private:
  void Serve();
  void Handle(int client);

  std::filesystem::path root_;
  std::map<std::string, HttpRule> rules_;
  std::string proxyAuth_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::vector<std::thread> workers_;
  std::thread thread_;
};

class FtpFolderServer {
 public:
  // Starts pyftpdlib on root; port() is 0 and error() says why when it failed.
  explicit FtpFolderServer(const std::filesystem::path& root);
  ~FtpFolderServer();
  FtpFolderServer(const FtpFolderServer&) = delete;
  FtpFolderServer& operator=(const FtpFolderServer&) = delete;

  int port() const { return port_; }
  const std::string& error() const { return error_; }

 private:
  int pid_ = -1;
  int port_ = 0;
  std::string error_;
};

}  // namespace scenario
