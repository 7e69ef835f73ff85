// Volume file names, new volumes on a medium of a given free space, and
// writes across volumes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/random_bytes.h"
#include "support/scoped_responder.h"
#include "support/temp_dir.h"
#include "zip/archiver/za_archiver_internals.h"
#include "zip/za_archiver.h"
#include "zip/za_except.h"
#include "zip/za_failure_log.h"
#include "zip/zip_builder.h"

using namespace zip;
using ziptest::FailureLog;

namespace {

// An archiver on a medium whose free space the test sets.
class MediumArchiver : public TZipArchiver {
 public:
  int64_t FreeBytes = 1 << 30;
  bool Removable = false;
  int64_t DriveFreeBytes(const std::string&) const override { return FreeBytes; }
  bool DriveIsRemovable(const std::string&) const override { return Removable; }
};

struct NameCase {
  const char* file;
  TZASpanningMode mode;
  bool advanced;
  int32_t index;
  const char* expected;
};

TEST(VolumeNames, ByModeNamingAndIndex) {
  const NameCase cases[] = {
      {"/backup/data.zip", smSplitting, true, 0, "/backup/data_001.zip"},
      {"/backup/data.zip", smSplitting, true, 1, "/backup/data_002.zip"},
      {"/backup/data.zip", smSplitting, false, 0, "/backup/data.Z01"},
      {"/backup/data.zip", smSplitting, false, 11, "/backup/data.Z12"},
      {"/backup/data.zip", smSplitting, true, -1, "/backup/data.zip"},
      {"/backup/data.zip", smSplitting, false, -1, "/backup/data.zip"},
      {"/backup/data.zip", smSpanning, true, 2, "/backup/data_003.zip"},
      {"/backup/data.zip", smSpanning, false, 2, "/backup/data.zip"},
      {"/backup/data.zip", smNone, true, 3, "/backup/data.zip"},
      {"/backup/setup.exe", smSplitting, false, 0, "/backup/setup.exe"},
      {"/backup/setup.exe", smSplitting, false, -1, "/backup/setup.ZIP"},
      {"/backup/setup.exe", smSplitting, false, 1, "/backup/setup.Z02"},
      {"/backup/setup.exe", smSplitting, true, 1, "/backup/setup_002.exe"},
  };
  for (const NameCase& c : cases) {
    TZipArchiver a;
    a.SetSpanningMode(c.mode);
    a.SpanningOptions().AdvancedNaming = c.advanced;
    std::string name = c.file;
    a.GetVolumeFileName(name, c.index, false);
    EXPECT_EQ(name, c.expected) << c.file << " " << int{c.mode} << " " << c.advanced << " " << c.index;
  }
}

TEST(VolumeNames, LowerCaseVolumesOfOtherToolsAreFound) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "data.z01", "");
  TZipArchiver a;
  a.SetSpanningMode(smSplitting);
  a.SpanningOptions().AdvancedNaming = false;
  std::string name = (dir / "data.zip").string();
  a.GetVolumeFileName(name, 0, true);
  EXPECT_EQ(name, (dir / "data.z01").string());
  name = (dir / "data.zip").string();
  a.GetVolumeFileName(name, 1, true);
  EXPECT_EQ(name, (dir / "data.Z02").string());
}

struct FreeCase {
  TZAVolumeSize size;
  int64_t free;
  bool accepted;
};

TEST(NewVolumes, AcceptedOnlyWithRoom) {
  for (const FreeCase& c : {FreeCase{vsAutoDetect, 60000, false}, FreeCase{vsAutoDetect, 70000, true},
                            FreeCase{vs1_44MB, 1457663, false}, FreeCase{vs1_44MB, 1457664, true}}) {
    testsupport::TempDir dir;
    MediumArchiver a;
    a.FreeBytes = c.free;
    a.FileName = (dir / "d.zip").string();
    a.SetSpanningMode(smSpanning);
    a.SpanningOptions().VolumeSize = c.size;
    int blank = 0, full = 0;
    a.OnRequestBlankVolume = [&](TZABaseArchiver*, int32_t number, std::string&, bool& cancel) {
      EXPECT_EQ(number, 1);
      cancel = ++blank > 1;
    };
    a.OnDiskFull = [&](TZABaseArchiver*, int32_t number, const std::string&, bool&) {
      EXPECT_EQ(number, 1);
      ++full;
    };
    if (c.accepted) {
      a.OpenArchive(kCreateMode);
      EXPECT_EQ(full, 0);
      EXPECT_TRUE(a.Active());
    } else {
      try {
        a.OpenArchive(kCreateMode);
        ADD_FAILURE() << "no volume should be accepted";
      } catch (const EZAException& e) {
        EXPECT_EQ(e.NativeError, zeVolumeCancelled);
      }
      EXPECT_EQ(full, 1);
    }
  }
}

TEST(NewVolumes, SingleFileNeverAsks) {
  testsupport::TempDir dir;
  testsupport::ScopedResponder answers;
  TZipArchiver a;
  a.FileName = (dir / "d.zip").string();
  bool asked = false;
  a.OnRequestBlankVolume = [&](TZABaseArchiver*, int32_t, std::string&, bool&) { asked = true; };
  TZAVolumeNumberInfo info;
  info.SetFirstVolume(true);
  a.OpenArchive(kCreateMode);
  TZAArchiverInternals::OpenVolume(a, info);
  EXPECT_FALSE(asked);
  EXPECT_TRUE(answers.asked().empty());
}

TEST(WriteToVolumes, ARecordIsNeverCutAndVolumesFollowEachOther) {
  testsupport::TempDir dir;
  MediumArchiver a;
  a.FileName = (dir / "d.zip").string();
  a.SetSpanningMode(smSplitting);
  a.SpanningOptions().VolumeSize = vsCustom;
  a.SpanningOptions().SetCustomVolumeSize(65536);
  std::vector<int32_t> requested;
  a.OnRequestBlankVolume = [&](TZABaseArchiver*, int32_t number, std::string&, bool&) { requested.push_back(number); };
  a.OpenArchive(kCreateMode);
  platform::TStream* stream = TZAArchiverInternals::ArchiveStream(a);
  const std::string filler(65000, 'f'), record(1000, 'r');
  TZAArchiverInternals::WriteArchiveBuffer(a, filler.data(), static_cast<int64_t>(filler.size()), -1, stream);
  TZAArchiverInternals::WriteArchiveBuffer(a, record.data(), static_cast<int64_t>(record.size()), 0, stream);
  EXPECT_EQ(requested, (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(testsupport::readFile(dir / "d_001.zip"), filler);
  EXPECT_EQ(stream->Size(), 1000);

  // A record larger than any volume ends with the write error, not with endless volumes.
  const std::string huge(70000, 'h');
  try {
    TZAArchiverInternals::WriteArchiveBuffer(a, huge.data(), static_cast<int64_t>(huge.size()), 0, stream);
    ADD_FAILURE() << "the record cannot fit";
  } catch (const EZAException& e) {
    EXPECT_EQ(e.NativeError, zeWriteFailed);
  }
  EXPECT_LE(requested.size(), 4u);
  a.CloseArchive();
}

TEST(CopyStreamToVolumes, StopsAtTheEndOfAShortSource) {
  TZipArchiver a;
  a.SetInMemory(true);
  a.OpenArchive(kCreateMode);
  platform::TMemoryStream source;
  source.Write("0123456789", 10);
  source.SetPosition(0);
  std::vector<std::pair<int, double>> events;
  a.OnCopyTempFileProgress = [&](TZABaseArchiver*, double p, TZAProgressPhase phase, bool&) {
    events.emplace_back(phase, p);
  };
  platform::TStream* stream = TZAArchiverInternals::ArchiveStream(a);
  bool cancel = false;
  TZAArchiverInternals::CopyStreamToVolumes(a, source, stream, 1000, cancel);
  EXPECT_EQ(stream->Size(), 10);
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events.front(), std::make_pair(int{ppStart}, 0.0));
  EXPECT_EQ(events.back(), std::make_pair(int{ppEnd}, 100.0));
}

}  // namespace

namespace {

// A split archive of Info-ZIP: z.z01, z.z02, ... and z.zip.
struct SplitFixture {
  testsupport::TempDir dir;
  SplitFixture() {
    testsupport::writeFile(dir / "src/bruit.bin", testsupport::randomBytes(200000, 5));
    testsupport::writeFile(dir / "src/petit.txt", "petit");
    const auto r = ziptest::runCommand("cd " + ziptest::shellQuote((dir / "src").string()) +
                                       " && zip -q -0 -s 64k ../z.zip bruit.bin petit.txt 2>&1");
    EXPECT_EQ(r.status, 0) << r.out;
  }
};

TEST(SplitVolumes, MissingMiddleVolumeFailsWithoutAQuestion) {
  SplitFixture f;
  std::filesystem::remove(f.dir / "z.z02");
  testsupport::ScopedResponder answers;
  TZipArchiver a;
  a.FileName = (f.dir / "z.zip").string();
  a.OpenArchive(0x20);
  a.BaseDir = (f.dir / "out").string();
  FailureLog failures;
  failures.listen(a);
  a.ExtractFiles("*.*", 0x28BF, "");
  EXPECT_TRUE(answers.asked().empty());
  EXPECT_EQ(failures.codes(), (std::vector<int32_t>{zeVolumeCancelled}));  // the volume request for the data is cancelled
  EXPECT_FALSE(std::filesystem::exists(f.dir / "out/bruit.bin"));
  EXPECT_EQ(testsupport::readFile(f.dir / "out/petit.txt"), "petit");
}

// The volume before the last is missing: on a fixed disk no disk is asked
// for, the entries it holds fail with zeVolumeCancelled and the others come out.
TEST(SplitVolumes, MissingVolumeBeforeTheLastOnAFixedDisk) {
  SplitFixture f;
  std::filesystem::remove(f.dir / "z.z03");
  testsupport::ScopedResponder answers({platform::MsgAnswer::Ok, platform::MsgAnswer::Ok, platform::MsgAnswer::Ok});
  MediumArchiver a;
  a.FileName = (f.dir / "z.zip").string();
  a.OpenArchive(0x20);
  EXPECT_EQ(a.SpanningMode(), smSplitting);
  a.BaseDir = (f.dir / "out").string();
  FailureLog failures;
  failures.listen(a);
  a.ExtractFiles("*.*", 0x28BF, "");
  EXPECT_TRUE(answers.asked().empty()) << answers.asked()[0].text.toStdString();
  EXPECT_EQ(failures.codes(), (std::vector<int32_t>{zeVolumeCancelled}));
  EXPECT_FALSE(std::filesystem::exists(f.dir / "out/bruit.bin"));
  EXPECT_EQ(testsupport::readFile(f.dir / "out/petit.txt"), "petit");

  // On removable media the same set asks for its disks.
  MediumArchiver r;
  r.Removable = true;
  r.FileName = a.FileName;
  r.OpenArchive(0x20);
  EXPECT_EQ(r.SpanningMode(), smSpanning);
}

TEST(SplitVolumes, HandlersSeeVolumeNumbersFromOne) {
  SplitFixture f;
  TZipArchiver a;
  a.FileName = (f.dir / "z.zip").string();
  std::vector<int32_t> middle;
  int first = 0;
  a.OnRequestMiddleVolume = [&](TZABaseArchiver*, int32_t number, std::string& name, bool& cancel) {
    middle.push_back(number);
    cancel = !std::filesystem::exists(name);
  };
  a.OnRequestFirstVolume = [&](TZABaseArchiver*, std::string& name, bool& cancel) {
    ++first;
    EXPECT_EQ(name, (f.dir / "z.z01").string());
    cancel = false;
  };
  a.OpenArchive(0x20);
  a.BaseDir = (f.dir / "out").string();
  a.ExtractFiles("*.*", 0x28BF, "");
  EXPECT_GE(first, 1);
  ASSERT_FALSE(middle.empty());
  EXPECT_EQ(middle.front(), 2);
  EXPECT_EQ(testsupport::readFile(f.dir / "out/petit.txt"), "petit");
  EXPECT_EQ(testsupport::readFile(f.dir / "out/bruit.bin").size(), 200000u);
}

TEST(SpannedVolumes, DefaultPromptsAskForDisks) {
  testsupport::TempDir dir;
  testsupport::ScopedResponder answers({platform::MsgAnswer::Ok});
  MediumArchiver a;
  a.FileName = (dir / "d.zip").string();
  a.SetSpanningMode(smSpanning);
  a.OpenArchive(kCreateMode);
  ASSERT_EQ(answers.asked().size(), 1u);
  EXPECT_EQ(answers.asked()[0].text.toStdString(), "Please insert a blank disk #1");
  EXPECT_EQ(answers.asked()[0].buttons, platform::MsgButtons::OkCancel);
  a.CloseArchive();

  // Declined: the opening ends with zeVolumeCancelled.
  testsupport::ScopedResponder declined({platform::MsgAnswer::Cancel});
  MediumArchiver b;
  b.FileName = (dir / "e.zip").string();
  b.SetSpanningMode(smSpanning);
  try {
    b.OpenArchive(kCreateMode);
    ADD_FAILURE();
  } catch (const EZAException& e) {
    EXPECT_EQ(e.NativeError, zeVolumeCancelled);
  }

  // A full disk, without a handler: the sizes are in the question.
  testsupport::ScopedResponder full({platform::MsgAnswer::Ok, platform::MsgAnswer::Cancel});
  MediumArchiver c;
  c.FreeBytes = 1000;
  c.FileName = (dir / "f.zip").string();
  c.SetSpanningMode(smSpanning);
  c.SpanningOptions().VolumeSize = vs1_44MB;
  EXPECT_ANY_THROW(c.OpenArchive(kCreateMode));
  ASSERT_EQ(full.asked().size(), 2u);
  EXPECT_EQ(full.asked()[1].text.toStdString(),
            "Disk is full. Required free space: 1457664 bytes, but available only: 1000 bytes. Clean the disk or find "
            "another blank disk");
}

}  // namespace

namespace {

TEST(SpannedVolumes, MissingArchiveOnARemovableDiskAsksForTheLastDisk) {
  testsupport::TempDir dir;
  testsupport::ScopedResponder answers({platform::MsgAnswer::Ok, platform::MsgAnswer::Cancel});
  MediumArchiver a;
  a.Removable = true;
  a.FileName = (dir / "absent.zip").string();
  try {
    a.OpenArchive(0x20);
    ADD_FAILURE();
  } catch (const EZAException& e) {
    EXPECT_EQ(e.NativeError, zeVolumeCancelled);
  }
  EXPECT_EQ(a.SpanningMode(), smSpanning);
  ASSERT_EQ(answers.asked().size(), 2u);
  EXPECT_EQ(answers.asked()[0].text.toStdString(), "Please insert the last disk");
  EXPECT_EQ(answers.asked()[1].text.toStdString(),
            "File '" + a.FileName + "' not found on inserted disk. Please insert last disk with required file");
}

}  // namespace
