#include "platform/core/str_to_int.h"

#include <gtest/gtest.h>

#include "platform/core/exceptions.h"

namespace {

struct Good {
  const char* text;
  int value;
};

TEST(StrToInt, AcceptsWhatTheClassLibraryAccepted) {
  const Good cases[] = {
      {"0", 0},
      {"12", 12},
      {"  7", 7},
      {"-3", -3},
      {"+4", 4},
      {"0x1F", 31},
      {"0X1f", 31},
      {"$10", 16},
      {"0xFFFFFFFF", -1},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"007", 7},
  };
  for (const Good& c : cases) EXPECT_EQ(platform::strToInt(c.text), c.value) << c.text;
}

TEST(StrToInt, RejectsAnythingElseWithTheFrenchMessage) {
  for (const char* text :
       {"", " ", "abc", "12a", "1 ", "0x", "$", "2147483648", "-2147483649", "0x100000000", "1.5", "--1"}) {
    try {
      platform::strToInt(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const platform::EConvertError& e) {
      EXPECT_EQ(e.message(), std::string("'") + text + "' n'est pas une valeur entière correcte");
    }
    EXPECT_EQ(platform::strToIntDef(text, 99), 99) << text;
  }
}

}  // namespace
