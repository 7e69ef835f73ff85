#include "zip/directory/za_unfinished_entry.h"

#include <algorithm>
#include <span>
#include <vector>

#include "platform/core/dos_datetime.h"
#include "zip/directory/za_local_entry.h"
#include "zip/format/za_bytes.h"
#include "zip/format/za_records.h"

namespace zip {

namespace {

constexpr int64_t kWindow = 65536;
// Signature, version, flags and method: what a candidate is first sifted by.
constexpr int64_t kSifted = 10;

// The versions a pass of ours writes (Zip64, OEM names, names as they are).
struct OurVersions {
  uint16_t v[3] = {ZAVersionFor(true, true), ZAVersionFor(false, true), ZAVersionFor(false, false)};
  bool has(uint16_t x) const { return x == v[0] || x == v[1] || x == v[2]; }
  // Most bytes fail this first: zero runs, and 253 of 256 others.
  bool lowByte(uint8_t x) const {
    return x == static_cast<uint8_t>(v[0]) || x == static_cast<uint8_t>(v[1]) || x == static_cast<uint8_t>(v[2]);
  }
};

// The header's first bytes as a pass of ours writes them.
bool siftedIn(const uint8_t* p, const OurVersions& versions) {
  static_assert(kUnfinishedEntrySignature == 0);
  if (!versions.lowByte(p[4]) || (p[0] | p[1] | p[2] | p[3]) != 0) return false;
  TZAByteReader fields(std::span<const uint8_t>(p + 4, kSifted - 4));
  const uint16_t version = fields.U16(), flags = fields.U16(), method = fields.U16();
  return versions.has(version) && (flags & ~(kFlagEncrypted | kFlagUtf8)) == 0 &&
         (method == kMethodStored || method == kMethodDeflated);
}

bool ourUnfinishedEntryAt(platform::TStream& stream, int64_t position, uint64_t streamSize) {
  if (!ZAUnfinishedEntryAt(stream, position, streamSize)) return false;
  const std::optional<TZALocalEntry> e = ZAReadLocalEntry(stream, position, streamSize);
  if (!e) return false;
  // A pass writes a date-time in range; one that needs bringing into range is someone else's.
  const platform::DosDateTime written = platform::makeDosDateTime(e->Header.ModDate, e->Header.ModTime);
  if (platform::normalizeDosDateTime(written) != written) return false;
  std::vector<uint8_t> name(e->Header.NameLength);
  stream.SetPosition(position + static_cast<int64_t>(TZipLocalHeader::kSize));
  stream.ReadBuffer(name.data(), static_cast<int64_t>(name.size()));
  return std::find(name.begin(), name.end(), uint8_t{0}) == name.end();
}

}  // namespace

int64_t ZAFindUnfinishedEntry(platform::TStream& stream, int64_t from, int64_t to, uint64_t streamSize) {
  to = std::min(to, static_cast<int64_t>(streamSize) - static_cast<int64_t>(TZipLocalHeader::kSize) + 1);
  const OurVersions versions;
  std::vector<uint8_t> block;
  for (int64_t start = std::max<int64_t>(from, 0); start < to;) {
    // Each window holds the sifted bytes of every candidate it starts.
    const int64_t candidates = std::min(kWindow, to - start);
    block.resize(static_cast<size_t>(candidates + kSifted - 1));
    stream.SetPosition(start);
    stream.ReadBuffer(block.data(), static_cast<int64_t>(block.size()));
    for (int64_t i = 0; i < candidates; ++i) {
      if (!siftedIn(block.data() + i, versions)) continue;
      if (ourUnfinishedEntryAt(stream, start + i, streamSize)) return start + i;
    }
    start += candidates;
  }
  return -1;
}

}  // namespace zip
