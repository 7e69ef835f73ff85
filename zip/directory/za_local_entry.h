#pragma once
// What a local header says of its entry.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/core/streams.h"
#include "zip/format/za_records.h"

namespace zip {

struct TZALocalEntry {
  TZipLocalHeader Header;
  std::vector<uint8_t> Extra;
  uint64_t DataStart = 0;  // after the name and the extra field
  // Sizes marked 0xFFFFFFFF or a Zip64 block in the extra field: the data
  // descriptor, if any, has its 24-byte form.
  bool Zip64 = false;
  // The header gives the size of the data (no descriptor, and a marked size has its Zip64 value).
  bool Sized = false;
  uint64_t CompressedSize = 0;
  uint64_t UncompressedSize = 0;
  bool Described() const { return (Header.Flags & kFlagDataDescriptor) != 0; }
  // Fields no writer puts in a real header are what bytes that only look like
  // one (in a stub, in compressed data) hold: a version beyond 9.9 (but for
  // ours, which carries the host when names are not OEM), a method number
  // above 99, no name.
  bool Plausible() const {
    return (Header.VersionNeeded < 100 || Header.VersionNeeded == ZAVersionFor(false, false)) && Header.Method < 100 &&
           Header.NameLength > 0;
  }
  // Whether the two sizes can belong to one entry: equal for data kept as
  // they are (but for the encryption header), within what deflate can make
  // of them otherwise. A size that a damaged byte moved seldom still is.
  bool SizesAgree() const;
  uint64_t DataEnd() const { return DataStart + CompressedSize; }
};

// The header whose 30 fixed bytes, name and extra field are bytes (at
// position in the stream); the signature is not looked at. Nothing when
// bytes hold less than the header says.
std::optional<TZALocalEntry> ZADecodeLocalEntry(std::span<const uint8_t> bytes, uint64_t position);

// Reads the header at position with its extra field; nothing when they do not lie whole in the stream.
std::optional<TZALocalEntry> ZAReadLocalEntry(platform::TStream& stream, int64_t position, uint64_t streamSize);

}  // namespace zip
