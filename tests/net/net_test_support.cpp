#include "net_test_support.h"

#include <cctype>

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

bool holdsAddress(const std::string& text, const std::string& address) {
  for (std::size_t i = text.find(address); i != std::string::npos; i = text.find(address, i + 1)) {
    const unsigned char before = i == 0 ? ' ' : static_cast<unsigned char>(text[i - 1]);
    if (!std::isalnum(before) && before != '.' && before != '-' && before != '_') return true;
  }
  return false;
}

}  // namespace nettest
