// The update pass: entries added, replaced and deleted in one rewrite, checked
// by other tools, and failures that must leave the old archive in place.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "support/python_zip.h"
#include "support/random_bytes.h"
#include "support/small_disk.h"
#include "support/temp_dir.h"
#include "zip/archiver/za_archiver_internals.h"
#include "zip/za_archiver.h"
#include "zip/za_except.h"
#include "zip/za_failure_log.h"
#include "zip/zip_builder.h"
#include "zip/za_archive_fixture.h"
#include "zip/zip_test_reader.h"

using namespace zip;
using ziptest::expectSound;
using ziptest::FailureLog;
using testsupport::mountSmallDisk;
using testsupport::randomBytes;
using testsupport::unmountDisk;
using testsupport::readFile;
using testsupport::writeFile;
using ziptest::runCommand;
using ziptest::shellQuote;

namespace fs = std::filesystem;

namespace {

using Contents = std::map<std::string, std::string>;

// Names and contents as python's zipfile reads them.
Contents contentsOf(const std::string& archive, const std::string& password = "") {
  Contents out;
  try {
    for (const auto& [stored, entry] : testsupport::readWithPython(archive, password)) out[entry.name] = entry.data;
  } catch (const std::exception& e) {
    ADD_FAILURE() << e.what();
  }
  return out;
}

size_t filesIn(const fs::path& folder) {
  size_t n = 0;
  for (auto it = fs::directory_iterator(folder); it != fs::directory_iterator(); ++it) ++n;
  return n;
}

class UpdateTest : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  fs::path src = dir / "src";
  fs::path temp = dir / "temp";
  std::string archive = (dir / "a.zip").string();

  void SetUp() override {
    fs::create_directories(src);
    fs::create_directories(temp);
  }

  // An archive made by Info-ZIP of the given files (relative names under src).
  void makeWithZip(const Contents& files) {
    std::string names;
    for (const auto& [name, data] : files) {
      writeFile(src / name, data);
      names += " " + shellQuote(name);
    }
    ASSERT_EQ(runCommand("cd " + shellQuote(src.string()) + " && zip -q -X " + shellQuote(archive) + names).status, 0);
  }

  void open(TZipArchiver& a) {
    a.FileName = archive;
    a.BaseDir = src.string();
    a.TempDir = temp.string();
    a.OpenArchive(platform::fmOpenReadWrite | platform::fmShareDenyWrite);
  }

  int32_t indexOf(TZipArchiver& a, const std::string& name) {
    for (int32_t i = 0; i < a.EntryCount(); ++i)
      if (a.Entry(i).FileName() == name) return i;
    return -1;
  }
};

struct UpdateCase {
  const char* what;
  Contents added;                    // new files on disk, added
  Contents replaced;                 // new content for existing entries
  std::vector<std::string> deleted;  // entries removed
  int backups;                       // backup files seen while entries were stored; -1: nothing is stored
};

TEST_F(UpdateTest, ChangesApplyInOnePassOverAnArchiveMadeByZip) {
  const Contents original = {
      {"a.txt", std::string(3000, 'a')}, {"b.bin", randomBytes(70000, 1)}, {"c.txt", "the third entry\n"}};
  const std::vector<UpdateCase> cases = {
      {"append only", {{"d.txt", "new file\n"}, {"e.bin", randomBytes(5000, 2)}}, {}, {}, 0},
      {"delete the first", {}, {}, {"a.txt"}, -1},
      {"delete the last", {}, {}, {"c.txt"}, -1},
      {"replace the middle", {}, {{"b.bin", randomBytes(120000, 3)}}, {}, 1},
      {"all three at once", {{"z.txt", "zed"}}, {{"c.txt", "changed\n"}}, {{"a.txt"}}, 1},
      {"delete everything", {}, {}, {"a.txt", "b.bin", "c.txt"}, -1},
  };
  for (const UpdateCase& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(archive);
    makeWithZip(original);
    const std::string before = readFile(archive);
    Contents want = original;
    size_t keptPrefix = before.size();
    {
      TZipArchiver a;
      open(a);
      auto offsetOf = [&](const std::string& n) {
        return TZAArchiverInternals::Entry(a, indexOf(a, n)).TrueLocalHeaderOffset();
      };
      keptPrefix = TZAArchiverInternals::DirManager(a).CentralDirStart;
      for (const auto& [n, d] : c.replaced) keptPrefix = std::min<size_t>(keptPrefix, offsetOf(n));
      for (const auto& n : c.deleted) keptPrefix = std::min<size_t>(keptPrefix, offsetOf(n));
      size_t backups = 0;
      a.OnFileProgress = [&](TZABaseArchiver*, const std::string&, double, TZAProcessOperation, TZAProgressPhase,
                             bool&) { backups = std::max(backups, filesIn(temp)); };
      a.BeginUpdate();
      for (const auto& [n, d] : c.added) {
        writeFile(src / n, d);
        ASSERT_GE(a.AddFile(n), 0);
        want[n] = d;
      }
      for (const auto& [n, d] : c.replaced) {
        writeFile(src / n, d);
        a.AddItemForFile(indexOf(a, n), n);
        want[n] = d;
      }
      for (const auto& n : c.deleted) {
        a.MarkItemDeleted(indexOf(a, n));
        want.erase(n);
      }
      a.EndUpdate();
      if (c.backups >= 0) {
        EXPECT_EQ(backups, static_cast<size_t>(c.backups));
      }
      EXPECT_EQ(a.EntryCount(), static_cast<int32_t>(want.size()));
    }
    EXPECT_EQ(filesIn(temp), 0u) << "temporary files left behind";
    const std::string after = readFile(archive);
    EXPECT_EQ(after.substr(0, keptPrefix), before.substr(0, keptPrefix)) << "bytes before the first change moved";
    // unzip and 7z call an archive without entries a failure.
    if (!want.empty()) expectSound(archive);
    EXPECT_EQ(contentsOf(archive), want);
  }
}

TEST_F(UpdateTest, UpdateCountAndIndexesAreChecked) {
  makeWithZip({{"a.txt", "a"}});
  TZipArchiver a;
  open(a);
  struct Call {
    const char* what;
    std::function<void()> run;
    int32_t code;
  };
  const std::vector<Call> calls = {
      {"replace without update", [&] { a.AddItemForFile(0, "a.txt"); }, zeAddNotUpdating},
      {"delete without update", [&] { a.MarkItemDeleted(0); }, zeDeleteNotUpdating},
      {"add without update", [&] { a.AddFile("a.txt"); }, zeAddNotUpdating},
      {"replace out of range",
       [&] {
         a.BeginUpdate();
         a.AddItemForFile(1, "a.txt");
       },
       zeAddItemIndex},
      {"delete out of range", [&] { a.MarkItemDeleted(-1); }, zeDeleteIndex},
  };
  for (const Call& c : calls) {
    SCOPED_TRACE(c.what);
    try {
      c.run();
      ADD_FAILURE() << "no error";
    } catch (const EZAException& e) {
      EXPECT_EQ(e.NativeError, c.code);
    }
  }
  a.ResetUpdateCount();
  const std::string before = readFile(archive);
  a.ApplyPendingUpdates();
  a.CloseArchive();
  EXPECT_EQ(readFile(archive), before);
}

TEST_F(UpdateTest, EncryptedEntriesAreReadWithTheirPassword) {
  makeWithZip({{"plain.txt", "not secret\n"}});
  const std::string secret = randomBytes(40000, 7) + std::string(20000, 'x');
  {
    TZipArchiver a;
    open(a);
    a.Password = "s3cret";
    a.BeginUpdate();
    writeFile(src / "secret.bin", secret);
    a.AddFile("secret.bin");
    a.SetCompressionMode(0);
    writeFile(src / "stored.txt", "stored and encrypted");
    a.AddFile("stored.txt");
    a.EndUpdate();
  }
  expectSound(archive, "s3cret");
  const auto r = runCommand("unzip -p -P s3cret " + shellQuote(archive) + " secret.bin");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, secret);
  EXPECT_EQ(runCommand("unzip -p -P s3cret " + shellQuote(archive) + " stored.txt").out, "stored and encrypted");
  EXPECT_EQ(contentsOf(archive, "s3cret"),
            (Contents{{"plain.txt", "not secret\n"}, {"secret.bin", secret}, {"stored.txt", "stored and encrypted"}}));
  EXPECT_NE(runCommand("unzip -p -P wrong " + shellQuote(archive) + " secret.bin 2>/dev/null").out, secret);
}

TEST_F(UpdateTest, FoldersAndEmptyFilesCarryNoData) {
  makeWithZip({{"a.txt", "a"}});
  fs::create_directories(src / "folder");
  writeFile(src / "folder" / "empty.txt", "");
  {
    TZipArchiver a;
    open(a);
    a.BeginUpdate();
    a.AddFile("folder");
    a.AddFile("folder/empty.txt");
    a.EndUpdate();
  }
  expectSound(archive);
  const auto read = ziptest::readArchive(readFile(archive));
  ASSERT_TRUE(read);
  ASSERT_EQ(read->items.size(), 3u);
  const TDirItem& folder = read->items[1];
  EXPECT_EQ(folder.FileName, "folder/");
  EXPECT_EQ(folder.Method, 0);
  EXPECT_EQ(folder.Crc, 0u);
  EXPECT_EQ(folder.Flags, kFlagFolder);
  EXPECT_EQ(folder.CompressedSize, 0u);
  EXPECT_NE(folder.ExternalAttributes & 0x10, 0u);
  const TDirItem& empty = read->items[2];
  EXPECT_EQ(empty.FileName, "folder/empty.txt");
  EXPECT_EQ(empty.Method, 0);
  EXPECT_EQ(empty.CompressedSize, 0u);
  EXPECT_EQ(empty.UncompressedSize, 0u);
}

TEST_F(UpdateTest, Zip64AlwaysMarksEvenASmallFile) {
  fs::remove(archive);
  writeFile(src / "small.txt", "small but zip64\n");
  {
    TZipArchiver a;
    a.Zip64Mode = zmAlways;
    a.FileName = archive;
    a.BaseDir = src.string();
    a.TempDir = temp.string();
    a.OpenArchive(kCreateMode);
    a.BeginUpdate();
    a.AddFile("small.txt");
    a.EndUpdate();
  }
  expectSound(archive);
  EXPECT_EQ(contentsOf(archive), (Contents{{"small.txt", "small but zip64\n"}}));
  const std::string bytes = readFile(archive);
  const auto local = DecodeLocalHeader(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), 30));
  EXPECT_EQ(local->VersionNeeded, 45);
  EXPECT_EQ(local->CompressedSize, kMarker32);
  EXPECT_EQ(local->UncompressedSize, kMarker32);
  EXPECT_EQ(local->ExtraLength, 20);
  const auto read = ziptest::readArchive(bytes);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->items[0].LocalHeaderOffset, kMarker32);
  EXPECT_EQ(read->items[0].LocalHeaderOffset64, 0u);
}

// Failures in the pass: the failure event's answer, and what stays.
TEST_F(UpdateTest, AFailedSourceIsReportedAndLosesNothing) {
  struct Case {
    const char* what;
    TZAAction action;
    bool archiveUnchanged;
  };
  const std::vector<Case> cases = {
      {"passed over", fxaIgnore, false},
      {"aborted", fxaAbort, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(archive);
    makeWithZip({{"a.txt", "old a\n"}, {"b.txt", "old b\n"}, {"c.txt", "old c\n"}});
    const std::string before = readFile(archive);
    FailureLog failures;
    {
      TZipArchiver a;
      open(a);
      failures.listen(a, c.action);
      a.BeginUpdate();
      writeFile(src / "a.txt", "new a\n");
      a.AddItemForFile(0, "a.txt");
      a.AddItemForFile(1, "b.txt");
      writeFile(src / "gone.txt", "x");
      a.AddFile("gone.txt");
      writeFile(src / "new.txt", "new\n");
      a.AddFile("new.txt");
      // Both vanish between marking and writing.
      fs::remove(src / "b.txt");
      fs::remove(src / "gone.txt");
      a.EndUpdate();
    }
    EXPECT_EQ(filesIn(temp), 0u);
    expectSound(archive);
    if (c.archiveUnchanged) {
      EXPECT_EQ(failures.fileNames(), std::vector<std::string>{"b.txt"});
      EXPECT_EQ(failures.codes(), std::vector<int32_t>{zeCannotOpenFile});
      EXPECT_EQ(readFile(archive), before);
    } else {
      EXPECT_EQ(failures.fileNames(), (std::vector<std::string>{"b.txt", (src / "gone.txt").string()}));
      EXPECT_EQ(failures.codes(), (std::vector<int32_t>{zeCannotOpenFile, zeCannotOpenFile}));
      EXPECT_EQ(contentsOf(archive),
                (Contents{{"a.txt", "new a\n"}, {"b.txt", "old b\n"}, {"c.txt", "old c\n"}, {"new.txt", "new\n"}}));
    }
  }
}

// A disk that fills up in the middle of the pass, in a child process whose
// file size limit stands for the full disk.
TEST_F(UpdateTest, AFullDiskMidPassLeavesTheOldArchive) {
  makeWithZip({{"a.txt", "old a\n"}, {"b.bin", randomBytes(100000, 5)}, {"c.txt", "old c\n"}});
  const std::string before = readFile(archive);
  const std::string original = (dir / "original.zip").string();
  writeFile(original, before);
  writeFile(src / "b.bin", randomBytes(400000, 6));
  for (TZAAction answer : {fxaIgnore, fxaAbort}) {
    SCOPED_TRACE(answer == fxaIgnore ? "passed over" : "aborted");
    writeFile(archive, before);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      std::signal(SIGXFSZ, SIG_IGN);
      const rlim_t limit = before.size() + 50000;
      const struct rlimit r = {limit, limit};
      setrlimit(RLIMIT_FSIZE, &r);
      int status = 0;
      try {
        TZipArchiver a;
        open(a);
        FailureLog failures;
        failures.listen(a, answer);
        a.BeginUpdate();
        a.AddItemForFile(1, "b.bin");
        a.EndUpdate();
        status = 1;  // no error reported
      } catch (const std::exception&) {
        status = 2;
      }
      // Passed over, the failed bytes go and the old data fit again: no error.
      _exit(status == 1 ? 0 : 3);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    if (answer == fxaAbort) {
      EXPECT_EQ(readFile(archive), before);
    } else {
      expectSound(archive);
      EXPECT_EQ(contentsOf(archive), contentsOf(original));
    }
    EXPECT_EQ(filesIn(temp), 0u);
  }
}

TEST_F(UpdateTest, ArenamedEntryKeepsItsData) {
  makeWithZip({{"a.txt", "first\n"}, {"b.txt", randomBytes(20000, 8)}});
  const std::string b = readFile(src / "b.txt");
  {
    TZipArchiver a;
    open(a);
    a.BeginUpdate();
    TDirItem& item = TZAArchiverInternals::Entry(a, 0);
    item.EditExtras().PreviousName = item.FileName;
    ZASetStoredName(item, "renamed/first.txt", true);
    item.PendingOperation = poRename;
    item.StorePending = true;
    a.EndUpdate();
  }
  expectSound(archive);
  EXPECT_EQ(contentsOf(archive), (Contents{{"renamed/first.txt", "first\n"}, {"b.txt", b}}));
  const std::string bytes = readFile(archive);
  EXPECT_EQ(bytes.substr(30, 17), "renamed/first.txt");
}

TEST_F(UpdateTest, TemporaryFilesGoToTempDirUnderZT) {
  TZipArchiver a;
  a.TempDir = temp.string();
  const std::string name = a.MakeTempFileName();
  EXPECT_EQ(fs::path(name).parent_path(), temp);
  EXPECT_EQ(fs::path(name).filename().string().substr(0, 2), "ZT");
  EXPECT_EQ(fs::file_size(name), 0u);
  a.TempDir.clear();
  const std::string system = a.MakeTempFileName();
  EXPECT_EQ(fs::path(system).parent_path(), fs::temp_directory_path());
  fs::remove(name);
  fs::remove(system);
}

}  // namespace

namespace {

TEST_F(UpdateTest, SelectedEntriesAreReplacedByTheOverwriteRules) {
  struct Case {
    const char* what;
    TZAOverwriteMode mode;
    int diskAgeDays;  // the disk file's date against the entry's
    bool confirm;     // the answer to the overwrite question
    bool replaced;
  };
  const std::vector<Case> cases = {
      {"always", omAlways, -3, false, true},           {"never", omNever, 3, true, false},
      {"if newer, newer", omIfNewer, 3, false, true},  {"if newer, older", omIfNewer, -3, false, false},
      {"if older, older", omIfOlder, -3, false, true}, {"if older, newer", omIfOlder, 3, false, false},
      {"prompt, yes", omPrompt, 0, true, true},        {"prompt, no", omPrompt, 0, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(archive);
    makeWithZip({{"a.txt", "old a\n"}, {"b.doc", "old b\n"}});
    const auto stamp = fs::last_write_time(src / "a.txt");
    writeFile(src / "a.txt", "new a\n");
    writeFile(src / "b.doc", "new b\n");
    fs::last_write_time(src / "a.txt", stamp + std::chrono::hours(24 * c.diskAgeDays));
    std::vector<std::string> asked;
    {
      TZipArchiver a;
      open(a);
      a.Options().OverwriteMode = c.mode;
      a.OnConfirmOverwrite = [&](TZABaseArchiver*, const std::string& source, std::string&, bool& confirm) {
        asked.push_back(source);
        confirm = c.confirm;
      };
      a.BeginUpdate();
      a.SelectFiles("*.txt", 0x28BF, "");
      a.ProcessSelectedItems(poUpdate);
      a.EndUpdate();
    }
    expectSound(archive);
    EXPECT_EQ(contentsOf(archive), (Contents{{"a.txt", c.replaced ? "new a\n" : "old a\n"}, {"b.doc", "old b\n"}}));
    EXPECT_EQ(asked.size(), c.mode == omPrompt ? 1u : 0u);
  }
}

TEST_F(UpdateTest, SelectedEntriesAreDeleted) {
  makeWithZip({{"a.txt", "a"}, {"b.doc", "b"}, {"c.txt", "c"}, {"d.doc", "d"}});
  {
    TZipArchiver a;
    open(a);
    a.BeginUpdate();
    a.SelectFiles("*.txt", 0x28BF, "");
    a.ProcessSelectedItems(poDelete);
    EXPECT_EQ(a.EntryCount(), 2);
    a.CloseArchive();
  }
  expectSound(archive);
  EXPECT_EQ(contentsOf(archive), (Contents{{"b.doc", "b"}, {"d.doc", "d"}}));
}

// Two entries of one name, as appending tools leave them: deleting the first
// must keep the second's data, not take one for the other.
TEST_F(UpdateTest, DeletingOneOfTwoSameNamedEntriesKeepsTheOther) {
  struct Case {
    const char* what;
    int deleted;
    const char* kept;
  };
  for (const Case& c : {Case{"first", 0, "second copy"}, Case{"second", 1, "first copy"}}) {
    SCOPED_TRACE(c.what);
    ziptest::ZipBuilder b;
    b.addStored("x.txt", "first copy");
    b.addStored("x.txt", "second copy");
    b.addStored("y.txt", "why");
    writeFile(archive, b.build());
    {
      TZipArchiver a;
      open(a);
      a.BeginUpdate();
      a.MarkItemDeleted(c.deleted);
      a.EndUpdate();
    }
    expectSound(archive);
    EXPECT_EQ(contentsOf(archive), (Contents{{"x.txt", c.kept}, {"y.txt", "why"}}));
  }
}

// An archive whose entries start beyond 4 GiB (a sparse stub in front).
TEST_F(UpdateTest, HeadersBeyondFourGigabytesNeedZip64) {
  struct Case {
    const char* what;
    TZip64Mode mode;
    bool written;
  };
  for (const Case& c : {Case{"disabled", zmDisabled, false}, Case{"auto", zmAuto, true}}) {
    SCOPED_TRACE(c.what);
    {
      ziptest::ZipBuilder b;
      const std::string empty = b.build();
      platform::TFileStream f(archive, platform::fmCreate);
      f.SetSize(int64_t{0x100000000} + 16);
      f.Seek(0, platform::TSeekOrigin::soEnd);
      f.WriteBuffer(empty.data(), static_cast<int64_t>(empty.size()));
    }
    writeFile(src / "far.txt", "far away\n");
    FailureLog failures;
    {
      TZipArchiver a;
      a.Zip64Mode = c.mode;
      open(a);
      failures.listen(a);
      a.BeginUpdate();
      a.AddFile("far.txt");
      a.EndUpdate();
      EXPECT_EQ(a.EntryCount(), c.written ? 1 : 0);
    }
    EXPECT_EQ(failures.codes(), c.written ? std::vector<int32_t>{} : std::vector<int32_t>{zeZip64Off});
    const auto listed = runCommand("unzip -l " + shellQuote(archive) + " 2>&1");
    EXPECT_EQ(listed.out.find("far.txt") != std::string::npos, c.written) << listed.out;
    if (c.written) {
      EXPECT_EQ(runCommand("unzip -p " + shellQuote(archive) + " far.txt").out, "far away\n");
    } else {
      EXPECT_LT(fs::file_size(archive), uint64_t{0x100000000} + 200) << "nothing of the entry is written";
    }
    fs::remove(archive);
  }
}

}  // namespace

namespace {

// A new split archive filled by one update: every entry laid across the
// volumes, read back joined by zip and by the component.
TEST_F(UpdateTest, ANewSplitArchiveIsWrittenByOneUpdate) {
  const fs::path volumes = dir / "volumes";
  fs::create_directories(volumes);
  const std::string name = (volumes / "d.zip").string();
  Contents files;
  for (int i = 0; i < 4; ++i) files["piece" + std::to_string(i) + ".bin"] = randomBytes(40000, 20 + i);
  files["small.txt"] = "small\n";
  for (const auto& [n, d] : files) writeFile(src / n, d);
  {
    TZipArchiver a;
    a.FileName = name;
    a.BaseDir = src.string();
    a.TempDir = temp.string();
    a.SetSpanningMode(smSplitting);
    a.SpanningOptions().AdvancedNaming = false;
    a.SpanningOptions().VolumeSize = vsCustom;
    a.SpanningOptions().SetCustomVolumeSize(65536);
    a.OnRequestBlankVolume = [](TZABaseArchiver*, int32_t, std::string&, bool& cancel) { cancel = false; };
    a.OpenArchive(kCreateMode);
    a.BeginUpdate();
    for (const auto& [n, d] : files) ASSERT_GE(a.AddFile(n), 0);
    a.EndUpdate();
    EXPECT_GT(TZAArchiverInternals::Entry(a, 3).TrueDiskNumberStart(), 0u);
  }
  EXPECT_EQ(filesIn(temp), 0u);
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(volumes)) {
    names.push_back(e.path().filename().string());
    EXPECT_LE(fs::file_size(e.path()), 65536u) << names.back();
  }
  EXPECT_GT(names.size(), 2u);
  // Info-ZIP looks for lower-case volume names.
  const fs::path infozip = dir / "infozip";
  fs::create_directories(infozip);
  for (std::string n : names) {
    const fs::path from = volumes / n;
    for (char& c : n) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    fs::copy_file(from, infozip / n);
  }
  ASSERT_EQ(runCommand("cd " + shellQuote(infozip.string()) + " && zip -q -s 0 d.zip --out joint.zip").status, 0);
  expectSound((infozip / "joint.zip").string());
  EXPECT_EQ(contentsOf((infozip / "joint.zip").string()), files);

  TZipArchiver back;
  back.FileName = name;
  back.OpenArchive(0x20);
  back.BaseDir = (dir / "out").string();
  back.ExtractFiles("*.*", 0x28BF, "");
  for (const auto& [n, d] : files) EXPECT_EQ(readFile(dir / "out" / n), d) << n;
}

TEST_F(UpdateTest, ArchivesThatCannotBeRewrittenAreRefusedUntouched) {
  struct Case {
    const char* what;
    uint16_t mode;
    std::string tempDir;
    int32_t code;
  };
  const std::vector<Case> cases = {
      {"opened for reading", platform::fmOpenRead | platform::fmShareDenyWrite, temp.string(), zeReadOnly},
      {"no room for the backup", platform::fmOpenReadWrite, (dir / "missing").string(), zeCannotCreateFile},
  };
  makeWithZip({{"a.txt", "a"}, {"b.txt", "b"}});
  const std::string before = readFile(archive);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TZipArchiver a;
    a.FileName = archive;
    a.BaseDir = src.string();
    a.TempDir = c.tempDir;
    a.OpenArchive(c.mode);
    a.BeginUpdate();
    a.MarkItemDeleted(0);
    try {
      a.EndUpdate();
      ADD_FAILURE() << "no error";
    } catch (const EZAException& e) {
      EXPECT_EQ(e.NativeError, c.code);
    }
    EXPECT_EQ(a.EntryCount(), 2);
    a.CloseArchive();
    EXPECT_EQ(readFile(archive), before);
    EXPECT_EQ(filesIn(temp), 0u);
  }
}

}  // namespace

namespace {

// Entries written by a streaming tool keep their data descriptor when moved.
TEST_F(UpdateTest, KeptEntriesCarryTheirDataDescriptor) {
  ziptest::ZipBuilder b;
  for (const char* n : {"one.txt", "two.txt", "three.txt"}) {
    ziptest::ZipEntry& e = b.addStored(n, std::string("data of ") + n);
    e.flags = kFlagDataDescriptor;
    e.dataDescriptor = true;
  }
  writeFile(archive, b.build());
  {
    TZipArchiver a;
    open(a);
    a.BeginUpdate();
    a.MarkItemDeleted(0);
    a.EndUpdate();
  }
  expectSound(archive);
  EXPECT_EQ(contentsOf(archive), (Contents{{"two.txt", "data of two.txt"}, {"three.txt", "data of three.txt"}}));
  const std::string bytes = readFile(archive);
  const auto read = ziptest::readArchive(bytes);
  ASSERT_TRUE(read);
  // Each record ends with its 16-byte descriptor, right before the next header.
  const uint64_t second = read->items[1].TrueLocalHeaderOffset();
  EXPECT_EQ(second, 30 + 7 + 15 + 16u);
  EXPECT_EQ(bytes.substr(second - 16, 4), std::string("PK\x07\x08", 4));
}

TEST_F(UpdateTest, NamesOutsideThePlainAlphabetAreReadBackByOtherTools) {
  makeWithZip({{"a.txt", "a"}});
  const Contents added = {{"\xC3\xA9t\xC3\xA9.txt", "summer"}, {"\xE6\x97\xA5\xE6\x9C\xAC.txt", "japan"}};
  for (const auto& [n, d] : added) writeFile(src / n, d);
  for (bool oem : {true, false}) {
    SCOPED_TRACE(oem ? "OEM names" : "no OEM names");
    fs::remove(archive);
    makeWithZip({{"a.txt", "a"}});
    {
      TZipArchiver a;
      a.Options().OEMFileNames = oem;
      open(a);
      a.BeginUpdate();
      for (const auto& [n, d] : added) a.AddFile(n);
      a.EndUpdate();
    }
    expectSound(archive);
    Contents want = added;
    want["a.txt"] = "a";
    EXPECT_EQ(contentsOf(archive), want);
    TZipArchiver back;
    back.FileName = archive;
    back.Options().OEMFileNames = oem;
    back.OpenArchive(0x20);
    back.BaseDir = (dir / (oem ? "oem" : "utf8")).string();
    back.ExtractFiles("*.*", 0x28BF, "");
    for (const auto& [n, d] : added) EXPECT_EQ(readFile(fs::path(back.BaseDir) / n), d);
  }
}

// Cancels before the directory is written: the file is as it was, and so is
// the directory in memory.
TEST_F(UpdateTest, CancelsLeaveTheArchiveAsItWas) {
  struct Case {
    const char* what;
    TZAProgressPhase overallPhase;  // the overall event that cancels, or ppEnd for none
    int fileStart;                  // the file start event that cancels, 0 for none
    bool inData;                    // cancel in the middle of an entry's data
  };
  const std::vector<Case> cases = {
      {"before the pass", ppStart, 0, false},
      {"at the second entry", ppEnd, 2, false},
      {"in the data of the first", ppEnd, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(archive);
    makeWithZip({{"a.txt", "old a\n"}, {"b.txt", randomBytes(300000, 4)}, {"c.txt", "old c\n"}});
    const std::string before = readFile(archive);
    TZipArchiver a;
    open(a);
    int starts = 0;
    a.OnFileProgress = [&](TZABaseArchiver*, const std::string&, double, TZAProcessOperation, TZAProgressPhase phase,
                           bool& cancel) {
      if (phase == ppStart && ++starts == c.fileStart) cancel = true;
      if (phase == ppProcess && c.inData) cancel = true;
    };
    a.OnOverallProgress = [&](TZABaseArchiver*, double, TZAProcessOperation, TZAProgressPhase phase, bool& cancel) {
      if (phase == c.overallPhase && phase != ppEnd) cancel = true;
    };
    a.BeginUpdate();
    for (const char* n : {"a.txt", "b.txt", "c.txt"}) {
      writeFile(src / n, randomBytes(200000, 9));
      a.AddItemForFile(indexOf(a, n), n);
    }
    writeFile(src / "new.txt", "new");
    a.AddFile("new.txt");
    a.EndUpdate();
    const auto old = ziptest::readArchive(before);
    ASSERT_EQ(a.EntryCount(), 3);
    for (int i = 0; i < 3; ++i) {
      const TDirItem& item = TZAArchiverInternals::Entry(a, i);
      EXPECT_EQ(item.Crc, old->items[i].Crc);
      EXPECT_EQ(item.TrueLocalHeaderOffset(), old->items[i].TrueLocalHeaderOffset());
    }
    a.CloseArchive();
    EXPECT_EQ(readFile(archive), before);
    EXPECT_EQ(filesIn(temp), 0u);
  }
}

// A pass that ends early over an archive whose directory had to be rebuilt
// (its directory cut off) leaves the entries that were there with a directory
// of their own, so that other tools read the file as after a finished pass.
TEST_F(UpdateTest, AnEarlyEndOverARebuiltDirectoryWritesTheDirectory) {
  struct Case {
    const char* what;
    bool cancelInData;   // the file progress event cancels in the middle of b.txt
    int cancelAtStart;   // the file start event that cancels, 0 for none
    bool vanish;         // b.txt is gone when its turn comes, and the failure is answered "Abandonner"
  };
  const std::vector<Case> cases = {
      {"cancelled in the data of a replaced entry", true, 0, false},
      {"cancelled at the second replaced entry", false, 2, false},
      {"a replaced file vanished, abort", false, 0, true},
  };
  const Contents files = {{"a.txt", "old a\n"}, {"b.txt", randomBytes(300000, 4)}, {"c.txt", "old c\n"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(archive);
    makeWithZip(files);
    std::string bytes = readFile(archive);
    bytes.resize(ziptest::readArchive(bytes)->directoryOffset);
    writeFile(archive, bytes);
    FailureLog failures;
    TZipArchiver a;
    failures.listen(a, fxaAbort);
    int starts = 0;
    a.OnFileProgress = [&](TZABaseArchiver*, const std::string&, double, TZAProcessOperation, TZAProgressPhase phase,
                           bool& cancel) {
      if (phase == ppStart && ++starts == c.cancelAtStart) cancel = true;
      if (phase == ppProcess && c.cancelInData) cancel = true;
    };
    open(a);
    ASSERT_EQ(a.EntryCount(), 3);
    a.BeginUpdate();
    for (const char* n : {"b.txt", "c.txt"}) {
      writeFile(src / n, randomBytes(200000, 9));
      a.AddItemForFile(indexOf(a, n), n);
    }
    if (c.vanish) fs::remove(src / "b.txt");
    a.EndUpdate();
    a.CloseArchive();
    EXPECT_EQ(failures.size(), c.vanish ? 1u : 0u);
    const bool directory = ziptest::readArchive(readFile(archive)).has_value();
    EXPECT_TRUE(directory) << "no directory";
    if (!directory) continue;
    expectSound(archive);
    EXPECT_EQ(contentsOf(archive), files);
    EXPECT_EQ(filesIn(temp), 0u);
  }
}

TEST_F(UpdateTest, OnlyTheOutermostBracketWritesAndAnEmptyOneWritesNothing) {
  makeWithZip({{"a.txt", "a"}, {"b.txt", "b"}});
  const std::string before = readFile(archive);
  TZipArchiver a;
  open(a);
  a.BeginUpdate();
  a.EndUpdate();
  EXPECT_EQ(readFile(archive), before);
  a.BeginUpdate();
  a.BeginUpdate();
  a.MarkItemDeleted(0);
  a.EndUpdate();
  EXPECT_TRUE(a.IsUpdating());
  EXPECT_EQ(readFile(archive), before);
  a.EndUpdate();
  EXPECT_FALSE(a.IsUpdating());
  EXPECT_EQ(contentsOf(archive), (Contents{{"b.txt", "b"}}));
}

TEST_F(UpdateTest, AnUpdateInMemoryReachesTheFileItIsSavedTo) {
  writeFile(src / "m.txt", "in memory\n");
  TZipArchiver a;
  a.FileName = archive;
  a.BaseDir = src.string();
  a.SetInMemory(true);
  a.OpenArchive(kCreateMode);
  a.BeginUpdate();
  a.AddFile("m.txt");
  a.SetInMemory(false);
  a.CloseArchive();
  expectSound(archive);
  EXPECT_EQ(contentsOf(archive), (Contents{{"m.txt", "in memory\n"}}));
}

}  // namespace

namespace {

// A directory that lists its entries in another order than they lie in the
// file: the rewrite must start low enough to keep every entry it does not copy.
TEST_F(UpdateTest, ADirectoryOutOfFileOrderLosesNoEntry) {
  struct Case {
    const char* what;
    const char* deleted;
  };
  for (const Case& c :
       {Case{"first in the file", "a.txt"}, Case{"second in the file", "b.txt"}, Case{"last in the file", "c.txt"}}) {
    SCOPED_TRACE(c.what);
    fs::remove(archive);
    makeWithZip({{"a.txt", "aaa"}, {"b.txt", "bbb"}, {"c.txt", "ccc"}});
    {
      TZipArchiver a;
      open(a);
      // Listed as b, a, c.
      TZADirArray& d = TZAArchiverInternals::DirManager(a).ArchiveDir;
      const TDirItem first = d.GetItem(0);
      d.SetItem(0, d.GetItem(1));
      d.SetItem(1, first);
      a.BeginUpdate();
      a.MarkItemDeleted(indexOf(a, c.deleted));
      a.EndUpdate();
    }
    expectSound(archive);
    Contents want = {{"a.txt", "aaa"}, {"b.txt", "bbb"}, {"c.txt", "ccc"}};
    want.erase(c.deleted);
    EXPECT_EQ(contentsOf(archive), want);
  }
}

}  // namespace

namespace {

TEST_F(UpdateTest, NoCompressionMasksStoreMatchingFiles) {
  struct Case {
    const char* name;
    uint16_t method;
  };
  const std::vector<Case> cases = {{"photo.JPG", kMethodStored},
                                   {"deep/archive.zip", kMethodStored},
                                   {"notes.txt", kMethodDeflated},
                                   {"jpg", kMethodDeflated}};
  fs::remove(archive);
  for (const Case& c : cases) writeFile(src / c.name, std::string(5000, 'z'));
  {
    TZipArchiver a;
    a.SetNoCompressionMasks({"*.jpg", "*.zip"});
    a.FileName = archive;
    a.BaseDir = src.string();
    a.OpenArchive(kCreateMode);
    a.BeginUpdate();
    for (const Case& c : cases) a.AddFile(c.name);
    a.EndUpdate();
  }
  expectSound(archive);
  const auto read = ziptest::readArchive(readFile(archive));
  ASSERT_TRUE(read);
  ASSERT_EQ(read->items.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(read->items[i].Method, cases[i].method) << cases[i].name;
}

}  // namespace

namespace {

// A moved file leaves the disk once its entry is written; a cancelled pass keeps it.
TEST_F(UpdateTest, MovedSourcesGoOnlyWhenTheirEntryIsWritten) {
  for (bool cancel : {false, true}) {
    SCOPED_TRACE(cancel ? "cancelled" : "written");
    fs::remove(archive);
    makeWithZip({{"a.txt", "a"}});
    writeFile(src / "moved.txt", "moving out\n");
    TZipArchiver a;
    open(a);
    a.OnFileProgress = [&](TZABaseArchiver*, const std::string&, double, TZAProcessOperation operation,
                           TZAProgressPhase phase, bool& stop) {
      EXPECT_EQ(operation, poMove);
      if (cancel && phase == ppProcess) stop = true;
    };
    a.BeginUpdate();
    const int32_t index = a.AddFile("moved.txt");
    TZAArchiverInternals::Entry(a, index).PendingOperation = poMove;
    a.EndUpdate();
    a.CloseArchive();
    EXPECT_EQ(fs::exists(src / "moved.txt"), cancel);
    Contents want = {{"a.txt", "a"}};
    if (!cancel) want["moved.txt"] = "moving out\n";
    EXPECT_EQ(contentsOf(archive), want);
  }
}

}  // namespace

namespace {

// A source of more than 4 GiB (sparse on disk): its sizes go to Zip64 records.
// It writes and reads 4 GiB, so it runs only when asked for
// (--gtest_also_run_disabled_tests).
TEST_F(UpdateTest, DISABLED_ASourceBeyondFourGigabytesGetsZip64Sizes) {
  const uint64_t size = uint64_t{0x100000000} + 4096;
  {
    platform::TFileStream big((src / "big.bin").string(), platform::fmCreate);
    big.SetSize(static_cast<int64_t>(size));
  }
  fs::remove(archive);
  {
    TZipArchiver a;
    a.Zip64Mode = zmAuto;
    a.SetCompressionMode(0);
    a.Options().FlushBuffers = false;
    a.FileName = archive;
    a.BaseDir = src.string();
    a.OpenArchive(kCreateMode);
    a.BeginUpdate();
    a.AddFile("big.bin");
    a.EndUpdate();
  }
  fs::remove(src / "big.bin");
  const auto listed = runCommand("unzip -v " + shellQuote(archive) + " 2>&1");
  EXPECT_NE(listed.out.find(std::to_string(size)), std::string::npos) << listed.out;
  EXPECT_EQ(runCommand("/usr/bin/python3 -m zipfile -l " + shellQuote(archive) + " 2>&1").status, 0);
  platform::TFileStream f(archive, platform::fmOpenRead);
  uint8_t head[30 + 7 + 20];
  f.ReadBuffer(head, sizeof head);
  const auto local = DecodeLocalHeader(std::span(head, 30));
  EXPECT_EQ(local->VersionNeeded, 45);
  EXPECT_EQ(local->UncompressedSize, kMarker32);
  EXPECT_EQ(local->CompressedSize, kMarker32);
  ASSERT_EQ(local->ExtraLength, 20);
  uint64_t u = 0, c = 0;
  for (int i = 0; i < 8; ++i) u |= uint64_t{head[37 + 4 + i]} << (8 * i);
  for (int i = 0; i < 8; ++i) c |= uint64_t{head[37 + 12 + i]} << (8 * i);
  EXPECT_EQ(u, size);
  EXPECT_EQ(c, size);
  EXPECT_EQ(runCommand("unzip -tq " + shellQuote(archive) + " 2>&1").status, 0);
  fs::remove(archive);
}

}  // namespace

namespace {

// A source whose bytes stop halfway although its size says more: the store
// fails with its header and part of its data already written.
class HalfReadStream : public platform::TMemoryStream {
 public:
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t half = Size() / 2;
    return TMemoryStream::Read(buffer, std::max<int64_t>(0, std::min(count, half - Position())));
  }
};

// Names with the size and a hash of their bytes: a readable difference.
std::string digest(const Contents& files) {
  std::string out;
  for (const auto& [name, data] : files)
    out += name + " " + std::to_string(data.size()) + " " + std::to_string(std::hash<std::string>{}(data)) + "\n";
  return out;
}

size_t ztFilesIn(const fs::path& folder) {
  size_t n = 0;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.path().filename().string().rfind("ZT", 0) == 0) ++n;
  return n;
}

struct Where {
  fs::path dir, src, temp;
  std::string archive;
};

// Whether our reader or python's takes the file for an archive.
bool opensAsArchive(const std::string& file) {
  bool ours = true;
  try {
    TZipArchiver a;
    a.FileName = file;
    a.OpenArchive(platform::fmOpenRead | platform::fmShareDenyNone);
  } catch (const std::exception&) {
    ours = false;
  }
  const std::string py = "/usr/bin/python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).namelist()' ";
  return ours || runCommand(py + shellQuote(file) + " 2>/dev/null").status == 0;
}

void createArchive(const Where& t, const std::vector<std::string>& names) {
  TZipArchiver a;
  a.FileName = t.archive;
  a.BaseDir = t.src.string();
  a.TempDir = t.temp.string();
  a.OpenArchive(kCreateMode);
  a.BeginUpdate();
  for (const std::string& n : names) a.AddFile(n);
  a.EndUpdate();
}

// A set split at 700,000 bytes of the given files; failure events go to events.
void createSplit(const Where& t, const std::string& file, const std::vector<std::string>& names,
                 FailureLog& events) {
  TZipArchiver a;
  a.FileName = file;
  a.BaseDir = t.src.string();
  a.TempDir = t.temp.string();
  a.SetSpanningMode(smSplitting);
  a.SpanningOptions().VolumeSize = vsCustom;
  a.SpanningOptions().SetCustomVolumeSize(700000);
  events.listen(a);
  a.OpenArchive(kCreateMode);
  a.BeginUpdate();
  for (const std::string& n : names) a.AddFile(n);
  a.EndUpdate();
}

// Faults of the update pass over one small tree: each ends with an archive
// that other tools read back whole, or with a failure the caller is told of.
TEST_F(UpdateTest, FaultsLeaveASoundArchiveOrAReportedFailure) {
  constexpr size_t kPiece = 300000;
  const std::vector<std::string> names = {"f0.bin", "f1.bin", "f2.bin", "f3.bin",   "f4.bin",
                                          "f5.bin", "f6.bin", "f7.bin", "notes.txt"};
  struct Outcome {
    Contents want;                // what the archive holds at the end; empty: no archive is left
    int32_t error = 0;            // the code the caller got, 0 for none
    FailureLog events;            // what the failure event reported
    size_t backups = 0;           // ZT files left beside the archive
    std::string password;         // of the archive's entries
  };
  struct Case {
    const char* what;
    std::vector<int32_t> events;  // codes the failure event must report
    Outcome (*run)(const Where& t, const std::vector<std::string>& names, Contents& tree);
  };

  const std::vector<Case> cases = {
      {"killed pass then update",
       {},
       [](const Where& t, const std::vector<std::string>& names, Contents& tree) {
         createArchive(t, names);
         const auto before = ziptest::readArchive(readFile(t.archive));
         EXPECT_TRUE(before);
         if (!before) return Outcome{};
         // f3 is replaced by as many new bytes: the entries after it land where
         // they were, and the pass is killed halfway through copying f5.
         tree["f3.bin"] = randomBytes(kPiece, 33);
         writeFile(t.src / "f3.bin", tree["f3.bin"]);
         const rlim_t limit = before->items[5].TrueLocalHeaderOffset() + kPiece / 2;
         const pid_t child = fork();
         if (child == 0) {
           const struct rlimit r = {limit, limit};
           setrlimit(RLIMIT_FSIZE, &r);
           TZipArchiver a;
           a.FileName = t.archive;
           a.BaseDir = t.src.string();
           a.OpenArchive(platform::fmOpenReadWrite | platform::fmShareDenyWrite);
           a.BeginUpdate();
           a.AddItemForFile(3, "f3.bin");
           a.EndUpdate();
           _exit(0);
         }
         int status = 0;
         waitpid(child, &status, 0);
         EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
         // The old tail from f3 on stays beside the archive.
         EXPECT_EQ(ztFilesIn(t.dir), 1u);
         Outcome o;
         o.backups = 1;
         for (const char* n : {"f0.bin", "f1.bin", "f2.bin", "f3.bin", "f4.bin"}) o.want[n] = tree[n];
         o.want["late.txt"] = "late\n";
         writeFile(t.src / "late.txt", "late\n");
         try {
           TZipArchiver a;
           a.FileName = t.archive;
           a.BaseDir = t.src.string();
           a.OpenArchive(platform::fmOpenReadWrite | platform::fmShareDenyWrite);
           a.BeginUpdate();
           a.AddFile("late.txt");
           a.EndUpdate();
         } catch (const EZAException& e) {
           // Until the rebuild leaves out the entry cut short, the update refuses the file.
           ADD_FAILURE() << "update after the kill: " << e.message();
         }
         return o;
       }},
      {"failed first entry then retry and ignore",
       {zeCompressedSize, zeCompressedSize},
       [](const Where& t, const std::vector<std::string>& names, Contents& tree) {
         Outcome o;
         TZipArchiver a;
         a.FileName = t.archive;
         a.BaseDir = t.src.string();
         a.TempDir = t.temp.string();
         o.events.listen(a, [](const FailureLog& log) { return log.size() == 1 ? fxaRetry : fxaIgnore; });
         a.OpenArchive(kCreateMode);
         a.BeginUpdate();
         for (const std::string& n : names) a.AddFile(n);
         HalfReadStream half;
         half.WriteBuffer(tree["f0.bin"].data(), static_cast<int64_t>(tree["f0.bin"].size()));
         TZAArchiverInternals::Entry(a, 0).SetBorrowedSourceStream(half);
         a.EndUpdate();
         a.CloseArchive();
         o.want = tree;
         o.want.erase("f0.bin");
         // The second entry takes the first one's place: no bytes of the failed attempt stay.
         const auto read = ziptest::readArchive(readFile(t.archive));
         EXPECT_TRUE(read && read->items[0].TrueLocalHeaderOffset() == 0);
         return o;
       }},
      {"FIFO and link in the tree",
       {},
       [](const Where& t, const std::vector<std::string>& names, Contents& tree) {
         createArchive(t, names);
         EXPECT_EQ(::mkfifo((t.src / "pipe").c_str(), 0600), 0);
         fs::create_symlink(t.src / "notes.txt", t.src / "link.txt");
         Outcome o;
         o.want = tree;
         o.want["link.txt"] = tree["notes.txt"];
         // A FIFO put in place of a marked file is refused when its turn comes.
         const pid_t child = fork();
         if (child == 0) {
           alarm(60);
           FailureLog failures;
           TZipArchiver a;
           a.FileName = t.archive;
           a.BaseDir = t.src.string();
           a.TempDir = t.temp.string();
           failures.listen(a);
           a.OpenArchive(platform::fmOpenReadWrite | platform::fmShareDenyWrite);
           a.BeginUpdate();
           const bool pipeSkipped = a.AddFile("pipe") < 0;
           a.AddFile("link.txt");
           a.AddItemForFile(1, "f1.bin");
           fs::remove(t.src / "f1.bin");
           ::mkfifo((t.src / "f1.bin").c_str(), 0600);
           a.EndUpdate();
           _exit(pipeSkipped && failures.codes() == std::vector<int32_t>{zeCannotOpenFile} ? 0 : 1);
         }
         int status = 0;
         waitpid(child, &status, 0);
         EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
         return o;
       }},
      {"killed after the last entry, then an update with nothing to change",
       {},
       [](const Where& t, const std::vector<std::string>& names, Contents& tree) {
         createArchive(t, names);
         writeFile(t.src / "late.txt", "late\n");
         // Killed once late.txt is whole, before the directory goes after it.
         const pid_t child = fork();
         if (child == 0) {
           TZipArchiver a;
           a.FileName = t.archive;
           a.BaseDir = t.src.string();
           a.TempDir = t.temp.string();
           a.OnFileProgress = [](TZABaseArchiver*, const std::string& name, double, TZAProcessOperation,
                                 TZAProgressPhase phase, bool&) {
             if (phase == ppEnd && name.ends_with("late.txt")) _exit(0);
           };
           a.OpenArchive(platform::fmOpenReadWrite | platform::fmShareDenyWrite);
           a.BeginUpdate();
           a.AddFile("late.txt");
           a.EndUpdate();
           _exit(1);
         }
         int status = 0;
         waitpid(child, &status, 0);
         EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
         EXPECT_FALSE(ziptest::readArchive(readFile(t.archive))) << "the kill came after the directory";
         // Opened through the rebuild, the archive gets its directory back
         // from an update that changes nothing.
         for (int pass = 0; pass < 2; ++pass) {
           TZipArchiver a;
           a.FileName = t.archive;
           a.BaseDir = t.src.string();
           a.TempDir = t.temp.string();
           a.OpenArchive(platform::fmOpenReadWrite | platform::fmShareDenyWrite);
           a.BeginUpdate();
           a.EndUpdate();
         }
         Outcome o;
         o.want = tree;
         o.want["late.txt"] = "late\n";
         return o;
       }},
      {"a file that grows while it is stored",
       {},
       [](const Where& t, const std::vector<std::string>&, Contents&) {
         std::string text;
         for (int i = 0; text.size() < 3000000; ++i)
           text += "ligne " + std::to_string(i * 7919 % 100003) + " du journal\n";
         Outcome o;
         // Every road: stored and deflated, with and without a password.
         for (const std::string password : {"", "secret"}) {
           for (const uint8_t mode : {0, 6}) {
             SCOPED_TRACE(password + " mode " + std::to_string(mode));
             writeFile(t.src / "grow.txt", text);
             fs::remove(t.archive);
             std::atomic<bool> stop{false};
             std::thread writer;
             auto stopWriter = [&] {
               stop = true;
               if (writer.joinable()) writer.join();
             };
             TZipArchiver a;
             a.FileName = t.archive;
             a.BaseDir = t.src.string();
             a.TempDir = t.temp.string();
             a.Password = password;
             a.SetCompressionMode(mode);
             a.OnFileProgress = [&](TZABaseArchiver*, const std::string& name, double, TZAProcessOperation,
                                    TZAProgressPhase phase, bool&) {
               if (phase == ppEnd && name.ends_with("grow.txt")) stopWriter();
             };
             a.OpenArchive(kCreateMode);
             a.BeginUpdate();
             a.AddFile("grow.txt");
             a.AddFile("notes.txt");
             // Another program appends to the file for as long as it is stored.
             std::atomic<int> appended{0};
             writer = std::thread([&stop, &appended, path = t.src / "grow.txt"] {
               std::ofstream out(path, std::ios::binary | std::ios::app);
               const std::string block(4096, 'g');
               while (!stop) {
                 out << block << std::flush;
                 ++appended;
                 std::this_thread::sleep_for(std::chrono::microseconds(20));
               }
             });
             while (appended == 0) std::this_thread::yield();
             a.EndUpdate();
             a.CloseArchive();
             stopWriter();
             expectSound(t.archive, password);
             // What was stored is the file as it stood when its storing began.
             const std::string grown = readFile(t.src / "grow.txt");
             const Contents read = contentsOf(t.archive, password);
             const auto stored = read.find("grow.txt");
             if (stored == read.end()) {
               ADD_FAILURE() << "grow.txt is not read back";
               continue;
             }
             EXPECT_GE(stored->second.size(), text.size());
             EXPECT_EQ(grown.compare(0, stored->second.size(), stored->second), 0);
             o.want = read;
             o.password = password;
           }
         }
         return o;
       }},
      {"full disk while splitting",
       {zeVolumeCancelled},
       [](const Where& t, const std::vector<std::string>& names, Contents&) {
         const fs::path disk = t.dir / "disk";
         if (!mountSmallDisk(disk, "2m")) return Outcome{{}, -1, {}, 0, {}};
         Outcome o;
         try {
           createSplit(t, (disk / "s.zip").string(), names, o.events);
         } catch (const EZAException& e) {
           o.error = e.ErrorCode;
         }
         // Nothing that looks like an archive is left on the disk.
         EXPECT_EQ(filesIn(disk), 0u);
         unmountDisk(disk);
         return o;
       }},
      {"full disk while a split set is made over an older one",
       {},
       [](const Where& t, const std::vector<std::string>& names, Contents&) {
         const fs::path disk = t.dir / "disk";
         if (!mountSmallDisk(disk, "2m")) return Outcome{{}, -1, {}, 0, {}};
         const std::string set = (disk / "d.zip").string();
         Outcome o;
         createSplit(t, set, {names.begin(), names.begin() + 4}, o.events);
         EXPECT_TRUE(fs::exists(disk / "d_001.zip") && opensAsArchive(set)) << "no older set to spoil";
         try {
           createSplit(t, set, names, o.events);
         } catch (const EZAException& e) {
           o.error = e.ErrorCode;
         }
         // The older set lost its first volume to the new one: its last one
         // must not stay behind looking like an archive.
         for (const auto& e : fs::directory_iterator(disk))
           EXPECT_FALSE(opensAsArchive(e.path().string())) << e.path().filename() << " is left";
         unmountDisk(disk);
         return o;
       }},
      {"the tail backup does not fit on the disk",
       {},
       [](const Where& t, const std::vector<std::string>& names, Contents& tree) {
         const fs::path disk = t.dir / "disk";
         if (!mountSmallDisk(disk, "1m")) return Outcome{{}, -1, {}, 0, {}};
         createArchive(t, names);
         const std::string before = readFile(t.archive);
         writeFile(t.src / "f0.bin", randomBytes(kPiece, 77));
         int32_t code = 0;
         try {
           TZipArchiver a;
           a.FileName = t.archive;
           a.BaseDir = t.src.string();
           a.TempDir = disk.string();
           a.OpenArchive(platform::fmOpenReadWrite | platform::fmShareDenyWrite);
           a.BeginUpdate();
           a.AddItemForFile(0, "f0.bin");
           a.EndUpdate();
         } catch (const EZAException& e) {
           code = e.NativeError;
         } catch (const std::exception& e) {
           ADD_FAILURE() << "not the component's error: " << e.what();
         }
         EXPECT_EQ(code, zeWriteFailed);
         EXPECT_EQ(readFile(t.archive), before);
         EXPECT_EQ(filesIn(disk), 0u);
         unmountDisk(disk);
         Outcome o;
         o.want = tree;
         return o;
       }},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(src);
    fs::remove_all(temp);
    fs::remove(archive);
    fs::create_directories(src);
    fs::create_directories(temp);
    Contents tree;
    for (size_t i = 0; i + 1 < names.size(); ++i) tree[names[i]] = randomBytes(kPiece, 100 + static_cast<unsigned>(i));
    tree["notes.txt"] = "notes\n";
    for (const auto& [n, d] : tree) writeFile(src / n, d);

    const Outcome o = c.run(Where{dir.path(), src, temp, archive}, names, tree);
    // The full disks come last: without a tmpfs they are skipped alone.
    if (o.error == -1) GTEST_SKIP() << c.what << ": a small tmpfs cannot be mounted here (needs root)";
    if (o.want.empty()) {
      EXPECT_NE(o.error, 0) << "the caller was not told";
      EXPECT_FALSE(o.events.empty()) << "no failure event";
    } else {
      EXPECT_EQ(o.error, 0);
      expectSound(archive, o.password);
      EXPECT_EQ(digest(contentsOf(archive, o.password)), digest(o.want));
    }
    if (!c.events.empty()) {
      EXPECT_EQ(o.events.codes(), c.events);
    }
    EXPECT_EQ(ztFilesIn(temp), 0u);
    EXPECT_EQ(ztFilesIn(dir.path()), o.backups);
    for (const auto& e : fs::directory_iterator(dir.path()))
      if (e.path().filename().string().rfind("ZT", 0) == 0) fs::remove(e.path());
  }
}

}  // namespace
