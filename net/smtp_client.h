#pragma once
// SMTP client over libcurl: connect (the TCP connection, within the caller's time-out), then
// send one composed mail over that connection: greeting, EHLO, the login when asked, and
// the mail, in one session with one login. The greeting and the login wait as long as any
// other reply.
//
// libcurl cannot stop a session after the login and carry on with the mail later: a
// connect-only connection is never reused for a transfer, so a separate login step would
// cost a second connection and a second login. The login therefore happens inside send(),
// and a session that fails before the server accepted it raises ESmtpSessionError: the
// server could not be talked to. Any other failure of send() is a refused or broken mail.
#include "net/mail_message.h"
#include "net/net_error.h"
#include "net/tcp_socket.h"

#include <string>

namespace net {

enum class SmtpAuth { None, Login };

// The server answered the connection badly, not at all, or refused the login.
class ESmtpSessionError : public EIdException {
 public:
  using EIdException::EIdException;
};

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

  // Opens the TCP connection within timeoutMs (the host name is looked up first, with the
  // default time-out).
  void connect(int timeoutMs);
  bool connected() const { return connected_; }
  // Runs the session over the connection, which it uses up. ESmtpSessionError before the
  // server took the login (or, without one, its EHLO), EIdException after.
  void send(const MailMessage& message);
  void disconnect() noexcept {
    socket_.close();
    connected_ = false;
  }

 private:
  std::string url() const;
  int readTimeout() const { return readTimeoutMs > 0 ? readTimeoutMs : defaultReadTimeoutMs; }
  TcpSocket socket_;
  bool connected_ = false;
};

}  // namespace net
