#include <optional>

#include "zip/directory/za_data_descriptor.h"
#include "zip/directory/za_dir_manager.h"
#include "zip/directory/za_local_entry.h"
#include "zip/directory/za_signature_scanner.h"
#include "zip/directory/za_stored_archive.h"
#include "zip/directory/za_unfinished_entry.h"
#include "zip/format/za_bytes.h"
#include "zip/format/za_extra_field.h"
#include "zip/format/za_range.h"
#include "zip/names/za_names.h"
#include "zip/za_except.h"

namespace zip {

namespace {

constexpr int64_t kRebuildWindow = 65535;
constexpr uint16_t kUnixExtraId = 0x000d;
constexpr uint16_t kInfoZipUnixExtraId = 0x7875;
constexpr uint16_t kInfoZipOldUnixExtraId = 0x5855;

std::string_view asText(const std::vector<uint8_t>& b) { return {reinterpret_cast<const char*>(b.data()), b.size()}; }

// A size too wide for its field, or one whose field carries the marker, goes to the Zip64 value.
void setSize(uint32_t& field, uint64_t& wide, uint64_t value) {
  if (field == kMarker32 || value >= kMarker32) {
    field = kMarker32;
    wide = value;
  } else {
    field = static_cast<uint32_t>(value);
  }
}

}  // namespace

TDirItem TZADirManager::rebuiltItem(const TZALocalEntry& e, int64_t position) {
  const TZipLocalHeader& lh = e.Header;
  TDirItem item;
  item.Signature = kCentralHeaderSignature;
  item.VersionMadeBy = item.VersionNeeded = lh.VersionNeeded;
  item.Flags = lh.Flags;
  item.Method = lh.Method;
  item.ModTime = lh.ModTime;
  item.ModDate = lh.ModDate;
  item.Crc = lh.Crc;
  item.CompressedSize = lh.CompressedSize;
  item.UncompressedSize = lh.UncompressedSize;
  item.NameLength = lh.NameLength;
  item.ExtraLength = lh.ExtraLength;
  if (e.Sized) {
    setSize(item.CompressedSize, item.CompressedSize64, e.CompressedSize);
    setSize(item.UncompressedSize, item.UncompressedSize64, e.UncompressedSize);
  }
  setSize(item.LocalHeaderOffset, item.LocalHeaderOffset64, static_cast<uint64_t>(position));
  item.HasZip64 = item.CompressedSize == kMarker32 || item.UncompressedSize == kMarker32 ||
                  item.LocalHeaderOffset == kMarker32;
  const uint64_t nameLength = std::min<uint64_t>(lh.NameLength, kMaxNameLength);
  std::vector<uint8_t> raw(static_cast<size_t>(nameLength));
  stream_->SetPosition(position + static_cast<int64_t>(TZipLocalHeader::kSize));
  stream_->ReadBuffer(raw.data(), static_cast<int64_t>(raw.size()));
  // The local header has no host: a Unix block in its extra field tells that
  // the name was stored raw, as the central directory would say. Without one,
  // an unflagged name that is UTF-8 beyond ASCII was written raw by a Unix
  // writer too: an OEM name almost never reads as UTF-8.
  bool unixName = (item.Flags & kFlagUtf8) == 0 && ZALooksLikeRawUtf8(asText(raw));
  for (const ExtraBlock& block : ParseExtraField(e.Extra)) {
    if (block.HeaderId == kUnixExtraId || block.HeaderId == kInfoZipUnixExtraId ||
        block.HeaderId == kInfoZipOldUnixExtraId)
      unixName = true;
  }
  if (unixName) item.VersionMadeBy = static_cast<uint16_t>((uint16_t{kHostUnix} << 8) | (lh.VersionNeeded & 0xFF));
  ZASetStoredName(item, ZADecodeStoredName(asText(raw), item.Flags, item.VersionMadeBy, oemFileNames()),
                  oemFileNames());
  // Only a name that ends with "/" is a folder: an empty file stays a file.
  item.ExternalAttributes = !item.FileName.empty() && item.FileName.back() == '/' ? 0x10 : 0x20;
  return item;
}

void TZADirManager::rebuildFromLocalHeaders() {
  Rebuilt = true;
  const uint64_t size = static_cast<uint64_t>(stream_->Size());
  TZASignatureScanner headers(*stream_, kLocalHeaderSignature, kRebuildWindow);
  TZASignatureScanner descriptors(*stream_, kDataDescriptorSignature, kRebuildWindow);
  const auto headerFits = [&](int64_t p) {
    return p >= 0 && ZARangeFits(static_cast<uint64_t>(p), TZipLocalHeader::kSize, size);
  };
  // What the file holds ends at its end, or where a pass of ours was killed
  // inside an entry: a later update writes from there. A pass writes from
  // the end of the last whole entry or of a stub, so its unfinished header
  // lies in the bytes passed over since the last whole entry, before the
  // next one (the unfinished entry's data may hold another archive's headers).
  CentralDirStart = stream_->Size();
  int64_t passedFrom = 0;
  stoppedAtUnfinished_ = false;
  const auto killedBefore = [&](int64_t to) {
    const int64_t q = ZAFindUnfinishedEntry(*stream_, passedFrom, to, size);
    if (q >= 0) CentralDirStart = q;
    return stoppedAtUnfinished_ = q >= 0;
  };
  int64_t p = headers.Find(0);
  if (!headerFits(p)) {
    if (killedBefore(stream_->Size())) return;
    throw EZAException(zeInvalidArchive, settings_.ComponentName());
  }
  // Where the next entry must begin: the end of the last whole one.
  int64_t expected = 0;
  bool stopped = false;
  for (; headerFits(p); p = headers.Find(p)) {
    const std::optional<TZALocalEntry> e = ZAReadLocalEntry(*stream_, p, size);
    // Bytes that only look like a header are not worth a search of the rest
    // of the file for a descriptor.
    if (!e || (e->Described() && !e->Plausible())) {
      p += 4;
      continue;
    }
    const std::optional<TZADataDescriptor> d =
        e->Described() ? ZAFindDataDescriptor(*stream_, descriptors, *e, size) : std::nullopt;
    // A header whose long extra field is no run of blocks is believed where
    // its entry ends at the next record. Else, where an entry must begin, it
    // is the cut point, so that what its data hold (a stored archive's
    // headers) never becomes entries; elsewhere it is bytes that look like one.
    std::optional<uint64_t> descriptorEnd;
    if (d) descriptorEnd = d->End();
    if (!e->ExtraTrusted && !ZAEndAtARecord(*stream_, *e, descriptorEnd, size)) {
      if (e->Plausible() && p == expected) {
        if (!killedBefore(p)) CentralDirStart = p;
        stopped = true;
        break;
      }
      p += 4;
      continue;
    }
    // An entry whose data run past the end of the file (its sizes known, or
    // its descriptor never found) is where a download was cut or an update
    // killed: it is left out, and what lies inside its data (a stored
    // archive's own headers) is never taken for entries. A later update
    // writes over it, so that its header never claims what that update appends.
    if ((e->Sized && !ZARangeFits(e->DataStart, e->CompressedSize, size)) || (e->Described() && !d)) {
      if (e->Plausible()) {
        if (!killedBefore(p)) CentralDirStart = p;
        stopped = true;
        break;
      }
      p += 4;
      continue;
    }
    int64_t next = p + 4;
    TDirItem item = rebuiltItem(*e, p);
    bool whole = false;
    if (d) {
      item.Crc = d->Crc;
      setSize(item.CompressedSize, item.CompressedSize64, d->CompressedSize);
      setSize(item.UncompressedSize, item.UncompressedSize64, d->UncompressedSize);
      item.HasZip64 = item.HasZip64 || item.CompressedSize == kMarker32 || item.UncompressedSize == kMarker32;
      whole = true;
      next = static_cast<int64_t>(d->End());
    } else if (e->Sized) {
      whole = true;
      next = static_cast<int64_t>(e->DataEnd());
    }
    if (whole) {
      if (killedBefore(p)) {
        stopped = true;
        break;
      }
      const int32_t n = ArchiveDir.Count();
      ArchiveDir.SetCount(n + 1);
      *ArchiveDir.GetItemPtr(n) = std::move(item);
      passedFrom = next;
      expected = next;
    }
    p = next;
  }
  if (!stopped) killedBefore(stream_->Size());
  dropStoredArchiveEntries();
}

void TZADirManager::dropStoredArchiveEntries() {
  const int32_t n = ArchiveDir.Count();
  if (n == 0) return;
  std::vector<uint64_t> positions(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) positions[static_cast<size_t>(i)] = ArchiveDir.GetItemPtr(i)->TrueLocalHeaderOffset();
  // The last header of this archive that the walk met: the cut point, if any, stands after every entry.
  const uint64_t size = static_cast<uint64_t>(stream_->Size());
  const uint64_t last = static_cast<uint64_t>(CentralDirStart) < size ? static_cast<uint64_t>(CentralDirStart)
                                                                     : positions.back();
  const std::optional<size_t> first = ZAFirstStoredArchiveEntry(*stream_, positions, last, size);
  if (!first) return;
  // The cut now stands before the unfinished entry, at a stored archive's first header.
  CentralDirStart = static_cast<int64_t>(positions[*first]);
  stoppedAtUnfinished_ = false;
  ArchiveDir.SetCount(static_cast<int32_t>(*first));
}

bool TZADirManager::insideAnEntry(uint64_t position) {
  const uint64_t size = static_cast<uint64_t>(stream_->Size());
  TZASignatureScanner headers(*stream_, kLocalHeaderSignature, kRebuildWindow);
  // An entry that a pass of ours was killed in runs to the end of the file;
  // its header lies in the bytes passed over since the last whole entry.
  int64_t passedFrom = 0;
  const auto killedBefore = [&](int64_t to) { return ZAFindUnfinishedEntry(*stream_, passedFrom, to, size) >= 0; };
  // Where the next entry must begin: the end of the last whole one.
  int64_t expected = 0;
  for (int64_t p = headers.Find(0); p >= 0 && static_cast<uint64_t>(p) < position;) {
    int64_t next = p + 4;
    const auto e = ZAReadLocalEntry(*stream_, p, size);
    // A doubtful extra field, as the rebuild takes it: believed where its data
    // end at a record; else, where an entry must begin, the cut point.
    const bool believed = e && (e->ExtraTrusted || ZAEndAtARecord(*stream_, *e, std::nullopt, size));
    if (e && !believed && e->Plausible() && p == expected) return true;
    if (believed && e->Plausible() && e->DataStart <= position) {
      if (killedBefore(p)) return true;
      const uint64_t into = position - e->DataStart;
      // Data of unknown size may hold anything.
      if (!e->Sized || into < e->CompressedSize) return true;
      next = static_cast<int64_t>(e->DataEnd());
      passedFrom = next;
      expected = next;
    }
    p = headers.Find(next);
  }
  return killedBefore(static_cast<int64_t>(position));
}

}  // namespace zip
