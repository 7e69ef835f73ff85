#include <optional>

#include "zip/directory/za_archive_chain.h"
#include "zip/directory/za_dir_manager.h"
#include "zip/format/za_bytes.h"
#include "zip/format/za_extra_field.h"
#include "zip/format/za_range.h"
#include "zip/names/za_names.h"
#include "zip/za_except.h"

namespace zip {

namespace {

constexpr uint16_t kUnixExtraId = 0x000d;
constexpr uint16_t kInfoZipUnixExtraId = 0x7875;
constexpr uint16_t kInfoZipOldUnixExtraId = 0x5855;

std::string_view asText(std::span<const uint8_t> b) { return {reinterpret_cast<const char*>(b.data()), b.size()}; }

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

TDirItem TZADirManager::rebuiltItem(const TZAChainEntry& entry) {
  const TZALocalEntry& e = entry.Local;
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
  setSize(item.LocalHeaderOffset, item.LocalHeaderOffset64, static_cast<uint64_t>(entry.Position));
  item.HasZip64 = item.CompressedSize == kMarker32 || item.UncompressedSize == kMarker32 ||
                  item.LocalHeaderOffset == kMarker32;
  const std::span<const uint8_t> raw = entry.Name.first(std::min<size_t>(entry.Name.size(), kMaxNameLength));
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
  ZASetStoredName(item, ZADecodeStoredName(asText(entry.Name), item.Flags, item.VersionMadeBy, oemFileNames()),
                  oemFileNames());
  // Only a name that ends with "/" is a folder: an empty file stays a file.
  item.ExternalAttributes = !item.FileName.empty() && item.FileName.back() == '/' ? 0x10 : 0x20;
  if (const std::optional<TZADataDescriptor>& d = entry.Descriptor) {
    item.Crc = d->Crc;
    setSize(item.CompressedSize, item.CompressedSize64, d->CompressedSize);
    setSize(item.UncompressedSize, item.UncompressedSize64, d->UncompressedSize);
    item.HasZip64 = item.HasZip64 || item.CompressedSize == kMarker32 || item.UncompressedSize == kMarker32;
  }
  return item;
}

void TZADirManager::rebuildFromLocalHeaders() {
  Rebuilt = true;
  stoppedAtUnfinished_ = false;
  // What the file holds ends at its end, or where it was cut inside an entry,
  // or where a pass of ours was killed inside one: a later update writes
  // from there, so that no header ever claims what that update appends.
  CentralDirStart = stream_->Size();
  TZAArchiveChain chain(*stream_);
  const TZAChainEnd end = chain.Walk([&](const TZAChainEntry& entry) {
    const int32_t n = ArchiveDir.Count();
    ArchiveDir.SetCount(n + 1);
    *ArchiveDir.GetItemPtr(n) = rebuiltItem(entry);
    return true;
  });
  switch (end) {
    case TZAChainEnd::NoStart:
      throw EZAException(zeInvalidArchive, settings_.ComponentName());
    case TZAChainEnd::Break:
      // Entries behind the damage may lie inside an entry's data, and the
      // ones before it are not the archive: none is given.
      ArchiveDir.SetCount(0);
      throw EZAException(zeDamagedArchive, settings_.ComponentName());
    case TZAChainEnd::Unfinished:
      stoppedAtUnfinished_ = true;
      CentralDirStart = chain.EndPosition();
      break;
    case TZAChainEnd::Cut:
      CentralDirStart = chain.EndPosition();
      break;
    default:
      break;
  }
}

bool TZADirManager::insideAnEntry(uint64_t position) {
  TZAArchiveChain chain(*stream_);
  bool inside = false;
  const TZAChainEnd end = chain.Walk([&](const TZAChainEntry& entry) {
    if (static_cast<uint64_t>(entry.Position) >= position) return false;
    inside = position < entry.End;
    return !inside;
  });
  if (inside) return true;
  // Where the chain broke, was cut or a pass of ours was killed at or before
  // the position, nothing tells that it does not lie inside an entry.
  const bool unproven = end == TZAChainEnd::Break || end == TZAChainEnd::Cut || end == TZAChainEnd::Unfinished;
  return unproven && static_cast<uint64_t>(chain.EndPosition()) <= position;
}

}  // namespace zip
