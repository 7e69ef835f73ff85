#pragma once
// sendfile() cannot be told MSG_NOSIGNAL: while it runs, SIGPIPE is held
// back for this thread and a signal it raised is taken away unseen, so that
// a server dropping the data connection gives an error, not a dead program.
#include <csignal>
#include <ctime>
#include <pthread.h>

namespace net {

class SigpipeBlock {
 public:
  SigpipeBlock() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &previous_);
    sigset_t pending;
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
  }
  ~SigpipeBlock() {
    sigset_t pending;
    sigpending(&pending);
    if (!wasPending_ && sigismember(&pending, SIGPIPE) == 1) {
      sigset_t pipe;
      sigemptyset(&pipe);
      sigaddset(&pipe, SIGPIPE);
      timespec now{0, 0};
      sigtimedwait(&pipe, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  SigpipeBlock(const SigpipeBlock&) = delete;
  SigpipeBlock& operator=(const SigpipeBlock&) = delete;

 private:
  sigset_t previous_;
  bool wasPending_ = false;
};

}  // namespace net
