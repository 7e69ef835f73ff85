#include "net/idle_pump.h"

#include <chrono>
#include <utility>

namespace net {

namespace {
std::function<void()>& installed() {
  static std::function<void()> pump;
  return pump;
}
std::chrono::steady_clock::time_point lastRun{};
}  // namespace

void IdlePump::set(std::function<void()> pump) { installed() = std::move(pump); }

void IdlePump::tick() {
  auto& pump = installed();
  if (!pump) return;
  auto now = std::chrono::steady_clock::now();
  if (now - lastRun < std::chrono::milliseconds(sliceMs)) return;
  // Set before the call: a network call started from inside the pump (a
  // timer's handler) pumps in its turn, as the windows expect.
  lastRun = now;
  auto copy = pump;  // the pump may replace itself
  copy();
}

ScopedIdlePump::ScopedIdlePump(std::function<void()> pump) : previous_(std::move(installed())) {
  installed() = std::move(pump);
}

ScopedIdlePump::~ScopedIdlePump() { installed() = std::move(previous_); }

}  // namespace net
