#include "platform/core/day_count.h"

#include <gtest/gtest.h>

#include "platform/core/clock.h"

namespace {

TEST(DayCount, CountsDaysSinceTheEpochWithTheTimeAsAFraction) {
  const std::pair<QDateTime, double> cases[] = {
      {QDateTime(QDate(1899, 12, 30), QTime(0, 0)), 0.0},    {QDateTime(QDate(1900, 1, 1), QTime(0, 0)), 2.0},
      {QDateTime(QDate(2000, 1, 1), QTime(12, 0)), 36526.5}, {QDateTime(QDate(2026, 12, 9), QTime(6, 0)), 46365.25},
      {QDateTime(QDate(1899, 12, 29), QTime(6, 0)), -1.25},
  };
  for (const auto& [t, days] : cases) {
    EXPECT_DOUBLE_EQ(platform::toDayCount(t), days) << t.toString().toStdString();
    EXPECT_EQ(platform::fromDayCount(days), t) << days;
  }
}

TEST(DayCount, NowComesFromTheProgramClock) {
  platform::FixedClock fixed(QDateTime(QDate(2000, 1, 1), QTime(18, 0)));
  platform::ScopedClock use(fixed);
  EXPECT_DOUBLE_EQ(platform::Now(), 36526.75);
  fixed.advanceSeconds(6 * 3600);
  EXPECT_DOUBLE_EQ(platform::Now(), 36527.0);
}

}  // namespace
