#pragma once
// The one error class of the network layer: callers catch it around every
// network call and log or show its message.
#include "platform/core/exceptions.h"

#include <string>

namespace net {

class EIdException : public platform::Exception {
 public:
  explicit EIdException(std::string message, int replyCode = 0)
      : platform::Exception(std::move(message)), replyCode_(replyCode) {}
  // The server's numeric reply when the error is a refused command, else 0.
  int replyCode() const noexcept { return replyCode_; }

 private:
  int replyCode_;
};

// French wording of a socket-level errno, for our own messages.
std::string socketErrorText(int err);

}  // namespace net
