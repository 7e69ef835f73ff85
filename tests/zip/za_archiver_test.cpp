// The archiver's properties, open and close, its default prompts and the
// extraction rules of its options.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/core/dos_datetime.h"
#include "support/scoped_responder.h"
#include "support/server_process.h"
#include "support/temp_dir.h"
#include "zip/za_archiver.h"
#include "zip/za_except.h"
#include "zip/zip_builder.h"

using namespace zip;
using platform::MsgAnswer;

namespace {

namespace fs = std::filesystem;

int codeOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EZAException& e) {
    return e.NativeError;
  }
  return 0;
}

TEST(Properties, LevelAndModeStayInStep) {
  TZipArchiver a;
  EXPECT_EQ(a.CompressionMode(), 1);
  EXPECT_EQ(a.CompressionMethod(), 8);
  EXPECT_EQ(a.Zip64Mode, zmDisabled);
  a.SetCompressionLevel(clNormal);
  EXPECT_EQ(a.CompressionMode(), 6);
  a.SetCompressionMode(3);
  EXPECT_EQ(a.CompressionLevel(), clFastest);
  a.SetCompressionMode(0);
  EXPECT_EQ(a.CompressionLevel(), clNone);
  EXPECT_EQ(a.CompressionMethod(), 0);
  EXPECT_EQ(codeOf([&] { a.SetCompressionMode(10); }), zeCompressionMode);
  EXPECT_EQ(a.CompressionMode(), 0);
  a.SetCurrentVersion("9.99");
  EXPECT_EQ(a.CurrentVersion(), "2.65 ");
  TZABaseArchiver base;
  EXPECT_EQ(base.CompressionMethod(), 0xFFFF);
  EXPECT_EQ(base.Zip64Mode, zmAuto);
}

TEST(Open, ChecksComeBeforeClosing) {
  testsupport::TempDir dir;
  TZipArchiver a;
  a.Name = "ZipArchiver1";
  a.FileName = (dir / "ok.zip").string();
  a.OpenArchive(kCreateMode);
  a.CloseArchive();
  a.OpenArchive(0x20);
  ASSERT_TRUE(a.Active());

  a.FileName = (dir / "absent.zip").string();
  try {
    a.OpenArchive(0x20);
    ADD_FAILURE();
  } catch (const EZAException& e) {
    EXPECT_EQ(e.NativeError, zeArchiveNotFound);
    EXPECT_EQ(std::string(e.what()), "ZipArchiver1: File \"" + a.FileName + "\" not found - Native error: 00012");
  }
  EXPECT_TRUE(a.Active()) << "the archive open before stays open";
  a.FileName = dir.str() + "/";
  EXPECT_EQ(codeOf([&] { a.OpenArchive(0x20); }), zeOpenNoName);
  EXPECT_TRUE(a.Active());
  EXPECT_THROW(a.SetSpanningMode(smSplitting), std::logic_error);
}

TEST(Open, InMemoryIsCreatedOnly) {
  testsupport::TempDir dir;
  TZipArchiver a;
  a.SetInMemory(true);
  a.FileName = (dir / "absent.zip").string();
  EXPECT_EQ(codeOf([&] { a.OpenArchive(0x20); }), zeArchiveNotFound);
  testsupport::writeFile(dir / "present.zip", "");
  a.FileName = (dir / "present.zip").string();
  EXPECT_EQ(codeOf([&] { a.OpenArchive(0x20); }), zeNotInMemoryOnly);
  a.FileName.clear();
  a.OpenArchive(kCreateMode);
  EXPECT_TRUE(a.Active());
  // Back to a file: an empty name is refused, the archive stays in memory.
  EXPECT_EQ(codeOf([&] { a.SetInMemory(false); }), zeInMemoryNoName);
  EXPECT_TRUE(a.InMemory());
  a.FileName = (dir / "copie.zip").string();
  a.SetInMemory(false);
  EXPECT_FALSE(a.InMemory());
  EXPECT_TRUE(a.Active());
}

TEST(Open, ClosedArchiveRefusesOperations) {
  TZipArchiver a;
  EXPECT_EQ(codeOf([&] { a.ExtractFiles("*.*", 0x28BF, ""); }), zeNotActive);
  a.CloseArchive();
  bool opened = false;
  a.AfterOpen = [&](TZABaseArchiver*) { opened = true; };
  a.SetInMemory(true);
  a.OpenArchive(kCreateMode);
  EXPECT_TRUE(opened);
}

// One archive with a folder, files in it, and a read-only file.
struct Fixture {
  testsupport::TempDir dir;
  fs::path base = dir / "base";
  std::string archive = (dir / "a.zip").string();
  Fixture() {
    ziptest::ZipBuilder b;
    b.addStored("dossier/", "").externalAttributes = 0x10;
    b.addStored("dossier/un.txt", "un");
    b.addStored("autre/un.txt", "un bis");
    b.addStored("lecture.txt", "seule").externalAttributes = 0x21;
    b.addStored("SANSEXT", "sans extension");
    b.addStored("SANSEXT.DOC", "avec extension");
    b.addStored("note.doc", "minuscule");
    testsupport::writeFile(archive, b.build());
    fs::create_directories(base);
  }
  void open(TZipArchiver& a) {
    a.FileName = archive;
    a.OpenArchive(0x20);
    a.BaseDir = base.string();
  }
};

TEST(Extract, FoldersDatesAndAttributes) {
  Fixture f;
  TZipArchiver a;
  f.open(a);
  a.ExtractFiles("*.*", 0x28BF, "");
  EXPECT_TRUE(fs::is_directory(f.base / "dossier"));
  EXPECT_EQ(testsupport::readFile(f.base / "dossier/un.txt"), "un");
  struct stat st {};
  ASSERT_EQ(::stat((f.base / "dossier/un.txt").c_str(), &st), 0);
  EXPECT_EQ(platform::dosDateTimeFromTime(st.st_mtime), platform::makeDosDateTime(0x5D8A, 0x4A3D));
  ASSERT_EQ(::stat((f.base / "lecture.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u) << "read-only as stored";

  // Extracted again with the defaults: the read-only file is replaced, read-only again.
  a.ExtractFiles("lecture.txt", 0x28BF, "");
  EXPECT_EQ(testsupport::readFile(f.base / "lecture.txt"), "seule");
}

TEST(Extract, PermissionsFromTheEntryOrTheReplacedFile) {
  struct Row {
    const char* label;
    uint16_t madeBy;
    uint32_t attributes;
    int existingMode;  // -1: no file before
    unsigned expectedMode;
  };
  const mode_t mask = ::umask(022);
  for (const Row& r : {Row{"unix_executable", 0x031E, (0100755u << 16) | 0x20, -1, 0755},
                       Row{"unix_private", 0x031E, (0100600u << 16), 0644, 0600}, Row{"dos_new", 20, 0x20, -1, 0644},
                       Row{"dos_read_only_new", 20, 0x21, -1, 0444}, Row{"dos_keeps_executable", 20, 0x20, 0755, 0755},
                       Row{"dos_read_only_over_executable", 20, 0x21, 0755, 0555},
                       Row{"dos_writable_over_read_only", 20, 0x20, 0444, 0644}}) {
    SCOPED_TRACE(r.label);
    testsupport::TempDir dir;
    ziptest::ZipBuilder b;
    ziptest::ZipEntry& e = b.addStored("PalvrenFtp", "programme");
    e.versionMadeBy = r.madeBy;
    e.externalAttributes = r.attributes;
    testsupport::writeFile(dir / "a.zip", b.build());
    fs::create_directories(dir / "base");
    if (r.existingMode >= 0) {
      testsupport::writeFile(dir / "base/PalvrenFtp", "ancien");
      ::chmod((dir / "base/PalvrenFtp").c_str(), static_cast<mode_t>(r.existingMode));
    }
    TZipArchiver a;
    a.FileName = (dir / "a.zip").string();
    a.OpenArchive(0x20);
    a.BaseDir = (dir / "base").string();
    a.ExtractFiles("*.*", 0x28BF, "");
    struct stat st {};
    ASSERT_EQ(::stat((dir / "base/PalvrenFtp").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, r.expectedMode);
    EXPECT_EQ(testsupport::readFile(dir / "base/PalvrenFtp"), "programme");
  }
  ::umask(mask);
}

TEST(Extract, MasksSelect) {
  struct Row {
    const char* mask;
    std::vector<std::string> extracted;
  };
  for (const Row& r : {Row{"SANSEXT.", {"SANSEXT"}}, Row{"*.DOC", {"SANSEXT.DOC", "note.doc"}},
                       Row{"un.txt", {"autre/un.txt", "dossier/un.txt"}}, Row{"dossier/*", {"dossier/un.txt"}}}) {
    Fixture f;
    TZipArchiver a;
    f.open(a);
    a.ExtractFiles(r.mask, 0x28BF, "");
    std::vector<std::string> got;
    for (const auto& e : fs::recursive_directory_iterator(f.base))
      if (e.is_regular_file()) got.push_back(fs::relative(e.path(), f.base).string());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, r.extracted) << r.mask;
  }
}

TEST(Extract, OverwriteRules) {
  struct Row {
    const char* label;
    TZAOverwriteMode mode;
    bool replaceReadOnly;
    bool readOnly;
    int32_t existingMinusEntry;  // the existing file's age against the entry's, in seconds
    bool replaced;
  };
  for (const Row& r :
       {Row{"always", omAlways, true, false, 0, true}, Row{"never", omNever, true, false, 0, false},
        Row{"if_newer_equal", omIfNewer, true, false, 0, false},
        Row{"if_newer_older_file", omIfNewer, true, false, -3600, true},
        Row{"if_older_newer_file", omIfOlder, true, false, 3600, true},
        Row{"if_older_equal", omIfOlder, true, false, 0, false}, Row{"read_only_kept", omAlways, false, true, 0, false},
        Row{"read_only_replaced", omAlways, true, true, 0, true}}) {
    SCOPED_TRACE(r.label);
    Fixture f;
    const fs::path target = f.base / "note.doc";
    testsupport::writeFile(target, "ancien");
    const std::time_t entry = platform::timeFromDosDateTime(platform::makeDosDateTime(0x5D8A, 0x4A3D));
    const struct timespec times[2] = {{entry + r.existingMinusEntry, 0}, {entry + r.existingMinusEntry, 0}};
    ::utimensat(AT_FDCWD, target.c_str(), times, 0);
    if (r.readOnly) ::chmod(target.c_str(), 0444);
    TZipArchiver a;
    a.Options().OverwriteMode = r.mode;
    a.Options().ReplaceReadOnly = r.replaceReadOnly;
    f.open(a);
    std::vector<TZAProgressPhase> phases;
    a.OnFileProgress = [&](TZABaseArchiver*, const std::string&, double, TZAProcessOperation, TZAProgressPhase p,
                           bool&) { phases.push_back(p); };
    a.ExtractFiles("note.doc", 0x28BF, "");
    EXPECT_EQ(testsupport::readFile(target), r.replaced ? "minuscule" : "ancien");
    EXPECT_EQ(phases.front(), ppStart);
    EXPECT_EQ(phases.back(), ppEnd);
  }
}

TEST(Extract, WithoutFoldersEverythingLandsInTheBase) {
  Fixture f;
  TZipArchiver a;
  a.Options().CreateDirs = false;
  f.open(a);
  a.ExtractFiles("*.*", 0x28BF, "");
  EXPECT_EQ(testsupport::readFile(f.base / "un.txt"), "un bis") << "the later entry of the same name wins";
  EXPECT_FALSE(fs::exists(f.base / "dossier"));
}

TEST(Extract, CancelAndDeclineWriteNothingAndRaiseNothing) {
  for (const TZAProgressPhase at : {ppStart, ppProcess}) {
    Fixture f;
    TZipArchiver a;
    f.open(a);
    int ends = 0;
    a.OnFileProgress = [&](TZABaseArchiver*, const std::string& name, double, TZAProcessOperation, TZAProgressPhase p,
                           bool& cancel) {
      if (name == "dossier/un.txt" && p == at) cancel = true;
    };
    a.OnOverallProgress = [&](TZABaseArchiver*, double, TZAProcessOperation, TZAProgressPhase p, bool&) {
      ends += p == ppEnd;
    };
    a.ExtractFiles("*.*", 0x28BF, "");
    EXPECT_FALSE(fs::exists(f.base / "dossier/un.txt"));
    EXPECT_FALSE(fs::exists(f.base / "lecture.txt")) << "the run stopped";
    EXPECT_EQ(ends, 1);
  }
  Fixture f;
  TZipArchiver a;
  f.open(a);
  std::vector<std::string> progressed;
  a.OnConfirmProcessFile = [](TZABaseArchiver*, const std::string& name, TZAProcessOperation, bool& confirm) {
    confirm = name != "note.doc";
  };
  a.OnFileProgress = [&](TZABaseArchiver*, const std::string& name, double, TZAProcessOperation, TZAProgressPhase,
                         bool&) { progressed.push_back(name); };
  a.ExtractFiles("*.*", 0x28BF, "");
  EXPECT_FALSE(fs::exists(f.base / "note.doc"));
  EXPECT_EQ(std::count(progressed.begin(), progressed.end(), "note.doc"), 0);
}

TEST(Extract, EmptyArchiveGivesOnlyTheOverallEvents) {
  testsupport::TempDir dir;
  TZipArchiver a;
  a.FileName = (dir / "vide.zip").string();
  a.OpenArchive(kCreateMode);
  a.CloseArchive();
  a.OpenArchive(0x20);
  std::vector<std::pair<double, TZAProgressPhase>> overall;
  a.OnOverallProgress = [&](TZABaseArchiver*, double p, TZAProcessOperation, TZAProgressPhase ph, bool&) {
    overall.emplace_back(p, ph);
  };
  a.ExtractFiles("*.*", 0x28BF, "");
  EXPECT_EQ(overall, (std::vector<std::pair<double, TZAProgressPhase>>{{0, ppStart}, {100, ppEnd}}));
}

TEST(Prompts, OverwriteAnswersForAll) {
  struct Row {
    MsgAnswer answer;
    bool replaced;
    TZAOverwriteMode after;
  };
  for (const Row& r : {Row{MsgAnswer::Yes, true, omPrompt}, Row{MsgAnswer::No, false, omPrompt},
                       Row{MsgAnswer::YesToAll, true, omAlways}, Row{MsgAnswer::NoToAll, false, omNever},
                       Row{MsgAnswer::Closed, false, omPrompt}}) {
    Fixture f;
    testsupport::writeFile(f.base / "note.doc", "ancien");
    testsupport::writeFile(f.base / "SANSEXT", "ancien");
    testsupport::ScopedResponder answers({r.answer, r.answer});
    TZipArchiver a;
    a.Options().OverwriteMode = omPrompt;
    f.open(a);
    a.ExtractFiles("*.*", 0x28BF, "");
    const bool askedTwice = answers.asked().size() == 2;
    EXPECT_EQ(askedTwice, r.after == omPrompt);
    const std::string expectedText = "Overwrite file \"" + (f.base / "SANSEXT").string() + "\" with \"SANSEXT\"";
    EXPECT_EQ(answers.asked().front().text.toStdString(), expectedText);
    EXPECT_EQ(testsupport::readFile(f.base / "note.doc"), r.replaced ? "minuscule" : "ancien");
    EXPECT_EQ(a.Options().OverwriteMode, r.after);
  }
}

TEST(Prompts, FailureAbortRetryIgnore) {
  struct Row {
    std::vector<MsgAnswer> answers;
    bool laterEntryExtracted;
    size_t questions;
  };
  for (const Row& r : {Row{{MsgAnswer::Ignore}, true, 1}, Row{{MsgAnswer::Abort}, false, 1},
                       Row{{MsgAnswer::Closed}, false, 1}, Row{{MsgAnswer::Retry, MsgAnswer::Ignore}, true, 2}}) {
    Fixture f;
    fs::create_directories(f.base / "lecture.txt");  // a folder in the file's place: it cannot be created
    testsupport::writeFile(f.base / "lecture.txt/garde", "");
    testsupport::ScopedResponder answers(r.answers);
    TZipArchiver a;
    f.open(a);
    a.ExtractFiles("*.*", 0x28BF, "");
    ASSERT_EQ(answers.asked().size(), r.questions);
    EXPECT_NE(answers.asked().front().text.toStdString().find(
                  "Cannot create file \"" + (f.base / "lecture.txt").string() +
                  "\" - Native error: 00019. File processing error, possibly disk is full"),
              std::string::npos)
        << answers.asked().front().text.toStdString();
    EXPECT_EQ(fs::exists(f.base / "note.doc"), r.laterEntryExtracted);
  }
}

TEST(Prompts, PasswordAskedUntilItFitsOrSkipped) {
  testsupport::TempDir dir;
  // A fixed archive: a fresh one has a random encryption header that "faux" passes once in 256.
  std::filesystem::copy_file(std::filesystem::path(testsupport::fixturesDir()) / "zip/zipcrypto-juste.zip",
                             dir / "s.zip");
  for (const bool give : {true, false}) {
    testsupport::ScopedResponder answers;
    if (give) answers.setInputs({"faux", "juste"});
    TZipArchiver a;
    a.FileName = (dir / "s.zip").string();
    a.OpenArchive(0x20);
    a.BaseDir = (dir / (give ? "out1" : "out2")).string();
    a.ExtractFiles("*.*", 0x28BF, "");
    EXPECT_EQ(answers.asked().size(), give ? 2u : 1u);
    EXPECT_EQ(answers.asked().front().text.toStdString(), "Enter password: ");
    EXPECT_EQ(answers.asked().front().caption.toStdString(), "Password for \"secret.txt\"");
    EXPECT_EQ(fs::exists(dir / (give ? "out1" : "out2") / "secret.txt"), give);
    EXPECT_EQ(a.Password, give ? "juste" : "");
  }
}

}  // namespace

namespace {

TEST(Search, RecordsAttributesAndFolders) {
  testsupport::TempDir dir;
  ziptest::ZipBuilder b;
  b.addStored("dossier/", "").externalAttributes = 0x10;
  ziptest::ZipEntry& packed = b.addStored("dossier/texte.txt", "");
  packed.plain = std::string(4000, 't');
  packed.data = ziptest::rawDeflate(packed.plain);
  packed.method = 8;
  packed.comment = "note";
  const double saved = (1.0 - static_cast<double>(packed.data.size()) / 4000) * 100;
  ziptest::ZipEntry& grown = b.addStored("cache.bin", "x");
  grown.externalAttributes = 0x22;  // hidden
  grown.compressedSize = 5;         // larger than the data it stands for
  grown.flags = 1;
  testsupport::writeFile(dir / "a.zip", b.build());
  TZipArchiver a;
  a.FileName = (dir / "a.zip").string();
  a.OpenArchive(0x20);

  TZAArchiveItem it;
  ASSERT_TRUE(a.FindFirst("*.*", it, 0x3F, ""));
  EXPECT_EQ(it.FileName, "dossier");
  EXPECT_EQ(it.StoredFolder, "");
  EXPECT_EQ(it.SavedPercent, 100);
  ASSERT_TRUE(a.FindNext(it));
  EXPECT_EQ(it.FileName, "texte.txt");
  EXPECT_EQ(it.StoredFolder, "dossier/");
  EXPECT_EQ(it.UncompressedSize, 4000);
  EXPECT_NEAR(it.SavedPercent, saved, 1e-9);
  EXPECT_EQ(it.Comment, "note");
  ASSERT_TRUE(a.FindNext(it));
  EXPECT_EQ(it.FileName, "cache.bin");
  EXPECT_TRUE(it.Encrypted);
  EXPECT_EQ(it.SavedPercent, 0) << "a negative saving reads as 0";
  EXPECT_FALSE(a.FindNext(it));

  struct Row {
    const char* mask;
    int32_t attr;
    bool recurse;
    std::vector<std::string> found;
  };
  for (const Row& r :
       {Row{"*.*", 0x20, true, {"dossier/texte.txt"}}, Row{"*.*", 0x10, true, {"dossier/", "dossier/texte.txt"}},
        Row{"*.*", 0x02, true, {"dossier/texte.txt", "cache.bin"}}, Row{"*.txt", 0x3F, false, {}},
        Row{"dossier\\*.txt", 0x3F, false, {"dossier/texte.txt"}},
        Row{"C:\\dossier\\*.TXT", 0x3F, true, {"dossier/texte.txt"}}}) {
    a.Options().Recurse = r.recurse;
    std::vector<std::string> found;
    TZAArchiveItem s;
    for (bool ok = a.FindFirst(r.mask, s, r.attr, ""); ok; ok = a.FindNext(s))
      found.push_back(a.Entry(s.Index).FileName());
    EXPECT_EQ(found, r.found) << r.mask << " " << r.attr << " " << r.recurse;
  }
}

}  // namespace
