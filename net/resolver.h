#pragma once
// Host name resolution that keeps the windows painting and gives up in time.
#include "net/poll_wait.h"

#include <string>
#include <sys/socket.h>
#include <vector>

namespace net {

struct SocketAddress {
  sockaddr_storage storage{};
  socklen_t length = 0;
  int family() const { return storage.ss_family; }
};

// The addresses of host (IPv4 and IPv6, in the system's order) for a TCP port.
// Raises EIdException when the host is unknown or the deadline passes.
std::vector<SocketAddress> resolveHost(const std::string& host, int port, Clock::time_point deadline);

// Numeric text of an address, without the port.
std::string addressText(const SocketAddress& address);

}  // namespace net
