#include "net/tcp_socket.h"

#include "net/net_error.h"

#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace net {

namespace {

int openSocket(int family) {
  int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) throw EIdException("Erreur réseau : " + socketErrorText(errno));
  return fd;
}

}  // namespace

void TcpSocket::connect(const std::string& host, int port, Clock::time_point deadline) {
  auto addresses = resolveHost(host, port, deadline);
  std::string label = host + ":" + std::to_string(port);
  std::string lastError;
  for (const auto& address : addresses) {
    try {
      connect(address, label, deadline);
      return;
    } catch (const EIdException& e) {
      lastError = e.message();
      if (Clock::now() >= deadline) break;
    }
  }
  throw EIdException(lastError.empty() ? "Hôte introuvable : " + host : lastError);
}

void TcpSocket::connect(const SocketAddress& address, const std::string& label, Clock::time_point deadline) {
  close();
  fd_.reset(openSocket(address.family()));
  int one = 1;
  ::setsockopt(fd_.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  int r = ::connect(fd_.get(), reinterpret_cast<const sockaddr*>(&address.storage), address.length);
  int err = r == 0 ? 0 : errno;
  if (err == EINPROGRESS) {
    if (!waitReady(fd_.get(), POLLOUT, deadline)) {
      close();
      throw EIdException("Délai de connexion dépassé (" + label + ")");
    }
    socklen_t len = sizeof err;
    ::getsockopt(fd_.get(), SOL_SOCKET, SO_ERROR, &err, &len);
  }
  if (err != 0) {
    close();
    throw EIdException("Impossible de se connecter à " + label + " : " + socketErrorText(err));
  }
}

void TcpSocket::listen(SocketAddress local) {
  close();
  fd_.reset(openSocket(local.family()));
  if (local.family() == AF_INET) reinterpret_cast<sockaddr_in*>(&local.storage)->sin_port = 0;
  else reinterpret_cast<sockaddr_in6*>(&local.storage)->sin6_port = 0;
  if (::bind(fd_.get(), reinterpret_cast<const sockaddr*>(&local.storage), local.length) != 0 ||
      ::listen(fd_.get(), 1) != 0) {
    int err = errno;
    close();
    throw EIdException("Impossible d'ouvrir la connexion de données : " + socketErrorText(err));
  }
}

TcpSocket TcpSocket::accept(Clock::time_point deadline) {
  for (;;) {
    if (!waitReady(fd_.get(), POLLIN, deadline))
      throw EIdException("Délai dépassé : le serveur n'a pas ouvert la connexion de données");
    int fd = ::accept4(fd_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) return TcpSocket(fd);
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED)
      throw EIdException("Erreur réseau : " + socketErrorText(errno));
  }
}

std::size_t TcpSocket::sendSome(const char* data, std::size_t size) {
  for (;;) {
    ssize_t n = ::send(fd_.get(), data, size, MSG_NOSIGNAL);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    throw EIdException("Erreur réseau : " + socketErrorText(errno));
  }
}

void TcpSocket::sendAll(const std::string& data, Clock::time_point deadline) {
  std::size_t done = 0;
  while (done < data.size()) {
    std::size_t n = sendSome(data.data() + done, data.size() - done);
    done += n;
    if (n == 0 && !waitReady(fd_.get(), POLLOUT, deadline)) throw EIdException("Délai d'écriture dépassé");
  }
}

ssize_t TcpSocket::recvSome(char* buffer, std::size_t size) {
  for (;;) {
    ssize_t n = ::recv(fd_.get(), buffer, size, 0);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return -1;
    throw EIdException("Erreur réseau : " + socketErrorText(errno));
  }
}

bool TcpSocket::alive() const {
  if (!fd_.valid()) return false;
  pollfd p{fd_.get(), POLLIN, 0};
  if (::poll(&p, 1, 0) <= 0) return true;
  if (p.revents & (POLLERR | POLLNVAL)) return false;
  char c;
  ssize_t n = ::recv(fd_.get(), &c, 1, MSG_PEEK);
  if (n == 0) return false;
  return n > 0 || errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

SocketAddress TcpSocket::localAddress() const {
  SocketAddress a;
  a.length = sizeof a.storage;
  ::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&a.storage), &a.length);
  return a;
}

SocketAddress TcpSocket::peerAddress() const {
  SocketAddress a;
  a.length = sizeof a.storage;
  ::getpeername(fd_.get(), reinterpret_cast<sockaddr*>(&a.storage), &a.length);
  return a;
}

void TcpSocket::close() noexcept { fd_.reset(); }

}  // namespace net
