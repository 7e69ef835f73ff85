#include <algorithm>
#include <functional>
#include <string_view>
#include <vector>

#include "zip/archiver/za_archiver_impl.h"
#include "zip/za_archiver.h"
#include "zip/za_except.h"
#include "zip/names/za_names.h"
#include "zip/format/za_range.h"

namespace zip {

namespace {

constexpr int64_t kCopyBlock = 256 * 1024;

uint32_t u32At(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// The length of a data descriptor whose first bytes are given (n of them),
// 0 when none is recognised there.
int64_t descriptorLength(const uint8_t* b, int64_t n, const TDirItem& entry) {
  const bool zip64 = entry.CompressedSize == kMarker32 || entry.UncompressedSize == kMarker32;
  const int64_t body = zip64 ? 20 : 12;
  if (n >= 4 + body && u32At(b) == kDataDescriptorSignature && u32At(b + 4) == entry.Crc) return 4 + body;
  if (n >= body && u32At(b) == entry.Crc) return body;
  return 0;
}

}  // namespace

void TZABaseArchiver::Impl::copyBackupBytes(int64_t from, int64_t count) {
  std::vector<uint8_t> block(static_cast<size_t>(std::min(std::max<int64_t>(count, 1), kCopyBlock)));
  platform::TStream* out = archiveStream_.get();
  backupStream_->SetPosition(from);
  while (count > 0) {
    const int64_t n = std::min<int64_t>(count, static_cast<int64_t>(block.size()));
    backupStream_->ReadBuffer(block.data(), n);
    WriteArchiveBuffer(block.data(), n, nullptr, -1, volumeInfo_, out);
    cutMarkAt_ = -1;
    count -= n;
  }
}

// Kept entries that follow each other in the backup are copied as one run:
// a pass over many small entries costs a few large reads and writes.
void TZABaseArchiver::Impl::queueBackupCopy(int64_t from, int64_t count, int64_t to) {
  if (pendingCopy_.count > 0 && pendingCopy_.from + pendingCopy_.count == from &&
      pendingCopy_.to + pendingCopy_.count == to) {
    pendingCopy_.count += count;
    return;
  }
  flushBackupCopy();
  pendingCopy_ = {from, count, to};
}

void TZABaseArchiver::Impl::flushBackupCopy() {
  const PendingCopy run = pendingCopy_;
  pendingCopy_ = {};
  if (run.count > 0) copyBackupBytes(run.from, run.count);
}

int64_t TZABaseArchiver::Impl::readBackupAt(int64_t at, uint8_t* buffer, int64_t count) {
  constexpr int64_t kWindow = 256 * 1024;
  const int64_t cached = static_cast<int64_t>(backupWindow_.size());
  if (backupWindowAt_ < 0 || at < backupWindowAt_ || at + count > backupWindowAt_ + cached) {
    backupWindow_.resize(static_cast<size_t>(std::max(kWindow, count)));
    backupStream_->SetPosition(at);
    int64_t got = 0;
    while (got < static_cast<int64_t>(backupWindow_.size())) {
      const int64_t room = static_cast<int64_t>(backupWindow_.size()) - got;
      const int64_t n = backupStream_->Read(backupWindow_.data() + got, room);
      if (n <= 0) break;
      got += n;
    }
    backupWindow_.resize(static_cast<size_t>(got));
    backupWindowAt_ = at;
  }
  const int64_t n = std::clamp<int64_t>(backupWindowAt_ + static_cast<int64_t>(backupWindow_.size()) - at, 0, count);
  std::copy_n(backupWindow_.data() + (at - backupWindowAt_), n, buffer);
  return n;
}

// An open-addressing table of rollback indexes keyed by stored name: a few
// bytes per entry, where a node-based map would cost more than the entries' names.
void TZABaseArchiver::Impl::indexRollbackDir() {
  TZADirArray& rollback = dirManager_->RollbackDir;
  const size_t n = static_cast<size_t>(rollback.Count());
  size_t slots = 16;
  while (slots < 2 * n) slots *= 2;
  rollbackSlots_.assign(slots, -1);
  rollbackSameName_.assign(n, -1);
  // Walked from the end so that each chain starts at the first of its name.
  for (int32_t r = rollback.Count() - 1; r >= 0; --r) {
    const std::string& name = rollback.GetItemPtr(r)->FileName;
    for (size_t s = std::hash<std::string_view>{}(name) & (slots - 1);; s = (s + 1) & (slots - 1)) {
      int32_t& slot = rollbackSlots_[s];
      if (slot >= 0 && rollback.GetItemPtr(slot)->FileName != name) continue;
      rollbackSameName_[static_cast<size_t>(r)] = slot;
      slot = r;
      break;
    }
  }
}

int32_t TZABaseArchiver::Impl::findRollbackItem(const std::string& name, uint64_t offset) const {
  if (rollbackSlots_.empty()) return -1;
  TZADirArray& rollback = dirManager_->RollbackDir;
  const size_t mask = rollbackSlots_.size() - 1;
  int32_t first = -1;
  for (size_t s = std::hash<std::string_view>{}(name)&mask;; s = (s + 1) & mask) {
    const int32_t slot = rollbackSlots_[s];
    if (slot < 0) return -1;
    if (rollback.GetItemPtr(slot)->FileName == name) {
      first = slot;
      break;
    }
  }
  // Among entries of one name the one at the same place is this entry.
  for (int32_t r = first; r >= 0; r = rollbackSameName_[static_cast<size_t>(r)])
    if (rollback.GetItemPtr(r)->TrueLocalHeaderOffset() == offset) return r;
  return first;
}

uint64_t TZABaseArchiver::Impl::keptDataEnd(const TDirItem& entry, bool exact) const {
  const uint64_t at = entry.TrueLocalHeaderOffset();
  uint64_t end = at + TZipLocalHeader::kSize + entry.NameLength + entry.TrueCompressedSize();
  if (!exact) return end;
  const uint64_t size = static_cast<uint64_t>(archiveStream_->Size());
  if (!ZARangeFits(at, TZipLocalHeader::kSize, size)) return std::max(end, size + 1);
  uint8_t raw[TZipLocalHeader::kSize];
  archiveStream_->SetPosition(static_cast<int64_t>(at));
  archiveStream_->ReadBuffer(raw, sizeof raw);
  const TZipLocalHeader header = *DecodeLocalHeader(raw);
  // A damaged header is the copy's concern: the directory's figures stand.
  if (header.Signature != kLocalHeaderSignature) return end;
  end = at + TZipLocalHeader::kSize + header.NameLength + header.ExtraLength + entry.TrueCompressedSize();
  if (end <= size && (header.Flags & kFlagDataDescriptor)) {
    uint8_t b[24] = {};
    archiveStream_->SetPosition(static_cast<int64_t>(end));
    const int64_t n = archiveStream_->Read(b, sizeof b);
    end += static_cast<uint64_t>(descriptorLength(b, n, entry));
  }
  return end;
}

void TZABaseArchiver::Impl::CopyUnchangedItem(int32_t index) {
  TDirItem& item = *dirManager_->ArchiveDir.GetItemPtr(index);
  TZADirArray& rollback = dirManager_->RollbackDir;
  const bool renamed = item.PendingOperation == poRename;
  const std::string& oldName = renamed ? item.Extras().PreviousName : item.FileName;
  const int32_t found = findRollbackItem(oldName, item.TrueLocalHeaderOffset());
  if (found < 0) raise(zeKeptEntryMissing);
  const TDirItem& old = *rollback.GetItemPtr(found);
  if (item.PendingOperation == poUpdate) item = old;

  // The record comes from the backup; its lengths are the archive's own
  // bytes and are held to what the backup holds.
  if (!backupStream_) raise(zeKeptEntryMissing);
  const uint64_t oldOffset = old.TrueLocalHeaderOffset();
  const int64_t backupSize = backupSize_;
  if (oldOffset < static_cast<uint64_t>(startPosition_)) raise(zeKeptEntryMissing);
  const uint64_t at = oldOffset - static_cast<uint64_t>(startPosition_);
  if (!ZARangeFits(at, TZipLocalHeader::kSize, static_cast<uint64_t>(backupSize))) raise(zeInvalidArchive);
  uint8_t raw[TZipLocalHeader::kSize];
  if (readBackupAt(static_cast<int64_t>(at), raw, sizeof raw) != TZipLocalHeader::kSize) raise(zeInvalidArchive);
  TZipLocalHeader header = *DecodeLocalHeader(raw);
  if (header.Signature != kLocalHeaderSignature) raise(zeInvalidArchive);
  const uint64_t dataStart = at + TZipLocalHeader::kSize + header.NameLength + header.ExtraLength;
  const uint64_t compressed = old.TrueCompressedSize();
  if (!ZARangeFits(dataStart, compressed, static_cast<uint64_t>(backupSize))) raise(zeInvalidArchive);
  int64_t tail = static_cast<int64_t>(compressed);
  if (header.Flags & kFlagDataDescriptor) {
    uint8_t b[24] = {};
    const int64_t n = readBackupAt(static_cast<int64_t>(dataStart + compressed), b, sizeof b);
    tail += descriptorLength(b, n, old);
  }

  platform::TStream* out = archiveStream_.get();
  const uint64_t position =
      static_cast<uint64_t>(pendingCopy_.count > 0 ? pendingCopy_.to + pendingCopy_.count : out->Position());
  if (position >= kMarker32) {
    if (a_.Zip64Mode == zmDisabled) throw EZAException::CreateFmt(zeZip64Off, a_.Name, {item.FileName});
    item.HasZip64 = true;
    item.LocalHeaderOffset = kMarker32;
  } else {
    item.LocalHeaderOffset = static_cast<uint32_t>(position);
  }
  item.LocalHeaderOffset64 = position;

  if (item.StorePending && renamed) {
    const uint64_t extraAt = at + TZipLocalHeader::kSize + header.NameLength;
    const TZAStoredName name =
        ZAEncodeStoredName(item.FileName, item.VersionMadeBy, item.Flags, a_.Options().OEMFileNames);
    header.NameLength = static_cast<uint16_t>(name.Bytes.size());
    header.Flags = static_cast<uint16_t>((header.Flags & ~kFlagUtf8) | (item.Flags & kFlagUtf8));
    const auto bytes = EncodeLocalHeader(header);
    flushBackupCopy();
    WriteArchiveBuffer(bytes.data(), static_cast<int64_t>(bytes.size()), nullptr, -1, volumeInfo_, out);
    WriteArchiveBuffer(name.Bytes.data(), static_cast<int64_t>(name.Bytes.size()), nullptr, -1, volumeInfo_, out);
    const int64_t to = static_cast<int64_t>(position + bytes.size() + name.Bytes.size());
    queueBackupCopy(static_cast<int64_t>(extraAt), static_cast<int64_t>(dataStart - extraAt) + tail, to);
  } else {
    queueBackupCopy(static_cast<int64_t>(at), static_cast<int64_t>(dataStart - at) + tail,
                    static_cast<int64_t>(position));
  }
}

}  // namespace zip
