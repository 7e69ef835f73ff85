#pragma once
// Our FTP client (RFC 959): login directly or through one of six kinds of
// FTP proxy, binary transfers over passive or active data connections,
// folders, store, append and size. Every wait is bounded and pumps the windows.
#include "net/ftp_control.h"
#include "net/ftp_proxy.h"
#include "net/net_error.h"
#include "net/work_events.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

namespace net {

class FtpClient {
 public:
  static constexpr int defaultPort = 21;
  // Used when the caller leaves a time-out at 0: no wait is ever endless.
  static constexpr int defaultReadTimeoutMs = 30000;
  static constexpr int defaultConnectTimeoutMs = 20000;

  std::string host;
  int port = defaultPort;
  std::string username;
  std::string password;
  FtpProxySettings proxy;
  bool passive = false;
  bool binary = true;
  int readTimeoutMs = 0;
  int connectTimeoutMs = 0;

  WorkEvents events;
  std::function<void(const std::string& text)> onStatus;

  FtpClient() = default;
  ~FtpClient() { disconnect(); }
  FtpClient(const FtpClient&) = delete;
  FtpClient& operator=(const FtpClient&) = delete;

  // Connects (to the proxy when one is set) and logs in.
  void connect();
  bool connected() const;
  // Says QUIT when it can and closes; never raises.
  void disconnect() noexcept;

  void changeDir(const std::string& path);  // CWD, accepted on 200 or 250
  void makeDir(const std::string& path);    // MKD, accepted on 257
  // Sends a local file under remoteName, replacing it (STOR) or adding to
  // its end (APPE); the transfer fires the work events.
  void store(const std::string& localFile, const std::string& remoteName);
  void append(const std::string& localFile, const std::string& remoteName);
  // The byte count of a 213 reply to SIZE, -1 for any other reply.
  std::int64_t size(const std::string& remoteName);

 private:
  int readTimeout() const { return readTimeoutMs > 0 ? readTimeoutMs : defaultReadTimeoutMs; }
  int connectTimeout() const { return connectTimeoutMs > 0 ? connectTimeoutMs : defaultConnectTimeoutMs; }
  void status(const std::string& text);
  void requireConnected() const;
  // Sends a command and raises the server's reply unless its code is accepted.
  FtpReply expect(const std::string& command, std::initializer_list<int> accepted);
  void login();
  void logIn(const std::string& user, const std::string& pass);
  void transfer(const std::string& verb, const std::string& localFile, const std::string& remoteName);
  TcpSocket openDataConnection(bool& listening);
  void sendFileData(const std::string& localFile, int fileFd, std::int64_t size, TcpSocket& data);
  [[noreturn]] void failTransfer(const EIdException& cause);

  FtpControl control_;
};

}  // namespace net
