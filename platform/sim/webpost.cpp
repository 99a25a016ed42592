// Web post on the simulated machine: a real HTTP request through libcurl.
// The wait is real network time; the virtual clock does not move for it.
#include <curl/curl.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "platform/os.h"

namespace os {

namespace {

struct Body {
  std::string bytes;
  size_t limit = 0;  // 0: none
  bool over = false;
};

size_t CollectBody(char* data, size_t size, size_t count, void* out) {
  Body* body = static_cast<Body*>(out);
  if (body->limit != 0 && body->bytes.size() + size * count > body->limit) {
    body->over = true;
    return 0;  // curl stops the transfer
  }
  body->bytes.append(data, size * count);
  return size * count;
}

// Keeps the last status line: a proxy or an interim 100 reply may come first.
size_t CollectStatusLine(char* data, size_t size, size_t count, void* out) {
  std::string line(data, size * count);
  if (line.compare(0, 5, "HTTP/") == 0) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    *static_cast<std::string*>(out) = line;
  }
  return size * count;
}

// Tests shorten both time-outs so that a silent server does not hold them.
void ApplyTimeoutOverride(uint32_t* connectMs, uint32_t* requestMs) {
  const char* text = std::getenv("AVDEFUPDATE_WEBPOST_TIMEOUT_MS");
  if (text == nullptr || *text == '\0') return;
  char* end = nullptr;
  const unsigned long ms = std::strtoul(text, &end, 10);
  if (*end != '\0' || ms == 0) return;
  *connectMs = static_cast<uint32_t>(ms);
  *requestMs = static_cast<uint32_t>(ms);
}

struct CurlDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct SlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

}  // namespace

long HttpPost(const std::string& url, const std::string& body, const HttpPostOptions& options,
              int* status, std::string* statusLine, std::string* response, std::string* error) {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) {
    *error = "curl_easy_init failed";
    return CURLE_FAILED_INIT;
  }
  CURL* c = curl.get();

  uint32_t connectMs = options.connectTimeoutMs;
  uint32_t requestMs = options.requestTimeoutMs;
  ApplyTimeoutOverride(&connectMs, &requestMs);

  curl_slist* raw = curl_slist_append(nullptr, ("Content-Type: " + options.contentType).c_str());
  // No "Expect: 100-continue" round trip: the bodies are small.
  raw = raw ? curl_slist_append(raw, "Expect:") : nullptr;
  std::unique_ptr<curl_slist, SlistDeleter> headers(raw);
  if (!headers) {
    *error = "out of memory";
    return CURLE_OUT_OF_MEMORY;
  }

  Body received;
  received.limit = options.maxResponseBytes;
  std::string lastStatusLine;
  char errorBuffer[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_POST, 1L);
  curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectMs));
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(requestMs));
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, CollectBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &received);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, CollectStatusLine);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &lastStatusLine);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorBuffer);
  // An empty proxy also keeps curl from taking one from the host's
  // environment: the agent's own settings are the only source.
  curl_easy_setopt(c, CURLOPT_PROXY, options.proxy.c_str());
  if (!options.proxy.empty() && (!options.proxyUser.empty() || !options.proxyPassword.empty())) {
    curl_easy_setopt(c, CURLOPT_PROXYUSERNAME, options.proxyUser.c_str());
    curl_easy_setopt(c, CURLOPT_PROXYPASSWORD, options.proxyPassword.c_str());
  }

  const CURLcode code = curl_easy_perform(c);
  if (received.over) {
    *error = "the reply is longer than " + std::to_string(received.limit) + " bytes";
    return kErrorMoreData;
  }
  if (code != CURLE_OK) {
    *error = errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(code);
    return static_cast<long>(code);
  }
  long httpStatus = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &httpStatus);
  *status = static_cast<int>(httpStatus);
  *statusLine = lastStatusLine;
  *response = std::move(received.bytes);
  return 0;
}

}  // namespace os
