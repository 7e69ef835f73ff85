#include "net/smtp_client.h"

#include "net/curl_transfer.h"
#include "net/ftp_reply.h"
#include "net/net_error.h"

#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>

namespace net {

namespace {

struct Upload {
  const std::string* text;
  std::size_t offset = 0;
};

size_t readUpload(char* buffer, size_t size, size_t count, void* data) {
  auto* upload = static_cast<Upload*>(data);
  std::size_t n = std::min(size * count, upload->text->size() - upload->offset);
  std::memcpy(buffer, upload->text->data() + upload->offset, n);
  upload->offset += n;
  return n;
}

void setLogin(CURL* h, const SmtpClient& client) {
  if (client.auth != SmtpAuth::Login) return;
  curl_easy_setopt(h, CURLOPT_USERNAME, client.username.c_str());
  curl_easy_setopt(h, CURLOPT_PASSWORD, client.password.c_str());
  curl_easy_setopt(h, CURLOPT_LOGIN_OPTIONS, "AUTH=LOGIN");
}

// The connection handed to libcurl, and whether the session got as far as the mail.
struct Session {
  int fd;
  bool ready;

  static curl_socket_t openSocket(void* self, curlsocktype, curl_sockaddr*) {
    const int copy = ::fcntl(static_cast<Session*>(self)->fd, F_DUPFD_CLOEXEC, 0);
    return copy < 0 ? CURL_SOCKET_BAD : copy;
  }
  static int alreadyConnected(void*, curl_socket_t, curlsocktype) { return CURL_SOCKOPT_ALREADY_CONNECTED; }
  // Called by libcurl once greeting, EHLO and login are done, before MAIL FROM.
  static int sessionReady(void* self, char*, char*, int, int) {
    static_cast<Session*>(self)->ready = true;
    return CURL_PREREQFUNC_OK;
  }
};

[[noreturn]] void fail(CURLcode code, const CurlEasy& easy, const std::string& host) {
  int reply = replyCodeOf(easy.lastRefusal());
  throw EIdException(curlFailureText(code, easy, host), reply > 0 ? reply : 0);
}

}  // namespace

std::string SmtpClient::url() const {
  std::string h = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  return "smtp://" + h + ":" + std::to_string(port > 0 ? port : defaultPort);
}

void SmtpClient::connect(int timeoutMs) {
  disconnect();
  if (host.empty()) throw EIdException("Aucun serveur SMTP indiqué");
  if (timeoutMs <= 0) timeoutMs = defaultConnectTimeoutMs;
  const auto addresses = resolveHost(host, port > 0 ? port : defaultPort,
                                     Clock::now() + std::chrono::milliseconds(defaultConnectTimeoutMs));
  // The time-out covers the TCP connection only; the greeting waits like any other reply.
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  const std::string label = host + ":" + std::to_string(port > 0 ? port : defaultPort);
  std::string lastError;
  for (const auto& address : addresses) {
    try {
      socket_.connect(address, label, deadline);
      connected_ = true;
      return;
    } catch (const EIdException& e) {
      lastError = e.message();
      if (Clock::now() >= deadline) break;
    }
  }
  throw EIdException(lastError.empty() ? "Hôte introuvable : " + host : lastError);
}

void SmtpClient::send(const MailMessage& message) {
  if (!connected_) throw EIdException("Non connecté");
  auto recipients = envelopeRecipients(message);
  if (recipients.empty()) throw EIdException("Aucun destinataire");
  std::string text = composeMail(message, std::time(nullptr));
  Upload upload{&text};
  CurlList rcpt;
  for (const auto& r : recipients) rcpt.add(r);
  std::string from = message.from;
  from.erase(std::remove_if(from.begin(), from.end(), [](char c) { return c == '\r' || c == '\n'; }), from.end());

  // libcurl talks over our connection (a copy of its descriptor, which it closes itself).
  Session session{socket_.fd(), false};
  CurlEasy easy;
  CURL* h = easy.get();
  std::string address = url();
  long readSeconds = std::max(1, readTimeout() / 1000);
  curl_easy_setopt(h, CURLOPT_URL, address.c_str());
  curl_easy_setopt(h, CURLOPT_OPENSOCKETFUNCTION, &Session::openSocket);
  curl_easy_setopt(h, CURLOPT_OPENSOCKETDATA, &session);
  curl_easy_setopt(h, CURLOPT_SOCKOPTFUNCTION, &Session::alreadyConnected);
  curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, &Session::sessionReady);
  curl_easy_setopt(h, CURLOPT_PREREQDATA, &session);
  curl_easy_setopt(h, CURLOPT_MAIL_FROM, from.c_str());
  curl_easy_setopt(h, CURLOPT_MAIL_RCPT, rcpt.get());
  curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(h, CURLOPT_READFUNCTION, &readUpload);
  curl_easy_setopt(h, CURLOPT_READDATA, &upload);
  curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(text.size()));
  // libcurl counts the greeting, EHLO and the login as part of its connection phase.
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(readTimeout()));
  curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, readSeconds);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, readSeconds);
  setLogin(h, *this);
  CURLcode code = easy.performAndCloseOnHelper();
  disconnect();
  if (code == CURLE_OK) return;
  if (!session.ready) {
    const int reply = replyCodeOf(easy.lastRefusal());
    throw ESmtpSessionError(curlFailureText(code, easy, host), reply > 0 ? reply : 0);
  }
  fail(code, easy, host);
}

}  // namespace net
