#include "platform/core/day_count.h"

#include <cmath>

#include "platform/core/clock.h"

namespace platform {

namespace {
const QDate epoch(1899, 12, 30);
constexpr double msPerDay = 86400000.0;
}  // namespace

TDateTime toDayCount(const QDateTime& local) {
  const double days = static_cast<double>(epoch.daysTo(local.date()));
  const double fraction = local.time().msecsSinceStartOfDay() / msPerDay;
  // Before the epoch the fraction still counts forward from midnight, as the class library stored it.
  return days >= 0 ? days + fraction : days - fraction;
}

QDateTime fromDayCount(TDateTime value) {
  const double whole = std::trunc(value);
  const double fraction = std::fabs(value - whole);
  qint64 ms = std::llround(fraction * msPerDay);
  qint64 days = static_cast<qint64>(whole);
  if (ms >= 86400000) {
    ms -= 86400000;
    days += value >= 0 ? 1 : -1;
  }
  return QDateTime(epoch.addDays(days), QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

TDateTime Now() { return toDayCount(clock().now()); }

}  // namespace platform
