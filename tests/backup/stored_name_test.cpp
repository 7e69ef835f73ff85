#include "backup/stored_name.h"

#include <gtest/gtest.h>

TEST(StoredArchiveName, FullPathWithoutLeadingSlashDotsOrEmptyParts) {
  const struct {
    const char* path;
    const char* name;
  } cases[] = {
      {"/home/marie/Documents/lettre.odt", "home/marie/Documents/lettre.odt"},
      {"/data/a.txt", "data/a.txt"},
      {"//data///a.txt", "data/a.txt"},
      {"/data/./a.txt", "data/a.txt"},
      {"/data/../etc/passwd", "data/etc/passwd"},  // dropped, never resolved
      {"/../../a", "a"},
      {"/data/..a/b..", "data/..a/b.."},  // only whole parts go
      {"/data/fin.", "data/fin."},        // a final dot belongs to the name
      {"/Données/Été/C:x.txt", "Données/Été/C:x.txt"},
      {"/Data/A.TXT", "Data/A.TXT"},  // case kept: names match exactly
      {"relatif/a.txt", "relatif/a.txt"},
      {"/d/caf\xE9.txt", "d/caf\xC3\xA9.txt"},          // Latin-1 byte: read as Latin-1
      {"/d/\xC3\xA9t\xC3\xA9", "d/\xC3\xA9t\xC3\xA9"},  // UTF-8 kept as it is
      {"/d/\xF0\x9F\x98\x80", "d/\xF0\x9F\x98\x80"},
      {"/d/\xC3", "d/\xC3\x83"},                       // cut sequence
      {"/d/\xED\xA0\x80", "d/\xC3\xAD\xC2\xA0\xC2\x80"},  // surrogate is no UTF-8
      {"/", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(StoredArchiveName(c.path), c.name) << c.path;
}
