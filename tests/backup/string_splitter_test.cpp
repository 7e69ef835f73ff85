#include "backup/components/string_splitter.h"

#include <gtest/gtest.h>

using namespace backup;

namespace {

using Pieces = std::vector<std::string>;

TEST(StringSplitter, SplitKeepsPiecesAsTyped) {
  struct Case {
    std::string text;
    Pieces pieces;
  };
  for (const Case& c : std::vector<Case>{
           {"", {}},
           {"a@x.fr", {"a@x.fr"}},
           {"a@x.fr;", {"a@x.fr"}},
           {"a@x.fr;b@y.fr", {"a@x.fr", "b@y.fr"}},
           {"a@x.fr; b@y.fr", {"a@x.fr", " b@y.fr"}},
           {"a@x.fr;;b@y.fr", {"a@x.fr", "", "b@y.fr"}},
           {";a", {"", "a"}},
           {";", {""}},
           {";;", {"", ""}},
           {" ", {" "}},
           {"é;è", {"é", "è"}},
       }) {
    Pieces list;
    splitter::SplitString(c.text, ';', list);
    EXPECT_EQ(list, c.pieces) << "'" << c.text << "'";
  }
}

TEST(StringSplitter, SplitAppendsToWhatTheListHolds) {
  Pieces list{"déjà"};
  splitter::SplitString("a|b", '|', list);
  EXPECT_EQ(list, (Pieces{"déjà", "a", "b"}));
}

TEST(StringSplitter, NextTokenMovesPastTheDelimiter) {
  struct Case {
    std::string text;
    int position;
    std::string token;
    int next;
  };
  for (const Case& c : std::vector<Case>{
           {"ab;cd", 1, "ab", 4},
           {"ab;cd", 4, "cd", 7},
           {"ab;cd", 2, "b", 4},
           {"ab;;cd", 4, "", 5},
           {"ab;", 4, "", 5},
           {"ab", 9, "", 10},
           {"ab", 0, "ab", 4},
       }) {
    int position = c.position;
    std::string token = "old";
    splitter::NextToken(c.text, ';', position, token);
    EXPECT_EQ(token, c.token) << c.text << " at " << c.position;
    EXPECT_EQ(position, c.next) << c.text << " at " << c.position;
  }
}

}  // namespace
