#include "zip/directory/za_local_entry.h"

#include "zip/format/za_bytes.h"
#include "zip/format/za_extra_field.h"
#include "zip/format/za_range.h"

namespace zip {

std::optional<TZALocalEntry> ZAReadLocalEntry(platform::TStream& stream, int64_t position, uint64_t streamSize) {
  const uint64_t at = static_cast<uint64_t>(position);
  if (position < 0 || !ZARangeFits(at, TZipLocalHeader::kSize, streamSize)) return std::nullopt;
  uint8_t raw[TZipLocalHeader::kSize];
  stream.SetPosition(position);
  stream.ReadBuffer(raw, sizeof raw);
  TZALocalEntry e;
  e.Header = *DecodeLocalHeader(raw);
  const TZipLocalHeader& h = e.Header;
  e.DataStart = at + TZipLocalHeader::kSize + h.NameLength + h.ExtraLength;
  if (e.DataStart > streamSize) return std::nullopt;
  e.Extra.resize(h.ExtraLength);
  stream.SetPosition(static_cast<int64_t>(at + TZipLocalHeader::kSize + h.NameLength));
  stream.ReadBuffer(e.Extra.data(), static_cast<int64_t>(e.Extra.size()));
  e.ExtraTrusted = h.ExtraLength <= kMaxLooseLocalExtra || ExtraFieldWellFormed(e.Extra);

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

bool ZARecordStartsAt(platform::TStream& stream, uint64_t position, uint64_t streamSize) {
  if (position == streamSize) return true;
  if (!ZARangeFits(position, 4, streamSize)) return false;
  uint8_t raw[4];
  stream.SetPosition(static_cast<int64_t>(position));
  stream.ReadBuffer(raw, sizeof raw);
  const uint32_t signature = TZAByteReader(raw).U32();
  return signature == kLocalHeaderSignature || signature == kCentralHeaderSignature ||
         signature == kEndOfCentralDirSignature || signature == kZip64EndOfCentralDirSignature;
}

std::optional<uint64_t> ZAEndAtARecord(platform::TStream& stream, const TZALocalEntry& entry,
                                       std::optional<uint64_t> descriptorEnd, uint64_t streamSize) {
  if (!descriptorEnd && !(entry.Sized && ZARangeFits(entry.DataStart, entry.CompressedSize, streamSize)))
    return std::nullopt;
  const uint64_t end = descriptorEnd ? *descriptorEnd : entry.DataEnd();
  if (!ZARecordStartsAt(stream, end, streamSize)) return std::nullopt;
  return end;
}

bool ZAUnfinishedEntryAt(platform::TStream& stream, int64_t position, uint64_t streamSize) {
  const std::optional<TZALocalEntry> e = ZAReadLocalEntry(stream, position, streamSize);
  if (!e || e->Header.Signature != kUnfinishedEntrySignature || !e->Plausible()) return false;
  // The sizes come with the signature: until then the compressed size is 0,
  // or the marker of the Zip64 block that the header alone carries.
  const TZipLocalHeader& h = e->Header;
  if (h.CompressedSize == 0) return h.ExtraLength == 0;
  const std::vector<ExtraBlock> blocks = ParseExtraField(e->Extra);
  return h.CompressedSize == kMarker32 && h.ExtraLength == kZip64LocalExtraSize && blocks.size() == 1 &&
         blocks[0].HeaderId == kZip64ExtraId;
}

}  // namespace zip
