#include "platform/core/format.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/core/exceptions.h"

using platform::Format;

TEST(Format, Specifiers) {
  struct Case {
    std::string expected, actual;
  };
  const std::vector<Case> cases = {
      {"a b", Format("%s %s", {"a", "b"})},
      {"   13", Format("%5d", {13})},
      {"   -1", Format("%5d", {-1})},
      {"123456", Format("%5d", {123456})},
      {"13   |", Format("%-5d|", {13})},
      {"4294967295", Format("%u", {-1})},
      {"FF", Format("%x", {255})},
      {"100%", Format("%d%%", {100})},
      {"x = 7, y = -8", Format("x = %d, y = %d", {7, -8})},
      {"-9223372036854775808", Format("%d", {INT64_MIN})},
      {" été", Format("%6s", {"été"})},  // width in bytes, as the class library counts 8-bit text
  };
  for (const Case& c : cases) EXPECT_EQ(c.actual, c.expected);
}

TEST(Format, MismatchIsAConversionError) {
  EXPECT_THROW(Format("%d", {"text"}), platform::EConvertError);
  EXPECT_THROW(Format("%s", {5}), platform::EConvertError);
  EXPECT_THROW(Format("%d %d", {5}), platform::EConvertError);
  EXPECT_THROW(Format("%q", {5}), platform::EConvertError);
  EXPECT_THROW(Format("50%", {}), platform::EConvertError);
  try {
    Format("%d", {"x"});
  } catch (const platform::EConvertError& e) {
    EXPECT_EQ(e.message(), "Format '%d' incorrect ou incompatible avec l'argument");
  }
}
