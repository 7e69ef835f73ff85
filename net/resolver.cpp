#include "net/resolver.h"

#include "net/idle_pump.h"
#include "net/net_error.h"

#include <arpa/inet.h>
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <thread>

namespace net {

namespace {

struct Lookup {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  int status = 0;
  std::vector<SocketAddress> addresses;
};

std::vector<SocketAddress> collect(addrinfo* list) {
  std::vector<SocketAddress> out;
  for (addrinfo* a = list; a; a = a->ai_next) {
    if (a->ai_addrlen > sizeof(sockaddr_storage)) continue;
    SocketAddress s;
    std::memcpy(&s.storage, a->ai_addr, a->ai_addrlen);
    s.length = a->ai_addrlen;
    out.push_back(s);
  }
  return out;
}

addrinfo hintsFor(int flags) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = flags;
  return hints;
}

}  // namespace

std::vector<SocketAddress> resolveHost(const std::string& host, int port, Clock::time_point deadline) {
  std::string service = std::to_string(port);
  // A numeric address needs no lookup.
  addrinfo hints = hintsFor(AI_NUMERICHOST | AI_NUMERICSERV);
  addrinfo* list = nullptr;
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &list) == 0) {
    auto out = collect(list);
    ::freeaddrinfo(list);
    return out;
  }
  // A name is looked up on a helper thread, so that a slow name server
  // neither freezes the windows nor outlives the deadline; a lookup given up
  // finishes alone and frees its state.
  auto lookup = std::make_shared<Lookup>();
  std::thread([lookup, host, service] {
    addrinfo h = hintsFor(AI_NUMERICSERV | AI_ADDRCONFIG);
    addrinfo* found = nullptr;
    int status = ::getaddrinfo(host.c_str(), service.c_str(), &h, &found);
    std::vector<SocketAddress> out;
    if (status == 0) {
      out = collect(found);
      ::freeaddrinfo(found);
    }
    std::lock_guard<std::mutex> lock(lookup->mutex);
    lookup->status = status;
    lookup->addresses = std::move(out);
    lookup->finished = true;
    lookup->done.notify_all();
  }).detach();
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(lookup->mutex);
      auto slice = std::min(deadline, Clock::now() + std::chrono::milliseconds(IdlePump::sliceMs));
      lookup->done.wait_until(lock, slice, [&] { return lookup->finished; });
      if (lookup->finished) {
        if (lookup->status != 0 || lookup->addresses.empty()) throw EIdException("Hôte introuvable : " + host);
        return lookup->addresses;
      }
    }
    if (Clock::now() >= deadline) throw EIdException("Délai de connexion dépassé (" + host + ")");
    IdlePump::tick();
  }
}

std::string addressText(const SocketAddress& address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.family() == AF_INET) {
    auto* in = reinterpret_cast<const sockaddr_in*>(&address.storage);
    ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
  } else if (address.family() == AF_INET6) {
    auto* in6 = reinterpret_cast<const sockaddr_in6*>(&address.storage);
    ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
  }
  return text;
}

}  // namespace net
