#include "zip/directory/za_stored_archive.h"

#include <algorithm>

#include "platform/core/exceptions.h"
#include "zip/directory/za_block_reader.h"
#include "zip/directory/za_central_entry.h"
#include "zip/directory/za_local_entry.h"
#include "zip/directory/za_signature_scanner.h"
#include "zip/format/za_range.h"
#include "zip/format/za_records.h"

namespace zip {

namespace {

constexpr int64_t kSearchWindow = 65535;

template <size_t N>
bool readAt(platform::TStream& s, uint64_t position, uint8_t (&raw)[N], uint64_t size) {
  if (!ZARangeFits(position, N, size)) return false;
  s.SetPosition(static_cast<int64_t>(position));
  s.ReadBuffer(raw, N);
  return true;
}

}  // namespace

std::vector<uint64_t> ZAStoredArchiveHeaders(platform::TStream& stream, uint64_t position, uint64_t streamSize) {
  uint8_t raw[TZipEndOfCentralDir::kSize];
  if (!readAt(stream, position, raw, streamSize)) return {};
  const TZipEndOfCentralDir rec = *DecodeEndOfCentralDir(raw);
  if (rec.Signature != kEndOfCentralDirSignature) return {};
  uint64_t end = position, dirSize = rec.DirSize, dirOffset = rec.DirOffset, count = rec.TotalEntries;
  constexpr uint64_t kZip64Tail = TZip64Locator::kSize + TZip64EndOfCentralDir::kSize;
  if (position >= kZip64Tail) {
    uint8_t loc[TZip64Locator::kSize], z64[TZip64EndOfCentralDir::kSize];
    if (readAt(stream, position - TZip64Locator::kSize, loc, streamSize) &&
        DecodeZip64Locator(loc)->Signature == kZip64LocatorSignature &&
        readAt(stream, position - kZip64Tail, z64, streamSize)) {
      const TZip64EndOfCentralDir z = *DecodeZip64EndOfCentralDir(z64);
      if (z.Signature == kZip64EndOfCentralDirSignature) {
        end = position - kZip64Tail;
        dirSize = z.DirSize;
        dirOffset = z.DirOffset;
        count = z.TotalEntries;
      }
    }
  }
  if (count == 0 || dirSize > end || !ZACountFits(count, TZipCentralHeader::kSize, dirSize)) return {};
  const uint64_t start = end - dirSize;
  if (dirOffset >= start) return {};
  const uint64_t base = start - dirOffset;
  std::vector<uint64_t> headers;
  try {
    TZABlockReader r(stream, static_cast<int64_t>(start));
    for (uint64_t i = 0; i < count; ++i) {
      if (static_cast<uint64_t>(r.Position()) + TZipCentralHeader::kSize > end || !r.Fill(TZipCentralHeader::kSize))
        return {};
      const TZipCentralHeader h = *DecodeCentralHeader(r.View());
      if (h.Signature != kCentralHeaderSignature) return {};
      const size_t tail = size_t{h.NameLength} + h.ExtraLength + h.CommentLength;
      if (static_cast<uint64_t>(r.Position()) + TZipCentralHeader::kSize + tail > end ||
          !r.Fill(TZipCentralHeader::kSize + tail))
        return {};
      TDirItem item;
      ReadCentralEntryTail(h, r.View().subspan(TZipCentralHeader::kSize, tail), false, item);
      const uint64_t offset = item.TrueLocalHeaderOffset();
      if (offset < streamSize - base) headers.push_back(base + offset);
      r.Skip(TZipCentralHeader::kSize + tail);
    }
    if (static_cast<uint64_t>(r.Position()) != end) return {};
  } catch (const platform::EReadError&) {
    return {};
  }
  return headers;
}

std::optional<size_t> ZAFirstStoredArchiveEntry(platform::TStream& stream, const std::vector<uint64_t>& positions,
                                                uint64_t last, uint64_t streamSize) {
  std::optional<size_t> first;
  TZASignatureScanner ends(stream, kEndOfCentralDirSignature, kSearchWindow);
  for (int64_t at = ends.Find(0); at >= 0 && static_cast<uint64_t>(at) + TZipEndOfCentralDir::kSize <= last;
       at = ends.Find(at + 1)) {
    for (const uint64_t header : ZAStoredArchiveHeaders(stream, static_cast<uint64_t>(at), streamSize)) {
      const auto it = std::lower_bound(positions.begin(), positions.end(), header);
      if (it == positions.end() || *it != header) continue;
      const size_t index = static_cast<size_t>(it - positions.begin());
      if (!first || index < *first) first = index;
    }
  }
  return first;
}

bool ZALocalHeaderFrom(platform::TStream& stream, uint64_t position, uint64_t streamSize) {
  TZASignatureScanner headers(stream, kLocalHeaderSignature, kSearchWindow);
  for (int64_t at = headers.Find(static_cast<int64_t>(position)); at >= 0; at = headers.Find(at + 1)) {
    const auto e = ZAReadLocalEntry(stream, at, streamSize);
    if (e && e->Plausible()) return true;
  }
  return false;
}

}  // namespace zip
