#include "backup/log_purge.h"

#include <cmath>
#include <cstdint>

#include <sys/stat.h>
#include <unistd.h>

namespace logpurge {

namespace {

// Days from 1970-01-01 to a civil date of the proleptic Gregorian calendar.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

constexpr std::int64_t kDaysFrom1899To1970 = 25569;

// Day counts compared at the millisecond, so that one instant reached by two roads
// (now minus N days, or a file's own time) compares equal.
std::int64_t milliseconds(double dayCount) { return std::llround(dayCount * 86400000.0); }

}  // namespace

double dosFileDayCount(std::time_t lastWrite) {
  std::tm local{};
  localtime_r(&lastWrite, &local);
  const int evenSecond = local.tm_sec - local.tm_sec % 2;
  const std::int64_t days =
      daysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1), static_cast<unsigned>(local.tm_mday)) +
      kDaysFrom1899To1970;
  const int seconds = local.tm_hour * 3600 + local.tm_min * 60 + evenSecond;
  return static_cast<double>(days) + seconds / 86400.0;
}

bool isPastKeptDays(double fileDayCount, double now, int keptDays) {
  return milliseconds(fileDayCount) < milliseconds(now - keptDays);
}

bool purgeOldLogFile(const std::string& path, double now, int keptDays) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  if (!isPastKeptDays(dosFileDayCount(info.st_mtime), now, keptDays)) return false;
  return ::unlink(path.c_str()) == 0;
}

}  // namespace logpurge
