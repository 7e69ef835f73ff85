#include "backup/log_purge.h"

#include <cmath>
#include <cstdint>

#include <QDateTime>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/core/day_count.h"

namespace backup::logpurge {

namespace {

// Day counts compared at the millisecond, so that one instant reached by two roads
// (now minus N days, or a file's own time) compares equal.
std::int64_t milliseconds(double dayCount) { return std::llround(dayCount * 86400000.0); }

}  // namespace

double dosFileDayCount(std::time_t lastWrite) {
  const QDateTime local = QDateTime::fromSecsSinceEpoch(lastWrite);
  // DOS file dates count in two-second steps.
  return platform::toDayCount(local.addSecs(-(local.time().second() % 2)));
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

}  // namespace backup::logpurge
