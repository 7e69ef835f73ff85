#pragma once
// The data descriptor that ends an entry whose local header left its sizes to one.
#include <cstdint>
#include <optional>

#include "platform/core/streams.h"
#include "zip/directory/za_local_entry.h"
#include "zip/directory/za_signature_scanner.h"

namespace zip {

struct TZADataDescriptor {
  uint32_t Crc = 0;
  uint64_t CompressedSize = 0;
  uint64_t UncompressedSize = 0;
  uint64_t Position = 0;  // of its signature
  uint64_t Length = 0;    // 16, or 24 after a Zip64 header
  uint64_t End() const { return Position + Length; }
};

// The first signed descriptor after the entry's data start that ends them: its
// compressed size is its distance from there and, for data kept as they are,
// its CRC is theirs. A stored archive's own descriptors are passed over.
// Nothing when there is none: the data were cut. The scanner searches for the
// descriptor signature in stream.
std::optional<TZADataDescriptor> ZAFindDataDescriptor(platform::TStream& stream, TZASignatureScanner& scanner,
                                                      const TZALocalEntry& entry, uint64_t streamSize);

}  // namespace zip
