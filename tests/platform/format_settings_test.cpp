#include "platform/core/format_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(FormatSettings, StrftimePatternsBecomeQtPatterns) {
  const std::pair<const char*, const char*> cases[] = {
      {"%d/%m/%Y", "dd/MM/yyyy"},
      {"%T", "HH:mm:ss"},
      {"%H:%M:%S", "HH:mm:ss"},
      {"%m/%d/%y", "MM/dd/yy"},
      {"%d.%m.%Y", "dd.MM.yyyy"},
      {"%Y-%m-%d", "yyyy-MM-dd"},
      {"%r", "hh:mm:ss AP"},
      {"%Ey", "yy"},
      {"%q", ""},
      {"%", ""},
      {"%Hh%M", "HH'h'mm"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(platform::qtPatternFromStrftime(in), out) << in;
}

TEST(FormatSettings, ALocaleWithoutFormatsGivesTheFallback) {
  const char* saved = std::getenv("LC_ALL");
  const std::string keep = saved ? saved : "";
  ::setenv("LC_ALL", "C", 1);
  const platform::FormatSettings s = platform::localeFormatSettings();
  if (saved) ::setenv("LC_ALL", keep.c_str(), 1);
  else ::unsetenv("LC_ALL");
  EXPECT_EQ(s.shortDateFormat, "dd/MM/yyyy");
  EXPECT_EQ(s.longTimeFormat, "HH:mm:ss");
}

TEST(FormatSettings, LogDateDropsTheTimeOnlyAtMidnight) {
  const platform::FormatSettings before = platform::formatSettings();
  platform::setFormatSettings({"dd/MM/yyyy", "HH:mm:ss", ','});
  const QDate d(2026, 12, 9);
  EXPECT_EQ(platform::dateTimeToStr(QDateTime(d, QTime(0, 0))), "09/12/2026");
  EXPECT_EQ(platform::dateTimeToStr(QDateTime(d, QTime(0, 0, 0, 400))), "09/12/2026");
  EXPECT_EQ(platform::dateTimeToStr(QDateTime(d, QTime(0, 0, 1))), "09/12/2026 00:00:01");
  EXPECT_EQ(platform::dateTimeToStr(QDateTime(d, QTime(13, 5, 9))), "09/12/2026 13:05:09");
  platform::setFormatSettings(before);
}

}  // namespace
