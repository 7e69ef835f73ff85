#include <algorithm>
#include <vector>

#include "zip/za_archiver.h"
#include "zip/za_except.h"
#include "zip/za_names.h"
#include "zip/za_range.h"

namespace zip {

namespace {

constexpr int64_t kCopyBlock = 1 << 20;

uint32_t u32At(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// The length of a data descriptor that follows an entry's data, 0 when none
// is recognised there.
int64_t descriptorLength(platform::TStream& backup, int64_t at, const TDirItem& entry) {
  uint8_t b[24] = {};
  backup.SetPosition(at);
  const int64_t n = backup.Read(b, sizeof b);
  const bool zip64 = entry.CompressedSize == kMarker32 || entry.UncompressedSize == kMarker32;
  const int64_t body = zip64 ? 20 : 12;
  if (n >= 4 + body && u32At(b) == kDataDescriptorSignature && u32At(b + 4) == entry.Crc) return 4 + body;
  if (n >= body && u32At(b) == entry.Crc) return body;
  return 0;
}

}  // namespace

void TZABaseArchiver::copyBackupBytes(int64_t from, int64_t count) {
  std::vector<uint8_t> block(static_cast<size_t>(std::min(std::max<int64_t>(count, 1), kCopyBlock)));
  platform::TStream* out = archiveStream_.get();
  backupStream_->SetPosition(from);
  while (count > 0) {
    const int64_t n = std::min<int64_t>(count, static_cast<int64_t>(block.size()));
    backupStream_->ReadBuffer(block.data(), n);
    WriteArchiveBuffer(block.data(), n, nullptr, -1, volumeInfo_, out);
    count -= n;
  }
}

void TZABaseArchiver::CopyUnchangedItem(int32_t index) {
  TDirItem& item = *dirManager_->ArchiveDir.GetItemPtr(index);
  TZADirArray& rollback = dirManager_->RollbackDir;
  const bool renamed = item.PendingOperation == poRename;
  const std::string& oldName = renamed ? item.PreviousName : item.FileName;
  // Among entries of one name the one at the same place is this entry.
  int32_t found = -1;
  for (int32_t r = 0; r < rollback.Count(); ++r) {
    const TDirItem& candidate = *rollback.GetItemPtr(r);
    if (candidate.FileName != oldName) continue;
    if (found < 0) found = r;
    if (candidate.TrueLocalHeaderOffset() == item.TrueLocalHeaderOffset()) {
      found = r;
      break;
    }
  }
  if (found < 0) raise(7);
  const TDirItem old = *rollback.GetItemPtr(found);
  if (item.PendingOperation == poUpdate) item = old;

  // The record comes from the backup; its lengths are the archive's own
  // bytes and are held to what the backup holds.
  if (!backupStream_) raise(7);
  const uint64_t oldOffset = old.TrueLocalHeaderOffset();
  const int64_t backupSize = backupStream_->Size();
  if (oldOffset < static_cast<uint64_t>(startPosition_)) raise(7);
  const uint64_t at = oldOffset - static_cast<uint64_t>(startPosition_);
  if (!ZARangeFits(at, TZipLocalHeader::kSize, static_cast<uint64_t>(backupSize))) raise(35);
  uint8_t raw[TZipLocalHeader::kSize];
  backupStream_->SetPosition(static_cast<int64_t>(at));
  backupStream_->ReadBuffer(raw, sizeof raw);
  TZipLocalHeader header = *DecodeLocalHeader(raw);
  if (header.Signature != kLocalHeaderSignature) raise(35);
  const uint64_t dataStart = at + TZipLocalHeader::kSize + header.NameLength + header.ExtraLength;
  const uint64_t compressed = old.TrueCompressedSize();
  if (!ZARangeFits(dataStart, compressed, static_cast<uint64_t>(backupSize))) raise(35);
  int64_t tail = static_cast<int64_t>(compressed);
  if (header.Flags & kFlagDataDescriptor)
    tail += descriptorLength(*backupStream_, static_cast<int64_t>(dataStart + compressed), old);

  platform::TStream* out = archiveStream_.get();
  const uint64_t position = static_cast<uint64_t>(out->Position());
  if (position >= kMarker32) {
    if (Zip64Mode == zmDisabled) throw EZAException::CreateFmt(43, Name, {item.FileName});
    item.HasZip64 = true;
    item.LocalHeaderOffset = kMarker32;
  } else {
    item.LocalHeaderOffset = static_cast<uint32_t>(position);
  }
  item.LocalHeaderOffset64 = position;

  if (item.StorePending && renamed) {
    const uint64_t extraAt = at + TZipLocalHeader::kSize + header.NameLength;
    const TZAStoredName name = ZAEncodeStoredName(item.FileName, item.VersionMadeBy, item.Flags,
                                                  Options().OEMFileNames);
    header.NameLength = static_cast<uint16_t>(name.Bytes.size());
    header.Flags = static_cast<uint16_t>((header.Flags & ~kFlagUtf8) | (item.Flags & kFlagUtf8));
    const auto bytes = EncodeLocalHeader(header);
    WriteArchiveBuffer(bytes.data(), static_cast<int64_t>(bytes.size()), nullptr, -1, volumeInfo_, out);
    WriteArchiveBuffer(name.Bytes.data(), static_cast<int64_t>(name.Bytes.size()), nullptr, -1, volumeInfo_, out);
    copyBackupBytes(static_cast<int64_t>(extraAt), static_cast<int64_t>(dataStart - extraAt) + tail);
  } else {
    copyBackupBytes(static_cast<int64_t>(at), static_cast<int64_t>(dataStart - at) + tail);
  }
}

}  // namespace zip
