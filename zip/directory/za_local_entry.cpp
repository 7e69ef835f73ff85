#include "zip/directory/za_local_entry.h"

#include "zip/format/za_bytes.h"
#include "zip/format/za_extra_field.h"
#include "zip/format/za_range.h"

namespace zip {

namespace {

constexpr uint64_t kEncryptionHeader = 12;
// Deflate never makes more than about a thousand bytes of one, and no writer
// makes data twice as long as they were.
constexpr uint64_t kDeflateMostRatio = 1032;
constexpr uint64_t kSlack = 1024;

}  // namespace

bool TZALocalEntry::SizesAgree() const {
  if (!Sized) return true;
  const bool encrypted = (Header.Flags & kFlagEncrypted) != 0;
  const uint64_t plain = encrypted ? CompressedSize - std::min(CompressedSize, kEncryptionHeader) : CompressedSize;
  if (Header.Method == kMethodStored) return plain == UncompressedSize && (!encrypted || CompressedSize >= kEncryptionHeader);
  if (Header.Method == kMethodDeflated) {
    const uint64_t most = UncompressedSize > (UINT64_MAX - kSlack) / 2 ? UINT64_MAX : 2 * UncompressedSize + kSlack;
    const uint64_t least = UncompressedSize / kDeflateMostRatio;
    return plain <= most && plain + 1 >= least;
  }
  return true;
}

std::optional<TZALocalEntry> ZADecodeLocalEntry(std::span<const uint8_t> bytes, uint64_t position) {
  if (bytes.size() < TZipLocalHeader::kSize) return std::nullopt;
  TZALocalEntry e;
  e.Header = *DecodeLocalHeader(bytes);
  const TZipLocalHeader& h = e.Header;
  const size_t tail = size_t{h.NameLength} + h.ExtraLength;
  if (bytes.size() < TZipLocalHeader::kSize + tail) return std::nullopt;
  e.DataStart = position + TZipLocalHeader::kSize + tail;
  const auto extra = bytes.subspan(TZipLocalHeader::kSize + h.NameLength, h.ExtraLength);
  e.Extra.assign(extra.begin(), extra.end());

  e.CompressedSize = h.CompressedSize;
  e.UncompressedSize = h.UncompressedSize;
  bool compressedKnown = h.CompressedSize != kMarker32, uncompressedKnown = h.UncompressedSize != kMarker32;
  e.Zip64 = !compressedKnown || !uncompressedKnown;
  for (const ExtraBlock& block : ParseExtraField(e.Extra)) {
    if (block.HeaderId != kZip64ExtraId) continue;
    e.Zip64 = true;
    // A local Zip64 block holds both sizes, the uncompressed one first; a
    // short one, from a writer that put only the marked size there, that one.
    TZAByteReader r(block.Data);
    if (r.Remaining() >= 16) {
      const uint64_t uncompressed = r.U64(), compressed = r.U64();
      if (!uncompressedKnown) e.UncompressedSize = uncompressed;
      if (!compressedKnown) e.CompressedSize = compressed;
      compressedKnown = uncompressedKnown = true;
    } else if (r.Remaining() >= 8 && compressedKnown != uncompressedKnown) {
      (uncompressedKnown ? e.CompressedSize : e.UncompressedSize) = r.U64();
      compressedKnown = uncompressedKnown = true;
    }
  }
  e.Sized = !e.Described() && compressedKnown && uncompressedKnown;
  return e;
}

std::optional<TZALocalEntry> ZAReadLocalEntry(platform::TStream& stream, int64_t position, uint64_t streamSize) {
  const uint64_t at = static_cast<uint64_t>(position);
  if (position < 0 || !ZARangeFits(at, TZipLocalHeader::kSize, streamSize)) return std::nullopt;
  std::vector<uint8_t> raw(TZipLocalHeader::kSize);
  stream.SetPosition(position);
  stream.ReadBuffer(raw.data(), static_cast<int64_t>(raw.size()));
  const TZipLocalHeader h = *DecodeLocalHeader(raw);
  const size_t tail = size_t{h.NameLength} + h.ExtraLength;
  if (!ZARangeFits(at + TZipLocalHeader::kSize, tail, streamSize)) return std::nullopt;
  raw.resize(TZipLocalHeader::kSize + tail);
  stream.ReadBuffer(raw.data() + TZipLocalHeader::kSize, static_cast<int64_t>(tail));
  return ZADecodeLocalEntry(raw, at);
}

}  // namespace zip
