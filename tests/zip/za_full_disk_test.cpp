// Update passes on a disk that fills: a small tmpfs holds the archive and
// the backup of its tail. Skipped where mounting is not allowed.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/random_bytes.h"
#include "support/small_disk.h"
#include "support/temp_dir.h"
#include "zip/za_archive_fixture.h"
#include "zip/za_archiver.h"
#include "zip/zip_builder.h"
#include "zip/zip_test_reader.h"

using namespace zip;
using testsupport::randomBytes;
using testsupport::readFile;
using testsupport::writeFile;
using ziptest::runCommand;
using ziptest::shellQuote;

namespace fs = std::filesystem;

namespace {

// A tmpfs of the given size, unmounted at the end.
class SmallDisk {
 public:
  explicit SmallDisk(const fs::path& at) : at_(at), mounted_(testsupport::mountSmallDisk(at, "128k")) {}
  ~SmallDisk() {
    if (mounted_) testsupport::unmountDisk(at_);
  }
  bool mounted() const { return mounted_; }
  void resize(const std::string& size) const {
    ASSERT_EQ(::mount("tmpfs", at_.c_str(), "tmpfs", MS_REMOUNT, ("size=" + size).c_str()), 0);
  }

 private:
  fs::path at_;
  bool mounted_ = false;
};

struct Pass {
  std::vector<std::string> failures;
  std::string error;  // what the pass raised, empty when it ended
};

// One pass over names (entries present replaced, the others added), stored, each failure passed over.
Pass update(const std::string& archive, const fs::path& src, const std::vector<std::string>& names) {
  Pass p;
  try {
    TZipArchiver a;
    a.FileName = archive;
    a.BaseDir = src.string();
    a.SetCompressionMode(0);
    a.OnProcessFileFailure = [&](TZABaseArchiver*, const std::string&, TZAProcessOperation, int32_t, int32_t,
                                 const std::string& message, TZAAction& action) {
      p.failures.push_back(message);
      action = fxaIgnore;
    };
    a.OpenArchive(fs::exists(archive) ? platform::fmOpenReadWrite | platform::fmShareDenyWrite : kCreateMode);
    a.BeginUpdate();
    ziptest::replaceOrAdd(a, names);
    a.EndUpdate();
    a.CloseArchive();
  } catch (const std::exception& e) {
    p.error = e.what();
  }
  return p;
}

// The names of the archive's entries; empty when it does not open.
std::vector<std::string> entries(const std::string& archive) {
  std::vector<std::string> names;
  try {
    TZipArchiver a;
    a.FileName = archive;
    a.OpenArchive(0x20);
    for (int32_t i = 0; i < a.EntryCount(); ++i) names.push_back(a.Entry(i).FileName());
  } catch (const std::exception&) {
  }
  return names;
}

// The archive holds exactly the tree, and the other tools find it sound.
void expectTheTree(const std::string& archive, const ziptest::Tree& tree, const fs::path& out) {
  ziptest::expectSound(archive);
  fs::remove_all(out);
  ASSERT_EQ(runCommand("/usr/bin/python3 -m zipfile -e " + shellQuote(archive) + " " + shellQuote(out.string())).status,
            0);
  EXPECT_EQ(ziptest::treeDiff(ziptest::readTree(out), tree), "");
}

}  // namespace

// An archive left without its directory by a killed pass, whose first entry
// grows, on a disk that fills at some point of the pass (the backup of the
// tail lies on the same disk): the archive keeps its entries, and once there
// is room the next pass leaves exactly the tree.
TEST(FullDisk, ARebuiltArchiveKeepsItsEntriesAndTheNextPassBringsTheTree) {
  testsupport::TempDir dir;
  SmallDisk disk(dir / "disk");
  if (!disk.mounted()) GTEST_SKIP() << "tmpfs cannot be mounted here";
  const fs::path src = dir / "src";
  fs::create_directories(src);
  const std::string archive = (dir / "disk" / "t.zip").string();
  for (int kb = 400; kb <= 900; kb += 40) {
    const std::string size = std::to_string(kb) + "k";
    SCOPED_TRACE(size);
    disk.resize("2m");
    fs::remove(archive);
    ziptest::Tree tree = {{"a.bin", randomBytes(100000, 1)}, {"b.bin", randomBytes(100000, 2)},
                          {"c.bin", randomBytes(100000, 3)}};
    ziptest::writeTree(src, tree);
    ASSERT_EQ(update(archive, src, {"a.bin", "b.bin", "c.bin"}).error, "");
    // What a kill in the directory's writing leaves.
    const auto read = ziptest::readArchive(readFile(archive));
    ASSERT_TRUE(read);
    fs::resize_file(archive, read->directoryOffset);
    tree["a.bin"] = randomBytes(250000, 4);
    ziptest::writeTree(src, tree);
    disk.resize(size);
    update(archive, src, {"a.bin"});
    EXPECT_EQ(entries(archive).size(), 3u);
    disk.resize("2m");
    const Pass next = update(archive, src, {"a.bin"});
    EXPECT_EQ(next.error, "");
    expectTheTree(archive, tree, dir / "out");
  }
}

// A new file that does not fit is passed over with the component's write
// error and the system's reason; the archive stays sound without it.
TEST(FullDisk, AFileThatDoesNotFitFailsAsAWrite) {
  testsupport::TempDir dir;
  SmallDisk disk(dir / "disk");
  if (!disk.mounted()) GTEST_SKIP() << "tmpfs cannot be mounted here";
  disk.resize("400k");
  const fs::path src = dir / "src";
  fs::create_directories(src);
  const std::string archive = (dir / "disk" / "t.zip").string();
  ziptest::Tree tree = {{"a.bin", randomBytes(100000, 1)}};
  ziptest::writeTree(src, tree);
  ASSERT_EQ(update(archive, src, {"a.bin"}).error, "");
  writeFile(src / "big.bin", randomBytes(600000, 2));
  const Pass p = update(archive, src, {"big.bin"});
  EXPECT_EQ(p.error, "");
  ASSERT_EQ(p.failures.size(), 1u);
  EXPECT_EQ(p.failures[0], "Write to stream error. No space left on device - Native error: 00046");
  expectTheTree(archive, tree, dir / "out");
}
