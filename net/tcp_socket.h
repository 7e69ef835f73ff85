#pragma once
// A non-blocking TCP socket whose waits go through the pumping poll.
#include "net/poll_wait.h"
#include "net/resolver.h"
#include "platform/core/posix_file.h"

#include <cstddef>
#include <string>
#include <sys/types.h>

namespace net {

class TcpSocket {
 public:
  TcpSocket() = default;
  explicit TcpSocket(int fd) : fd_(fd) {}
  TcpSocket(TcpSocket&&) noexcept = default;
  TcpSocket& operator=(TcpSocket&&) noexcept = default;

  // Tries the host's addresses in turn until one accepts or the deadline passes.
  void connect(const std::string& host, int port, Clock::time_point deadline);
  void connect(const SocketAddress& address, const std::string& label, Clock::time_point deadline);
  // Listens on the given local address with a port chosen by the system.
  void listen(SocketAddress local);
  TcpSocket accept(Clock::time_point deadline);

  // Bytes written, 0 when the socket cannot take more now; raises on errors.
  std::size_t sendSome(const char* data, std::size_t size);
  void sendAll(const std::string& data, Clock::time_point deadline);
  // Bytes read, 0 when the peer closed, -1 when nothing is there now.
  ssize_t recvSome(char* buffer, std::size_t size);

  bool isOpen() const { return fd_.valid(); }
  // False once the peer has closed its side or the socket failed.
  bool alive() const;
  int fd() const { return fd_.get(); }
  SocketAddress localAddress() const;
  SocketAddress peerAddress() const;
  void close() noexcept;

 private:
  platform::FileDescriptor fd_;
};

}  // namespace net
