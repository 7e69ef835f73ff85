#include "net/smtp_client.h"

#include "net/curl_transfer.h"
#include "net/ftp_reply.h"
#include "net/net_error.h"

#include <algorithm>
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
  connected_ = false;
  if (host.empty()) throw EIdException("Aucun serveur SMTP indiqué");
  if (timeoutMs <= 0) timeoutMs = defaultConnectTimeoutMs;
  // Only the connection set-up: greeting, EHLO and the login, all within
  // the time-out; the mail itself goes on its own connection in send().
  CurlEasy easy;
  CURL* h = easy.get();
  std::string address = url();
  curl_easy_setopt(h, CURLOPT_URL, address.c_str());
  curl_easy_setopt(h, CURLOPT_CONNECT_ONLY, 1L);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutMs));
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(timeoutMs));
  curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, 5L);
  setLogin(h, *this);
  CURLcode code = easy.performAndCloseOnHelper();
  if (code != CURLE_OK) fail(code, easy, host);
  connected_ = true;
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

  CurlEasy easy;
  CURL* h = easy.get();
  std::string address = url();
  long readSeconds = std::max(1, readTimeout() / 1000);
  curl_easy_setopt(h, CURLOPT_URL, address.c_str());
  curl_easy_setopt(h, CURLOPT_MAIL_FROM, from.c_str());
  curl_easy_setopt(h, CURLOPT_MAIL_RCPT, rcpt.get());
  curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(h, CURLOPT_READFUNCTION, &readUpload);
  curl_easy_setopt(h, CURLOPT_READDATA, &upload);
  curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(text.size()));
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(defaultConnectTimeoutMs));
  curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, readSeconds);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, readSeconds);
  setLogin(h, *this);
  CURLcode code = easy.performAndCloseOnHelper();
  if (code != CURLE_OK) fail(code, easy, host);
}

}  // namespace net
