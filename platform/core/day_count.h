#pragma once
// Day-count date-times: whole days since 1899-12-30 plus the time of day as a fraction.
#include <QDateTime>

namespace platform {

using TDateTime = double;

TDateTime toDayCount(const QDateTime& local);
QDateTime fromDayCount(TDateTime value);
// The current local time from the program's clock.
TDateTime Now();

}  // namespace platform
