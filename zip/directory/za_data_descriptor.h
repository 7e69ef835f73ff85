#pragma once
// The data descriptor that ends an entry whose local header left its sizes to one.
#include <cstdint>
#include <optional>
#include <span>

namespace zip {

struct TZADataDescriptor {
  uint32_t Crc = 0;
  uint64_t CompressedSize = 0;
  uint64_t UncompressedSize = 0;
  uint64_t Position = 0;  // of its signature
  uint64_t Length = 0;    // 16, or 24 after a Zip64 header
  uint64_t End() const { return Position + Length; }
};

inline constexpr uint64_t ZADescriptorLength(bool zip64) { return zip64 ? 24 : 16; }

// The signed descriptor that bytes (at position in the stream) begin with;
// nothing when they hold no signature or fewer bytes than it takes.
std::optional<TZADataDescriptor> ZADecodeDataDescriptor(std::span<const uint8_t> bytes, uint64_t position, bool zip64);

}  // namespace zip
