#include "zip/directory/za_data_descriptor.h"

#include <algorithm>
#include <vector>

#include "zip/format/za_bytes.h"
#include "zip/format/za_crc32.h"
#include "zip/format/za_range.h"
#include "zip/format/za_records.h"

namespace zip {

namespace {

std::optional<TZADataDescriptor> readAt(platform::TStream& s, uint64_t position, bool zip64, uint64_t size) {
  TZADataDescriptor d;
  d.Position = position;
  d.Length = zip64 ? 24 : 16;
  if (!ZARangeFits(position, d.Length, size)) return std::nullopt;
  uint8_t raw[24];
  s.SetPosition(static_cast<int64_t>(position));
  s.ReadBuffer(raw, static_cast<int64_t>(d.Length));
  TZAByteReader r(std::span<const uint8_t>(raw, static_cast<size_t>(d.Length)));
  if (r.U32() != kDataDescriptorSignature) return std::nullopt;
  d.Crc = r.U32();
  d.CompressedSize = zip64 ? r.U64() : r.U32();
  d.UncompressedSize = zip64 ? r.U64() : r.U32();
  return d;
}

// The CRC of the bytes from a start on, carried forward as the end moves on,
// so that many candidates cost one read of the data.
class RunningCrc {
 public:
  RunningCrc(platform::TStream& s, uint64_t start) : stream_(s), end_(start) {}
  uint32_t UpTo(uint64_t end) {
    constexpr uint64_t kChunk = 65536;
    if (end > end_) {
      buf_.resize(static_cast<size_t>(std::min(end - end_, kChunk)));
      stream_.SetPosition(static_cast<int64_t>(end_));
    }
    while (end_ < end) {
      const int64_t n = static_cast<int64_t>(std::min(end - end_, kChunk));
      stream_.ReadBuffer(buf_.data(), n);
      crc_ = UpdateCRC32(crc_, buf_.data(), n);
      end_ += static_cast<uint64_t>(n);
    }
    return ~crc_;
  }

 private:
  platform::TStream& stream_;
  uint64_t end_;
  uint32_t crc_ = kCrcSeed;
  std::vector<uint8_t> buf_;
};

}  // namespace

std::optional<TZADataDescriptor> ZAFindDataDescriptor(platform::TStream& stream, TZASignatureScanner& scanner,
                                                      const TZALocalEntry& entry, uint64_t streamSize) {
  // Only stored data without encryption are the bytes whose CRC the descriptor holds.
  const bool plain = entry.Header.Method == 0 && (entry.Header.Flags & kFlagEncrypted) == 0;
  RunningCrc crc(stream, entry.DataStart);
  for (int64_t at = scanner.Find(static_cast<int64_t>(entry.DataStart)); at >= 0; at = scanner.Find(at + 1)) {
    const uint64_t position = static_cast<uint64_t>(at);
    const auto d = readAt(stream, position, entry.Zip64, streamSize);
    if (d && d->CompressedSize == position - entry.DataStart &&
        (!plain || crc.UpTo(position) == d->Crc))
      return d;
  }
  return std::nullopt;
}

}  // namespace zip
