#pragma once
// The traditional PKWARE encryption of ZIP entries.
#include <array>
#include <cstdint>
#include <functional>
#include <string_view>

#include "platform/core/streams.h"

namespace zip {

struct TZipCryptKeys {
  uint32_t Key0 = 0x12345678;
  uint32_t Key1 = 0x23456789;
  uint32_t Key2 = 0x34567890;
};

inline constexpr int kEncryptionHeaderSize = 12;
using TZAEncryptionHeader = std::array<uint8_t, kEncryptionHeaderSize>;

void ZipCryptUpdateKeys(uint8_t plain, TZipCryptKeys& keys);
uint8_t ZipCryptDecryptByte(const TZipCryptKeys& keys);
uint8_t ZipCryptEncryptByte(uint8_t plain, TZipCryptKeys& keys);
void ZipCryptDecryptBuffer(uint8_t* buffer, int64_t count, TZipCryptKeys& keys);
void ZipCryptEncryptBuffer(int64_t count, int64_t startIndex, uint8_t* buffer, TZipCryptKeys& keys);
// Password bytes are the text's own (UTF-8 here).
void ZipCryptInitEncrypt(std::string_view password, TZipCryptKeys& keys);
void ZipCryptInitDecrypt(std::string_view password, TZipCryptKeys& keys, TZAEncryptionHeader& header);

// The 12 encrypted header bytes written before an entry's data: ten random
// bytes, then bits 16-31 of checkValue (the data's CRC-32; for an entry with a
// data descriptor, the DOS time shifted left by 16). Keys are left ready for
// the data. random gives the ten bytes; by default a process-wide generator.
TZAEncryptionHeader ZipCryptMakeHeader(std::string_view password, uint32_t checkValue, TZipCryptKeys& keys,
                                       const std::function<uint8_t()>& random = {});

// Reads the 12-byte header at the stream's position and tells whether the
// password fits; the keys are then ready to decrypt the data that follows.
// crc, modTime and flags are those of the entry's local header.
bool CheckItemPassword(platform::TStream& archive, std::string_view password, TZipCryptKeys& keys, uint32_t crc,
                       uint16_t modTime, uint16_t flags);
// The same test on a header already read (it is left as read, so that
// another password can be tried on it).
bool CheckItemPassword(const TZAEncryptionHeader& stored, std::string_view password, TZipCryptKeys& keys, uint32_t crc,
                       uint16_t modTime, uint16_t flags);

}  // namespace zip
