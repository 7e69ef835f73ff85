// The FTP reply road: the bytes arrive on a control connection whose server then hangs up.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "fuzz/roads/fuzz_roads.h"
#include "net/ftp_control.h"
#include "net/net_error.h"

namespace fuzzroads {

Outcome ftpReply(const uint8_t* data, std::size_t size) {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) return Outcome::Done;
  // What the socket takes at once; a reply is never longer than the reader's line limit anyway.
  std::size_t sent = 0;
  while (sent < size) {
    const ssize_t n = ::send(fds[1], data + sent, std::min<std::size_t>(size - sent, 65536), MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  ::close(fds[1]);
  net::FtpControl control;
  control.socket() = net::TcpSocket(fds[0]);
  try {
    for (;;) {
      const net::FtpReply reply = control.readReply(1000);
      (void)reply.text();
      (void)reply.isPreliminary();
    }
  } catch (const net::EIdException&) {
    // A reply refused, or the hang-up that ends every run.
  }
  return Outcome::Done;
}

}  // namespace fuzzroads
