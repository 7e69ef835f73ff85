#include "zip/directory/za_archive_chain.h"

#include <algorithm>
#include <cstring>

#include "zip/directory/za_central_entry.h"
#include "zip/directory/za_dir_item.h"
#include "zip/directory/za_unfinished_entry.h"
#include "zip/format/za_crc32.h"
#include "zip/format/za_range.h"
#include "zip/format/za_records.h"

namespace zip {

namespace {

constexpr size_t kHeader = TZipLocalHeader::kSize;

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t u32(const uint8_t* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24; }

bool isLocalSignature(const uint8_t* p) { return p[0] == 'P' && p[1] == 'K' && p[2] == 3 && p[3] == 4; }

// Fields at a header's place that a writer could have put there, whatever
// its signature says: a version up to 9.9 (or ours), a method up to 99, a name.
bool headerShaped(const uint8_t* p) {
  const bool version = (p[5] == 0 && p[4] < 100) || u16(p + 4) == ZAVersionFor(false, false);
  return version && p[9] == 0 && p[8] < 100 && u16(p + 26) > 0;
}

// Whether the last bytes of a file are the first of a record's signature: the file was cut there.
bool signaturePrefix(const uint8_t* p, size_t n) {
  const bool zeros = std::all_of(p, p + n, [](uint8_t b) { return b == 0; });
  if (zeros) return true;
  if (p[0] != 'P' || (n > 1 && p[1] != 'K')) return false;
  return n < 3 || p[2] == 1 || p[2] == 3 || p[2] == 5;
}

enum class Unfinished { no, yes, cut };

// What the bytes from a position say of an unfinished header there; held
// short of what the answer takes, the file was cut inside one.
Unfinished unfinishedIn(std::span<const uint8_t> bytes, bool fileEndsThere) {
  size_t needed = 0;
  if (ZAUnfinishedEntryIn(bytes, needed)) return Unfinished::yes;
  if (needed > bytes.size() && fileEndsThere && bytes.size() >= kUnfinishedSifted &&
      ZAMayBeUnfinishedEntry(bytes.data()))
    return Unfinished::cut;
  return Unfinished::no;
}

// The same, read from the stream at position (a few bytes, seldom).
bool unfinishedAt(platform::TStream& s, uint64_t position, uint64_t size) {
  if (!ZARangeFits(position, kHeader, size)) return false;
  std::vector<uint8_t> raw(kHeader);
  s.SetPosition(static_cast<int64_t>(position));
  s.ReadBuffer(raw.data(), static_cast<int64_t>(raw.size()));
  size_t needed = 0;
  if (ZAUnfinishedEntryIn(raw, needed)) return true;
  if (needed <= raw.size() || !ZARangeFits(position, needed, size)) return false;
  raw.resize(needed);
  s.ReadBuffer(raw.data() + kHeader, static_cast<int64_t>(needed - kHeader));
  return ZAUnfinishedEntryIn(raw, needed);
}

}  // namespace

TZAArchiveChain::TZAArchiveChain(platform::TStream& stream)
    : stream_(stream), size_(static_cast<uint64_t>(stream.Size())), reader_(stream, 0) {}

void TZAArchiveChain::findStart() {
  start_ = -1;
  startClaimed_ = false;
  // Where the entries of headers met before the start would begin or end.
  std::vector<uint64_t> claims;
  const auto claim = [&](const uint8_t* p, uint64_t at) {
    const TZipLocalHeader h = *DecodeLocalHeader(std::span<const uint8_t>(p, kHeader));
    const uint64_t data = at + kHeader + h.NameLength + h.ExtraLength;
    claims.push_back(data);
    if ((h.Flags & kFlagDataDescriptor) == 0 && h.CompressedSize != kMarker32) claims.push_back(data + h.CompressedSize);
  };
  reader_.Seek(0);
  while (start_ < 0) {
    const size_t held = reader_.Load(TZABlockReader::kBlock);
    if (held < kHeader) return;
    const uint64_t from = static_cast<uint64_t>(reader_.Position());
    const bool last = from + held >= size_;
    const uint8_t* b = reader_.View().data();
    // Every position with a header's fixed bytes behind it; the others come
    // with the next block, but at the file's end, where none can stand.
    const size_t scan = held - kHeader + 1;
    size_t i = 0;
    for (; i < scan; ++i) {
      const uint8_t* p = b + i;
      const uint64_t at = from + i;
      if (isLocalSignature(p)) {
        TZALocalEntry fixed;
        fixed.Header = *DecodeLocalHeader(std::span<const uint8_t>(p, kHeader));
        if (fixed.Plausible()) {
          start_ = static_cast<int64_t>(at);
          break;
        }
        claim(p, at);
        continue;
      }
      if (p[0] == 0 && ZAMayBeUnfinishedEntry(p) && unfinishedAt(stream_, at, size_)) {
        start_ = static_cast<int64_t>(at);
        break;
      }
      if (headerShaped(p)) claim(p, at);
    }
    if (start_ >= 0 || last) break;
    reader_.Skip(i);
  }
  if (start_ >= 0) startClaimed_ = std::find(claims.begin(), claims.end(), static_cast<uint64_t>(start_)) != claims.end();
}

bool TZAArchiveChain::recordAt(uint64_t position) {
  if (position == size_) return true;
  if (!ZARangeFits(position, 4, size_)) return false;
  uint8_t raw[4];
  stream_.SetPosition(static_cast<int64_t>(position));
  stream_.ReadBuffer(raw, sizeof raw);
  const uint32_t signature = u32(raw);
  if (signature == kUnfinishedEntrySignature) return unfinishedAt(stream_, position, size_);
  return signature == kLocalHeaderSignature || signature == kCentralHeaderSignature ||
         signature == kEndOfCentralDirSignature;
}

bool TZAArchiveChain::crcOf(uint64_t from, uint64_t to, uint32_t crc) {
  std::vector<uint8_t> block(static_cast<size_t>(std::min<uint64_t>(to - from, TZABlockReader::kBlock)));
  uint32_t value = kCrcSeed;
  stream_.SetPosition(static_cast<int64_t>(from));
  for (uint64_t at = from; at < to;) {
    const int64_t n = static_cast<int64_t>(std::min<uint64_t>(to - at, block.size()));
    stream_.ReadBuffer(block.data(), n);
    value = UpdateCRC32(value, block.data(), n);
    at += static_cast<uint64_t>(n);
  }
  return ~value == crc;
}

std::optional<TZADataDescriptor> TZAArchiveChain::findDescriptor(const TZALocalEntry& e) {
  // Only stored data without encryption are the bytes whose CRC the descriptor holds.
  const bool plain = e.Header.Method == kMethodStored && (e.Header.Flags & kFlagEncrypted) == 0;
  const size_t length = static_cast<size_t>(ZADescriptorLength(e.Zip64));
  reader_.Seek(static_cast<int64_t>(e.DataStart));
  for (;;) {
    const size_t held = reader_.Load(TZABlockReader::kBlock);
    if (held < length) return std::nullopt;
    const uint64_t from = static_cast<uint64_t>(reader_.Position());
    const uint8_t* b = reader_.View().data();
    // Every position with a whole descriptor behind it.
    const size_t scan = held - length + 1;
    for (const uint8_t* p = b; (p = static_cast<const uint8_t*>(std::memchr(p, 'P', scan - (p - b)))) != nullptr; ++p) {
      if (u32(p) != kDataDescriptorSignature) continue;
      const uint64_t at = from + static_cast<uint64_t>(p - b);
      const std::optional<TZADataDescriptor> d = ZADecodeDataDescriptor(std::span<const uint8_t>(p, length), at, e.Zip64);
      // Its size is its distance from the data's start: a stored archive's
      // own descriptors are not. Where no record follows it, the CRC of data
      // kept as they are must agree too.
      if (!d || d->CompressedSize != at - e.DataStart) continue;
      if (recordAt(d->End()) || (plain && crcOf(e.DataStart, at, d->Crc))) return d;
      if (!plain) return d;
    }
    if (from + held >= size_) return std::nullopt;
    reader_.Skip(scan);
  }
}

bool TZAArchiveChain::listsThisChain(int64_t position) {
  reader_.Seek(position);
  // A directory cut inside its first header has nothing to tell.
  if (reader_.Load(TZipCentralHeader::kSize) < TZipCentralHeader::kSize) return true;
  const TZipCentralHeader h = *DecodeCentralHeader(reader_.View());
  uint64_t offset = h.LocalHeaderOffset;
  if (offset == kMarker32) {
    const size_t whole = TZipCentralHeader::kSize + h.NameLength + h.ExtraLength + h.CommentLength;
    if (reader_.Load(whole) < whole) return true;
    TDirItem item;
    ReadCentralEntryTail(h, reader_.View().subspan(TZipCentralHeader::kSize, whole - TZipCentralHeader::kSize), false,
                         item);
    offset = item.TrueLocalHeaderOffset();
  }
  // Offsets count from the file's start, or from the end of a stub.
  for (const uint64_t base : {uint64_t{0}, static_cast<uint64_t>(start_)}) {
    const uint64_t at = offset + base;
    const auto it = std::lower_bound(marks_.begin(), marks_.end(), at,
                                     [](const Mark& m, uint64_t p) { return m.position < p; });
    if (it != marks_.end() && it->position == at && it->crc == h.Crc) return true;
  }
  return false;
}

TZAChainEnd TZAArchiveChain::Walk(const std::function<bool(const TZAChainEntry&)>& onEntry) {
  marks_.clear();
  findStart();
  if (start_ < 0) return ended(TZAChainEnd::NoStart, static_cast<int64_t>(size_));
  if (startClaimed_) return ended(TZAChainEnd::Break, start_);
  uint64_t p = static_cast<uint64_t>(start_);
  std::vector<uint8_t> name;
  for (;;) {
    const int64_t here = static_cast<int64_t>(p);
    reader_.Seek(here);
    const size_t held = reader_.Load(kHeader);
    if (held == 0) return ended(TZAChainEnd::FileEnd, here);
    const uint8_t* b = reader_.View().data();
    if (held < 4) return ended(signaturePrefix(b, held) ? TZAChainEnd::Cut : TZAChainEnd::Break, here);
    const uint32_t signature = u32(b);
    if (signature == kCentralHeaderSignature)
      return ended(listsThisChain(here) ? TZAChainEnd::Directory : TZAChainEnd::Break, here);
    if (signature == kEndOfCentralDirSignature) {
      // Right after entries, only an empty directory's end record: one that
      // lists entries belongs to an archive stored in one.
      if (reader_.Load(TZipEndOfCentralDir::kSize) < TZipEndOfCentralDir::kSize) return ended(TZAChainEnd::Cut, here);
      const TZipEndOfCentralDir rec = *DecodeEndOfCentralDir(reader_.View());
      const bool empty = rec.TotalEntries == 0 && rec.DirSize == 0;
      return ended(empty ? TZAChainEnd::Directory : TZAChainEnd::Break, here);
    }
    if (signature == kUnfinishedEntrySignature) {
      const bool fileEnds = p + held >= size_;
      Unfinished u = unfinishedIn(reader_.View().first(held), fileEnds);
      if (u == Unfinished::no) {
        size_t needed = 0;
        ZAUnfinishedEntryIn(reader_.View().first(held), needed);
        if (needed > held) {
          const size_t more = reader_.Load(needed);
          u = unfinishedIn(reader_.View().first(more), p + more >= size_);
        }
      }
      if (u == Unfinished::yes) return ended(TZAChainEnd::Unfinished, here);
      return ended(u == Unfinished::cut ? TZAChainEnd::Cut : TZAChainEnd::Break, here);
    }
    if (signature != kLocalHeaderSignature) return ended(TZAChainEnd::Break, here);
    if (held < kHeader) return ended(TZAChainEnd::Cut, here);
    const TZipLocalHeader h = *DecodeLocalHeader(reader_.View());
    const size_t whole = kHeader + h.NameLength + h.ExtraLength;
    if (reader_.Load(whole) < whole) return ended(TZAChainEnd::Cut, here);
    std::optional<TZALocalEntry> e = ZADecodeLocalEntry(reader_.View().first(whole), p);
    if (!e || !e->Plausible() || !e->SizesAgree()) return ended(TZAChainEnd::Break, here);
    const auto nameBytes = reader_.View().subspan(kHeader, h.NameLength);
    name.assign(nameBytes.begin(), nameBytes.end());
    TZAChainEntry entry;
    entry.Position = here;
    if (e->Sized) {
      // Data running past the end: the file was cut in them.
      if (!ZARangeFits(e->DataStart, e->CompressedSize, size_)) return ended(TZAChainEnd::Cut, here);
      entry.End = e->DataEnd();
    } else if (e->Described()) {
      entry.Descriptor = findDescriptor(*e);
      if (!entry.Descriptor) {
        // A header that gives the size as well is damaged where its descriptor would lie inside the file.
        const uint32_t stated = h.CompressedSize;
        if (stated != 0 && stated != kMarker32 &&
            ZARangeFits(e->DataStart, uint64_t{stated} + ZADescriptorLength(e->Zip64), size_))
          return ended(TZAChainEnd::Break, here);
        return ended(TZAChainEnd::Cut, here);
      }
      entry.End = entry.Descriptor->End();
    } else {
      // A marked size without the Zip64 block that would hold it.
      return ended(TZAChainEnd::Break, here);
    }
    entry.Local = std::move(*e);
    entry.Name = name;
    if (!onEntry(entry)) return ended(TZAChainEnd::Stopped, here);
    marks_.push_back({p, entry.Descriptor ? entry.Descriptor->Crc : h.Crc});
    p = entry.End;
  }
}

}  // namespace zip
