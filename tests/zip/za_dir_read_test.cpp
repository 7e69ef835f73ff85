// Directory reading on open: the end record search, Zip64 records, stubs and
// the rebuild from local headers.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/core/exceptions.h"
#include "support/scoped_responder.h"
#include "support/temp_dir.h"
#include "zip/archiver/za_archiver_internals.h"
#include "zip/names/za_names.h"
#include "zip/za_archiver.h"
#include "zip/za_except.h"
#include "zip/za_failure_log.h"
#include "zip/zip_builder.h"

using namespace zip;
using ziptest::FailureLog;

namespace {

// Opens the bytes; the archiver stays open for the checks.
struct Opened {
  testsupport::TempDir dir;
  TZipArchiver archiver;
  explicit Opened(const std::string& bytes, const std::string& name = "t.zip") {
    testsupport::writeFile(dir / name, bytes);
    archiver.FileName = (dir / name).string();
    archiver.OpenArchive(0x20);
  }
  TZADirManager& m() { return TZAArchiverInternals::DirManager(archiver); }
  TDirItem item(int i) { return m().ArchiveDir.GetItem(i); }
};

int codeOfOpen(TZipArchiver& a) {
  try {
    a.OpenArchive(0x20);
  } catch (const EZAException& e) {
    EXPECT_FALSE(a.Active());
    return e.NativeError;
  }
  return 0;
}

int openErrorCode(const std::string& bytes) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "t.zip", bytes);
  TZipArchiver a;
  a.FileName = (dir / "t.zip").string();
  return codeOfOpen(a);
}

ziptest::ZipBuilder twoEntries() {
  ziptest::ZipBuilder b;
  b.addStored("un.txt", "premier");
  b.addStored("deux.txt", "second");
  return b;
}

TEST(EndRecord, CommentOfTheStatedLengthOnly) {
  ziptest::ZipBuilder b = twoEntries();
  b.end.comment = "commentaire";
  Opened o(b.build());
  EXPECT_EQ(o.m().ArchiveComment, "commentaire");
  EXPECT_EQ(o.m().ArchiveDir.Count(), 2);
  EXPECT_EQ(o.m().CentralDirStart, static_cast<int64_t>(b.directoryOffset));

  // One byte more and a count the directory does not hold: the directory is rebuilt.
  b.trailing = "x";
  b.end.totalEntries = b.end.entriesOnDisk = 3;
  Opened rebuilt(b.build());
  EXPECT_EQ(rebuilt.m().ArchiveDir.Count(), 2);
  EXPECT_EQ(rebuilt.m().EndOfCentralDir.TotalEntries, 0);
  EXPECT_EQ(rebuilt.item(1).FileName, "deux.txt");
  EXPECT_EQ(rebuilt.m().CentralDirStart, static_cast<int64_t>(b.build().size()));
}

struct TrailingCase {
  const char* label;
  std::function<void(ziptest::ZipBuilder&)> shape;
  bool fromDirectory;  // else rebuilt: offsets that do not agree are not trusted
};

class TrailingBytes : public ::testing::TestWithParam<TrailingCase> {};

// Bytes after the comment do not make a sound archive damaged: the record whose
// directory checks out entry for entry is taken, even with damaged archives refused.
TEST_P(TrailingBytes, SoundArchiveOpensFromItsDirectory) {
  ziptest::ZipBuilder b = twoEntries();
  b.end.comment = "commentaire";
  GetParam().shape(b);
  for (const std::string& tail : std::vector<std::string>{std::string(1, '\0'), std::string(3000, 'x'),
                                                          "PK\x05\x06 et la suite, plus longue qu'un enregistrement"}) {
    b.trailing = tail;
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "t.zip", b.build());
    TZipArchiver a;
    a.FileName = (dir / "t.zip").string();
    a.SetAllowDamagedOpen(!GetParam().fromDirectory);
    ASSERT_EQ(codeOfOpen(a), 0);
    TZADirManager& m = TZAArchiverInternals::DirManager(a);
    EXPECT_EQ(m.EndRecordFound, GetParam().fromDirectory);
    EXPECT_EQ(m.ArchiveComment, GetParam().fromDirectory ? "commentaire" : "");
    ASSERT_EQ(m.ArchiveDir.Count(), 2);
    EXPECT_EQ(m.ArchiveDir.GetItem(1).FileName, "deux.txt");
    EXPECT_EQ(m.ArchiveDir.GetItem(1).TrueLocalHeaderOffset(), b.localOffsets[1]);
  }
}

void PrintTo(const TrailingCase& c, std::ostream* os) { *os << c.label; }

INSTANTIATE_TEST_SUITE_P(Shapes, TrailingBytes,
                         ::testing::Values(TrailingCase{"plain", [](auto&) {}, true},
                                           TrailingCase{"stub_offsets_from_file_start",
                                                        [](auto& b) { b.stub = std::string(500, 'S'); }, true},
                                           TrailingCase{"stub_offsets_from_zip_data",
                                                        [](auto& b) {
                                                          b.stub = std::string(500, 'S');
                                                          b.offsetsFromStubEnd = true;
                                                          b.build();
                                                          b.end.dirOffset =
                                                              static_cast<uint32_t>(b.directoryOffset - 500);
                                                        },
                                                        true},
                                           TrailingCase{"offsets_that_disagree",
                                                        [](auto& b) {
                                                          b.build();
                                                          b.end.dirOffset =
                                                              static_cast<uint32_t>(b.directoryOffset + 7);
                                                        },
                                                        false},
                                           TrailingCase{"zip64",
                                                        [](auto& b) {
                                                          b.zip64.write = true;
                                                          b.end.totalEntries = b.end.entriesOnDisk = 0xFFFF;
                                                          b.end.dirSize = b.end.dirOffset = 0xFFFFFFFFu;
                                                        },
                                                        true}),
                         [](const auto& info) { return std::string(info.param.label); });

// A record whose directory does not read back as it states stays refused.
TEST(TrailingBytesRefused, DirectoryThatDoesNotCheckOut) {
  const std::vector<std::function<void(ziptest::ZipBuilder&)>> spoils{
      [](auto& b) { b.end.totalEntries = b.end.entriesOnDisk = 1; },
      [](auto& b) { b.end.dirSize = *b.end.dirSize + 1; },
      [](auto& b) { b.end.dirOffset = 0x7FFFFFFF; },
      [](auto& b) { b.entries[1].centralSignature = 0x02014b51; },
  };
  for (size_t i = 0; i < spoils.size(); ++i) {
    SCOPED_TRACE(i);
    ziptest::ZipBuilder b = twoEntries();
    b.build();
    b.end.dirSize = static_cast<uint32_t>(b.endRecordOffset - b.directoryOffset);
    spoils[i](b);
    b.trailing = "x";
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "t.zip", b.build());
    TZipArchiver a;
    a.FileName = (dir / "t.zip").string();
    a.SetAllowDamagedOpen(false);
    EXPECT_EQ(codeOfOpen(a), zeDamagedArchive);
  }
}

TEST(EndRecord, LaterRecordAndLongestComment) {
  ziptest::ZipBuilder b = twoEntries();
  // A record with no entries as the comment's last bytes: it is the later one.
  b.end.comment = ziptest::le32(0x06054b50) + std::string(18, '\0');
  EXPECT_EQ(Opened(b.build()).m().ArchiveDir.Count(), 0);

  b.end.comment = std::string(65535, 'c');
  Opened longest(b.build());
  EXPECT_EQ(longest.m().ArchiveComment.size(), 65535u);
  EXPECT_EQ(longest.m().ArchiveDir.Count(), 2);
}

TEST(EndRecord, DiskFieldMarkersReadAsDiskZero) {
  ziptest::ZipBuilder b = twoEntries();
  b.end.thisDisk = 0xFFFF;
  b.end.dirStartDisk = 0xFFFF;
  Opened o(b.build());
  EXPECT_EQ(o.archiver.SpanningMode(), smNone);
  EXPECT_EQ(o.m().EndOfCentralDir.ThisDisk, 0);
  EXPECT_EQ(o.m().ArchiveDir.Count(), 2);
}

TEST(Zip64, CountAndPlaceFromTheZip64Record) {
  ziptest::ZipBuilder b = twoEntries();
  b.zip64.write = true;
  b.end.totalEntries = b.end.entriesOnDisk = 0xFFFF;
  b.end.dirSize = b.end.dirOffset = 0xFFFFFFFFu;
  Opened o(b.build());
  EXPECT_TRUE(o.m().IsZip64);
  EXPECT_EQ(o.m().ArchiveDir.Count(), 2);
  EXPECT_EQ(o.item(0).FileName, "un.txt");

  b.zip64.locatorOffset = 0;             // points at a local header
  b.zip64.recordSignature = 0x06064b51;  // and none stands before the locator either
  EXPECT_EQ(openErrorCode(b.build()), zeZip64EndMissing);
}

// A stub in front of a Zip64 archive whose offsets all count from the ZIP data,
// the locator's included.
TEST(Zip64, StubInFrontOfOffsetsFromTheZipData) {
  ziptest::ZipBuilder b = twoEntries();
  b.stub = std::string(4000, 'S');
  b.offsetsFromStubEnd = true;
  b.zip64.write = true;
  b.end.totalEntries = b.end.entriesOnDisk = 0xFFFF;
  b.end.dirSize = b.end.dirOffset = 0xFFFFFFFFu;
  b.build();
  b.zip64.dirOffset = b.directoryOffset - 4000;
  b.zip64.locatorOffset = b.endRecordOffset - 20 - 56 - 4000;
  Opened o(b.build());
  EXPECT_TRUE(o.m().IsZip64);
  ASSERT_EQ(o.m().ArchiveDir.Count(), 2);
  EXPECT_EQ(o.m().StubSize, 4000);
  EXPECT_EQ(o.item(1).TrueLocalHeaderOffset(), b.localOffsets[1]);
}

struct StubCase {
  const char* label;
  bool offsetsFromStubEnd;
  bool folderFirst;
};

class Stubs : public ::testing::TestWithParam<StubCase> {};

TEST_P(Stubs, OffsetsEndUpCountingFromTheFileStart) {
  ziptest::ZipBuilder b;
  b.stub = std::string(3000, 'S') + "PK\x03\x04 a false header in the stub";
  if (GetParam().folderFirst) {
    b.addStored("dossier/", "").externalAttributes = 0x10;
    std::swap(b.entries[0], b.entries.back());
  }
  b.addStored("un.txt", "premier");
  b.addStored("deux.txt", "second");
  if (GetParam().folderFirst) std::rotate(b.entries.begin(), b.entries.begin() + 1, b.entries.end());
  b.offsetsFromStubEnd = GetParam().offsetsFromStubEnd;
  const std::string bytes = b.build();
  Opened o(bytes);
  for (int i = 0; i < o.m().ArchiveDir.Count(); ++i) {
    const TDirItem it = o.item(i);
    if (!it.IsFolder()) {
      EXPECT_EQ(it.LocalHeaderOffset, b.localOffsets[static_cast<size_t>(i)]) << it.FileName;
    }
  }
  EXPECT_EQ(o.m().StubSize, static_cast<int64_t>(b.stub.size()));
}

void PrintTo(const StubCase& c, std::ostream* os) { *os << c.label; }

INSTANTIATE_TEST_SUITE_P(Offsets, Stubs,
                         ::testing::Values(StubCase{"from_file_start", false, false},
                                           StubCase{"from_zip_data", true, false},
                                           StubCase{"from_zip_data_folder_last", true, true}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(StubsEmpty, EverythingBeforeTheEndRecordIsStub) {
  ziptest::ZipBuilder b;
  b.stub = std::string(777, 'S');
  Opened o(b.build());
  EXPECT_EQ(o.m().StubSize, 777);
}

TEST(Names, SeparatorsOemAndLength) {
  ziptest::ZipBuilder b;
  b.addStored("dossier\\fichier.txt", "a");
  b.addStored("caf\x82.txt", "b");  // 0x82 is "é" in code page 850
  ziptest::ZipEntry& longName = b.addStored(std::string(5000, 'n'), "c");
  longName.centralExtra = ziptest::extraBlock(0x5455, "TIME!");
  longName.comment = "commentaire d'entrée";
  b.addStored("après.txt", "d");
  Opened o(b.build());
  EXPECT_EQ(o.item(0).FileName, "dossier/fichier.txt");
  EXPECT_EQ(o.item(1).FileName, "café.txt");
  EXPECT_EQ(o.item(2).FileName, std::string(kMaxNameLength, 'n'));
  ASSERT_EQ(o.item(2).ExtraBlocks.size(), 1u);
  EXPECT_EQ(o.item(2).ExtraBlocks[0].HeaderId, 0x5455);
  EXPECT_EQ(o.item(2).Extras().Comment, "commentaire d'entrée");
  EXPECT_EQ(o.m().ArchiveDir.Count(), 4);
}

TEST(Rebuild, FromLocalHeadersByTheirRules) {
  ziptest::ZipBuilder b;
  b.addStored("vide", "");                                       // no data: still a file
  // An extra field too long to be believed as it is, its data ending at the next header: taken.
  b.addStored("sauté", "x").localExtra = std::string(261, 'e');
  ziptest::ZipEntry& dd = b.addStored("decrit.txt", "décrit après les données");
  dd.flags = 0x0008;
  dd.dataDescriptor = true;
  b.addStored("fin.txt", "fin");
  b.trailing = "?";  // spoils the end record
  b.end.totalEntries = b.end.entriesOnDisk = 9;
  Opened o(b.build());
  ASSERT_EQ(o.m().ArchiveDir.Count(), 4);
  EXPECT_EQ(o.item(0).ExternalAttributes, 0x20u);
  EXPECT_EQ(o.item(1).FileName, "sauté");
  EXPECT_EQ(o.item(2).FileName, "decrit.txt");
  EXPECT_EQ(o.item(2).Crc, ziptest::crcOf("décrit après les données"));
  EXPECT_EQ(o.item(2).UncompressedSize, std::string("décrit après les données").size());
  EXPECT_EQ(o.item(2).ExternalAttributes, 0x20u);
  EXPECT_EQ(o.item(3).LocalHeaderOffset, b.localOffsets[3]);
}

TEST(Rebuild, NothingToRebuildFrom) {
  EXPECT_EQ(openErrorCode("ceci n'est pas une archive, ni PK ni rien"), zeInvalidArchive);
  EXPECT_EQ(openErrorCode(""), zeInvalidArchive);
}

TEST(Open, ReadErrorsLeaveTheFileHeldUntilClosed) {
  ziptest::ZipBuilder b = twoEntries();
  b.end.dirSize = 5;  // the directory then starts inside an entry
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "t.zip", b.build());
  TZipArchiver a;
  a.FileName = (dir / "t.zip").string();
  a.SetAllowDamagedOpen(false);
  EXPECT_ANY_THROW(a.OpenArchive(0x20));
  EXPECT_FALSE(a.Active());
  EXPECT_NE(TZAArchiverInternals::ArchiveStream(a), nullptr);
  a.CloseArchive();
  EXPECT_EQ(TZAArchiverInternals::ArchiveStream(a), nullptr);
}

}  // namespace

namespace {

TEST(Damaged, RebuiltOnlyWhileDamagedArchivesAreAccepted) {
  for (const char* name : {"t.zip", "setup.exe"}) {
    SCOPED_TRACE(name);
    ziptest::ZipBuilder b = twoEntries();
    b.stub = "MZ";
    b.trailing = "?";
    b.end.totalEntries = b.end.entriesOnDisk = 9;
    Opened o(b.build(), name);
    EXPECT_EQ(o.m().ArchiveDir.Count(), 2);
    EXPECT_TRUE(o.archiver.AllowDamagedOpen()) << "the probing gives the switch back";

    o.archiver.CloseArchive();
    o.archiver.SetAllowDamagedOpen(false);
    EXPECT_EQ(codeOfOpen(o.archiver), zeDamagedArchive);
    EXPECT_EQ(TZAArchiverInternals::ArchiveStream(o.archiver), nullptr);
  }
}

}  // namespace

namespace {

std::vector<std::string> rebuiltNames(const std::string& bytes) {
  Opened o(bytes);
  std::vector<std::string> names;
  for (int i = 0; i < o.m().ArchiveDir.Count(); ++i) names.push_back(o.item(i).FileName);
  return names;
}

struct CutCase {
  const char* label;
  size_t entry;        // the entry the cut falls in
  int64_t fromHeader;  // bytes kept of that entry, from its local header; -1 for all of it
  std::vector<std::string> kept;
};

class CutArchives : public ::testing::TestWithParam<CutCase> {};

// A download cut short or an update killed in mid-entry: only whole entries come back.
TEST_P(CutArchives, RebuildKeepsOnlyWholeEntries) {
  ziptest::ZipBuilder b;
  b.addStored("un.txt", std::string(300, '1'));
  ziptest::ZipEntry& dd = b.addStored("decrit.txt", std::string(400, '2'));
  dd.flags = 0x0008;
  dd.dataDescriptor = true;
  b.addStored("trois.bin", std::string(500, '3'));
  const std::string whole = b.build();
  const CutCase& c = GetParam();
  const size_t from = b.localOffsets[c.entry];
  const size_t to = c.entry + 1 < b.entries.size() ? b.localOffsets[c.entry + 1] : b.directoryOffset;
  const size_t cut = c.fromHeader < 0 ? to : from + static_cast<size_t>(c.fromHeader);
  EXPECT_EQ(rebuiltNames(whole.substr(0, cut)), c.kept);
}

void PrintTo(const CutCase& c, std::ostream* os) { *os << c.label; }

const std::vector<std::string> kFirst{"un.txt"};
const std::vector<std::string> kTwo{"un.txt", "decrit.txt"};
const std::vector<std::string> kAll{"un.txt", "decrit.txt", "trois.bin"};

INSTANTIATE_TEST_SUITE_P(Cuts, CutArchives,
                         ::testing::Values(CutCase{"inside_a_header", 2, 12, kTwo},
                                           CutCase{"inside_a_name", 2, 33, kTwo},
                                           CutCase{"inside_data", 2, 39 + 250, kTwo},
                                           CutCase{"one_byte_short", 2, 39 + 499, kTwo},
                                           CutCase{"just_after_the_last_data", 2, -1, kAll},
                                           CutCase{"inside_data_before_its_descriptor", 1, 40 + 200, kFirst},
                                           CutCase{"inside_a_descriptor", 1, 40 + 400 + 10, kFirst},
                                           CutCase{"after_a_descriptor", 1, -1, kTwo}),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace

namespace {

// A stored archive inside an entry: the rebuild steps over its data, so none
// of its entries appears, and its config.txt never replaces the real one.
TEST(RebuildInnerArchive, NoPhantomEntries) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "config.txt", "fantôme");
  ziptest::runCommand("cd " + ziptest::shellQuote(dir.path().string()) +
                      " && zip -q inner.zip config.txt && rm config.txt && mkdir sub");
  testsupport::writeFile(dir / "config.txt", "réel");
  testsupport::writeFile(dir / "sub/été.txt", "accents");
  // Info-ZIP stores a .zip as it is by default.
  const auto r = ziptest::runCommand("cd " + ziptest::shellQuote(dir.path().string()) +
                                     " && zip -q outer.zip config.txt inner.zip sub/été.txt 2>&1");
  ASSERT_EQ(r.status, 0) << r.out;
  const std::string whole = testsupport::readFile(dir / "outer.zip");
  // Without its directory (22-byte end record, no comment).
  const std::string tail = whole.substr(whole.size() - 22);
  const uint32_t dirOffset = static_cast<uint8_t>(tail[16]) | static_cast<uint8_t>(tail[17]) << 8 |
                             static_cast<uint8_t>(tail[18]) << 16 |
                             static_cast<uint32_t>(static_cast<uint8_t>(tail[19])) << 24;
  testsupport::writeFile(dir / "cut.zip", whole.substr(0, dirOffset));
  testsupport::ScopedResponder noDialogs;
  TZipArchiver a;
  a.FileName = (dir / "cut.zip").string();
  a.OpenArchive(0x20);
  std::vector<std::string> names;
  for (int i = 0; i < a.EntryCount(); ++i) names.push_back(a.Entry(i).FileName());
  EXPECT_EQ(names, (std::vector<std::string>{"config.txt", "inner.zip", "sub/été.txt"}));
  a.BaseDir = (dir / "out").string();
  FailureLog failures;
  failures.listen(a);
  a.ExtractFiles("*.*", 0x28BF, "");
  a.CloseArchive();
  EXPECT_TRUE(failures.empty()) << failures.first();
  EXPECT_EQ(testsupport::readFile(dir / "out/config.txt"), "réel");
  EXPECT_EQ(testsupport::readFile(dir / "out/sub/été.txt"), "accents");
}

}  // namespace

namespace {

// Names come back by the central directory's rules, and only a name ending in
// "/" makes a folder.
TEST(RebuildNames, DecodedAsTheDirectoryWouldAndFoldersByTheirSlash) {
  ziptest::ZipBuilder b;
  b.addStored("sub/été.txt", "utf-8").flags = 0x0800;
  b.addStored("caf\x82.txt", "oem");  // 0x82 is "é" in code page 850
  b.addStored("vide.txt", "");
  b.addStored("dossier/", "");
  // Unix name bytes, told by the Info-ZIP Unix block of the local extra field.
  b.addStored("brut/né.txt", "unix").localExtra =
      ziptest::extraBlock(0x7875, std::string("\x01\x04\0\0\0\0\x04\0\0\0\0", 11));
  // Nothing tells the host, but the bytes are UTF-8, as a Unix writer leaves them (an OEM name seldom is).
  b.addStored("nu/été.txt", "unix, sans bloc");
  b.end.totalEntries = b.end.entriesOnDisk = 9;
  b.trailing = "?";
  Opened o(b.build());
  ASSERT_EQ(o.m().ArchiveDir.Count(), 6);
  const std::vector<std::pair<std::string, uint32_t>> want{{"sub/été.txt", 0x20}, {"café.txt", 0x20},
                                                           {"vide.txt", 0x20},    {"dossier/", 0x10},
                                                           {"brut/né.txt", 0x20}, {"nu/été.txt", 0x20}};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(o.item(i).FileName, want[static_cast<size_t>(i)].first);
    EXPECT_EQ(o.item(i).ExternalAttributes, want[static_cast<size_t>(i)].second) << o.item(i).FileName;
  }
}

}  // namespace

namespace {

struct DamageCase {
  const char* label;
  std::function<void(ziptest::ZipBuilder&)> spoil;
};

class DamagedDirectories : public ::testing::TestWithParam<DamageCase> {};

// A directory that does not read as its end record says is rebuilt while
// damaged archives are accepted, and is zeDamagedArchive otherwise: never a stream error.
TEST_P(DamagedDirectories, RebuiltOrRefusedWithTheDamagedCode) {
  ziptest::ZipBuilder b = twoEntries();
  GetParam().spoil(b);
  const std::string bytes = b.build();
  Opened o(bytes);
  ASSERT_EQ(o.m().ArchiveDir.Count(), 2);
  EXPECT_EQ(o.item(1).FileName, "deux.txt");
  EXPECT_EQ(o.m().EndOfCentralDir.TotalEntries, 0);

  testsupport::TempDir dir;
  testsupport::writeFile(dir / "t.zip", bytes);
  TZipArchiver a;
  a.FileName = (dir / "t.zip").string();
  a.SetAllowDamagedOpen(false);
  try {
    a.OpenArchive(0x20);
    ADD_FAILURE() << "opened";
  } catch (const EZAException& e) {
    EXPECT_EQ(e.NativeError, zeDamagedArchive);
  } catch (const std::exception& e) {
    ADD_FAILURE() << e.what();
  }
}

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.label; }

INSTANTIATE_TEST_SUITE_P(
    Spoils, DamagedDirectories,
    ::testing::Values(DamageCase{"more_entries_than_there", [](auto& b) { b.end.totalEntries = 3; }},
                      DamageCase{"count_beyond_the_bytes", [](auto& b) { b.end.totalEntries = 0xFFFE; }},
                      DamageCase{"name_length_too_long", [](auto& b) { b.entries[1].centralNameLength = 200; }},
                      DamageCase{"name_length_too_short", [](auto& b) { b.entries[0].centralNameLength = 2; }},
                      DamageCase{"directory_larger_than_the_file", [](auto& b) { b.end.dirSize = 0xFFFFFF00u; }},
                      DamageCase{"zip64_count_beyond_the_bytes",
                                 [](auto& b) {
                                   b.zip64.write = true;
                                   b.zip64.totalEntries = 0xFFFFFFFFull;
                                 }}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace

namespace {

// Entries whose data lie over another's are refused as a damaged archive,
// rebuild or not: one small stream must not be written a hundred times.
TEST(Overlaps, EntriesSharingDataAreRefused) {
  const std::vector<std::pair<const char*, std::function<void(ziptest::ZipBuilder&)>>> cases{
      {"same_header",
       [](auto& b) {
         for (int i = 0; i < 100; ++i) {
           ziptest::ZipEntry& e = b.addStored("copie" + std::to_string(i) + ".bin", "");
           e.localHeaderOffset = 0;
           e.crc = b.entries[0].crcValue();
           e.compressedSize = e.uncompressedSize = static_cast<uint32_t>(b.entries[0].data.size());
         }
       }},
      {"header_inside_data", [](auto& b) { b.entries[1].localHeaderOffset = 40; }},
      {"header_inside_data_other_disk_field",
       [](auto& b) {
         b.entries[1].localHeaderOffset = 40;
         b.entries[1].diskNumberStart = 3;
       }},
  };
  for (const auto& [label, spoil] : cases) {
    SCOPED_TRACE(label);
    ziptest::ZipBuilder b;
    b.addStored("gros.bin", std::string(10000, 'g'));
    b.addStored("petit.txt", "petit");
    spoil(b);
    EXPECT_EQ(openErrorCode(b.build()), zeDamagedArchive);
  }
  // Sound neighbours, descriptors and folders sharing nothing open as before.
  ziptest::ZipBuilder b;
  b.addStored("dossier/", "").externalAttributes = 0x10;
  ziptest::ZipEntry& dd = b.addStored("decrit.txt", "données décrites");
  dd.flags = 0x0008;
  dd.dataDescriptor = true;
  b.addStored("vide.txt", "");
  b.addStored("fin.txt", "fin");
  EXPECT_EQ(openErrorCode(b.build()), 0);
}

}  // namespace
