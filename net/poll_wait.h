#pragma once
// Waiting on sockets in short slices, pumping the windows between them.
#include <chrono>
#include <poll.h>

namespace net {

using Clock = std::chrono::steady_clock;

inline Clock::time_point deadlineIn(int ms) { return Clock::now() + std::chrono::milliseconds(ms); }

// Waits until one of fds is ready for its events or deadline passes; returns
// the number of ready descriptors (0 at the deadline). revents are filled in.
int waitReady(pollfd* fds, int count, Clock::time_point deadline);

// One descriptor; true when ready before the deadline.
bool waitReady(int fd, short events, Clock::time_point deadline);

}  // namespace net
