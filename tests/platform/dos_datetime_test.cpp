#include "platform/core/dos_datetime.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

using platform::DosDateTime;

DosDateTime dos(int y, int mo, int d, int h, int mi, int s) {
  return platform::makeDosDateTime(static_cast<std::uint16_t>(((y - 1980) << 9) | (mo << 5) | d),
                                   static_cast<std::uint16_t>((h << 11) | (mi << 5) | (s / 2)));
}

std::time_t local(int y, int mo, int d, int h, int mi, int s) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

// Each case runs in a French time zone, where summer time shifts local times.
class DosDateTimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    saved_ = tz ? tz : "";
    hadTz_ = tz != nullptr;
    setenv("TZ", "Europe/Paris", 1);
    tzset();
  }
  void TearDown() override {
    if (hadTz_) setenv("TZ", saved_.c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }
  std::string saved_;
  bool hadTz_ = false;
};

TEST_F(DosDateTimeTest, FromTimeUsesLocalTimeInTwoSecondStepsAndClampsToTheRange) {
  const struct {
    std::time_t t;
    DosDateTime expected;
  } cases[] = {
      {local(2024, 7, 14, 15, 30, 20), dos(2024, 7, 14, 15, 30, 20)},  // summer time
      {local(2024, 1, 3, 8, 5, 59), dos(2024, 1, 3, 8, 5, 58)},        // odd second rounds down
      {local(1980, 1, 1, 0, 0, 0), dos(1980, 1, 1, 0, 0, 0)},
      {local(2107, 12, 31, 23, 59, 59), dos(2107, 12, 31, 23, 59, 58)},
      {local(1979, 12, 31, 23, 59, 59), platform::kDosDateTimeMin},
      {0, platform::kDosDateTimeMin},
      {-86400LL * 365 * 100, platform::kDosDateTimeMin},
      {local(2108, 1, 1, 0, 0, 0), platform::kDosDateTimeMax},
      {static_cast<std::time_t>(1) << 60, platform::kDosDateTimeMax},  // beyond any calendar
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.t);
    EXPECT_EQ(platform::dosDateTimeFromTime(c.t), c.expected);
  }
}

TEST_F(DosDateTimeTest, ConversionsRoundTripAndKeepOrder) {
  for (const std::time_t t :
       {local(1980, 1, 1, 0, 0, 0), local(2024, 3, 31, 3, 0, 0), local(2024, 10, 27, 1, 59, 58),
        local(2024, 10, 27, 3, 0, 0), local(2038, 1, 19, 4, 14, 8), local(2107, 12, 31, 23, 59, 58)}) {
    SCOPED_TRACE(t);
    const DosDateTime d = platform::dosDateTimeFromTime(t);
    EXPECT_EQ(platform::timeFromDosDateTime(d), t);
    EXPECT_EQ(platform::dosDateTimeFromTime(platform::timeFromDosDateTime(d)), d);
  }
  // The hour that summer time's end repeats names one moment and comes back the same.
  const DosDateTime repeated = dos(2024, 10, 27, 2, 30, 0);
  EXPECT_EQ(platform::dosDateTimeFromTime(platform::timeFromDosDateTime(repeated)), repeated);
  EXPECT_LT(dos(2024, 12, 31, 23, 59, 58), dos(2025, 1, 1, 0, 0, 0));
  EXPECT_LT(dos(2024, 6, 1, 10, 0, 0), dos(2024, 6, 1, 10, 0, 2));
}

TEST_F(DosDateTimeTest, FieldsOutOfRangeAreBroughtBackIntoIt) {
  const struct {
    DosDateTime in, expected;
  } cases[] = {
      {0, dos(1980, 1, 1, 0, 0, 0)},  // the zero value some tools write
      {platform::makeDosDateTime((44 << 9) | (2 << 5) | 31, 0), dos(2024, 2, 29, 0, 0, 0)},
      {platform::makeDosDateTime((43 << 9) | (13 << 5) | 0, (31 << 11) | (63 << 5) | 31), dos(2023, 12, 1, 23, 59, 58)},
      {dos(2000, 5, 6, 7, 8, 10), dos(2000, 5, 6, 7, 8, 10)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(platform::normalizeDosDateTime(c.in), c.expected);
    EXPECT_EQ(platform::dosDateTimeFromTime(platform::timeFromDosDateTime(c.in)), c.expected);
  }
}

}  // namespace

// The moment of a date-time must be mktime's in every kind of zone: whole-hour and
// half-hour summer time, an offset of 5:45, a change of rule, and the days on which
// summer time starts or ends, every two seconds in the hours around each change.
TEST_F(DosDateTimeTest, MomentMatchesTheSystemsAcrossEveryChangeOfOffset) {
  for (const char* zone : {"Europe/Paris", "America/New_York", "Australia/Lord_Howe", "Asia/Kathmandu",
                           "America/Sao_Paulo", "UTC"}) {
    SCOPED_TRACE(zone);
    setenv("TZ", zone, 1);
    tzset();
    int mismatches = 0;
    const auto check = [&](std::time_t t) {
      std::tm tm{};
      ASSERT_NE(localtime_r(&t, &tm), nullptr);
      const DosDateTime d = dos(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
      const std::time_t expected =
          local(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec & ~1);
      if (platform::timeFromDosDateTime(d) != expected && ++mismatches < 5)
        ADD_FAILURE() << "local " << tm.tm_year + 1900 << "-" << tm.tm_mon + 1 << "-" << tm.tm_mday << " "
                      << tm.tm_hour << ":" << tm.tm_min << ":" << tm.tm_sec;
    };
    // 2018 and 2019 hold Sao Paulo's last summer times and its change of rule.
    const std::time_t from = local(2018, 1, 1, 0, 0, 0), to = local(2020, 1, 1, 0, 0, 0);
    long offset = LONG_MIN;
    for (std::time_t t = from; t < to; t += 1800) {
      std::tm tm{};
      localtime_r(&t, &tm);
      if (offset != LONG_MIN && tm.tm_gmtoff != offset)
        for (std::time_t u = t - 3 * 3600; u < t + 3 * 3600; u += 2) check(u);
      offset = tm.tm_gmtoff;
      check(t + 1234);
    }
    EXPECT_EQ(mismatches, 0);
  }
}
