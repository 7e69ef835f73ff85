#include "zip/format/za_crypt.h"

#include <mutex>
#include <random>

#include "zip/format/za_crc32.h"

namespace zip {

void ZipCryptUpdateKeys(uint8_t plain, TZipCryptKeys& keys) {
  keys.Key0 = CRC32Step(plain, keys.Key0);
  keys.Key1 = (keys.Key1 + (keys.Key0 & 0xFF)) * 134775813u + 1;
  keys.Key2 = CRC32Step(static_cast<uint8_t>(keys.Key1 >> 24), keys.Key2);
}

uint8_t ZipCryptDecryptByte(const TZipCryptKeys& keys) {
  const uint32_t t = keys.Key2 | 2;
  return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
}

uint8_t ZipCryptEncryptByte(uint8_t plain, TZipCryptKeys& keys) {
  const uint8_t cipher = plain ^ ZipCryptDecryptByte(keys);
  ZipCryptUpdateKeys(plain, keys);
  return cipher;
}

void ZipCryptDecryptBuffer(uint8_t* buffer, int64_t count, TZipCryptKeys& keys) {
  for (int64_t i = 0; i < count; ++i) {
    buffer[i] ^= ZipCryptDecryptByte(keys);
    ZipCryptUpdateKeys(buffer[i], keys);
  }
}

void ZipCryptEncryptBuffer(int64_t count, int64_t startIndex, uint8_t* buffer, TZipCryptKeys& keys) {
  for (int64_t i = 0; i < count; ++i) buffer[startIndex + i] = ZipCryptEncryptByte(buffer[startIndex + i], keys);
}

void ZipCryptInitEncrypt(std::string_view password, TZipCryptKeys& keys) {
  keys = TZipCryptKeys{};
  for (char c : password) ZipCryptUpdateKeys(static_cast<uint8_t>(c), keys);
}

void ZipCryptInitDecrypt(std::string_view password, TZipCryptKeys& keys, TZAEncryptionHeader& header) {
  ZipCryptInitEncrypt(password, keys);
  ZipCryptDecryptBuffer(header.data(), kEncryptionHeaderSize, keys);
}

namespace {

// Seeded once from the system's entropy: a generator reseeded from the clock
// per entry would repeat its header bytes for entries made in the same tick.
uint8_t defaultRandomByte() {
  static std::mutex lock;
  static std::mt19937 generator{std::random_device{}()};
  std::lock_guard<std::mutex> guard(lock);
  return static_cast<uint8_t>(generator());
}

}  // namespace

TZAEncryptionHeader ZipCryptMakeHeader(std::string_view password, uint32_t checkValue, TZipCryptKeys& keys,
                                       const std::function<uint8_t()>& random) {
  TZAEncryptionHeader header{};
  for (int i = 0; i < 10; ++i) header[i] = random ? random() : defaultRandomByte();
  header[10] = static_cast<uint8_t>(checkValue >> 16);
  header[11] = static_cast<uint8_t>(checkValue >> 24);
  ZipCryptInitEncrypt(password, keys);
  for (uint8_t& b : header) b = ZipCryptEncryptByte(b, keys);
  return header;
}

bool CheckItemPassword(platform::TStream& archive, std::string_view password, TZipCryptKeys& keys, uint32_t crc,
                       uint16_t modTime, uint16_t flags) {
  TZAEncryptionHeader header{};
  archive.ReadBuffer(header.data(), kEncryptionHeaderSize);
  return CheckItemPassword(header, password, keys, crc, modTime, flags);
}

bool CheckItemPassword(const TZAEncryptionHeader& stored, std::string_view password, TZipCryptKeys& keys, uint32_t crc,
                       uint16_t modTime, uint16_t flags) {
  TZAEncryptionHeader header = stored;
  ZipCryptInitDecrypt(password, keys, header);
  const uint8_t expected = (flags & 0x0008) != 0 ? static_cast<uint8_t>(modTime >> 8) : static_cast<uint8_t>(crc >> 24);
  return header[11] == expected;
}

}  // namespace zip
