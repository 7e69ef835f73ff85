#include "net/http_client.h"

#include "net/curl_transfer.h"
#include "net/net_error.h"

#include <algorithm>
#include <memory>

namespace net {

namespace {

struct Response {
  std::string statusLine;
  long status = 0;
  bool headersDone = false;
  std::string pending;  // body bytes not yet handed to the sink
};

const char* const cancelledText = "Transfert annulé";

bool success(long status) { return status >= 200 && status < 300; }

size_t onHeader(char* data, size_t size, size_t count, void* user) {
  auto* r = static_cast<Response*>(user);
  std::string line(data, size * count);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (line.rfind("HTTP/", 0) == 0) {
    r->statusLine = line;
    auto blank = line.find(' ');
    r->status = blank == std::string::npos ? 0 : std::atol(line.c_str() + blank + 1);
    r->headersDone = false;
  } else if (line.empty() && r->status >= 200) {
    r->headersDone = true;  // interim 1xx answers are followed by the real one
  }
  return size * count;
}

size_t onBody(char* data, size_t size, size_t count, void* user) {
  auto* r = static_cast<Response*>(user);
  if (success(r->status)) r->pending.append(data, size * count);
  return size * count;
}

std::string hostOf(const std::string& url) {
  auto start = url.find("://");
  start = start == std::string::npos ? 0 : start + 3;
  auto end = url.find_first_of(":/?#", start);
  return url.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

HttpClient::HttpClient() = default;
HttpClient::~HttpClient() = default;

void HttpClient::get(const std::string& url, const ByteSink& sink) {
  if (cancelled_) throw EIdException(cancelledText);
  // One handle for the client's life: its cookies and its connection serve
  // the next request too.
  if (!easy_) {
    easy_ = std::make_unique<CurlEasy>();
    curl_easy_setopt(easy_->get(), CURLOPT_COOKIEFILE, "");
  }
  CurlEasy& easy = *easy_;
  CURL* h = easy.get();
  Response response;
  CurlList headers;
  headers.add("Accept: " + accept);
  headers.add("Content-Type: " + contentType);
  long readSeconds = std::max(1, (readTimeoutMs > 0 ? readTimeoutMs : defaultReadTimeoutMs) / 1000);
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(h, CURLOPT_USERAGENT, userAgent.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_PROXY, "");
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &onHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &response);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &onBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &response);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(connectTimeoutMs > 0 ? connectTimeoutMs : defaultConnectTimeoutMs));
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, readSeconds);

  bool begun = false;
  std::int64_t received = 0;
  auto deliver = [&] {
    // Raised between slices, this leaves the transfer and drops its connection.
    if (cancelled_) throw EIdException(cancelledText);
    if (!success(response.status) || !response.headersDone) return;
    if (!begun) {
      curl_off_t length = -1;
      curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
      begun = true;
      events.begin(wmRead, length > 0 ? length : 0);
    }
    if (response.pending.empty()) return;
    std::string block;
    block.swap(response.pending);
    sink(block.data(), block.size());
    received += static_cast<std::int64_t>(block.size());
    events.work(wmRead, received);
  };
  struct EndEvent {
    const WorkEvents& events;
    const bool& begun;
    ~EndEvent() {
      if (begun) events.end(wmRead);
    }
  } endEvent{events, begun};

  CURLcode code = easy.perform(deliver);
  deliver();
  if (code != CURLE_OK) throw EIdException(curlFailureText(code, easy, hostOf(url)));
  if (!success(response.status)) throw EIdException(response.statusLine, static_cast<int>(response.status));
}

}  // namespace net
