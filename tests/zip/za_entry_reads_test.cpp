// Reads of entry data: reads that run into the next volume, encryptions the
// component cannot read, and password questions that must come to an end.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "support/server_process.h"
#include "support/temp_dir.h"
#include "zip/za_archiver.h"
#include "zip/za_except.h"
#include "zip/zip_builder.h"

using namespace zip;

namespace {

namespace fs = std::filesystem;

struct Outcome {
  bool opened = false;
  std::string openError;
  std::vector<int32_t> failureCodes;
  int passwordQuestions = 0;
};

// Opens archive and runs the operation over every entry; each failure is
// ignored so that all entries are tried. Boxes are answered OK.
Outcome runAll(const fs::path& archive, const fs::path& base, TZAProcessOperation operation,
           const TZAOnPasswordEvent& onPassword = nullptr) {
  platform::ScopedResponder answers(std::vector<platform::MsgAnswer>(16, platform::MsgAnswer::Ok));
  Outcome out;
  TZipArchiver a;
  a.FileName = archive.string();
  a.OnPassword = onPassword;
  if (!onPassword) {
    a.OnPassword = [&](TZABaseArchiver*, const std::string&, std::string&, bool& skip) {
      ++out.passwordQuestions;
      skip = true;
    };
  }
  a.OnProcessFileFailure = [&](TZABaseArchiver*, const std::string&, TZAProcessOperation, int32_t native, int32_t,
                               const std::string&, TZAAction& action) {
    out.failureCodes.push_back(native);
    action = fxaIgnore;
  };
  try {
    a.OpenArchive(0x20);
    out.opened = true;
    a.BaseDir = base.string();
    a.SelectFiles("*.*", 0x28BF, "");
    a.ProcessSelectedItems(operation);
  } catch (const std::exception& e) {
    out.openError = e.what();
  }
  a.CloseArchive();
  return out;
}

fs::path copyFixture(const std::string& name, const fs::path& into) {
  const fs::path from = fs::path(testsupport::fixturesDir()) / "zip" / name;
  fs::copy(from, into / name, fs::copy_options::recursive);
  for (const auto& e : fs::recursive_directory_iterator(into))
    fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add);
  return into / name;
}

// Headers that run over the end of a volume: the read goes on in the next
// volume, and nothing may still use the stream of the one before.
TEST(VolumeReads, HeaderAcrossVolumesFailsCleanly) {
  struct Case {
    const char* fixture;
    const char* archive;
  };
  for (const Case& c : {Case{"header-across-volumes", "header-across-volumes/in.zip"},
                        Case{"header-wraps-disk.zip", "header-wraps-disk.zip"}}) {
    for (TZAProcessOperation op : {poExtract, poTest}) {
      testsupport::TempDir work;
      copyFixture(c.fixture, work.path());
      fs::create_directories(work / "base");
      const Outcome r = runAll(work / c.archive, work / "base", op);
      SCOPED_TRACE(std::string(c.fixture) + " operation " + std::to_string(op));
      if (!r.opened) continue;  // refused at open: nothing was read past a volume
      EXPECT_EQ(r.passwordQuestions, 0);
      for (const auto& e : fs::recursive_directory_iterator(work / "base"))
        EXPECT_TRUE(e.is_directory() || op == poExtract) << e.path();
    }
  }
}

// A split set made by Info-ZIP whose second entry, encrypted, has its
// encryption header across the end of the first volume.
TEST(VolumeReads, EncryptionHeaderAcrossVolumesIsReadThroughTheVolumes) {
  testsupport::TempDir work;
  // Stored sizes alone place the header: 4 + 30 + 5 + 12 + 65428 puts the
  // second local header 41 bytes before the 64 KiB cut.
  std::string bulk(65428, '\0');
  uint32_t x = 7;
  for (char& c : bulk) c = static_cast<char>((x = x * 1103515245 + 12345) >> 16);
  const std::string text = "hello secret world\n";
  testsupport::writeFile(work / "a.bin", bulk);
  testsupport::writeFile(work / "b.txt", text);
  const auto made = ziptest::runCommand("cd " + ziptest::shellQuote(work.str()) +
                                        " && zip -q -X -0 -P secret -s 64k set.zip a.bin b.txt 2>&1");
  ASSERT_EQ(made.status, 0) << made.out;
  ASSERT_EQ(fs::file_size(work / "set.z01"), 65536u);

  TZipArchiver a;
  a.FileName = (work / "set.zip").string();
  a.Password = "secret";
  a.OpenArchive(0x20);
  const TDirItem& second = *a.DirManager()->ArchiveDir.GetItemPtr(1);
  ASSERT_EQ(second.TrueDiskNumberStart(), 0u);
  const uint64_t headerStart = second.TrueLocalHeaderOffset() + 30 + 5;
  ASSERT_LT(headerStart, 65536u);
  ASSERT_GT(headerStart + 12, 65536u);
  for (TZAProcessOperation op : {poTest, poExtract}) {
    std::vector<int32_t> failures;
    a.OnProcessFileFailure = [&](TZABaseArchiver*, const std::string&, TZAProcessOperation, int32_t native, int32_t,
                                 const std::string&, TZAAction& action) {
      failures.push_back(native);
      action = fxaIgnore;
    };
    a.BaseDir = (work / "out").string();
    a.SelectFiles("*.*", 0x28BF, "");
    a.ProcessSelectedItems(op);
    EXPECT_TRUE(failures.empty()) << "operation " << op << ", first code " << failures.front();
  }
  a.CloseArchive();
  EXPECT_EQ(testsupport::readFile(work / "out" / "b.txt"), text);
  EXPECT_EQ(testsupport::readFile(work / "out" / "a.bin"), bulk);
}

}  // namespace
