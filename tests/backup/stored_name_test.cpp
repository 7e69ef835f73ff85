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
      {"/", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(StoredArchiveName(c.path), c.name) << c.path;
}
