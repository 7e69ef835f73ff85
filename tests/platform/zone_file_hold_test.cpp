#include "platform/core/zone_file_hold.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace {

std::vector<std::time_t> someMoments() {
  std::vector<std::time_t> out;
  for (int month = 0; month < 12; ++month) {
    std::tm tm{};
    tm.tm_year = 124;
    tm.tm_mon = month;
    tm.tm_mday = 15;
    tm.tm_hour = 12;
    tm.tm_isdst = -1;
    out.push_back(std::mktime(&tm));
  }
  return out;
}

std::optional<std::string> tz() {
  const char* v = std::getenv("TZ");
  return v ? std::optional<std::string>(v) : std::nullopt;
}

// The zone the hold names is the one already in force: every conversion comes out the same,
// and TZ is what it was afterwards, unset or set by the user.
TEST(ZoneFileHold, SameZoneInsideAndTzAsItWasAfter) {
  const std::optional<std::string> saved = tz();
  for (const char* user : {static_cast<const char*>(nullptr), "America/New_York"}) {
    SCOPED_TRACE(user ? user : "TZ unset");
    if (user) setenv("TZ", user, 1);
    else unsetenv("TZ");
    tzset();
    const std::vector<std::time_t> outside = someMoments();
    {
      const platform::ZoneFileHold hold;
      EXPECT_EQ(someMoments(), outside);
      if (user) {
        EXPECT_EQ(tz(), user);
      }
    }
    EXPECT_EQ(tz(), user ? std::optional<std::string>(user) : std::nullopt);
    EXPECT_EQ(someMoments(), outside);
  }
  if (saved) setenv("TZ", saved->c_str(), 1);
  else unsetenv("TZ");
  tzset();
}

}  // namespace
