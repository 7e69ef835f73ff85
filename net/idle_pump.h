#pragma once
// While a network call blocks the window thread, the clients call the pump
// that the windows installed, so painting, timers and clicks go on.
#include <functional>

namespace net {

class IdlePump {
 public:
  // Longest time a blocking call waits without pumping.
  static constexpr int sliceMs = 50;

  // The windows install their event processing here; empty removes it.
  static void set(std::function<void()> pump);
  // Runs the pump when a slice has passed since its last run. Called by the
  // clients between waits, never from inside a library callback.
  static void tick();
};

// Installs a pump for the life of a scope and restores the previous one.
class ScopedIdlePump {
 public:
  explicit ScopedIdlePump(std::function<void()> pump);
  ~ScopedIdlePump();
  ScopedIdlePump(const ScopedIdlePump&) = delete;
  ScopedIdlePump& operator=(const ScopedIdlePump&) = delete;

 private:
  std::function<void()> previous_;
};

}  // namespace net
