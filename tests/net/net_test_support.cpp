#include "net_test_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace nettest {

int closedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

void useTestAccount(net::FtpClient& ftp, const testsupport::ServerProcess& server) {
  ftp.host = "127.0.0.1";
  ftp.port = server.port();
  ftp.username = "user";
  ftp.password = "secret";
  ftp.passive = true;
}

std::vector<std::string> linesWithPrefix(testsupport::ServerProcess& server, const std::string& prefix,
                                         const std::string& stopAt, int timeoutMs) {
  std::vector<std::string> out;
  for (;;) {
    std::string line = server.readLine(timeoutMs);
    if (line.empty()) return out;
    if (line.rfind(prefix, 0) != 0) continue;
    out.push_back(line.substr(prefix.size()));
    if (!stopAt.empty() && out.back() == stopAt) return out;
  }
}

}  // namespace nettest
