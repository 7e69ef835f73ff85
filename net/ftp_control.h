#pragma once
// The control connection of an FTP session: commands out, replies in.
#include "net/ftp_reply.h"
#include "net/tcp_socket.h"

#include <string>

namespace net {

class FtpControl {
 public:
  void open(const std::string& host, int port, Clock::time_point deadline) { socket_.connect(host, port, deadline); }
  void close() noexcept {
    socket_.close();
    buffer_.clear();
  }
  bool isOpen() const { return socket_.isOpen(); }
  bool alive() const { return socket_.alive(); }
  TcpSocket& socket() { return socket_; }

  // Sends one command line; a CR or LF inside it is refused, so that no
  // text of the caller's can smuggle a second command.
  void send(const std::string& command, int timeoutMs);
  FtpReply readReply(int timeoutMs);
  FtpReply command(const std::string& line, int timeoutMs) {
    send(line, timeoutMs);
    return readReply(timeoutMs);
  }

 private:
  std::string readLine(Clock::time_point deadline);

  TcpSocket socket_;
  std::string buffer_;
};

}  // namespace net
