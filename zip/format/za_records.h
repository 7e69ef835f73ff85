#pragma once
// The fixed records of the ZIP format, each parsed and serialised field by field.
#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace zip {

inline constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
inline constexpr uint32_t kDataDescriptorSignature = 0x08074b50;
inline constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
inline constexpr uint32_t kEndOfCentralDirSignature = 0x06054b50;
inline constexpr uint32_t kZip64EndOfCentralDirSignature = 0x06064b50;
inline constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
// What a local header of ours carries in place of its signature until its
// entry's data are complete: a pass killed there leaves a header that no
// reader takes for an entry, and that a rebuild knows as where it stopped.
inline constexpr uint32_t kUnfinishedEntrySignature = 0;

inline constexpr uint16_t kMarker16 = 0xFFFF;
inline constexpr uint32_t kMarker32 = 0xFFFFFFFFu;

inline constexpr uint16_t kFlagEncrypted = 0x0001;
inline constexpr uint16_t kFlagFolder = 0x0002;
inline constexpr uint16_t kFlagDataDescriptor = 0x0008;
inline constexpr uint16_t kFlagUtf8 = 0x0800;

inline constexpr uint16_t kMethodStored = 0;
inline constexpr uint16_t kMethodDeflated = 8;

struct TZipLocalHeader {
  static constexpr size_t kSize = 30;
  uint32_t Signature = kLocalHeaderSignature;
  uint16_t VersionNeeded = 0;
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint16_t ModTime = 0;
  uint16_t ModDate = 0;
  uint32_t Crc = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t NameLength = 0;
  uint16_t ExtraLength = 0;
  bool operator==(const TZipLocalHeader&) const = default;
};

// Read only: the form that starts with its signature.
struct TZipDataDescriptor {
  static constexpr size_t kSize = 16;
  uint32_t Signature = kDataDescriptorSignature;
  uint32_t Crc = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  bool operator==(const TZipDataDescriptor&) const = default;
};

// The fixed part of a central directory file header; the first fields of TDirItem.
struct TZipCentralHeader {
  static constexpr size_t kSize = 46;
  uint32_t Signature = kCentralHeaderSignature;
  uint16_t VersionMadeBy = 0;
  uint16_t VersionNeeded = 0;
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint16_t ModTime = 0;
  uint16_t ModDate = 0;
  uint32_t Crc = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t NameLength = 0;
  uint16_t ExtraLength = 0;
  uint16_t CommentLength = 0;
  uint16_t DiskNumberStart = 0;
  uint16_t InternalAttributes = 0;
  uint32_t ExternalAttributes = 0;
  uint32_t LocalHeaderOffset = 0;
  bool operator==(const TZipCentralHeader&) const = default;
};

struct TZipEndOfCentralDir {
  static constexpr size_t kSize = 22;
  uint32_t Signature = kEndOfCentralDirSignature;
  uint16_t ThisDisk = 0;
  uint16_t DirStartDisk = 0;
  uint16_t EntriesOnDisk = 0;
  uint16_t TotalEntries = 0;
  uint32_t DirSize = 0;
  uint32_t DirOffset = 0;
  uint16_t CommentLength = 0;
  bool operator==(const TZipEndOfCentralDir&) const = default;
};

struct TZip64EndOfCentralDir {
  static constexpr size_t kSize = 56;
  uint32_t Signature = kZip64EndOfCentralDirSignature;
  uint64_t RecordSize = 44;
  uint16_t VersionMadeBy = 45;
  uint16_t VersionNeeded = 45;
  uint32_t ThisDisk = 0;
  uint32_t DirStartDisk = 0;
  uint64_t EntriesOnDisk = 0;
  uint64_t TotalEntries = 0;
  uint64_t DirSize = 0;
  uint64_t DirOffset = 0;
  bool operator==(const TZip64EndOfCentralDir&) const = default;
};

struct TZip64Locator {
  static constexpr size_t kSize = 20;
  uint32_t Signature = kZip64LocatorSignature;
  uint32_t Zip64EndDisk = 0;
  uint64_t Zip64EndOffset = 0;
  uint32_t TotalDisks = 1;
  bool operator==(const TZip64Locator&) const = default;
};

// Decoders take the record's bytes and give nothing when fewer are there;
// signatures are left to the caller (a wrong one is read like any other),
// except for the data descriptor, which is only known by its signature.
std::optional<TZipLocalHeader> DecodeLocalHeader(std::span<const uint8_t> bytes);
std::optional<TZipDataDescriptor> DecodeDataDescriptor(std::span<const uint8_t> bytes);
std::optional<TZipCentralHeader> DecodeCentralHeader(std::span<const uint8_t> bytes);
std::optional<TZipEndOfCentralDir> DecodeEndOfCentralDir(std::span<const uint8_t> bytes);
std::optional<TZip64EndOfCentralDir> DecodeZip64EndOfCentralDir(std::span<const uint8_t> bytes);
std::optional<TZip64Locator> DecodeZip64Locator(std::span<const uint8_t> bytes);

std::array<uint8_t, TZipLocalHeader::kSize> EncodeLocalHeader(const TZipLocalHeader& r);
std::array<uint8_t, TZipCentralHeader::kSize> EncodeCentralHeader(const TZipCentralHeader& r);
std::array<uint8_t, TZipEndOfCentralDir::kSize> EncodeEndOfCentralDir(const TZipEndOfCentralDir& r);
std::array<uint8_t, TZip64EndOfCentralDir::kSize> EncodeZip64EndOfCentralDir(const TZip64EndOfCentralDir& r);
std::array<uint8_t, TZip64Locator::kSize> EncodeZip64Locator(const TZip64Locator& r);

// The local header's Zip64 block: id 1, size 16, uncompressed then compressed size.
inline constexpr uint16_t kZip64LocalExtraSize = 20;
std::array<uint8_t, kZip64LocalExtraSize> EncodeLocalZip64Extra(uint64_t uncompressedSize, uint64_t compressedSize);

// Version written into both version fields: 45 with Zip64 sizes, else 20 with
// OEM names and 0x0B14 without.
uint16_t ZAVersionFor(bool zip64, bool oemFileNames);

// An end record found at position is accepted only when exactly its comment
// length of bytes follows it to the end of the stream.
bool ZAEndRecordAccepted(uint64_t position, uint16_t commentLength, uint64_t streamSize);

}  // namespace zip
