#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "zip/directory/za_central_entry.h"
#include "zip/names/za_names.h"
#include "zip/format/za_range.h"
#include "zip/format/za_records.h"
#include "zip/zip_builder.h"
#include "zip/zip_test_reader.h"

using namespace zip;
using ziptest::le16;
using ziptest::le32;
using ziptest::le64;

namespace {

std::span<const uint8_t> bytesOf(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}
template <size_t N>
std::string text(const std::array<uint8_t, N>& a) {
  return std::string(a.begin(), a.end());
}
std::string text(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

}  // namespace

// Every field lands at its offset and comes back unchanged.
TEST(ZARecords, FieldByFieldRoundTrips) {
  TZipLocalHeader lh{0x04034b50, 0x0B14, 0x0809, 8, 0x4A3D, 0x5D8A, 0xCBF43926, 0x01020304, 0x0A0B0C0D, 999, 260};
  const std::string lhBytes = le32(0x04034b50) + le16(0x0B14) + le16(0x0809) + le16(8) + le16(0x4A3D) + le16(0x5D8A) +
                              le32(0xCBF43926) + le32(0x01020304) + le32(0x0A0B0C0D) + le16(999) + le16(260);
  EXPECT_EQ(text(EncodeLocalHeader(lh)), lhBytes);
  EXPECT_EQ(DecodeLocalHeader(bytesOf(lhBytes)), lh);

  TZipCentralHeader ch{0x02014b50, 0x031E, 45, 0x0801, 8,      0x1111, 0x2222,     0x33333333, 0xFFFFFFFF,
                       0x44444444, 12,     34, 56,     0xFFFF, 0x0001, 0x81A40020, 0xFFFFFFFF};
  const std::string chBytes = le32(0x02014b50) + le16(0x031E) + le16(45) + le16(0x0801) + le16(8) + le16(0x1111) +
                              le16(0x2222) + le32(0x33333333) + le32(0xFFFFFFFF) + le32(0x44444444) + le16(12) +
                              le16(34) + le16(56) + le16(0xFFFF) + le16(0x0001) + le32(0x81A40020) + le32(0xFFFFFFFF);
  EXPECT_EQ(text(EncodeCentralHeader(ch)), chBytes);
  EXPECT_EQ(DecodeCentralHeader(bytesOf(chBytes)), ch);

  TZipEndOfCentralDir e{0x06054b50, 0xFFFF, 2, 3, 0xFFFF, 0x12345678, 0xFFFFFFFF, 10};
  const std::string eBytes = le32(0x06054b50) + le16(0xFFFF) + le16(2) + le16(3) + le16(0xFFFF) + le32(0x12345678) +
                             le32(0xFFFFFFFF) + le16(10);
  EXPECT_EQ(text(EncodeEndOfCentralDir(e)), eBytes);
  EXPECT_EQ(DecodeEndOfCentralDir(bytesOf(eBytes)), e);

  TZip64EndOfCentralDir z{0x06064b50, 44, 45, 45, 7, 6, 65535, 65536, 0x123456789A, 0xFEDCBA987654};
  const std::string zBytes = le32(0x06064b50) + le64(44) + le16(45) + le16(45) + le32(7) + le32(6) + le64(65535) +
                             le64(65536) + le64(0x123456789A) + le64(0xFEDCBA987654);
  EXPECT_EQ(text(EncodeZip64EndOfCentralDir(z)), zBytes);
  EXPECT_EQ(DecodeZip64EndOfCentralDir(bytesOf(zBytes)), z);

  TZip64Locator l{0x07064b50, 3, 0x1122334455667788, 4};
  const std::string lBytes = le32(0x07064b50) + le32(3) + le64(0x1122334455667788) + le32(4);
  EXPECT_EQ(text(EncodeZip64Locator(l)), lBytes);
  EXPECT_EQ(DecodeZip64Locator(bytesOf(lBytes)), l);

  const std::string dd = le32(0x08074b50) + le32(0xCAFEBABE) + le32(100) + le32(200);
  const auto d = DecodeDataDescriptor(bytesOf(dd));
  ASSERT_TRUE(d);
  EXPECT_EQ(d->Crc, 0xCAFEBABEu);
  EXPECT_EQ(d->CompressedSize, 100u);
  EXPECT_EQ(d->UncompressedSize, 200u);

  EXPECT_EQ(text(EncodeLocalZip64Extra(0x100000000ULL, 0x200000000ULL)),
            le16(1) + le16(16) + le64(0x100000000ULL) + le64(0x200000000ULL));
}

TEST(ZARecords, ShortOrUnsignedRecordsAreRefused) {
  const std::string zeros(100, '\0');
  const auto cut = [&](size_t n) { return bytesOf(zeros).first(n); };
  EXPECT_FALSE(DecodeLocalHeader(cut(29)));
  EXPECT_TRUE(DecodeLocalHeader(cut(30)));
  EXPECT_FALSE(DecodeCentralHeader(cut(45)));
  EXPECT_FALSE(DecodeEndOfCentralDir(cut(21)));
  EXPECT_FALSE(DecodeZip64EndOfCentralDir(cut(55)));
  EXPECT_FALSE(DecodeZip64Locator(cut(19)));
  EXPECT_FALSE(DecodeDataDescriptor(cut(16)));  // no signature: not a descriptor
  EXPECT_FALSE(DecodeDataDescriptor(bytesOf(le32(0x08074b50) + "short")));
  // A wrong central signature is read like any other.
  const auto wrong = DecodeCentralHeader(bytesOf(le32(0x12345678) + std::string(42, '\0')));
  ASSERT_TRUE(wrong);
  EXPECT_EQ(wrong->Signature, 0x12345678u);
}

TEST(ZARecords, VersionsWritten) {
  EXPECT_EQ(ZAVersionFor(true, true), 45);
  EXPECT_EQ(ZAVersionFor(true, false), 45);
  EXPECT_EQ(ZAVersionFor(false, true), 20);
  EXPECT_EQ(ZAVersionFor(false, false), 0x0B14);
}

TEST(ZARecords, RangeAndEndRecordChecksCannotWrap) {
  struct Row {
    uint64_t offset, length, size;
    bool fits;
  };
  for (const Row& r : std::vector<Row>{{0, 10, 10, true},
                                       {10, 0, 10, true},
                                       {0, 11, 10, false},
                                       {11, 0, 10, false},
                                       {5, UINT64_MAX, 10, false},
                                       {UINT64_MAX, 1, 10, false},
                                       {UINT64_MAX, 1, UINT64_MAX, false},
                                       {UINT64_MAX - 1, 1, UINT64_MAX, true}}) {
    EXPECT_EQ(ZARangeFits(r.offset, r.length, r.size), r.fits) << r.offset << "+" << r.length << " in " << r.size;
  }
  EXPECT_TRUE(ZACountFits(10, 46, 460));
  EXPECT_FALSE(ZACountFits(11, 46, 460));
  EXPECT_FALSE(ZACountFits(0xFFFFFFFFu, 46, 1 << 20));
  EXPECT_FALSE(ZACountFits(UINT64_MAX, 46, UINT64_MAX / 2));

  struct EndRow {
    uint64_t position;
    uint16_t commentLength;
    uint64_t streamSize;
    bool accepted;
  };
  for (const EndRow& r : std::vector<EndRow>{{0, 0, 22, true},
                                             {0, 0, 23, false},  // a trailing byte
                                             {0, 1, 23, true},
                                             {0, 2, 23, false},  // comment longer than what is left
                                             {10, 0, 22, false},
                                             {UINT64_MAX - 5, 0, 22, false},
                                             {UINT64_MAX - 22, 0, UINT64_MAX, true},
                                             {UINT64_MAX - 21, 0, UINT64_MAX, false},
                                             {100, 65535, 100 + 22 + 65535, true}}) {
    EXPECT_EQ(ZAEndRecordAccepted(r.position, r.commentLength, r.streamSize), r.accepted) << r.position;
  }
}

TEST(ZAStoredNames, Reading) {
  struct Row {
    const char* what;
    std::string stored;
    uint16_t flags, madeBy;
    bool oem;
    std::string name;
    uint16_t nameLength;
    bool utf8Flag;
  };
  const std::string longName(5000, 'n');
  const std::string cutInChar = std::string(kMaxNameLength - 1, 'n') + "é";
  const auto longest = static_cast<uint16_t>(kMaxNameLength);
  const std::vector<Row> rows = {
      {"code page 850", "caf\x82.txt", 0, 20, true, "café.txt", 8, false},
      {"850 box drawing", "\xB0\xC9", 0, 20, true, "░╔", 2, false},
      {"OEM names off: raw", "caf\x82.txt", 0, 20, false, "caf\x82.txt", 8, false},
      {"bit 11: UTF-8", "café.txt", 0x0800, 20, true, "café.txt", 9, true},
      {"made on Unix: raw", "café.txt", 0, 0x031E, true, "café.txt", 9, false},
      {"UTF-8 that 850 lacks", "日本.txt", 0x0800, 20, true, "日本.txt", 10, true},
      {"backslashes", "a\\b\\c.txt", 0, 20, true, "a/b/c.txt", 9, false},
      {"cut at a zero byte", std::string("abc\0def", 7), 0, 20, true, "abc", 3, false},
      {"kept whole up to a path's length", std::string(1500, 'n'), 0, 20, true, std::string(1500, 'n'), 1500, false},
      {"cut at a path's length", longName, 0, 20, true, std::string(kMaxNameLength, 'n'), longest, false},
      {"cut keeps whole characters", cutInChar, 0x0800, 20, true, std::string(kMaxNameLength - 1, 'n'),
       static_cast<uint16_t>(longest - 1), true},
      {"empty", "", 0, 20, true, "", 0, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    TDirItem item;
    item.VersionMadeBy = r.madeBy;
    item.Flags = r.flags;
    ZASetStoredName(item, ZADecodeStoredName(r.stored, r.flags, r.madeBy, r.oem), r.oem);
    EXPECT_EQ(item.FileName, r.name);
    EXPECT_EQ(item.NameLength, r.nameLength);
    EXPECT_EQ((item.Flags & kFlagUtf8) != 0, r.utf8Flag);
  }
}

TEST(ZAStoredNames, Writing) {
  struct Row {
    std::string name;
    uint16_t madeBy, flags;
    bool oem;
    std::string bytes;
    bool utf8;
  };
  for (const Row& r : std::vector<Row>{
           {"plain.txt", 20, 0, true, "plain.txt", false},
           {"plain.txt", 20, 0x0800, true, "plain.txt", true},
           {"café.txt", 20, 0, true, "caf\x82.txt", false},
           {"café.txt", 20, 0x0800, true, "café.txt", true},  // UTF-8 already: stays so
           {"€uro.txt", 20, 0, true, "€uro.txt", true},       // 850 has no euro sign
           {"日本", 20, 0, true, "日本", true},
           {"café.txt", 0x031E, 0, true, "café.txt", false},  // Unix readers take the bytes raw
           {"café.txt", 0x0B14, 0, false, "café.txt", true},
           {"caf\x82.txt", 20, 0, true, "caf\x82.txt", false},  // raw bytes from an archive go back raw
       }) {
    const TZAStoredName s = ZAEncodeStoredName(r.name, r.madeBy, r.flags, r.oem);
    EXPECT_EQ(s.Bytes, r.bytes) << r.name;
    EXPECT_EQ(s.Utf8, r.utf8) << r.name;
  }
}

// Names kept shorter than stored must not misalign the directory written back.
TEST(ZACentralEntry, CutNamesWriteBackAligned) {
  ziptest::ZipBuilder b;
  b.addStored(std::string(5000, 'n'), "one").comment = "first comment";
  b.entries.back().centralExtra = ziptest::extraBlock(0xCAFE, "xyz");
  b.addStored(std::string("zero\0tail", 9), "two").comment = "second";
  b.addStored("after.txt", "three").comment = "third";
  const auto a = ziptest::readArchive(b.build());
  ASSERT_TRUE(a);
  ASSERT_EQ(a->items.size(), 3u);
  EXPECT_EQ(a->items[0].NameLength, kMaxNameLength);
  EXPECT_EQ(a->items[0].Extras().Comment, "first comment");
  ASSERT_EQ(a->items[0].ExtraBlocks.size(), 1u);
  EXPECT_EQ(a->items[1].FileName, "zero");
  EXPECT_EQ(a->items[1].NameLength, 4);
  EXPECT_EQ(a->items[2].FileName, "after.txt");

  std::string written;
  for (const TDirItem& item : a->items) written += text(EncodeCentralEntry(item, true));
  size_t pos = 0;
  std::vector<std::string> names, comments;
  while (pos < written.size()) {
    TDirItem again;
    ASSERT_TRUE(ReadCentralEntry(bytesOf(written), pos, true, again));
    names.push_back(again.FileName);
    comments.push_back(again.Extras().Comment);
  }
  EXPECT_EQ(names, (std::vector<std::string>{std::string(kMaxNameLength, 'n'), "zero", "after.txt"}));
  EXPECT_EQ(comments, (std::vector<std::string>{"first comment", "second", "third"}));
}

TEST(ZACentralEntry, HostileLengthsAreRefused) {
  const auto entry = [](uint16_t n, uint16_t m, uint16_t k, size_t present) {
    std::string s = le32(0x02014b50) + std::string(24, '\0') + le16(n) + le16(m) + le16(k) + std::string(12, '\0');
    return s + std::string(present, 'x');
  };
  struct Row {
    const char* what;
    std::string buffer;
    size_t pos;
    bool read;
  };
  const std::vector<Row> rows = {
      {"fixed part cut", entry(0, 0, 0, 0).substr(0, 45), 0, false},
      {"position past the end", entry(0, 0, 0, 0), 47, false},
      {"position at SIZE_MAX", entry(0, 0, 0, 0), SIZE_MAX, false},
      {"position near SIZE_MAX", entry(0, 0, 0, 0), SIZE_MAX - 10, false},
      {"name past the end", entry(0xFFFF, 0, 0, 10), 0, false},
      {"extra past the end", entry(1, 0xFFFF, 0, 100), 0, false},
      {"comment past the end", entry(1, 1, 0xFFFF, 2), 0, false},
      {"all lengths at their limit, bytes there", entry(0xFFFF, 0xFFFF, 0xFFFF, 3 * 0xFFFF), 0, true},
      {"all lengths at their limit, one byte short", entry(0xFFFF, 0xFFFF, 0xFFFF, 3 * 0xFFFF - 1), 0, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    TDirItem item;
    item.FileName = "untouched";
    size_t pos = r.pos;
    EXPECT_EQ(ReadCentralEntry(bytesOf(r.buffer), pos, true, item), r.read);
    if (!r.read) {
      EXPECT_EQ(pos, r.pos);
      EXPECT_EQ(item.FileName, "untouched");
    } else {
      EXPECT_EQ(pos, r.buffer.size());
      EXPECT_EQ(item.FileName.size(), kMaxNameLength);
      EXPECT_LE(item.ExtraBlocks.size(), 0xFFFFu / 4 + 1);
    }
  }
}

TEST(ZAExtraField, BlocksAsStoredAndCut) {
  struct Row {
    const char* what;
    std::string field;
    std::vector<std::pair<uint16_t, std::string>> blocks;
  };
  const std::vector<Row> rows = {
      {"two blocks",
       ziptest::extraBlock(0x5455, "abcde") + ziptest::extraBlock(0x7875, "uid"),
       {{0x5455, "abcde"}, {0x7875, "uid"}}},
      {"claims more than there is", le16(0x000A) + le16(100) + "six b!", {{0x000A, "six b!"}}},
      {"claims 65535 with nothing left", le16(0x000B) + le16(0xFFFF), {{0x000B, ""}}},
      {"empty block", le16(0x000C) + le16(0), {{0x000C, ""}}},
      {"stray head bytes skipped", ziptest::extraBlock(0x5455, "t") + "\x01\x02\x03", {{0x5455, "t"}}},
      {"nothing", "", {}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const std::vector<ExtraBlock> blocks = ParseExtraField(bytesOf(r.field));
    ASSERT_EQ(blocks.size(), r.blocks.size());
    for (size_t i = 0; i < blocks.size(); ++i) {
      EXPECT_EQ(blocks[i].HeaderId, r.blocks[i].first);
      EXPECT_EQ(text(blocks[i].Data), r.blocks[i].second);
      EXPECT_EQ(blocks[i].DataSize(), r.blocks[i].second.size());
    }
  }
}

TEST(ZAExtraField, Zip64ValuesFollowTheMarkers) {
  struct Row {
    const char* what;
    uint32_t uncompressed, compressed, offset;
    uint16_t disk;
    std::string block;
    uint64_t u64, c64, o64;
    uint32_t d32;
  };
  const uint64_t U = 0x100000001ULL, C = 0x200000002ULL, O = 0x300000003ULL;
  const std::vector<Row> rows = {
      {"all markers, all values", kMarker32, kMarker32, kMarker32, kMarker16,
       le64(U) + le64(C) + le64(O) + le32(0x00070005), U, C, O, 5},
      {"compressed only", 10, kMarker32, 20, 0, le64(C), 0, C, 0, 0},
      {"offset only", 10, 20, kMarker32, 0, le64(O), 0, 0, O, 0},
      {"short block leaves zeros", kMarker32, kMarker32, kMarker32, 0, le64(U) + "abc", U, 0, 0, 0},
      {"disk from two bytes", 1, 2, 3, kMarker16, le16(9), 0, 0, 0, 9},
      {"no markers: nothing taken", 1, 2, 3, 0, le64(U), 0, 0, 0, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    ziptest::ZipBuilder b;
    auto& e = b.addStored("big.bin", "data");
    e.uncompressedSize = r.uncompressed;
    e.compressedSize = r.compressed;
    e.localHeaderOffset = r.offset;
    e.diskNumberStart = r.disk;
    e.centralExtra = ziptest::extraBlock(0x0001, r.block);
    const auto a = ziptest::readArchive(b.build());
    ASSERT_TRUE(a);
    const TDirItem& item = a->items.at(0);
    EXPECT_TRUE(item.HasZip64);
    EXPECT_EQ(item.UncompressedSize64, r.u64);
    EXPECT_EQ(item.CompressedSize64, r.c64);
    EXPECT_EQ(item.LocalHeaderOffset64, r.o64);
    EXPECT_EQ(item.DiskNumberStart32, r.d32);
    ASSERT_EQ(item.ExtraBlocks.size(), 1u);  // the block also stays among the blocks
  }
}

TEST(ZAExtraField, WrittenWithAFreshZip64BlockFirst) {
  struct Row {
    uint32_t u, c, o;
    uint16_t d;
    uint16_t size;
  };
  for (const Row& r : std::vector<Row>{{1, 2, 3, 0, 0},
                                       {kMarker32, 2, 3, 0, 12},
                                       {kMarker32, kMarker32, 3, 0, 20},
                                       {kMarker32, kMarker32, kMarker32, 0, 28},
                                       {kMarker32, kMarker32, kMarker32, kMarker16, 32},
                                       {1, 2, 3, kMarker16, 8}}) {
    TZipCentralHeader h;
    h.UncompressedSize = r.u, h.CompressedSize = r.c, h.LocalHeaderOffset = r.o, h.DiskNumberStart = r.d;
    EXPECT_EQ(Zip64ExtraSize(h), r.size);
  }

  TDirItem item;
  item.UncompressedSize = kMarker32;
  item.LocalHeaderOffset = kMarker32;
  item.UncompressedSize64 = 0x123456789ULL;
  item.LocalHeaderOffset64 = 0x987654321ULL;
  item.ExtraBlocks = {{0x5455, {1, 2, 3}}, {0x0001, {9, 9, 9, 9, 9, 9, 9, 9}}, {0x7875, {4}}};
  const std::string expected = le16(1) + le16(16) + le64(0x123456789ULL) + le64(0x987654321ULL) +
                               ziptest::extraBlock(0x5455, "\x01\x02\x03") + ziptest::extraBlock(0x7875, "\x04");
  EXPECT_EQ(text(EncodeCentralExtraField(item)), expected);
  EXPECT_EQ(CentralExtraFieldLength(item), expected.size());

  // Blocks that no longer fit beside the Zip64 block are left out, never wrapped.
  TDirItem full;
  full.UncompressedSize = kMarker32;
  full.ExtraBlocks = {
      {0x0A0A, std::vector<uint8_t>(40000)}, {0x0B0B, std::vector<uint8_t>(25600)}, {0x0C0C, std::vector<uint8_t>(10)}};
  const std::vector<uint8_t> field = EncodeCentralExtraField(full);
  EXPECT_LE(field.size(), 0xFFFFu);
  const std::vector<ExtraBlock> back = ParseExtraField(field);
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[0].HeaderId, 0x0001);
  EXPECT_EQ(back[1].HeaderId, 0x0A0A);
  EXPECT_EQ(back[2].HeaderId, 0x0C0C);
  full.FileName = "x";
  const std::vector<uint8_t> entry = EncodeCentralEntry(full, true);
  EXPECT_EQ(DecodeCentralHeader(entry)->ExtraLength, field.size());
}
