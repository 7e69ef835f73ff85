#include "backup/split_field.h"

#include <gtest/gtest.h>

using namespace backup;

namespace {

TEST(SplitField, FieldsAreTheSeparatorEndedPieces) {
  struct Case {
    const char* text;
    int n;
    const char* field;
  };
  const Case cases[] = {
      {"/home/a|*.*;*.doc|oui|", 2, "/home/a"},
      {"/home/a|*.*;*.doc|oui|", 3, "*.*;*.doc"},
      {"/home/a|*.*;*.doc|oui|", 4, "oui"},
      {"/home/a|*.*;*.doc|oui|", 5, ""},
      {"/home/a|*.*|oui", 4, ""},  // text after the last separator is never a field
      {"/home/a|*.*|oui", 1, ""},
      {"||oui|", 2, ""},
      {"||oui|", 4, "oui"},
      {"/a||", 3, ""},
      {"", 2, ""},
      {"/a|", 2, "/a"},
      {"/a|", 0, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitField(c.text, '|', c.n), QString(c.field)) << c.text << " n=" << c.n;
}

}  // namespace
