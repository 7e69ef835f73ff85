#include "zip/format/za_records.h"

#include <algorithm>
#include <type_traits>

#include "zip/format/za_bytes.h"
#include "zip/format/za_range.h"

namespace zip {

namespace {

template <size_t N>
std::array<uint8_t, N> toArray(const TZAByteWriter& w) {
  std::array<uint8_t, N> out{};
  std::copy_n(w.Data().begin(), N, out.begin());
  return out;
}

// One field list per record serves both directions, so that reading and writing
// can never disagree on the layout.
struct FieldReader {
  TZAByteReader& r;
  void operator()(uint16_t& v) { v = r.U16(); }
  void operator()(uint32_t& v) { v = r.U32(); }
  void operator()(uint64_t& v) { v = r.U64(); }
};

struct FieldWriter {
  TZAByteWriter& w;
  void operator()(uint16_t v) { w.U16(v); }
  void operator()(uint32_t v) { w.U32(v); }
  void operator()(uint64_t v) { w.U64(v); }
};

// clang-format off
template <class R, class F>
void Fields(R& h, F&& f) requires std::is_same_v<std::remove_const_t<R>, TZipLocalHeader> {
  f(h.Signature); f(h.VersionNeeded); f(h.Flags); f(h.Method); f(h.ModTime); f(h.ModDate);
  f(h.Crc); f(h.CompressedSize); f(h.UncompressedSize); f(h.NameLength); f(h.ExtraLength);
}

template <class R, class F>
void Fields(R& d, F&& f) requires std::is_same_v<std::remove_const_t<R>, TZipDataDescriptor> {
  f(d.Signature); f(d.Crc); f(d.CompressedSize); f(d.UncompressedSize);
}

template <class R, class F>
void Fields(R& h, F&& f) requires std::is_same_v<std::remove_const_t<R>, TZipCentralHeader> {
  f(h.Signature); f(h.VersionMadeBy); f(h.VersionNeeded); f(h.Flags); f(h.Method); f(h.ModTime);
  f(h.ModDate); f(h.Crc); f(h.CompressedSize); f(h.UncompressedSize); f(h.NameLength);
  f(h.ExtraLength); f(h.CommentLength); f(h.DiskNumberStart); f(h.InternalAttributes);
  f(h.ExternalAttributes); f(h.LocalHeaderOffset);
}

template <class R, class F>
void Fields(R& e, F&& f) requires std::is_same_v<std::remove_const_t<R>, TZipEndOfCentralDir> {
  f(e.Signature); f(e.ThisDisk); f(e.DirStartDisk); f(e.EntriesOnDisk); f(e.TotalEntries);
  f(e.DirSize); f(e.DirOffset); f(e.CommentLength);
}

template <class R, class F>
void Fields(R& e, F&& f) requires std::is_same_v<std::remove_const_t<R>, TZip64EndOfCentralDir> {
  f(e.Signature); f(e.RecordSize); f(e.VersionMadeBy); f(e.VersionNeeded); f(e.ThisDisk);
  f(e.DirStartDisk); f(e.EntriesOnDisk); f(e.TotalEntries); f(e.DirSize); f(e.DirOffset);
}

template <class R, class F>
void Fields(R& l, F&& f) requires std::is_same_v<std::remove_const_t<R>, TZip64Locator> {
  f(l.Signature); f(l.Zip64EndDisk); f(l.Zip64EndOffset); f(l.TotalDisks);
}
// clang-format on

template <class Rec>
std::optional<Rec> decode(std::span<const uint8_t> bytes) {
  if (bytes.size() < Rec::kSize) return std::nullopt;
  TZAByteReader r(bytes);
  Rec rec;
  Fields(rec, FieldReader{r});
  return rec;
}

template <class Rec>
std::array<uint8_t, Rec::kSize> encode(const Rec& rec) {
  TZAByteWriter w;
  Fields(rec, FieldWriter{w});
  return toArray<Rec::kSize>(w);
}

}  // namespace

std::optional<TZipLocalHeader> DecodeLocalHeader(std::span<const uint8_t> bytes) {
  return decode<TZipLocalHeader>(bytes);
}

std::array<uint8_t, TZipLocalHeader::kSize> EncodeLocalHeader(const TZipLocalHeader& h) { return encode(h); }

std::optional<TZipDataDescriptor> DecodeDataDescriptor(std::span<const uint8_t> bytes) {
  auto d = decode<TZipDataDescriptor>(bytes);
  if (d && d->Signature != kDataDescriptorSignature) return std::nullopt;
  return d;
}

std::optional<TZipCentralHeader> DecodeCentralHeader(std::span<const uint8_t> bytes) {
  return decode<TZipCentralHeader>(bytes);
}

std::array<uint8_t, TZipCentralHeader::kSize> EncodeCentralHeader(const TZipCentralHeader& h) { return encode(h); }

std::optional<TZipEndOfCentralDir> DecodeEndOfCentralDir(std::span<const uint8_t> bytes) {
  return decode<TZipEndOfCentralDir>(bytes);
}

std::array<uint8_t, TZipEndOfCentralDir::kSize> EncodeEndOfCentralDir(const TZipEndOfCentralDir& e) {
  return encode(e);
}

std::optional<TZip64EndOfCentralDir> DecodeZip64EndOfCentralDir(std::span<const uint8_t> bytes) {
  return decode<TZip64EndOfCentralDir>(bytes);
}

std::array<uint8_t, TZip64EndOfCentralDir::kSize> EncodeZip64EndOfCentralDir(const TZip64EndOfCentralDir& e) {
  return encode(e);
}

std::optional<TZip64Locator> DecodeZip64Locator(std::span<const uint8_t> bytes) { return decode<TZip64Locator>(bytes); }

std::array<uint8_t, TZip64Locator::kSize> EncodeZip64Locator(const TZip64Locator& l) { return encode(l); }

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
