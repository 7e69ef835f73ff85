#pragma once
// What a local header found by a signature search says of its entry.
#include <cstdint>
#include <optional>
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
  // False for a field longer than kMaxLooseLocalExtra that is no run of
  // blocks: random bytes after a stray signature seldom are one, so such a
  // header is believed only where its entry ends at the next record.
  bool ExtraTrusted = true;
  bool Described() const { return (Header.Flags & kFlagDataDescriptor) != 0; }
  // Fields no writer puts in a real header are what bytes that only look like
  // one (in a stub, in compressed data) hold: a version beyond 9.9 (but for
  // ours, which carries the host when names are not OEM), a method number
  // above 99, no name.
  bool Plausible() const {
    return (Header.VersionNeeded < 100 || Header.VersionNeeded == ZAVersionFor(false, false)) && Header.Method < 100 &&
           Header.NameLength > 0;
  }
  uint64_t DataEnd() const { return DataStart + CompressedSize; }
};

// The longest extra field a local header found by a search is believed with
// whatever it holds. A longer one (alignment padding makes them common) must
// read as whole blocks to be trusted.
inline constexpr uint16_t kMaxLooseLocalExtra = 260;

// Reads the header at position with its extra field; nothing when they do not lie whole in the stream.
std::optional<TZALocalEntry> ZAReadLocalEntry(platform::TStream& stream, int64_t position, uint64_t streamSize);

// Whether the stream ends at position or a record of the format begins there
// (a local or central header, an end record): where an entry whose header
// alone is doubtful must end to be believed.
bool ZARecordStartsAt(platform::TStream& stream, uint64_t position, uint64_t streamSize);

// Where the entry of a header with a doubtful extra field ends when that is at
// a record (ZARecordStartsAt): after its data descriptor, when descriptorEnd
// gives one, else after the data its sizes give. Nothing otherwise.
std::optional<uint64_t> ZAEndAtARecord(platform::TStream& stream, const TZALocalEntry& entry,
                                       std::optional<uint64_t> descriptorEnd, uint64_t streamSize);

// Whether the header at position is one of ours whose entry was still being
// written (kUnfinishedEntrySignature): everything from there on is what a
// killed pass left, not entries.
bool ZAUnfinishedEntryAt(platform::TStream& stream, int64_t position, uint64_t streamSize);

}  // namespace zip
