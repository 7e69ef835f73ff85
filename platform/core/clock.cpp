#include "platform/core/clock.h"

namespace platform {

namespace {
class SystemClock : public Clock {
 public:
  QDateTime now() const override { return QDateTime::currentDateTime(); }
};
const SystemClock systemClock;
const Clock* current = &systemClock;
}  // namespace

const Clock& clock() { return *current; }
void setClock(const Clock* c) { current = c ? c : &systemClock; }

}  // namespace platform
