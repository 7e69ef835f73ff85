// Reads of entry data: reads that run into the next volume, encryptions the
// component cannot read, and password questions that must come to an end.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/random_bytes.h"
#include "support/scoped_responder.h"
#include "support/server_process.h"
#include "support/temp_dir.h"
#include "zip/archiver/za_archiver_internals.h"
#include "zip/za_archiver.h"
#include "zip/za_except.h"
#include "zip/za_failure_log.h"
#include "zip/zip_builder.h"

using namespace zip;
using ziptest::FailureLog;

namespace {

namespace fs = std::filesystem;

struct Outcome {
  bool opened = false;
  std::string openError;
  FailureLog failures;
  int passwordQuestions = 0;
  size_t boxes = 0;  // message and input boxes shown
};

// Opens archive and runs the operation over every entry; each failure is
// ignored so that all entries are tried. Boxes are answered OK.
// Without a password handler, the default input box is answered "Cancel".
Outcome runAll(const fs::path& archive, const fs::path& base, TZAProcessOperation operation,
               const std::vector<std::string>& passwords = {}, bool passwordHandler = true) {
  testsupport::ScopedResponder answers(std::vector<platform::MsgAnswer>(16, platform::MsgAnswer::Ok));
  Outcome out;
  TZipArchiver a;
  a.FileName = archive.string();
  if (passwordHandler) {
    a.OnPassword = [&](TZABaseArchiver*, const std::string&, std::string& password, bool& skip) {
      const size_t asked = static_cast<size_t>(out.passwordQuestions++);
      // The last answer is given again and again: a user who never gives up.
      skip = passwords.empty();
      if (!passwords.empty()) password = passwords[std::min(asked, passwords.size() - 1)];
    };
  }
  out.failures.listen(a);
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
  out.boxes = answers.asked().size();
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
  const std::string bulk = testsupport::randomBytes(65428, 7);
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
  const TDirItem& second = TZAArchiverInternals::Entry(a, 1);
  ASSERT_EQ(second.TrueDiskNumberStart(), 0u);
  const uint64_t headerStart = second.TrueLocalHeaderOffset() + 30 + 5;
  ASSERT_LT(headerStart, 65536u);
  ASSERT_GT(headerStart + 12, 65536u);
  for (TZAProcessOperation op : {poTest, poExtract}) {
    FailureLog failures;
    failures.listen(a);
    a.BaseDir = (work / "out").string();
    a.SelectFiles("*.*", 0x28BF, "");
    a.ProcessSelectedItems(op);
    EXPECT_TRUE(failures.empty()) << "operation " << op << ", first " << failures.first();
  }
  a.CloseArchive();
  EXPECT_EQ(testsupport::readFile(work / "out" / "b.txt"), text);
  EXPECT_EQ(testsupport::readFile(work / "out" / "a.bin"), bulk);
}

// AES entries (method 99, made by 7-Zip) are an encryption the component
// cannot read: the entry fails at once, no password is asked, and the other
// entries come out.
TEST(UnreadableEncryption, FailsAtOnceWithoutAPasswordQuestion) {
  for (TZAProcessOperation op : {poExtract, poTest}) {
    for (bool handler : {true, false}) {
      SCOPED_TRACE("operation " + std::to_string(op) + (handler ? " with" : " without") + " a password handler");
      testsupport::TempDir work;
      const fs::path archive = copyFixture("aes-entry.zip", work.path());
      const Outcome r = runAll(archive, work / "base", op, {"secret"}, handler);
      ASSERT_TRUE(r.opened) << r.openError;
      EXPECT_EQ(r.failures.codes(), std::vector<int32_t>{zeBadEntryData});
      EXPECT_EQ(r.passwordQuestions, 0);
      EXPECT_EQ(r.boxes, 0u);
      EXPECT_FALSE(fs::exists(work / "base" / "secret.txt"));
      if (op == poExtract) {
        EXPECT_EQ(testsupport::readFile(work / "base" / "plain.txt"), "en clair\n");
      }
    }
  }
}

// The password question comes back a bounded number of times: a handler that
// keeps giving a wrong password fails the entry instead of looping forever.
TEST(PasswordQuestions, EndWithTheEntrysFailure) {
  struct Case {
    const char* label;
    std::vector<std::string> answers;
    bool extracted;
  };
  const Case cases[] = {
      {"right at the second try", {"faux", "secret"}, true},
      {"always wrong", {"faux"}, false},
      {"declined", {}, false},
  };
  // A fixed archive: one made afresh has a random encryption header, which a
  // wrong password passes once in 256 runs.
  for (const Case& c : cases) {
    for (TZAProcessOperation op : {poExtract, poTest}) {
      SCOPED_TRACE(std::string(c.label) + ", operation " + std::to_string(op));
      testsupport::TempDir work;
      const fs::path archive = copyFixture("zipcrypto-secret.zip", work.path());
      const Outcome r = runAll(archive, work / "base", op, c.answers);
      ASSERT_TRUE(r.opened) << r.openError;
      EXPECT_LE(r.passwordQuestions, 3);
      EXPECT_GE(r.passwordQuestions, 1);
      // A declined question skips the entry; a wrong password fails it.
      const bool failed = !c.extracted && !c.answers.empty();
      EXPECT_EQ(r.failures.codes(), failed ? std::vector<int32_t>{zeBadEntryData} : std::vector<int32_t>{});
      if (op == poExtract) {
        EXPECT_EQ(fs::exists(work / "base" / "note.txt"), c.extracted);
      }
    }
  }
}

}  // namespace
