#include "backup/log_purge.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>

#include "backup/components/scrute_dossier.h"
#include "support/temp_dir.h"

using namespace backup;

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

// Runs a test in a chosen time zone and puts the former one back.
class ZoneGuard {
 public:
  explicit ZoneGuard(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~ZoneGuard() {
    if (old_) {
      ::setenv("TZ", old_->c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }

 private:
  std::optional<std::string> old_;
};

std::time_t utc(int y, int mo, int d, int h, int mi, int s) {
  std::tm t{};
  t.tm_year = y - 1900;
  t.tm_mon = mo - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  t.tm_sec = s;
  return ::timegm(&t);
}

constexpr double kSecond = 1.0 / 86400.0;
constexpr double kDec10Noon = 46366.5;  // 10 December 2026, 12:00:00
constexpr double kNov10Noon = 46336.5;  // 30 days earlier

struct DayCountCase {
  const char* zone;
  std::time_t when;
  double expected;
};

TEST(LogPurge, FileTimesAreLocalDayCountsInTwoSecondSteps) {
  const DayCountCase cases[] = {
      {"UTC0", utc(2026, 12, 10, 12, 0, 0), kDec10Noon},
      {"UTC0", utc(2026, 12, 10, 12, 0, 1), kDec10Noon},
      {"UTC0", utc(2026, 12, 10, 12, 0, 2), kDec10Noon + 2 * kSecond},
      {"UTC0", utc(2026, 12, 10, 12, 0, 59), kDec10Noon + 58 * kSecond},
      {"UTC0", utc(1970, 1, 1, 0, 0, 0), 25569.0},
      {"UTC0", utc(2000, 2, 29, 6, 0, 0), 36585.25},
      // One hour east of UTC: the local clock is what counts, across midnight too.
      {"XXX-1", utc(2026, 12, 10, 12, 0, 0), kDec10Noon + 1.0 / 24},
      {"XXX-1", utc(2026, 12, 10, 23, 30, 0), 46367.0 + 0.5 / 24},
  };
  for (const auto& c : cases) {
    ZoneGuard zone(c.zone);
    EXPECT_NEAR(logpurge::dosFileDayCount(c.when), c.expected, 1e-9) << c.zone << " " << c.when;
  }
}

struct BoundaryCase {
  double now;
  std::time_t lastWrite;
  int keptDays;
  bool past;
};

TEST(LogPurge, StrictlyEarlierThanNowMinusKeptDays) {
  ZoneGuard zone("UTC0");
  const double oddNow = kDec10Noon + kSecond;  // 12:00:01
  const BoundaryCase cases[] = {
      // Now on an even second: the limit is 10 November 12:00:00.
      {kDec10Noon, utc(2026, 11, 10, 11, 59, 59), 30, true},
      {kDec10Noon, utc(2026, 11, 10, 12, 0, 0), 30, false},
      {kDec10Noon, utc(2026, 11, 10, 12, 0, 1), 30, false},  // cut to 12:00:00, not earlier
      {kDec10Noon, utc(2026, 11, 10, 12, 0, 2), 30, false},
      // Now on an odd second: a file written at the limit itself is cut below it.
      {oddNow, utc(2026, 11, 10, 12, 0, 0), 30, true},
      {oddNow, utc(2026, 11, 10, 12, 0, 1), 30, true},
      {oddNow, utc(2026, 11, 10, 12, 0, 2), 30, false},
      {oddNow, utc(2026, 11, 10, 12, 0, 3), 30, false},
      // 29 days and 23 hours stays; 30 days and a second goes; today's file always stays.
      {kDec10Noon, utc(2026, 11, 10, 13, 0, 0), 30, false},
      {kDec10Noon, utc(2026, 11, 10, 11, 59, 58), 30, true},
      {kDec10Noon, utc(2026, 12, 10, 12, 0, 0), 1, false},
      {kDec10Noon, utc(2026, 12, 9, 11, 59, 58), 1, true},
      {kDec10Noon, utc(2025, 12, 10, 12, 0, 0), 365, false},
      {kDec10Noon, utc(2025, 12, 10, 11, 59, 58), 365, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(logpurge::isPastKeptDays(logpurge::dosFileDayCount(c.lastWrite), c.now, c.keptDays), c.past)
        << "now " << c.now << " file " << c.lastWrite << " days " << c.keptDays;
  }
}

void setLastWrite(const fs::path& file, std::time_t when) {
  const timespec times[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << file;
}

// The whole road: walk "*.log" below the program folder and purge what the walk reports.
TEST(LogPurge, RemovesExactlyTheLogFilesPastTheLimit) {
  ZoneGuard zone("UTC0");
  TempDir tmp;
  const fs::path prog = tmp / "prog";
  const fs::path outside = tmp / "outside";
  const std::time_t old = utc(2026, 10, 31, 8, 0, 0);    // 40 days before now
  const std::time_t recent = utc(2026, 12, 9, 8, 0, 0);  // yesterday
  for (const char* f : {"20261031.log", "sub/deep/20261031.LOG", "notes.txt", "sub/ancien.log"}) {
    writeFile(prog / f, "x");
    setLastWrite(prog / f, old);
  }
  for (const char* f : {"20261209.log", "sub/20261209.log"}) {
    writeFile(prog / f, "x");
    setLastWrite(prog / f, recent);
  }
  writeFile(outside / "etranger.log", "x");
  setLastWrite(outside / "etranger.log", old);
  fs::create_symlink(outside / "etranger.log", prog / "lien.log");
  setLastWrite(prog / "lien.log", old);
  fs::create_directory_symlink(outside, prog / "dossier-lien");

  TScruteDossier walker;
  walker.Pump = [] {};
  walker.Dossier = prog.string();
  walker.Filtre = "*.log";
  walker.OnFichier = [](TScruteDossier&, const std::string& nom) { logpurge::purgeOldLogFile(nom, kDec10Noon, 30); };
  walker.Execute();

  const auto exists = [](const fs::path& p) { return fs::exists(fs::symlink_status(p)); };
  EXPECT_FALSE(exists(prog / "20261031.log"));
  EXPECT_FALSE(exists(prog / "sub/deep/20261031.LOG"));
  EXPECT_FALSE(exists(prog / "sub/ancien.log"));
  EXPECT_TRUE(exists(prog / "20261209.log"));
  EXPECT_TRUE(exists(prog / "sub/20261209.log"));
  EXPECT_TRUE(exists(prog / "notes.txt"));
  EXPECT_TRUE(exists(prog / "lien.log"));
  EXPECT_TRUE(exists(outside / "etranger.log"));
}

TEST(LogPurge, MissingFileIsLeftQuietly) {
  TempDir tmp;
  EXPECT_FALSE(logpurge::purgeOldLogFile((tmp / "absent.log").string(), kDec10Noon, 30));
}

}  // namespace
