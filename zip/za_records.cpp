#include "zip/za_records.h"

#include <algorithm>

#include "zip/za_bytes.h"
#include "zip/za_range.h"

namespace zip {

namespace {

template <size_t N>
std::array<uint8_t, N> toArray(const TZAByteWriter& w) {
  std::array<uint8_t, N> out{};
  std::copy_n(w.Data().begin(), N, out.begin());
  return out;
}

}  // namespace

std::optional<TZipLocalHeader> DecodeLocalHeader(std::span<const uint8_t> bytes) {
  if (bytes.size() < TZipLocalHeader::kSize) return std::nullopt;
  TZAByteReader r(bytes);
  TZipLocalHeader h;
  h.Signature = r.U32();
  h.VersionNeeded = r.U16();
  h.Flags = r.U16();
  h.Method = r.U16();
  h.ModTime = r.U16();
  h.ModDate = r.U16();
  h.Crc = r.U32();
  h.CompressedSize = r.U32();
  h.UncompressedSize = r.U32();
  h.NameLength = r.U16();
  h.ExtraLength = r.U16();
  return h;
}

std::array<uint8_t, TZipLocalHeader::kSize> EncodeLocalHeader(const TZipLocalHeader& h) {
  TZAByteWriter w;
  w.U32(h.Signature);
  w.U16(h.VersionNeeded);
  w.U16(h.Flags);
  w.U16(h.Method);
  w.U16(h.ModTime);
  w.U16(h.ModDate);
  w.U32(h.Crc);
  w.U32(h.CompressedSize);
  w.U32(h.UncompressedSize);
  w.U16(h.NameLength);
  w.U16(h.ExtraLength);
  return toArray<TZipLocalHeader::kSize>(w);
}

std::optional<TZipDataDescriptor> DecodeDataDescriptor(std::span<const uint8_t> bytes) {
  if (bytes.size() < TZipDataDescriptor::kSize) return std::nullopt;
  TZAByteReader r(bytes);
  TZipDataDescriptor d;
  d.Signature = r.U32();
  if (d.Signature != kDataDescriptorSignature) return std::nullopt;
  d.Crc = r.U32();
  d.CompressedSize = r.U32();
  d.UncompressedSize = r.U32();
  return d;
}

std::optional<TZipCentralHeader> DecodeCentralHeader(std::span<const uint8_t> bytes) {
  if (bytes.size() < TZipCentralHeader::kSize) return std::nullopt;
  TZAByteReader r(bytes);
  TZipCentralHeader h;
  h.Signature = r.U32();
  h.VersionMadeBy = r.U16();
  h.VersionNeeded = r.U16();
  h.Flags = r.U16();
  h.Method = r.U16();
  h.ModTime = r.U16();
  h.ModDate = r.U16();
  h.Crc = r.U32();
  h.CompressedSize = r.U32();
  h.UncompressedSize = r.U32();
  h.NameLength = r.U16();
  h.ExtraLength = r.U16();
  h.CommentLength = r.U16();
  h.DiskNumberStart = r.U16();
  h.InternalAttributes = r.U16();
  h.ExternalAttributes = r.U32();
  h.LocalHeaderOffset = r.U32();
  return h;
}

std::array<uint8_t, TZipCentralHeader::kSize> EncodeCentralHeader(const TZipCentralHeader& h) {
  TZAByteWriter w;
  w.U32(h.Signature);
  w.U16(h.VersionMadeBy);
  w.U16(h.VersionNeeded);
  w.U16(h.Flags);
  w.U16(h.Method);
  w.U16(h.ModTime);
  w.U16(h.ModDate);
  w.U32(h.Crc);
  w.U32(h.CompressedSize);
  w.U32(h.UncompressedSize);
  w.U16(h.NameLength);
  w.U16(h.ExtraLength);
  w.U16(h.CommentLength);
  w.U16(h.DiskNumberStart);
  w.U16(h.InternalAttributes);
  w.U32(h.ExternalAttributes);
  w.U32(h.LocalHeaderOffset);
  return toArray<TZipCentralHeader::kSize>(w);
}

std::optional<TZipEndOfCentralDir> DecodeEndOfCentralDir(std::span<const uint8_t> bytes) {
  if (bytes.size() < TZipEndOfCentralDir::kSize) return std::nullopt;
  TZAByteReader r(bytes);
  TZipEndOfCentralDir e;
  e.Signature = r.U32();
  e.ThisDisk = r.U16();
  e.DirStartDisk = r.U16();
  e.EntriesOnDisk = r.U16();
  e.TotalEntries = r.U16();
  e.DirSize = r.U32();
  e.DirOffset = r.U32();
  e.CommentLength = r.U16();
  return e;
}

std::array<uint8_t, TZipEndOfCentralDir::kSize> EncodeEndOfCentralDir(const TZipEndOfCentralDir& e) {
  TZAByteWriter w;
  w.U32(e.Signature);
  w.U16(e.ThisDisk);
  w.U16(e.DirStartDisk);
  w.U16(e.EntriesOnDisk);
  w.U16(e.TotalEntries);
  w.U32(e.DirSize);
  w.U32(e.DirOffset);
  w.U16(e.CommentLength);
  return toArray<TZipEndOfCentralDir::kSize>(w);
}

std::optional<TZip64EndOfCentralDir> DecodeZip64EndOfCentralDir(std::span<const uint8_t> bytes) {
  if (bytes.size() < TZip64EndOfCentralDir::kSize) return std::nullopt;
  TZAByteReader r(bytes);
  TZip64EndOfCentralDir e;
  e.Signature = r.U32();
  e.RecordSize = r.U64();
  e.VersionMadeBy = r.U16();
  e.VersionNeeded = r.U16();
  e.ThisDisk = r.U32();
  e.DirStartDisk = r.U32();
  e.EntriesOnDisk = r.U64();
  e.TotalEntries = r.U64();
  e.DirSize = r.U64();
  e.DirOffset = r.U64();
  return e;
}

std::array<uint8_t, TZip64EndOfCentralDir::kSize> EncodeZip64EndOfCentralDir(const TZip64EndOfCentralDir& e) {
  TZAByteWriter w;
  w.U32(e.Signature);
  w.U64(e.RecordSize);
  w.U16(e.VersionMadeBy);
  w.U16(e.VersionNeeded);
  w.U32(e.ThisDisk);
  w.U32(e.DirStartDisk);
  w.U64(e.EntriesOnDisk);
  w.U64(e.TotalEntries);
  w.U64(e.DirSize);
  w.U64(e.DirOffset);
  return toArray<TZip64EndOfCentralDir::kSize>(w);
}

std::optional<TZip64Locator> DecodeZip64Locator(std::span<const uint8_t> bytes) {
  if (bytes.size() < TZip64Locator::kSize) return std::nullopt;
  TZAByteReader r(bytes);
  TZip64Locator l;
  l.Signature = r.U32();
  l.Zip64EndDisk = r.U32();
  l.Zip64EndOffset = r.U64();
  l.TotalDisks = r.U32();
  return l;
}

std::array<uint8_t, TZip64Locator::kSize> EncodeZip64Locator(const TZip64Locator& l) {
  TZAByteWriter w;
  w.U32(l.Signature);
  w.U32(l.Zip64EndDisk);
  w.U64(l.Zip64EndOffset);
  w.U32(l.TotalDisks);
  return toArray<TZip64Locator::kSize>(w);
}

std::array<uint8_t, kZip64LocalExtraSize> EncodeLocalZip64Extra(uint64_t uncompressedSize, uint64_t compressedSize) {
  TZAByteWriter w;
  w.U16(0x0001);
  w.U16(16);
  w.U64(uncompressedSize);
  w.U64(compressedSize);
  return toArray<kZip64LocalExtraSize>(w);
}

uint16_t ZAVersionFor(bool zip64, bool oemFileNames) {
  if (zip64) return 45;
  return oemFileNames ? 20 : 0x0B14;
}

bool ZAEndRecordAccepted(uint64_t position, uint16_t commentLength, uint64_t streamSize) {
  return ZARangeFits(position, TZipEndOfCentralDir::kSize, streamSize) &&
         streamSize - position - TZipEndOfCentralDir::kSize == commentLength;
}

}  // namespace zip
