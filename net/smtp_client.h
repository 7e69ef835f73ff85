#pragma once
// SMTP client over libcurl: connect (greeting, and LOGIN when asked), then
// send one composed mail. The two steps fail apart, as the callers expect:
// a connect that fails means the server could not be reached or refused
// the login; a send that fails means it refused this mail.
#include "net/mail_message.h"
#include "net/net_error.h"

#include <string>

namespace net {

enum class SmtpAuth { None, Login };

class SmtpClient {
 public:
  static constexpr int defaultPort = 25;
  static constexpr int defaultConnectTimeoutMs = 20000;
  static constexpr int defaultReadTimeoutMs = 60000;

  std::string host;
  int port = defaultPort;
  SmtpAuth auth = SmtpAuth::None;
  std::string username;
  std::string password;
  int readTimeoutMs = 0;  // 0: the default; a server silent this long fails the send

  // Reaches the server, reads its greeting and logs in within timeoutMs.
  void connect(int timeoutMs);
  bool connected() const { return connected_; }
  void send(const MailMessage& message);
  void disconnect() noexcept { connected_ = false; }

 private:
  std::string url() const;
  int readTimeout() const { return readTimeoutMs > 0 ? readTimeoutMs : defaultReadTimeoutMs; }
  bool connected_ = false;
};

}  // namespace net
