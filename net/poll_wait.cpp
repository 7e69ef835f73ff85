#include "net/poll_wait.h"

#include "net/idle_pump.h"
#include "net/net_error.h"

#include <algorithm>
#include <cerrno>

namespace net {

int waitReady(pollfd* fds, int count, Clock::time_point deadline) {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    int slice = static_cast<int>(std::clamp<long long>(left, 0, IdlePump::sliceMs));
    int r = ::poll(fds, static_cast<nfds_t>(count), slice);
    if (r < 0 && errno != EINTR) throw EIdException("Erreur réseau : " + socketErrorText(errno));
    IdlePump::tick();
    if (r > 0) return r;
    if (left <= 0) return 0;
  }
}

bool waitReady(int fd, short events, Clock::time_point deadline) {
  pollfd p{fd, events, 0};
  return waitReady(&p, 1, deadline) > 0;
}

}  // namespace net
