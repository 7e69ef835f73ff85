#include "net/curl_transfer.h"

#include "net/ftp_reply.h"
#include "net/idle_pump.h"
#include "net/net_error.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace net {

namespace {

void initOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Removes the easy handle from its multi handle however the loop ends.
struct MultiRun {
  CURLM* multi;
  CURL* easy;
  MultiRun(CURL* e) : multi(curl_multi_init()), easy(e) {
    if (!multi) throw EIdException("Erreur réseau : initialisation impossible");
    curl_multi_add_handle(multi, easy);
  }
  ~MultiRun() {
    curl_multi_remove_handle(multi, easy);
    curl_multi_cleanup(multi);
  }
};

// The reply's text without its code, as for FTP replies.
std::string replyText(const std::string& line) {
  FtpReply reply;
  reply.code = replyCodeOf(line);
  reply.lines.push_back(line);
  return reply.code > 0 ? reply.text() : line;
}

}  // namespace

CurlEasy::CurlEasy() {
  initOnce();
  handle_ = curl_easy_init();
  if (!handle_) throw EIdException("Erreur réseau : initialisation impossible");
  curl_easy_setopt(handle_, CURLOPT_ERRORBUFFER, error_);
  curl_easy_setopt(handle_, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle_, CURLOPT_DEBUGFUNCTION, &CurlEasy::onDebug);
  curl_easy_setopt(handle_, CURLOPT_DEBUGDATA, this);
  curl_easy_setopt(handle_, CURLOPT_VERBOSE, 1L);
}

CurlEasy::~CurlEasy() {
  if (handle_) curl_easy_cleanup(handle_);
}

int CurlEasy::onDebug(CURL*, curl_infotype type, char* data, size_t size, void* self) {
  if (type != CURLINFO_HEADER_IN) return 0;
  std::string line(data, size);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  int code = replyCodeOf(line);
  if (code >= 400 && code < 600) static_cast<CurlEasy*>(self)->lastRefusal_ = std::move(line);
  return 0;
}

CURLcode CurlEasy::perform(const std::function<void()>& between) {
  lastRefusal_.clear();
  error_[0] = 0;
  MultiRun run(handle_);
  int running = 1;
  for (;;) {
    CURLMcode mc = curl_multi_perform(run.multi, &running);
    if (mc != CURLM_OK) throw EIdException(std::string("Erreur réseau : ") + curl_multi_strerror(mc));
    if (between) between();
    if (!running) break;
    curl_multi_poll(run.multi, nullptr, 0, IdlePump::sliceMs, nullptr);
    IdlePump::tick();
  }
  int left = 0;
  while (CURLMsg* msg = curl_multi_info_read(run.multi, &left)) {
    if (msg->msg == CURLMSG_DONE && msg->easy_handle == handle_) return msg->data.result;
  }
  return CURLE_OK;
}

int CurlEasy::onProgress(void* cancel, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<std::atomic<bool>*>(cancel)->load() ? 1 : 0;
}

CURLcode CurlEasy::performAndCloseOnHelper() {
  lastRefusal_.clear();
  error_[0] = 0;
  std::atomic<bool> cancel{false};
  curl_easy_setopt(handle_, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(handle_, CURLOPT_XFERINFOFUNCTION, &CurlEasy::onProgress);
  curl_easy_setopt(handle_, CURLOPT_XFERINFODATA, &cancel);
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  CURLcode result = CURLE_OK;
  CURL* handle = handle_;
  std::thread helper([&] {
    result = curl_easy_perform(handle);
    curl_easy_cleanup(handle);
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
    finished.notify_all();
  });
  handle_ = nullptr;
  try {
    for (;;) {
      {
        std::unique_lock<std::mutex> lock(mutex);
        if (finished.wait_for(lock, std::chrono::milliseconds(IdlePump::sliceMs), [&] { return done; })) break;
      }
      IdlePump::tick();
    }
  } catch (...) {
    // The helper uses this frame: stop it before the error leaves.
    cancel = true;
    helper.join();
    throw;
  }
  helper.join();
  return result;
}

void CurlList::add(const std::string& item) {
  curl_slist* grown = curl_slist_append(list_, item.c_str());
  if (!grown) throw EIdException("Erreur réseau : mémoire insuffisante");
  list_ = grown;
}

std::string curlFailureText(CURLcode code, const CurlEasy& easy, const std::string& host) {
  bool refused = !easy.lastRefusal().empty();
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST: return "Hôte introuvable : " + host;
    case CURLE_COULDNT_CONNECT: return "Impossible de se connecter à " + host;
    case CURLE_OPERATION_TIMEDOUT: return "Délai d'attente dépassé (" + host + ")";
    case CURLE_LOGIN_DENIED: return refused ? replyText(easy.lastRefusal()) : "Authentification refusée par le serveur";
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
      return refused ? replyText(easy.lastRefusal()) : "La connexion avec le serveur a été interrompue";
    default:
      if (refused) return replyText(easy.lastRefusal());
      return std::string("Erreur réseau : ") + (easy.errorBuffer()[0] ? easy.errorBuffer() : curl_easy_strerror(code));
  }
}

}  // namespace net
