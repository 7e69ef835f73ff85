#include "zip/directory/za_unfinished_entry.h"

#include <algorithm>

#include "platform/core/dos_datetime.h"
#include "zip/directory/za_local_entry.h"
#include "zip/format/za_bytes.h"
#include "zip/format/za_extra_field.h"
#include "zip/format/za_records.h"

namespace zip {

namespace {

// The versions a pass of ours writes (Zip64, OEM names, names as they are).
struct OurVersions {
  uint16_t v[3] = {ZAVersionFor(true, true), ZAVersionFor(false, true), ZAVersionFor(false, false)};
  bool has(uint16_t x) const { return x == v[0] || x == v[1] || x == v[2]; }
  bool lowByte(uint8_t x) const {
    return x == static_cast<uint8_t>(v[0]) || x == static_cast<uint8_t>(v[1]) || x == static_cast<uint8_t>(v[2]);
  }
};

const OurVersions kOurs;

}  // namespace

bool ZAMayBeUnfinishedEntry(const uint8_t* p) {
  static_assert(kUnfinishedEntrySignature == 0);
  if (!kOurs.lowByte(p[4]) || (p[0] | p[1] | p[2] | p[3]) != 0) return false;
  TZAByteReader fields(std::span<const uint8_t>(p + 4, kUnfinishedSifted - 4));
  const uint16_t version = fields.U16(), flags = fields.U16(), method = fields.U16();
  return kOurs.has(version) && (flags & ~(kFlagEncrypted | kFlagUtf8)) == 0 &&
         (method == kMethodStored || method == kMethodDeflated);
}

bool ZAUnfinishedEntryIn(std::span<const uint8_t> bytes, size_t& needed) {
  needed = TZipLocalHeader::kSize;
  if (bytes.size() < needed) return false;
  if (!ZAMayBeUnfinishedEntry(bytes.data())) return false;
  const TZipLocalHeader h = *DecodeLocalHeader(bytes);
  needed += size_t{h.NameLength} + h.ExtraLength;
  const std::optional<TZALocalEntry> e = ZADecodeLocalEntry(bytes, 0);
  if (!e || !e->Plausible()) return false;
  // A pass writes a date-time in range; one that needs bringing into range is someone else's.
  const platform::DosDateTime written = platform::makeDosDateTime(h.ModDate, h.ModTime);
  if (platform::normalizeDosDateTime(written) != written) return false;
  const auto name = bytes.subspan(TZipLocalHeader::kSize, h.NameLength);
  if (std::find(name.begin(), name.end(), uint8_t{0}) != name.end()) return false;
  if (h.CompressedSize == 0) return h.ExtraLength == 0;
  const std::vector<ExtraBlock> blocks = ParseExtraField(e->Extra);
  return h.CompressedSize == kMarker32 && h.ExtraLength == kZip64LocalExtraSize && blocks.size() == 1 &&
         blocks[0].HeaderId == kZip64ExtraId;
}

}  // namespace zip
