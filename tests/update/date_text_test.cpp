// Dates read and written in the workstation's short date format.
#include <gtest/gtest.h>

#include "platform/core/clock.h"
#include "platform/core/exceptions.h"
#include "platform/core/format_settings.h"
#include "update/date_text.h"

namespace {

class DateTextTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::setFormatSettings(platform::localeFormatSettings()); }
  static void useFormat(const char* format) {
    platform::setFormatSettings({QString::fromLatin1(format), QStringLiteral("HH:mm:ss"), ','});
  }
  platform::FixedClock clock{QDateTime(QDate(2026, 12, 10), QTime(10, 0))};
  platform::ScopedClock scopedClock{clock};
};

double day(int y, int m, int d) { return static_cast<double>(QDate(1899, 12, 30).daysTo(QDate(y, m, d))); }

TEST_F(DateTextTest, ReadsTheOrderAndSeparatorOfTheFormat) {
  struct Case {
    const char* format;
    const char* text;
    double expected;
  };
  const Case cases[] = {
      {"dd/MM/yyyy", "12/03/2007", day(2007, 3, 12)},
      {"dd/MM/yyyy", "1/2/2007", day(2007, 2, 1)},
      {"dd/MM/yyyy", "  12/03/2007  ", day(2007, 3, 12)},
      {"dd/MM/yyyy", "12 / 03 / 2007", day(2007, 3, 12)},
      {"dd/MM/yyyy", "12/03", day(2026, 3, 12)},  // the clock's year
      {"dd/MM/yyyy", "12/03/07", day(2007, 3, 12)},
      {"dd/MM/yyyy", "12/03/75", day(2075, 3, 12)},  // from fifty years before the clock's year on
      {"dd/MM/yyyy", "12/03/76", day(1976, 3, 12)},
      {"dd/MM/yyyy", "12/03/0007", day(7, 3, 12)},  // four digits are taken as written
      {"dd/MM/yyyy", "29/02/2008", day(2008, 2, 29)},
      {"dd.MM.yyyy", "12.03.2007", day(2007, 3, 12)},
      {"MM/dd/yyyy", "03/12/2007", day(2007, 3, 12)},
      {"M/d/yy", "3/12/07", day(2007, 3, 12)},
      {"yyyy-MM-dd", "2007-03-12", day(2007, 3, 12)},
      {"yyyy-MM-dd", "03-12", day(2026, 3, 12)},
      {"yyyy. MM. dd.", "2007. 03. 12.", day(2007, 3, 12)},
      {"dd.MM.yyyy 'r'.", "12.03.2007", day(2007, 3, 12)},
      {"'y'yyyy/MM/dd", "2007/03/12", day(2007, 3, 12)},
  };
  for (const Case& c : cases) {
    useFormat(c.format);
    EXPECT_EQ(updater::StrToDate(QString::fromLatin1(c.text)), c.expected) << c.format << " " << c.text;
  }
}

TEST_F(DateTextTest, RefusesWhatIsNotADate) {
  useFormat("dd/MM/yyyy");
  for (const char* text :
       {"", "0", "version 2", "12/03/2007 10:00", "12-03-2007", "32/01/2007", "29/02/2007", "12/13/2007", "00/03/2007",
        "12/03/", "/03/2007", "12//2007", "12/03/2007x", "12/03/2007//"}) {
    try {
      updater::StrToDate(QString::fromLatin1(text));
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const platform::EConvertError& e) {
      EXPECT_EQ(e.message(), std::string("'") + text + "' n'est pas une date correcte");
    }
  }
}

TEST_F(DateTextTest, WritesTheDayAndReadsItBack) {
  for (const char* format : {"dd/MM/yyyy", "MM/dd/yyyy", "yyyy-MM-dd", "d.M.yy", "yyyy. MM. dd."}) {
    useFormat(format);
    const double afternoon = day(2007, 3, 12) + 0.75;
    const QString text = updater::DateToStr(afternoon);
    EXPECT_EQ(updater::StrToDate(text), day(2007, 3, 12)) << format << " " << text.toStdString();
  }
  useFormat("dd/MM/yyyy");
  EXPECT_EQ(updater::DateToStr(day(2007, 3, 12) + 0.999), QStringLiteral("12/03/2007"));
}

}  // namespace
