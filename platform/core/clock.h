#pragma once
// The one place the program asks for "now", so that tests can set the time.
#include <QDateTime>

namespace platform {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual QDateTime now() const = 0;  // local time
  // Milliseconds on a count that only goes forward, for pacing work; cheap to read.
  virtual qint64 steadyMs() const = 0;
};

// A clock that stays where a test puts it. Its steady count moves only when advanced, or
// by the step given to stepSteadyMs at every read.
class FixedClock : public Clock {
 public:
  explicit FixedClock(QDateTime t = {}) : t_(std::move(t)) {}
  QDateTime now() const override { return t_; }
  qint64 steadyMs() const override { return steady_ += step_; }
  void set(const QDateTime& t) { t_ = t; }
  void advanceSeconds(qint64 s) { t_ = t_.addSecs(s); }
  void advanceSteadyMs(qint64 ms) { steady_ += ms; }
  void stepSteadyMs(qint64 ms) { step_ = ms; }

 private:
  QDateTime t_;
  mutable qint64 steady_ = 0;
  qint64 step_ = 0;
};

const Clock& clock();
// nullptr puts the system clock back.
void setClock(const Clock* c);

// Installs a clock for the life of a scope (tests).
class ScopedClock {
 public:
  explicit ScopedClock(const Clock& c) { setClock(&c); }
  ~ScopedClock() { setClock(nullptr); }
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;
};

}  // namespace platform
