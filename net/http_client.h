#pragma once
// HTTP GET over libcurl into a stream of the caller's.
#include "net/net_error.h"
#include "net/work_events.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace net {

// Receives the body, block by block, in order.
using ByteSink = std::function<void(const char* data, std::size_t size)>;

class CurlEasy;

class HttpClient {
 public:
  HttpClient();
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  static constexpr int defaultConnectTimeoutMs = 30000;
  static constexpr int defaultReadTimeoutMs = 60000;

  std::string accept = "text/html, */*";
  std::string contentType = "text/html";
  std::string userAgent = "Mozilla/3.0 (compatible; Indy Library)";
  int connectTimeoutMs = 0;  // 0: the default
  int readTimeoutMs = 0;     // 0: the default; a server silent this long fails the GET
  WorkEvents events;         // mode wmRead

  // Returns when the whole body is in the sink; raises EIdException on a
  // network failure or a status other than 2xx (the status line as message).
  void get(const std::string& url, const ByteSink& sink);

  // Ends the GET under way at the next slice (from a window handler run by the idle pump), and
  // makes every later GET of this client fail at once: both raise EIdException.
  void cancel() { cancelled_ = true; }
  bool cancelled() const { return cancelled_; }

 private:
  std::unique_ptr<CurlEasy> easy_;
  bool cancelled_ = false;
};

}  // namespace net
