#include "backup/file_size64.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "support/temp_dir.h"

using namespace backup;

TEST(FileSize64, SizeOfFilesZeroForWhatIsNoFile) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "trois.txt", "abc");
  testsupport::writeFile(dir / "vide.txt", "");
  std::filesystem::create_directory(dir / "dossier");
  std::filesystem::create_symlink(dir / "trois.txt", dir / "lien");
  std::filesystem::create_symlink(dir / "absent", dir / "lien-mort");
  const struct {
    std::string path;
    std::int64_t size;
  } cases[] = {
      {(dir / "trois.txt").string(), 3},
      {(dir / "vide.txt").string(), 0},
      {(dir / "absent").string(), 0},
      {(dir / "dossier").string(), 0},
      {(dir / "lien").string(), 3},
      {(dir / "lien-mort").string(), 0},
      {"", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(FileSize64(c.path), c.size) << c.path;
}

TEST(FileSize64, SparseFileOverFourGibibytes) {
  testsupport::TempDir dir;
  const auto path = dir / "creux.bin";
  testsupport::writeFile(path, "");
  const std::int64_t size = (std::int64_t{5} << 30) + 123;
  ASSERT_EQ(truncate(path.c_str(), size), 0);
  EXPECT_EQ(FileSize64(path.string()), size);
}
