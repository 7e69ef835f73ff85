#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/core/exceptions.h"
#include "platform/core/streams.h"
#include "support/python_zip.h"
#include "support/temp_dir.h"
#include "zip/format/za_crc32.h"
#include "zip/format/za_crypt.h"
#include "zip/zip_builder.h"
#include "zip/zip_test_reader.h"

using namespace zip;
using ziptest::shellQuote;

namespace {

uint32_t crcOfText(const std::string& s) { return ~UpdateCRC32(kCrcSeed, s.data(), static_cast<int64_t>(s.size())); }

std::string someText(size_t n) {
  std::string s;
  for (size_t i = 0; s.size() < n; ++i) s += "ligne " + std::to_string(i * 7919 % 1000) + " d'été\n";
  s.resize(n);
  return s;
}

// Our header and our cipher over data, as the compressing stream lays them out.
std::string encryptEntry(const std::string& password, const std::string& stored, uint32_t checkValue) {
  TZipCryptKeys keys;
  const TZAEncryptionHeader header = ZipCryptMakeHeader(password, checkValue, keys);
  std::string out(header.begin(), header.end());
  std::string body = stored;
  ZipCryptEncryptBuffer(static_cast<int64_t>(body.size()), 0, reinterpret_cast<uint8_t*>(body.data()), keys);
  return out + body;
}

}  // namespace

TEST(ZACrc32, CheckValues) {
  struct Row {
    std::string data;
    uint32_t crc;
  };
  for (const Row& r : std::vector<Row>{{"123456789", 0xCBF43926u},
                                       {"", 0x00000000u},
                                       {"a", 0xE8B7BE43u},
                                       {"The quick brown fox jumps over the lazy dog", 0x414FA339u}}) {
    EXPECT_EQ(crcOfText(r.data), r.crc) << r.data;
  }
  const std::string big = someText(100000);
  EXPECT_EQ(crcOfText(big), ziptest::crcOf(big));
  // Chunked updates give the whole-buffer value.
  uint32_t running = kCrcSeed;
  for (size_t at = 0; at < big.size(); at += 4093)
    CalcCRC32(big.data() + at, static_cast<int64_t>(std::min<size_t>(4093, big.size() - at)), running);
  EXPECT_EQ(~running, ziptest::crcOf(big));
  // Nothing to add leaves the value alone.
  EXPECT_EQ(UpdateCRC32(0x1234, nullptr, 5), 0x1234u);
  EXPECT_EQ(UpdateCRC32(0x1234, "x", 0), 0x1234u);
  EXPECT_EQ(UpdateCRC32(0x1234, "x", -3), 0x1234u);
}

// The buffer update agrees with the table step for every length, alignment
// and running value.
TEST(ZACrc32, BufferUpdateMatchesTheTableStep) {
  std::mt19937 random(20261210);
  std::vector<uint8_t> bytes(4096 + 8);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  for (size_t length = 0; length <= 4096; ++length) {
    const size_t start = length % 8;
    const uint32_t seed = length % 3 == 0 ? kCrcSeed : static_cast<uint32_t>(random());
    uint32_t byTable = seed;
    for (size_t i = 0; i < length; ++i) byTable = CRC32Step(bytes[start + i], byTable);
    ASSERT_EQ(UpdateCRC32(seed, bytes.data() + start, static_cast<int64_t>(length)), byTable) << length;
  }
}

TEST(ZACrypt, KeysAndRoundTrip) {
  TZipCryptKeys keys;
  ZipCryptInitEncrypt("", keys);
  EXPECT_EQ(keys.Key0, 0x12345678u);
  EXPECT_EQ(keys.Key1, 0x23456789u);
  EXPECT_EQ(keys.Key2, 0x34567890u);

  const std::string plain = someText(3000);
  const uint32_t crc = crcOfText(plain);
  const std::string cipher = encryptEntry("mot de passe", plain, crc);
  ASSERT_EQ(cipher.size(), plain.size() + 12);
  EXPECT_NE(cipher.substr(12), plain);

  TZAEncryptionHeader header;
  std::copy_n(cipher.begin(), 12, header.begin());
  TZipCryptKeys dec;
  ZipCryptInitDecrypt("mot de passe", dec, header);
  EXPECT_EQ(header[10], static_cast<uint8_t>(crc >> 16));
  EXPECT_EQ(header[11], static_cast<uint8_t>(crc >> 24));
  std::string body = cipher.substr(12);
  ZipCryptDecryptBuffer(reinterpret_cast<uint8_t*>(body.data()), static_cast<int64_t>(body.size()), dec);
  EXPECT_EQ(body, plain);

  // The start index and a count of 0 or less.
  std::string part = "xxABCD";
  TZipCryptKeys k1, k2;
  ZipCryptEncryptBuffer(0, 0, reinterpret_cast<uint8_t*>(part.data()), k1);
  ZipCryptEncryptBuffer(-1, 0, reinterpret_cast<uint8_t*>(part.data()), k1);
  EXPECT_EQ(part, "xxABCD");
  ZipCryptEncryptBuffer(4, 2, reinterpret_cast<uint8_t*>(part.data()), k1);
  EXPECT_EQ(part.substr(0, 2), "xx");
  std::string whole = "ABCD";
  ZipCryptEncryptBuffer(4, 0, reinterpret_cast<uint8_t*>(whole.data()), k2);
  EXPECT_EQ(part.substr(2), whole);
}

TEST(ZACrypt, SameDataGetsDifferentHeaders) {
  const std::string a = encryptEntry("pw", "same data", 0x11223344);
  const std::string b = encryptEntry("pw", "same data", 0x11223344);
  EXPECT_NE(a.substr(0, 12), b.substr(0, 12));
  EXPECT_NE(a.substr(12), b.substr(12));
}

TEST(ZACrypt, CheckItemPassword) {
  const uint32_t crc = 0xA1B2C3D4;
  const uint16_t modTime = 0x7E21;  // its high byte differs from the CRC's
  struct Row {
    const char* what;
    uint32_t checkValue;
    uint16_t flags;
    bool rightPasses;
  };
  for (const Row& r : std::vector<Row>{
           {"CRC check byte", crc, 0x0001, true},
           {"time check byte, bit 3", uint32_t{modTime} << 16, 0x0009, true},
           {"time byte written, bit 3 clear", uint32_t{modTime} << 16, 0x0001, false},
           {"CRC byte written, bit 3 set", crc, 0x0009, false},
       }) {
    SCOPED_TRACE(r.what);
    platform::TMemoryStream s;
    TZipCryptKeys keys;
    const TZAEncryptionHeader h = ZipCryptMakeHeader("secret", r.checkValue, keys, [] { return uint8_t{0x5A}; });
    s.WriteBuffer(h.data(), 12);
    s.WriteBuffer("data", 4);
    s.SetPosition(0);
    TZipCryptKeys check;
    EXPECT_EQ(CheckItemPassword(s, "secret", check, crc, modTime, r.flags), r.rightPasses);
    EXPECT_EQ(s.Position(), 12);
    if (r.rightPasses) {
      // The keys are ready for the data.
      EXPECT_EQ(check.Key0, keys.Key0);
      EXPECT_EQ(check.Key2, keys.Key2);
    }
  }
  // A wrong password passes the one-byte check only now and then.
  platform::TMemoryStream s;
  TZipCryptKeys keys;
  const TZAEncryptionHeader h = ZipCryptMakeHeader("secret", crc, keys);
  s.WriteBuffer(h.data(), 12);
  int passed = 0;
  for (int i = 0; i < 512; ++i) {
    s.SetPosition(0);
    TZipCryptKeys k;
    passed += CheckItemPassword(s, "wrong" + std::to_string(i), k, crc, modTime, 1) ? 1 : 0;
  }
  EXPECT_LT(passed, 24);
  // A header cut short is the stream's read error.
  platform::TMemoryStream shortStream;
  shortStream.WriteBuffer(h.data(), 5);
  shortStream.SetPosition(0);
  TZipCryptKeys k;
  EXPECT_THROW(CheckItemPassword(shortStream, "secret", k, crc, modTime, 1), platform::EReadError);
}

// Entries encrypted by our routines, read back by unzip and by python's zipfile.
TEST(ZACrypt, OtherToolsReadOurEncryption) {
  testsupport::TempDir dir;
  const std::string plain = someText(20000);
  const uint32_t crc = ziptest::crcOf(plain);
  ziptest::ZipBuilder b;
  {
    auto& e = b.addStored("stored.txt", encryptEntry("secret", plain, crc));
    e.plain = plain;
    e.flags = 0x0001;
  }
  {
    auto& e = b.addStored("deflated.txt", encryptEntry("secret", ziptest::rawDeflate(plain), crc));
    e.plain = plain;
    e.flags = 0x0001;
    e.method = 8;
  }
  {
    // Sizes and CRC in a data descriptor: the check byte is the time's high byte.
    auto& e = b.addStored("descriptor.txt", "");
    e.modTime = 0x7E21;
    e.data = encryptEntry("secret", ziptest::rawDeflate(plain), uint32_t{e.modTime} << 16);
    e.plain = plain;
    e.flags = 0x0009;
    e.method = 8;
    e.dataDescriptor = true;
  }
  const std::string archive = (dir / "enc.zip").string();
  testsupport::writeFile(archive, b.build());

  for (const char* name : {"stored.txt", "deflated.txt", "descriptor.txt"}) {
    SCOPED_TRACE(name);
    const auto unzip = ziptest::runCommand("unzip -P secret -p " + shellQuote(archive) + " " + name + " 2>/dev/null");
    EXPECT_EQ(unzip.status, 0);
    EXPECT_EQ(unzip.out, plain);
    EXPECT_EQ(testsupport::readEntryWithPython(archive, name, "secret"), plain);
  }
  EXPECT_NE(ziptest::runCommand("unzip -P wrong -p " + shellQuote(archive) + " stored.txt >/dev/null 2>&1").status, 0);
}

// Entries encrypted by Info-ZIP (data descriptor, time check byte) and by 7-Zip
// (CRC check byte), opened with our password check and decryption.
TEST(ZACrypt, WeReadOtherToolsEncryption) {
  testsupport::TempDir dir;
  const std::string plain = someText(30000);
  testsupport::writeFile(dir / "plain.txt", plain);
  const std::string d = shellQuote(dir.str());
  struct Tool {
    const char* name;
    std::string command;
    bool descriptor;
  };
  for (const Tool& t : std::vector<Tool>{
           {"zip", "cd " + d + " && zip -q -P secret info.zip plain.txt", true},
           {"7z", "cd " + d + " && 7z a -tzip -psecret -mem=ZipCrypto sevenzip.zip plain.txt >/dev/null", false},
       }) {
    SCOPED_TRACE(t.name);
    ASSERT_EQ(ziptest::runCommand(t.command).status, 0);
    const std::string bytes =
        ziptest::readBytes((dir / (std::string(t.name) == "zip" ? "info.zip" : "sevenzip.zip")).string());
    const auto a = ziptest::readArchive(bytes);
    ASSERT_TRUE(a);
    ASSERT_EQ(a->items.size(), 1u);
    const TDirItem& item = a->items[0];
    EXPECT_EQ((item.Flags & 0x0008) != 0, t.descriptor);
    const std::string data = ziptest::entryData(bytes, item);

    platform::TMemoryStream s;
    s.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
    s.SetPosition(0);
    TZipCryptKeys keys;
    // The local header of a descriptor entry has no CRC: its time decides.
    const uint32_t localCrc = t.descriptor ? 0 : item.Crc;
    ASSERT_TRUE(CheckItemPassword(s, "secret", keys, localCrc, item.ModTime, item.Flags));
    std::string body = data.substr(12);
    ZipCryptDecryptBuffer(reinterpret_cast<uint8_t*>(body.data()), static_cast<int64_t>(body.size()), keys);
    const std::string out = item.Method == 8 ? ziptest::rawInflate(body, item.UncompressedSize) : body;
    EXPECT_EQ(out, plain);
    EXPECT_EQ(crcOfText(out), item.Crc);
  }
}
