// Extraction to a name that holds nothing yet: the file is written in place
// with its mode and date; a bad or cancelled entry leaves no part of itself,
// and a dangling link in the way is replaced, never written through.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>

#include "platform/core/dos_datetime.h"
#include "support/temp_dir.h"
#include "zip/za_archive_fixture.h"
#include "zip/za_archiver.h"
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
