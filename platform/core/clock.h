#pragma once
// The one place the program asks for "now", so that tests can set the time.
#include <QDateTime>

namespace platform {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual QDateTime now() const = 0;  // local time
};

// A clock that stays where a test puts it.
class FixedClock : public Clock {
 public:
  explicit FixedClock(QDateTime t = {}) : t_(std::move(t)) {}
  QDateTime now() const override { return t_; }
  void set(const QDateTime& t) { t_ = t; }
  void advanceSeconds(qint64 s) { t_ = t_.addSecs(s); }

 private:
  QDateTime t_;
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
