#pragma once
// libcurl driven through its multi interface in short slices, so that the
// windows are pumped between slices and never from inside a callback.
#include <curl/curl.h>

#include <functional>
#include <string>

namespace net {

// Owns one easy handle, with the error buffer and the server's last refusal
// gathered for our messages.
class CurlEasy {
 public:
  CurlEasy();
  ~CurlEasy();
  CurlEasy(const CurlEasy&) = delete;
  CurlEasy& operator=(const CurlEasy&) = delete;
  CURL* get() const { return handle_; }
  const char* errorBuffer() const { return error_; }
  // The last refusal (a 4xx or 5xx reply line) the server sent, without its
  // line end; the polite replies that follow it (QUIT) do not hide it.
  const std::string& lastRefusal() const { return lastRefusal_; }

  // Runs the transfer to its end. between runs after every slice, outside
  // libcurl's callbacks; it may raise, which ends the transfer.
  CURLcode perform(const std::function<void()>& between = {});
  // Runs the transfer and then closes the handle on a helper thread while
  // this thread pumps. For SMTP: libcurl waits for the reply to the end of
  // the mail and for the reply to QUIT without returning to the multi loop,
  // and a server that takes its time there must not freeze the windows.
  // Nothing of the caller's runs on the helper thread.
  CURLcode performAndCloseOnHelper();

 private:
  static int onDebug(CURL*, curl_infotype type, char* data, size_t size, void* self);
  static int onProgress(void* cancel, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
  CURL* handle_;
  char error_[CURL_ERROR_SIZE] = {};
  std::string lastRefusal_;
};

class CurlList {
 public:
  CurlList() = default;
  ~CurlList() { curl_slist_free_all(list_); }
  CurlList(const CurlList&) = delete;
  CurlList& operator=(const CurlList&) = delete;
  void add(const std::string& item);
  curl_slist* get() const { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

// Our French message for a failed transfer; a refusal by the server gives
// the server's own reply text.
std::string curlFailureText(CURLcode code, const CurlEasy& easy, const std::string& host);

}  // namespace net
