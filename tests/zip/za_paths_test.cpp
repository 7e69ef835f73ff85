#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "zip/volumes/za_medium.h"
#include "zip/names/za_paths.h"

using namespace zip;
namespace fs = std::filesystem;

namespace {

class ZAPaths : public ::testing::Test {
 protected:
  void SetUp() override {
    cwd_ = fs::current_path();
    base_ = fs::canonical(tmp_.path()).string();
    fs::create_directories(base_ + "/sub");
    testsupport::writeFile(base_ + "/sub/a.txt", "a");
  }
  // No routine may move the process's current folder.
  void TearDown() override { EXPECT_EQ(fs::current_path(), cwd_); }

  std::string noRoot(const std::string& p) { return p.substr(1); }

  testsupport::TempDir tmp_;
  fs::path cwd_;
  std::string base_;
};

}  // namespace

TEST_F(ZAPaths, NormalizeStoredPathInEveryMode) {
  const std::string parent = fs::path(base_).parent_path().string();
  struct Row {
    std::string fileName;
    TZAStorePathMode mode;
    std::string stored;
  };
  const std::vector<Row> rows = {
      {base_ + "/sub/a.txt", spNoPath, "a.txt"},
      {base_ + "/sub/a.txt", spRelativePath, "sub/a.txt"},
      {base_ + "/sub/a.txt", spFullPath, noRoot(base_) + "/sub/a.txt"},
      {base_ + "/sub/a.txt", spFullPathWithDrive, base_ + "/sub/a.txt"},
      {"/other/b.txt", spRelativePath, "other/b.txt"},  // outside the base: absolute, root dropped
      {"/other/b.txt", spFullPathWithDrive, "/other/b.txt"},
      {"sub/a.txt", spRelativePath, "sub/a.txt"},  // relative names resolve from the base
      {"sub/a.txt", spFullPath, noRoot(base_) + "/sub/a.txt"},
      {"sub/../sub/./a.txt", spRelativePath, "sub/a.txt"},
      {"../up.txt", spRelativePath, noRoot(parent) + "/up.txt"},
      {base_ + "/sub/", spRelativePath, "sub"},  // a folder
      {base_ + "/sub/", spNoPath, "sub"},
      {base_, spRelativePath, noRoot(base_)},  // the base itself is not below it
      {"", spRelativePath, noRoot(base_)},
      {"/", spFullPath, ""},  // the root leaves nothing
      {"/", spNoPath, ""},
      {"/", spRelativePath, ""},
      {"file.", spRelativePath, "file."},      // a final dot belongs to a Linux name
      {"a:b.txt", spRelativePath, "a:b.txt"},  // so does a colon
      {"c:/x.txt", spRelativePath, "c:/x.txt"},
      {"back\\slash.txt", spRelativePath, "back\\slash.txt"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(NormalizeStoredPath(r.fileName, base_, r.mode), r.stored) << r.fileName << " mode " << int(r.mode);
  }
  // A base given relative to the current folder resolves the same way.
  const std::string relBase = fs::relative(base_, cwd_).string();
  EXPECT_EQ(NormalizeStoredPath(base_ + "/sub/a.txt", relBase, spRelativePath), "sub/a.txt");
}

TEST_F(ZAPaths, ExpandPathFromBase) {
  const std::string cwd = cwd_.string();
  const std::string parent = fs::path(base_).parent_path().string();
  struct Row {
    std::string base, path, expanded;
  };
  const std::vector<Row> rows = {
      {base_, "", base_},  // absolute base: as given
      {"/no/such/dir/", "", "/no/such/dir/"},
      {"no-such-relative", "", "no-such-relative"},  // not a folder: as given
      {"", "", cwd},
      {fs::relative(base_ + "/sub", cwd_).string(), "", base_ + "/sub"},
      {fs::relative("/", cwd_).string(), "", "/"},  // the root keeps its separator
      {base_, "a/./b/../c", base_ + "/a/c"},
      {base_, "/abs/p", "/abs/p"},
      {base_, "../up", parent + "/up"},
      {base_ + "/", "x/", base_ + "/x/"},
      {base_, "x:y", base_ + "/x:y"},
      {"no-such-relative", "f", cwd + "/no-such-relative/f"},  // resolved against the base even when it is missing
      {"", "f", cwd + "/f"},
  };
  for (const Row& r : rows) EXPECT_EQ(ExpandPathFromBase(r.base, r.path), r.expanded) << r.base << " + " << r.path;
}

TEST_F(ZAPaths, ArchiveNamesStayBelowTheBase) {
  struct Row {
    std::string name;
    std::optional<std::string> target;
  };
  const std::vector<Row> rows = {
      {"a/b.txt", base_ + "/a/b.txt"},
      {"dir/", base_ + "/dir/"},
      {"", base_},
      {"./x", base_ + "/x"},
      {"...", base_ + "/..."},
      {"a/../b", base_ + "/b"},
      {"/etc/passwd", base_ + "/etc/passwd"},  // leading separator dropped
      {"///etc/passwd", base_ + "/etc/passwd"},
      {"C:/Windows/x", base_ + "/Windows/x"},  // drive dropped
      {"C:\\Windows\\x", base_ + "/Windows/x"},
      {"c:x", base_ + "/x"},
      {"//srv/share/dir/c.txt", base_ + "/dir/c.txt"},  // server share dropped
      {"\\\\srv\\share\\c.txt", base_ + "/c.txt"},
      {"ab:c", base_ + "/ab:c"},  // a colon after the first character is plain
      {"../x", std::nullopt},
      {"a/../../x", std::nullopt},
      {"a/./../..", std::nullopt},
      {"C:/../x", std::nullopt},
      {"/../../etc/passwd", std::nullopt},
  };
  for (const Row& r : rows) EXPECT_EQ(ExpandArchivePathFromBase(base_, r.name), r.target) << r.name;
  EXPECT_EQ(ExpandArchivePathFromBase("/", "/x/y"), "/x/y");
  EXPECT_EQ(ExpandArchivePathFromBase("/", "../x"), std::nullopt);
}

TEST_F(ZAPaths, FolderRoutines) {
  EXPECT_EQ(ZAIncludeTrailingBackslash("a"), "a/");
  EXPECT_EQ(ZAIncludeTrailingBackslash("a/"), "a/");
  EXPECT_EQ(ZAExcludeTrailingBackslash("a/"), "a");
  EXPECT_EQ(ZAExcludeTrailingBackslash("a"), "a");
  EXPECT_EQ(AppendBackslashIfNotEmpty(""), cwd_.string() + "/");
  EXPECT_EQ(AppendBackslashIfNotEmpty("x"), "x/");

  EXPECT_TRUE(ZADirectoryExists(base_));
  EXPECT_TRUE(ZADirectoryExists(base_ + "/sub/"));
  EXPECT_FALSE(ZADirectoryExists(base_ + "/sub/a.txt"));
  EXPECT_FALSE(ZADirectoryExists(""));

  EXPECT_TRUE(ZAForceDirectories(base_ + "/x/y/z/"));
  EXPECT_TRUE(ZADirectoryExists(base_ + "/x/y/z"));
  EXPECT_FALSE(ZAForceDirectories(base_ + "/sub/a.txt/below"));  // a file stands in the way

  EXPECT_FALSE(IsFloppyDrive(base_));
  EXPECT_FALSE(IsFloppyDrive("a:/file"));  // no drive letters here
  EXPECT_FALSE(IsRemovableDrive(base_ + "/not/yet/made"));
}
