// The version page's body cut into lines.
#include <gtest/gtest.h>

#include "update/page_lines.h"

namespace {

TEST(PageLinesTest, BreaksAreCarriageReturnsLineFeedsOrBoth) {
  struct Case {
    std::string body;
    QStringList lines;
  };
  const Case cases[] = {
      {"", {"0"}},
      {"12/03/2007", {"12/03/2007"}},
      {"12/03/2007\r\nNotes\r\n", {"12/03/2007", "Notes"}},
      {"12/03/2007\nNotes", {"12/03/2007", "Notes"}},
      {"12/03/2007\rNotes\r", {"12/03/2007", "Notes"}},
      {"a\n\rb", {"a", "", "b"}},
      {"a\r\r\nb", {"a", "", "b"}},
      {"a\n\nb\n", {"a", "", "b"}},
      {"\r\n", {""}},
      {"\n\n", {"", ""}},
      {std::string("a\0b\nc", 5), {QString::fromUtf8("a\0b", 3), "c"}},
      {"Mise \xc3\xa0 jour", {QStringLiteral("Mise à jour")}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(updater::splitPageLines(c.body), c.lines) << c.body;
  }
}

}  // namespace
