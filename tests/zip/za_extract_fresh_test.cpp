// Extraction to a name that holds nothing yet: the file is written in place
// with its mode and date; a bad or cancelled entry leaves no part of itself,
// and a dangling link in the way is replaced, never written through.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/core/dos_datetime.h"
#include "support/scoped_responder.h"
#include "support/temp_dir.h"
#include "zip/za_archive_fixture.h"
#include "zip/za_archiver.h"
#include "zip/za_failure_log.h"
#include "zip/zip_builder.h"

using namespace zip;

namespace {

namespace fs = std::filesystem;

struct FreshCase {
  const char* label;
  std::function<void(ziptest::ZipEntry&)> shape;
  bool danglingLink;
  bool cancelWhileCopying;
  bool written;
  fs::perms mode;  // when written
};

class Umask {
 public:
  explicit Umask(mode_t m) : old_(::umask(m)) {}
  ~Umask() { ::umask(old_); }

 private:
  mode_t old_;
};

TEST(ExtractFresh, WrittenWholeInPlaceOrNotAtAll) {
  const Umask umask(022);
  const std::string data(200000, 'x');
  const auto unixMode = [](uint32_t mode) {
    return [mode](ziptest::ZipEntry& e) {
      e.versionMadeBy = 3 << 8 | 20;
      e.externalAttributes = (0100000u | mode) << 16;
    };
  };
  const FreshCase cases[] = {
      {"plain entry", nullptr, false, false, true, fs::perms(0644)},
      {"stored Unix mode beyond the umask", unixMode(0777), false, false, true, fs::perms(0777)},
      {"stored Unix mode", unixMode(0640), false, false, true, fs::perms(0640)},
      {"read-only attribute", [](auto& e) { e.externalAttributes = 0x21; }, false, false, true, fs::perms(0444)},
      {"CRC damaged", [](auto& e) { e.crc = ziptest::crcOf(e.plain) ^ 1u; }, false, false, false, {}},
      {"data cut short",
       [](auto& e) {
         e.data = ziptest::rawDeflate(e.plain.substr(0, e.plain.size() / 2));
         e.method = 8;
       },
       false, false, false, {}},
      {"cancel while copying", nullptr, false, true, false, {}},
      {"dangling link in the way", nullptr, true, false, true, fs::perms(0644)},
      {"dangling link, CRC damaged", [](auto& e) { e.crc = ziptest::crcOf(e.plain) ^ 1u; }, true, false, false, {}},
  };
  for (const FreshCase& c : cases) {
    SCOPED_TRACE(c.label);
    testsupport::TempDir work;
    const fs::path base = work / "base";
    const fs::path target = base / "d" / "f.txt";
    fs::create_directories(base / "d");
    if (c.danglingLink) fs::create_symlink(work / "nowhere", target);

    ziptest::ZipBuilder b;
    ziptest::ZipEntry& e = b.addStored("d/f.txt", data);
    e.plain = data;
    if (c.shape) c.shape(e);
    const platform::DosDateTime stamp = platform::makeDosDateTime(e.modDate, e.modTime);
    testsupport::writeFile(work / "a.zip", b.build());

    const int failures = ziptest::extractIgnoringFailures(work / "a.zip", base, c.cancelWhileCopying);

    EXPECT_FALSE(fs::exists(work / "nowhere"));
    EXPECT_EQ(failures, c.written || c.cancelWhileCopying ? 0 : 1);
    if (c.written) {
      ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(target)));
      EXPECT_EQ(testsupport::readFile(target), data);
      EXPECT_EQ(fs::status(target).permissions(), c.mode);
      struct stat st {};
      ASSERT_EQ(::stat(target.c_str(), &st), 0);
      EXPECT_EQ(st.st_mtime, platform::timeFromDosDateTime(stamp));
    } else if (c.danglingLink) {
      EXPECT_TRUE(fs::is_symlink(target));
    } else {
      EXPECT_FALSE(fs::exists(fs::symlink_status(target)));
    }
    for (const auto& f : fs::directory_iterator(base / "d")) {
      EXPECT_NE(f.path().filename().string().rfind("ZT", 0), 0u) << f.path();
    }
  }
}

}  // namespace

namespace {

// Two stored names that share a long beginning: each is written whole where
// the platform holds its path; where a name had to be cut, the cut name that
// meets a file this extraction wrote fails, and that file stays.
TEST(ExtractLongNames, NamesSharingTheirBeginningNeverOverwriteEachOther) {
  using namespace zip;
  std::string folders;
  for (int i = 0; i < 4; ++i) folders += std::string(200, static_cast<char>('a' + i)) + "/";
  // 1,000 bytes, differing in the last one.
  const std::string thousand = folders + std::string(195, 'f');
  // 4,020 bytes of folders and a 151-byte file name: past what a path holds.
  std::string deep;
  for (int i = 0; i < 20; ++i) deep += std::string(200, static_cast<char>('a' + i)) + "/";
  const std::string beyond = deep + std::string(150, 'f');
  struct Case {
    const char* label;
    std::string name;
    bool createDirs;
    std::vector<std::string> written;  // below the base, with their content
    size_t failures;
  };
  const std::vector<Case> cases{
      {"1,000 bytes", thousand, true, {thousand + "1", thousand + "2"}, 0},
      {"past a path, folders made", beyond, true, {}, 2},
      // The file part of the cut name: the first entry takes it, the second fails.
      {"past a path, file parts only", beyond, false, {std::string(4095 - deep.size(), 'f')}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ziptest::ZipBuilder b;
    b.addStored(c.name + "1", "premier");
    b.addStored(c.name + "2", "second");
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "t.zip", b.build());
    testsupport::ScopedResponder noDialogs;
    ziptest::FailureLog failures;
    TZipArchiver a;
    a.FileName = (dir / "t.zip").string();
    failures.listen(a);
    a.OpenArchive(0x20);
    a.Options().CreateDirs = c.createDirs;
    a.BaseDir = (dir / "out").string();
    fs::create_directories(dir / "out");
    a.ExtractFiles("*.*", 0x28BF, "");
    a.CloseArchive();
    EXPECT_EQ(failures.size(), c.failures) << failures.first();
    const std::vector<std::string> contents{"premier", "second"};
    for (size_t i = 0; i < c.written.size(); ++i) {
      const fs::path file = dir / "out" / c.written[i];
      ASSERT_TRUE(fs::exists(file)) << c.written[i].size() << " bytes";
      EXPECT_EQ(testsupport::readFile(file), contents[i]);
    }
    size_t files = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir / "out")) files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, c.written.size());
  }
}

}  // namespace
