#include "platform/core/clock.h"

#include <chrono>

namespace platform {

namespace {
class SystemClock : public Clock {
 public:
  QDateTime now() const override { return QDateTime::currentDateTime(); }
  qint64 steadyMs() const override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
};
const SystemClock systemClock;
const Clock* current = &systemClock;
}  // namespace

const Clock& clock() { return *current; }
void setClock(const Clock* c) { current = c ? c : &systemClock; }

}  // namespace platform
