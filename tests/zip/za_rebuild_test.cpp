// The rebuild from local headers over cut and foreign archives: whole entries
// only, none taken from inside another entry's data, Zip64 sizes from the
// local extra field and the Zip64 descriptor, and an end record that names
// entries never reads as an empty archive.
#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/scoped_responder.h"
#include "support/server_process.h"
#include "support/temp_dir.h"
#include "zip/archiver/za_archiver_internals.h"
#include "zip/za_archive_fixture.h"
#include "zip/za_archiver.h"
#include "zip/za_except.h"
#include "zip/zip_builder.h"

using namespace zip;
namespace fs = std::filesystem;

namespace {

struct Listing {
  int error = 0;  // the open's code, 0 when it opened
  std::vector<std::string> names;
};

Listing listOf(const fs::path& file) {
  Listing l;
  TZipArchiver a;
  a.FileName = file.string();
  try {
    a.OpenArchive(0x20);
  } catch (const EZAException& e) {
    l.error = e.NativeError;
    return l;
  }
  for (int i = 0; i < a.EntryCount(); ++i) l.names.push_back(a.Entry(i).FileName());
  return l;
}

fs::path copyFixture(const std::string& name, const fs::path& into) {
  const fs::path to = into / name;
  fs::copy_file(fs::path(testsupport::fixturesDir()) / "zip" / name, to);
  fs::permissions(to, fs::perms::owner_write, fs::perm_options::add);
  return to;
}

std::string sh(const std::string& command) {
  const auto r = ziptest::runCommand(command + " 2>&1");
  EXPECT_EQ(r.status, 0) << command << "\n" << r.out;
  return r.out;
}

// Where the directory of a whole archive starts, as our reader finds it.
uint64_t directoryStart(const fs::path& file) {
  TZipArchiver a;
  a.FileName = file.string();
  a.OpenArchive(0x20);
  return static_cast<uint64_t>(TZAArchiverInternals::DirManager(a).CentralDirStart);
}

struct ForeignCase {
  const char* fixture;
  const char* peer;  // extracts the archive in the current folder: "%s" is its path
  std::vector<std::string> names;
  bool fromDirectory;  // else rebuilt from the local headers
  size_t cut = 0;      // the fixture's first bytes only, when not 0
  int error = 0;       // the open's code, where the chain of entries breaks
};

// Foreign archives that are cut, Zip64 without directory, or behind a stub
// with a byte after them, with long local extra fields or data descriptors
// around a stored inner archive: the entries and bytes a peer recovers.
TEST(ForeignArchives, SameEntriesAndBytesAsThePeer) {
  const std::vector<std::string> five{"empty.txt", "sub/", "sub/été.txt", "sub/r.bin", "a.txt"};
  const char* sevenZip = "7z x -y %s >/dev/null; true";
  const std::vector<std::string> beforeInner{"config.txt", "empty.txt", "dir/", "dir/sub/", "dir/sub/deep.txt",
                                             "été/", "été/naïve-日本.txt"};
  std::vector<std::string> sound = beforeInner;
  sound.insert(sound.end(), {"inner.zip", "a.txt", "r.bin", "zz-last.txt"});
  const std::vector<ForeignCase> cases{
      // 7-Zip also writes the cut inner.zip (and fails); the whole entry is config.txt.
      {"innerzip-cut241.zip", sevenZip, {"config.txt"}, false},
      {"z64-nocd.zip", sevenZip, five, false},
      {"sfxz64-trail.zip", "unzip -qo %s; true", five, true},
      // 300-byte local extra fields.
      {"py-bigextra300-nocd.zip", sevenZip, {"config.txt", "inner.zip", "sub/last.txt", "a.txt", "r.bin"}, false},
      // Cut after the inner archive, whose end record then ends the file.
      {"bigextra300-cut-after-inner.zip", sevenZip, {"config.txt", "inner.zip"}, false},
      // Streamed, cut after the inner archive's data, before its descriptor.
      {"stream-cut-after-inner.zip", sevenZip, {"config.txt"}, false},
      // The inner archive's own descriptors do not end the outer entry.
      {"iz-fd-innerfd-nocd.zip", sevenZip, {"config.txt", "inner-fd.zip", "sub/last.txt", "a.txt"}, false},
      // Directory removed around a stored inner archive named like the outer
      // files. A 261-byte local extra field that is no run of blocks, with
      // sizes that end at the next header:
      {"badextra261-inner-nocd.zip", sevenZip, {"config.txt", "inner.zip", "a.txt"}, false},
      // The same cut after the inner archive, whose end record then ends the file.
      {"badextra261-inner-nocd.zip", sevenZip, {"config.txt", "inner.zip"}, false, 581},
      // One bit of inner.zip's signature flipped: the chain of entries breaks
      // there, and the archive is damaged, not one of fewer entries.
      {"sigflip-inner-nocd.zip", sevenZip, {}, false, 0, zeDamagedArchive},
      // The extra length of "été/" damaged (0 to 128) points into inner.zip's data.
      {"extralen-inner-nocd.zip", sevenZip, {}, false, 0, zeDamagedArchive},
      // UTF-8 names, neither flagged nor told by a Unix block.
      {"utf8-unflagged-nocd.zip", sevenZip, sound, false},
  };
  for (const ForeignCase& c : cases) {
    SCOPED_TRACE(std::string(c.fixture) + (c.cut > 0 ? " cut at " + std::to_string(c.cut) : ""));
    testsupport::TempDir dir;
    const fs::path file = copyFixture(c.fixture, dir.path());
    if (c.cut > 0) testsupport::writeFile(file, testsupport::readFile(file).substr(0, c.cut));
    const Listing listed = listOf(file);
    EXPECT_EQ(listed.error, c.error);
    EXPECT_EQ(listed.names, c.names);
    if (c.error != 0) continue;
    {
      TZipArchiver a;
      a.FileName = file.string();
      a.OpenArchive(0x20);
      EXPECT_EQ(!TZAArchiverInternals::DirManager(a).Rebuilt, c.fromDirectory);
    }
    fs::create_directories(dir / "ours");
    fs::create_directories(dir / "peer");
    EXPECT_EQ(ziptest::extractIgnoringFailures(file, dir / "ours"), 0);
    std::string peer = c.peer;
    peer.replace(peer.find("%s"), 2, ziptest::shellQuote(file.string()));
    sh("cd " + ziptest::shellQuote((dir / "peer").string()) + " && " + peer);
    for (const std::string& name : c.names) {
      if (name.back() == '/') {
        EXPECT_TRUE(fs::is_directory(dir / "ours" / name)) << name;
        continue;
      }
      ASSERT_TRUE(fs::exists(dir / "peer" / name)) << name;
      // Compared whole, not printed: some are 200 kB.
      EXPECT_TRUE(testsupport::readFile(dir / "ours" / name) == testsupport::readFile(dir / "peer" / name)) << name;
    }
  }
}

// The pipe entry of "zip -" (Zip64 markers, sizes in the 24-byte descriptor)
// comes back from its local header once the directory is gone.
TEST(ForeignArchives, PipeEntryWithoutItsDirectory) {
  testsupport::TempDir dir;
  std::string data;
  for (int i = 0; i < 3000; ++i) data += std::to_string(i * 7919 % 1000) + " ";
  testsupport::writeFile(dir / "in.txt", data);
  const std::string d = ziptest::shellQuote(dir.str());
  sh("cd " + d + " && zip -q - - < in.txt | cat > pipe.zip");
  const std::string whole = testsupport::readFile(dir / "pipe.zip");
  testsupport::writeFile(dir / "cut.zip", whole.substr(0, directoryStart(dir / "pipe.zip")));
  EXPECT_EQ(listOf(dir / "cut.zip").names, std::vector<std::string>{"-"});
  fs::create_directories(dir / "out");
  EXPECT_EQ(ziptest::extractIgnoringFailures(dir / "cut.zip", dir / "out"), 0);
  EXPECT_TRUE(testsupport::readFile(dir / "out/-") == data);
}

// The names of the entries of a whole archive that end at or before each cut.
struct Extents {
  std::vector<std::string> names;
  std::vector<uint64_t> ends;
  uint64_t directory = 0;
};

Extents extentsOf(const fs::path& file) {
  Extents x;
  TZipArchiver a;
  a.FileName = file.string();
  a.OpenArchive(0x20);
  x.directory = static_cast<uint64_t>(TZAArchiverInternals::DirManager(a).CentralDirStart);
  for (int i = 0; i < a.EntryCount(); ++i) {
    x.names.push_back(a.Entry(i).FileName());
    x.ends.push_back(i + 1 < a.EntryCount() ? TZAArchiverInternals::Entry(a, i + 1).TrueLocalHeaderOffset()
                                            : x.directory);
  }
  return x;
}

struct SweepCase {
  const char* label;
  const char* make;  // run in a folder holding the tree; makes outer.zip
};

class CutSweep : public ::testing::TestWithParam<SweepCase> {};

// Every cut point over an archive that holds a stored inner archive whose
// first entry is named like a file of the outer tree: the rebuild gives the
// whole entries before the cut, never one of the inner archive's.
TEST_P(CutSweep, OnlyWholeEntriesBeforeTheCut) {
  testsupport::TempDir dir;
  const std::string d = ziptest::shellQuote(dir.str());
  testsupport::writeFile(dir / "config.txt", "inner config\n");
  testsupport::writeFile(dir / "other.txt", std::string(300, 'o'));
  sh("cd " + d + " && zip -q -X inner.zip config.txt other.txt && rm config.txt other.txt");
  testsupport::writeFile(dir / "config.txt", "outer config\n");
  fs::create_directories(dir / "sub");
  testsupport::writeFile(dir / "sub/last.txt", std::string(200, 'l'));
  sh("cd " + d + " && " + GetParam().make);
  const Extents x = extentsOf(dir / "outer.zip");
  ASSERT_EQ(x.names, (std::vector<std::string>{"config.txt", "inner.zip", "sub/last.txt"}));
  const std::string whole = testsupport::readFile(dir / "outer.zip");
  // Below 30 bytes not even a header is there (zeInvalidArchive).
  for (uint64_t cut = 30; cut <= whole.size(); ++cut) {
    std::vector<std::string> want;
    for (size_t i = 0; i < x.names.size(); ++i)
      if (x.ends[i] <= cut) want.push_back(x.names[i]);
    testsupport::writeFile(dir / "cut.zip", whole.substr(0, cut));
    const Listing got = listOf(dir / "cut.zip");
    ASSERT_EQ(got.error, 0) << "cut at " << cut;
    ASSERT_EQ(got.names, want) << "cut at " << cut;
  }
}

void PrintTo(const SweepCase& c, std::ostream* os) { *os << c.label; }

// Streamed and bsdtar archives end every entry, the stored inner archive's
// included, with a data descriptor.
INSTANTIATE_TEST_SUITE_P(
    Archives, CutSweep,
    ::testing::Values(
        SweepCase{"info_zip", "zip -q -X outer.zip config.txt inner.zip sub/last.txt"},
        SweepCase{"zip64_local_headers", "zip -q -X -fz outer.zip config.txt inner.zip sub/last.txt"},
        SweepCase{"info_zip_pipe", "zip -q -X - config.txt inner.zip sub/last.txt | cat > outer.zip"},
        SweepCase{"python_stream",
                  "/usr/bin/python3 -c \"import sys, zipfile\n"
                  "with zipfile.ZipFile(sys.stdout.buffer, 'w') as z:\n"
                  "  for n in ['config.txt', 'inner.zip', 'sub/last.txt']:\n"
                  "    z.write(n, compress_type=zipfile.ZIP_STORED if n.endswith('.zip') else zipfile.ZIP_DEFLATED)\""
                  " | cat > outer.zip"},
        SweepCase{"bsdtar_stored",
                  "bsdtar --format zip --options zip:compression=store -cf outer.zip config.txt inner.zip sub/last.txt"}),
    [](const auto& info) { return std::string(info.param.label); });

// Every bit of every local header of a directory-less archive that holds a
// stored inner archive (named like the outer files) flipped, one at a time:
// whatever the rebuild makes of the damage, no entry of the inner archive
// comes back as one of this archive.
TEST(MutatedHeaders, NoEntryOfTheInnerArchive) {
  testsupport::TempDir dir;
  const fs::path sound = copyFixture("utf8-unflagged-nocd.zip", dir.path());
  const std::string whole = testsupport::readFile(sound);
  const auto u16 = [&](uint64_t at) {
    return static_cast<uint64_t>(static_cast<uint8_t>(whole[at]) | static_cast<uint8_t>(whole[at + 1]) << 8);
  };
  std::vector<std::pair<uint64_t, uint64_t>> headers;  // from, to
  uint64_t innerFrom = 0, innerTo = 0;
  {
    TZipArchiver a;
    a.FileName = sound.string();
    a.OpenArchive(0x20);
    ASSERT_EQ(a.EntryCount(), 11);
    for (int i = 0; i < a.EntryCount(); ++i) {
      const TDirItem& item = TZAArchiverInternals::Entry(a, i);
      const uint64_t p = item.TrueLocalHeaderOffset(), data = p + 30 + u16(p + 26) + u16(p + 28);
      headers.emplace_back(p, data);
      if (item.FileName == "inner.zip") {
        innerFrom = data;
        innerTo = data + item.TrueCompressedSize();
      }
    }
  }
  ASSERT_GT(innerTo, innerFrom);
  std::string found;
  int mutants = 0, withInner = 0;
  for (const auto& [from, to] : headers) {
    for (uint64_t at = from; at < to; ++at) {
      for (int bit = 0; bit < 8; ++bit) {
        std::string bytes = whole;
        bytes[at] = static_cast<char>(bytes[at] ^ (1 << bit));
        testsupport::writeFile(dir / "m.zip", bytes);
        ++mutants;
        TZipArchiver a;
        a.FileName = (dir / "m.zip").string();
        try {
          a.OpenArchive(0x20);
        } catch (const EZAException&) {
          continue;
        }
        for (int i = 0; i < a.EntryCount(); ++i) {
          const uint64_t p = TZAArchiverInternals::Entry(a, i).TrueLocalHeaderOffset();
          if (p < innerFrom || p >= innerTo) continue;
          if (withInner++ < 5)
            found += "byte " + std::to_string(at) + " bit " + std::to_string(bit) + ": " + a.Entry(i).FileName() + "\n";
          break;
        }
      }
    }
  }
  EXPECT_EQ(withInner, 0) << "of " << mutants << " mutants, for instance\n" << found;
}

// An update killed while it stored a large inner archive (its data claim more
// than the whole file holds): the inner entries are not taken, and its c.bin
// does not replace the real one.
TEST(KilledOverInnerArchive, NoPhantomEntries) {
  ziptest::ZipBuilder inner;
  inner.addStored("c.bin", "PHANTOM");
  for (int i = 0; i < 40; ++i) inner.addStored("f" + std::to_string(i) + ".bin", std::string(1000, 'i'));
  const std::string innerBytes = inner.build();
  ziptest::ZipBuilder outer;
  outer.addStored("c.bin", "REAL");
  outer.addStored("b.bin", "kept");
  outer.addStored("inner.zip", innerBytes);
  const std::string whole = outer.build();
  testsupport::TempDir dir;
  for (const double part : {0.05, 0.6, 0.99}) {
    SCOPED_TRACE(part);
    const size_t cut = outer.localOffsets[2] + 30 + 9 + static_cast<size_t>(part * static_cast<double>(innerBytes.size()));
    testsupport::writeFile(dir / "cut.zip", whole.substr(0, cut));
    EXPECT_EQ(listOf(dir / "cut.zip").names, (std::vector<std::string>{"c.bin", "b.bin"}));
    fs::remove_all(dir / "out");
    fs::create_directories(dir / "out");
    EXPECT_EQ(ziptest::extractIgnoringFailures(dir / "cut.zip", dir / "out"), 0);
    EXPECT_EQ(testsupport::readFile(dir / "out/c.bin"), "REAL");
  }
  // Cut just after the inner archive's end record, which then ends the file.
  testsupport::writeFile(dir / "cut.zip", whole.substr(0, outer.localOffsets[2] + 30 + 9 + innerBytes.size()));
  EXPECT_EQ(listOf(dir / "cut.zip").names, (std::vector<std::string>{"c.bin", "b.bin", "inner.zip"}));
}

// Bytes in a stub that only look like a header, with data that would run past
// the end, do not end the rebuild: the entries behind the stub come back.
TEST(RebuildBehindAStub, FalseHeaderIsNoCutPoint) {
  ziptest::ZipBuilder b;
  // Version and method out of any writer's range, a size past the end, a name, no extra field.
  b.stub = "MZ" + ziptest::le32(0x04034b50) + ziptest::le16(0xEEEE) + ziptest::le16(0) + ziptest::le16(0xEEEE) +
           std::string(8, '\xEE') + ziptest::le32(0x7EEEEEEE) + ziptest::le32(0x7EEEEEEE) + ziptest::le16(4) +
           ziptest::le16(0) + std::string(200, 's');
  b.addStored("un.txt", "premier");
  b.addStored("deux.txt", "second");
  b.build();
  const std::string bytes = b.build().substr(0, b.directoryOffset);
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "t.zip", bytes);
  EXPECT_EQ(listOf(dir / "t.zip").names, (std::vector<std::string>{"un.txt", "deux.txt"}));
}

// Headers in a stub that differ from the unfinished one a killed pass of
// ours leaves by one field (what zero padding, or code, holds) do not end the
// rebuild: the entries behind the stub come back.
TEST(RebuildBehindAStub, NearlyOurUnfinishedHeaderIsNoStop) {
  using ziptest::le16;
  using ziptest::le32;
  // Signature 0, no data yet and no extra field, as the pass writes it.
  const auto unsigned_ = [](uint16_t version, uint16_t flags, uint16_t method, uint16_t date, const std::string& name) {
    return le32(0) + le16(version) + le16(flags) + le16(method) + le16(0x6000) + le16(date) + le32(0xFFFFFFFF) +
           le32(0) + le32(100) + le16(static_cast<uint16_t>(name.size())) + le16(0) + name;
  };
  constexpr uint16_t kDate = (44 << 9) | (3 << 5) | 14;
  // The first row is the header itself: the rebuild stops there, and what
  // follows is what the killed pass wrote.
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"ours", unsigned_(20, 0x0800, 8, kDate, "abcd")},
      {"zero padding", unsigned_(0, 0, 0, 0, "abcd")},
      {"a version not ours", unsigned_(30, 0, 0, kDate, "abcd")},
      {"a flag not ours", unsigned_(20, 0x0004, 8, kDate, "abcd")},
      {"a method not ours", unsigned_(20, 0, 12, kDate, "abcd")},
      {"no valid date", unsigned_(20, 0, 8, 0, "abcd")},
      {"a zero in the name", unsigned_(0x0B14, 0, 0, kDate, std::string("ab\0d", 4))},
  };
  testsupport::TempDir dir;
  for (const auto& [what, header] : cases) {
    SCOPED_TRACE(what);
    ziptest::ZipBuilder b;
    b.stub = std::string(4096, '\0') + header + std::string(4096, '\0');
    b.addStored("un.txt", "premier");
    b.addStored("deux.txt", "second");
    b.build();
    testsupport::writeFile(dir / "t.zip", b.build().substr(0, b.directoryOffset));
    const std::vector<std::string> behind = {"un.txt", "deux.txt"};
    EXPECT_EQ(listOf(dir / "t.zip").names, std::string(what) == "ours" ? std::vector<std::string>() : behind);
  }
}

// A local extra field past 260 bytes (alignment padding), whatever it holds,
// is believed where the entry's data end at the next record; where they end
// elsewhere the chain breaks there, and the archive is damaged: what its data
// hold is never taken for entries.
TEST(RebuildLongLocalExtra, BelievedWhenItReadsAsBlocksOrEndsAtARecord) {
  struct Case {
    const char* label;
    std::string extra;
    std::optional<uint32_t> compressedSize;  // in the header, when it lies
    std::vector<std::string> names;
    int error = 0;
  };
  const std::string block = ziptest::extraBlock(0xD935, std::string(290, '\x01'));
  const std::string claimsMore = ziptest::le16(0x7075) + ziptest::le16(400) + std::string(296, 'x');
  const std::vector<std::string> both{"zero.txt", "un.txt", "deux.txt"};
  const std::vector<Case> cases{
      {"zero_padding_odd_length", std::string(4093, '\0'), std::nullopt, both},
      {"block_then_zero_tail", block + std::string(2, '\0'), std::nullopt, both},
      {"block_claims_more", claimsMore, std::nullopt, both},
      {"block_then_other_tail", block + "\x01\x02", std::nullopt, both},
      // A size that lies breaks the chain: damage, whatever the extra field holds.
      {"block_claims_more_data_end_nowhere", claimsMore, 3, {}, zeDamagedArchive},
      {"block_then_other_tail_data_past_the_end", block + "\x01\x02", 0x100000, {}, zeDamagedArchive},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ziptest::ZipBuilder b;
    b.addStored("zero.txt", "avant");
    ziptest::ZipEntry& un = b.addStored("un.txt", "premier");
    un.localExtra = c.extra;
    un.compressedSize = c.compressedSize;
    b.addStored("deux.txt", "second");
    const std::string bytes = b.build().substr(0, b.directoryOffset);
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "t.zip", bytes);
    const Listing listed = listOf(dir / "t.zip");
    EXPECT_EQ(listed.error, c.error);
    EXPECT_EQ(listed.names, c.names);
  }
}

// An end record that counts entries where none can be read is damage, never
// an empty archive; one that counts none still opens empty.
TEST(EndRecordNamingEntries, NoneReadableIsTheDamagedCode) {
  // Extra fields that are no run of blocks, and data that end at no record: no header is believed.
  static const auto noHeaderLeft = [](ziptest::ZipBuilder& b) {
    for (ziptest::ZipEntry& e : b.entries) {
      e.localExtra = std::string(300, 'e');
      e.compressedSize = 3;
    }
  };
  struct Case {
    const char* label;
    void (*shape)(ziptest::ZipBuilder&);
  };
  const std::vector<Case> cases{
      {"directory_elsewhere_no_header_left",
       [](ziptest::ZipBuilder& b) {
         b.end.dirSize = 5;
         noHeaderLeft(b);
       }},
      {"directory_elsewhere_no_signature",
       [](ziptest::ZipBuilder& b) {
         b.stub = std::string(100, 's');
         b.entries.clear();
         b.end.totalEntries = b.end.entriesOnDisk = 2;
         b.end.dirSize = 92;
       }},
      {"byte_after_the_record_no_header_left",
       [](ziptest::ZipBuilder& b) {
         b.trailing = "\n";
         b.end.totalEntries = b.end.entriesOnDisk = 3;
         noHeaderLeft(b);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ziptest::ZipBuilder b;
    b.addStored("un.txt", "premier");
    b.addStored("deux.txt", "second");
    c.shape(b);
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "t.zip", b.build());
    EXPECT_EQ(listOf(dir / "t.zip").error, zeDamagedArchive);
  }
}

}  // namespace

namespace {

uint32_t u32At(const std::string& b, uint64_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(b[at + static_cast<uint64_t>(i)]);
  return v;
}
uint16_t u16At(const std::string& b, uint64_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}

struct Writer {
  const char* label;
  const char* make;  // makes outer.zip of the names that follow it
};

// Directory-less archives of several writers holding a stored inner archive
// (named like the outer files), in the middle or last, damaged where the
// chain of entries breaks: the outer header of the inner archive (its
// signature, and also a byte inside the inner archive), or a later header
// (method, version, a high size byte). Each opens as a damaged archive:
// never the inner archive's entries, never a whole archive of fewer entries.
TEST(DamagedChain, EveryShapeIsADamagedArchive) {
  const std::vector<Writer> writers{
      {"info_zip", "zip -q -X outer.zip"},
      {"python", "/usr/bin/python3 -c \"import sys, zipfile\n"
                 "with zipfile.ZipFile('outer.zip', 'w') as z:\n"
                 "  for n in sys.argv[1:]:\n"
                 "    z.write(n, compress_type=zipfile.ZIP_STORED if n.endswith('.zip') else zipfile.ZIP_DEFLATED)\""},
      {"python_stream", "/usr/bin/python3 -c \"import sys, zipfile\n"
                        "with open('outer.zip', 'wb') as f, zipfile.ZipFile(f, 'w') as z:\n"
                        "  f.seekable = lambda: False\n"
                        "  for n in sys.argv[1:]:\n"
                        "    z.write(n, compress_type=zipfile.ZIP_STORED if n.endswith('.zip') else zipfile.ZIP_DEFLATED)\""},
      {"bsdtar", "bsdtar --format zip --options zip:compression=store -cf outer.zip"},
      {"7z", "7z a -tzip -mx=0 outer.zip >/dev/null"},
  };
  testsupport::TempDir dir;
  const std::string d = ziptest::shellQuote(dir.str());
  testsupport::writeFile(dir / "config.txt", "inner config\n");
  testsupport::writeFile(dir / "other.txt", std::string(300, 'o'));
  sh("cd " + d + " && zip -q -X inner.zip config.txt other.txt && rm config.txt other.txt");
  const std::string inner = testsupport::readFile(dir / "inner.zip");
  const uint64_t innerEnd = inner.size() - 22, innerDir = u32At(inner, innerEnd + 16);
  testsupport::writeFile(dir / "config.txt", "outer config\n");
  fs::create_directories(dir / "sub");
  testsupport::writeFile(dir / "sub/last.txt", std::string(200, 'l'));
  testsupport::writeFile(dir / "zz.txt", "zz");
  // Bytes inside the inner archive: its first header's CRC, a data byte, its
  // directory's signature, its end record's directory offset and comment length.
  const std::vector<std::pair<const char*, uint64_t>> innerBytes{{"header", 14},
                                                                 {"data", 30 + 10 + 2},
                                                                 {"directory", innerDir},
                                                                 {"end record offset", innerEnd + 16},
                                                                 {"comment length", innerEnd + 20}};
  int rows = 0;
  std::string wrong;
  for (const Writer& w : writers) {
    for (const bool innerLast : {false, true}) {
      const std::string order = innerLast ? "config.txt sub/last.txt zz.txt inner.zip" : "config.txt inner.zip sub/last.txt zz.txt";
      sh("cd " + d + " && rm -f outer.zip && " + w.make + " " + order);
      const Extents x = extentsOf(dir / "outer.zip");
      const std::string nocd = testsupport::readFile(dir / "outer.zip").substr(0, x.directory);
      std::vector<uint64_t> headers;
      for (size_t i = 0; i < x.names.size(); ++i)
        headers.push_back(i == 0 ? 0 : x.ends[i - 1]);
      const size_t at = static_cast<size_t>(std::find(x.names.begin(), x.names.end(), "inner.zip") - x.names.begin());
      ASSERT_LT(at, x.names.size()) << w.label;
      const uint64_t h = headers[at], data = h + 30 + u16At(nocd, h + 26) + u16At(nocd, h + 28);
      ASSERT_EQ(nocd.substr(data, inner.size()), inner) << w.label << ": the inner archive is not stored as it is";
      std::vector<std::pair<std::string, std::string>> shapes;
      std::string sigless = nocd;
      sigless[h + 1] = 'k';
      shapes.emplace_back("outer signature", sigless);
      for (const auto& [what, offset] : innerBytes) {
        std::string twice = sigless;
        twice[data + offset] = static_cast<char>(twice[data + offset] ^ 0x21);
        shapes.emplace_back(std::string("outer signature and inner ") + what, twice);
      }
      if (!innerLast) {
        const uint64_t later = headers[at + 1];
        for (const auto& [what, offset] : std::vector<std::pair<const char*, uint64_t>>{
                 {"later method", 9}, {"later version", 5}, {"later size high byte", 21}}) {
          // A descriptor gives the sizes of an entry whose header leaves them to it.
          if (offset == 21 && (u16At(nocd, later + 6) & 8) != 0) continue;
          std::string spoilt = nocd;
          spoilt[later + offset] = static_cast<char>(spoilt[later + offset] ^ 0x40);
          shapes.emplace_back(what, spoilt);
        }
      }
      for (const auto& [what, bytes] : shapes) {
        ++rows;
        testsupport::writeFile(dir / "m.zip", bytes);
        const Listing got = listOf(dir / "m.zip");
        if (got.error == zeDamagedArchive) continue;
        wrong += std::string(w.label) + (innerLast ? ", inner last, " : ", ") + what + ": error " +
                 std::to_string(got.error) + ", " + std::to_string(got.names.size()) + " entries";
        for (const std::string& n : got.names) wrong += " " + n;
        wrong += "\n";
      }
    }
  }
  EXPECT_EQ(wrong, "") << "of " << rows << " damaged archives";
}

// The rebuild of a large directory-less archive reads it forward once: the
// bytes the process reads while opening it stay within a fifth above its size.
TEST(RebuildReads, ALargeArchiveIsReadOnce) {
  ziptest::ZipBuilder b;
  std::string data(96 * 1024, '\0');
  uint32_t x = 12345;
  for (int i = 0; i < 500; ++i) {
    for (char& c : data) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    ziptest::ZipEntry& e = b.addStored("d" + std::to_string(i / 100) + "/f" + std::to_string(i) + ".bin", data);
    // Some entries leave their sizes to a descriptor, whose data are searched.
    if (i % 10 == 0) {
      e.flags = 0x0008;
      e.dataDescriptor = true;
    }
  }
  const std::string whole = b.build();
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "big.zip", whole.substr(0, b.directoryOffset));
  // The kernel's count of the bytes this process read.
  const auto bytesRead = [] {
    std::istringstream io(testsupport::readFile("/proc/self/io"));
    std::string key;
    uint64_t value = 0;
    while (io >> key >> value)
      if (key == "rchar:") return value;
    return uint64_t{0};
  };
  TZipArchiver a;
  a.FileName = (dir / "big.zip").string();
  const uint64_t before = bytesRead();
  a.OpenArchive(0x20);
  const uint64_t read = bytesRead() - before;
  EXPECT_EQ(a.EntryCount(), 500);
  EXPECT_LE(read, b.directoryOffset + b.directoryOffset / 5) << "of " << b.directoryOffset << " bytes";
}

}  // namespace
