// Archives built to harm: names that climb out of the base folder, links
// that lead outside it, and fields that lie. None writes outside the base,
// none crashes, none hangs.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/scoped_responder.h"
#include "support/temp_dir.h"
#include "zip/za_archive_fixture.h"
#include "zip/za_archiver.h"
#include "zip/za_except.h"
#include "zip/za_failure_log.h"
#include "zip/zip_builder.h"

using namespace zip;
using ziptest::FailureLog;

namespace {

namespace fs = std::filesystem;

struct Extraction {
  FailureLog failures;
  bool opened = false;
  std::string openError;
};

// Opens the bytes as an archive and extracts everything below base, every
// failure ignored so that all entries are tried.
Extraction extractAll(const fs::path& archive, const std::string& bytes, const fs::path& base,
                      bool dialogsAllowed = false) {
  testsupport::writeFile(archive, bytes);
  testsupport::ScopedResponder noDialogs;
  Extraction out;
  TZipArchiver a;
  a.FileName = archive.string();
  out.failures.listen(a);
  try {
    a.OpenArchive(0x20);
    out.opened = true;
    a.BaseDir = base.string();
    a.ExtractFiles("*.*", 0x28BF, "");
  } catch (const std::exception& e) {
    out.openError = e.what();
  }
  a.CloseArchive();
  // A flipped bit may ask for a password or a volume: the test's answers cancel.
  if (!dialogsAllowed) {
    EXPECT_TRUE(noDialogs.asked().empty());
  }
  return out;
}

struct NameCase {
  const char* label;
  const char* stored;
  const char* landsAt;  // below the base, empty when the entry is refused
};

class HostileNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(HostileNames, StayBelowTheBase) {
  const NameCase& c = GetParam();
  testsupport::TempDir work;
  fs::create_directories(work / "base");
  ziptest::ZipBuilder b;
  b.addStored(c.stored, "charge");
  b.addStored("sain.txt", "ok");
  const Extraction r = extractAll(work / "h.zip", b.build(), work / "base");
  ASSERT_TRUE(r.opened) << r.openError;
  ziptest::Tree expected{{"sain.txt", "ok"}};
  if (*c.landsAt) {
    expected[c.landsAt] = "charge";
    for (std::string f = fs::path(c.landsAt).parent_path().string(); !f.empty(); f = fs::path(f).parent_path().string())
      expected[f + "/"] = "";
    EXPECT_TRUE(r.failures.empty()) << r.failures.first();
  } else {
    EXPECT_EQ(r.failures.size(), 1u);
  }
  EXPECT_EQ(ziptest::treeDiff(ziptest::readTree(work / "base"), expected), "");
  // Nothing appeared beside the base.
  std::vector<std::string> beside;
  for (const auto& e : fs::directory_iterator(work.path())) beside.push_back(e.path().filename().string());
  std::sort(beside.begin(), beside.end());
  EXPECT_EQ(beside, (std::vector<std::string>{"base", "h.zip"}));
}

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.label; }

INSTANTIATE_TEST_SUITE_P(Names, HostileNames,
                         ::testing::Values(NameCase{"parent", "../evil.txt", ""},
                                           NameCase{"deep_parent", "a/../../evil.txt", ""},
                                           NameCase{"backslash_parent", "..\\evil.txt", ""},
                                           NameCase{"inner_parent", "a/b/../c.txt", "a/c.txt"},
                                           NameCase{"absolute", "/evil.txt", "evil.txt"},
                                           NameCase{"drive", "C:\\dossier\\evil.txt", "dossier/evil.txt"},
                                           NameCase{"drive_slash", "C:/evil.txt", "evil.txt"},
                                           NameCase{"network_share", "\\\\serveur\\partage\\evil.txt", "evil.txt"},
                                           NameCase{"drive_parent", "C:..\\evil.txt", ""}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(HostileLinks, NeverWriteThroughALinkThatLeavesTheBase) {
  testsupport::TempDir work;
  fs::create_directories(work / "base");
  fs::create_directories(work / "outside");
  testsupport::writeFile(work / "outside/victim.txt", "intact");
  fs::permissions(work / "outside/victim.txt", fs::perms::owner_read);
  fs::create_directory_symlink(work / "outside", work / "base/lien");
  fs::create_symlink(work / "outside/victim.txt", work / "base/fichier");
  fs::create_directories(work / "base/interne");
  fs::create_directory_symlink(work / "base/interne", work / "base/lien_interne");

  ziptest::ZipBuilder b;
  b.addStored("lien/victim.txt", "charge");     // a folder link that leads outside: refused
  b.addStored("lien/neuf/x.txt", "charge");     // no folder is made through it either
  b.addStored("fichier", "remplace");           // a file link: the link is replaced, not its target
  b.addStored("lien_interne/y.txt", "dedans");  // a link that stays inside is fine
  const Extraction r = extractAll(work / "h.zip", b.build(), work / "base");
  ASSERT_TRUE(r.opened) << r.openError;
  EXPECT_EQ(r.failures.size(), 2u);
  EXPECT_EQ(testsupport::readFile(work / "outside/victim.txt"), "intact");
  EXPECT_EQ(fs::status(work / "outside/victim.txt").permissions(), fs::perms::owner_read);
  EXPECT_FALSE(fs::exists(work / "outside/neuf"));
  EXPECT_FALSE(fs::is_symlink(work / "base/fichier"));
  EXPECT_EQ(testsupport::readFile(work / "base/fichier"), "remplace");
  EXPECT_EQ(testsupport::readFile(work / "base/interne/y.txt"), "dedans");
}

TEST(HostileLinks, SymlinkEntriesAreWrittenAsPlainFiles) {
  testsupport::TempDir work;
  fs::create_directories(work / "base");
  ziptest::ZipBuilder b;
  ziptest::ZipEntry& link = b.addStored("lien", "/etc");
  link.versionMadeBy = 0x031E;
  link.externalAttributes = 0120777u << 16;  // a Unix symbolic link
  b.addStored("lien/passwd", "charge");
  const Extraction r = extractAll(work / "h.zip", b.build(), work / "base");
  ASSERT_TRUE(r.opened) << r.openError;
  EXPECT_FALSE(fs::is_symlink(work / "base/lien"));
  EXPECT_EQ(testsupport::readFile(work / "base/lien"), "/etc");
  EXPECT_EQ(r.failures.size(), 1u);  // "lien" is a file, so no folder of that name can be made
}

struct FieldCase {
  const char* label;
  std::function<void(ziptest::ZipBuilder&)> spoil;
  bool bExtracted;  // the sound second entry still comes out whole (a damaged directory is rebuilt)
};

class LyingFields : public ::testing::TestWithParam<FieldCase> {};

TEST_P(LyingFields, FailCleanly) {
  testsupport::TempDir work;
  fs::create_directories(work / "base");
  ziptest::ZipBuilder b;
  b.addStored("a.txt", "premier fichier");
  ziptest::ZipEntry& d = b.addStored("b.txt", "");
  d.plain = std::string(5000, 'b');
  d.data = ziptest::rawDeflate(d.plain);
  d.method = 8;
  GetParam().spoil(b);
  const Extraction r = extractAll(work / "h.zip", b.build(), work / "base");
  // Whatever happened, only names of the archive appeared below the base.
  for (const auto& [name, content] : ziptest::readTree(work / "base"))
    EXPECT_TRUE(name == "a.txt" || name == "b.txt") << name;
  EXPECT_EQ(fs::exists(work / "base/b.txt"), GetParam().bExtracted);
  if (fs::exists(work / "base/b.txt")) {
    EXPECT_EQ(testsupport::readFile(work / "base/b.txt"), std::string(5000, 'b'));
  }
}

void PrintTo(const FieldCase& c, std::ostream* os) { *os << c.label; }

INSTANTIATE_TEST_SUITE_P(
    Fields, LyingFields,
    ::testing::Values(
        FieldCase{"huge_total_entries", [](auto& b) { b.end.totalEntries = 0xFFFE; }, true},
        FieldCase{"huge_directory_size", [](auto& b) { b.end.dirSize = 0xFFFFFF00u; }, true},
        // Data said to run past the end of the file are refused before any is read.
        FieldCase{"huge_compressed_size", [](auto& b) { b.entries[1].compressedSize = 0xFFFFFF00u; }, false},
        FieldCase{"huge_uncompressed_size", [](auto& b) { b.entries[1].uncompressedSize = 0xFFFFFF00u; }, false},
        FieldCase{"short_uncompressed_size", [](auto& b) { b.entries[1].uncompressedSize = 10; }, false},
        FieldCase{"offset_past_the_end", [](auto& b) { b.entries[0].localHeaderOffset = 0x7FFFFFF0u; }, true},
        FieldCase{"name_length_past_the_end", [](auto& b) { b.entries[1].centralNameLength = 0xFFFF; }, true},
        FieldCase{"extra_length_past_the_end", [](auto& b) { b.entries[1].centralExtraLength = 0xFFFF; }, true},
        FieldCase{"zip64_offset_past_the_end",
                  [](auto& b) {
                    b.entries[0].localHeaderOffset = 0xFFFFFFFFu;
                    b.entries[0].centralExtra = ziptest::zip64Block({0xFFFFFFFFFFFF0000ull});
                  },
                  true},
        FieldCase{"zip64_count_beyond_bytes",
                  [](auto& b) {
                    b.zip64.write = true;
                    b.zip64.totalEntries = 0xFFFFFFFFull;
                  },
                  true},
        FieldCase{"zip64_locator_past_the_end",
                  [](auto& b) {
                    b.zip64.write = true;
                    b.zip64.locatorOffset = 0xFFFFFFFFFFFFFF00ull;
                  },
                  true},  // the record just before the locator is taken
        FieldCase{"unknown_method", [](auto& b) { b.entries[1].method = 99; }, false},
        FieldCase{"deflate64", [](auto& b) { b.entries[1].method = 9; }, false},
        FieldCase{"block_format",
                  [](auto& b) {
                    b.entries[1].method = 12;
                    b.entries[1].versionNeeded = 20;
                  },
                  false},
        FieldCase{"corrupt_deflate", [](auto& b) { b.entries[1].data = std::string(40, '\xFF'); }, false},
        FieldCase{"wrong_crc", [](auto& b) { b.entries[1].crc = 1; }, false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Fuzz, RandomBytesNeverCrashOrEscape) {
  testsupport::TempDir work;
  fs::create_directories(work / "base");
  ziptest::ZipBuilder b;
  b.addStored("dossier/", "").externalAttributes = 0x10;
  b.addStored("dossier/a.txt", "contenu de a");
  ziptest::ZipEntry& d = b.addStored("b.txt", "");
  d.plain = std::string(3000, 'z');
  d.data = ziptest::rawDeflate(d.plain);
  d.method = 8;
  b.end.comment = "commentaire";
  const std::string sound = b.build();
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    std::string bytes = sound;
    const int flips = 1 + static_cast<int>(rng() % 6);
    for (int k = 0; k < flips; ++k) bytes[rng() % bytes.size()] = static_cast<char>(rng());
    extractAll(work / "f.zip", bytes, work / "base", true);
    for (const auto& e : fs::recursive_directory_iterator(work.path())) {
      const std::string rel = fs::relative(e.path(), work.path()).string();
      ASSERT_TRUE(rel == "base" || rel == "f.zip" || rel.rfind("base/", 0) == 0) << rel << " round " << round;
    }
    fs::remove_all(work / "base");
    fs::create_directories(work / "base");
  }
}

}  // namespace

namespace {

TEST(HostileNamesEmpty, NamesThatResolveToTheBaseLeaveItAlone) {
  for (const char* stored : {"", "/", "a/..", "./"}) {
    SCOPED_TRACE(stored);
    testsupport::TempDir work;
    fs::create_directories(work / "base");
    ziptest::ZipBuilder b;
    b.addStored(stored, "charge");
    b.addStored("apres.txt", "ok");
    const Extraction r = extractAll(work / "h.zip", b.build(), work / "base");
    ASSERT_TRUE(r.opened) << r.openError;
    EXPECT_TRUE(fs::is_directory(work / "base"));
    EXPECT_EQ(testsupport::readFile(work / "base/apres.txt"), "ok");
  }
}

}  // namespace
