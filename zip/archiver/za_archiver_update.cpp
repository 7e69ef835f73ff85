#include <cerrno>
#include <algorithm>
#include <filesystem>

#include "platform/core/posix_file.h"
#include "zip/archiver/za_archiver_impl.h"
#include "zip/za_archiver.h"
#include "zip/volumes/za_medium.h"
#include "zip/za_except.h"

namespace zip {

namespace {

// Whether the file is the last volume of a multi-volume set: its end record
// names a disk after the first.
bool endsVolumeSet(TZADirVolumes& volumes, const TZADirSettings& settings, const std::string& name) {
  try {
    platform::TFileStream file(name, platform::fmOpenRead | platform::fmShareDenyNone);
    TZADirManager probe(&file, volumes, settings, false);
    TZipEndOfCentralDir record;
    int64_t position = -1;
    std::string comment;
    return probe.FindEndOfCentralDir(kEndOfCentralDirSignature, record, position, comment) && record.ThisDisk != 0;
  } catch (const platform::EStreamError&) {
    return false;
  }
}

// What a cut leaves where the pass writes next: the header of an unfinished
// entry with a one-byte name, which a rebuild stops at. The pass's first
// record (a header with its name, or a kept entry's record) covers it whole.
std::vector<uint8_t> cutMark(bool oemFileNames) {
  TZipLocalHeader header;
  header.Signature = kUnfinishedEntrySignature;
  header.VersionNeeded = ZAVersionFor(false, oemFileNames);
  header.ModDate = (1 << 5) | 1;  // 1980-01-01
  header.NameLength = 1;
  const auto bytes = EncodeLocalHeader(header);
  std::vector<uint8_t> mark(bytes.begin(), bytes.end());
  mark.push_back('-');
  return mark;
}

bool changesData(const TDirItem& item) {
  return item.StorePending && item.PendingOperation != poRename && item.PendingOperation != poChangeAttr &&
         item.PendingOperation != poChangeComment;
}

}  // namespace

int32_t TZABaseArchiver::Impl::FindFirstChangedItem() const {
  const TZADirArray& work = dirManager_->ArchiveDir;
  const TZADirArray& rollback = dirManager_->RollbackDir;
  const int32_t shorter = std::min(work.Count(), rollback.Count());
  for (int32_t i = 0; i < shorter; ++i) {
    const TDirItem& w = *work.GetItemPtr(i);
    const TDirItem& r = *rollback.GetItemPtr(i);
    // Names alone would take an entry for its same-named predecessor after
    // a deletion: the offset tells them apart.
    if (w.StorePending || w.FileName != r.FileName || w.TrueLocalHeaderOffset() != r.TrueLocalHeaderOffset()) return i;
  }
  return shorter;
}

void TZABaseArchiver::Impl::BackupArchiveTail(uint64_t offset) {
  const int64_t size = archiveStream_->Size();
  if (offset > static_cast<uint64_t>(size)) raise(zeInvalidArchive);
  backupWindowAt_ = -1;
  backupFileName_ = makeTempFileIn(backupFolder());
  try {
    backupStream_ = std::make_unique<platform::TFileStream>(backupFileName_, platform::fmOpenReadWrite);
    const int64_t count = size - static_cast<int64_t>(offset);
    if (count > 0) {
      archiveStream_->SetPosition(static_cast<int64_t>(offset));
      backupStream_->CopyFrom(*archiveStream_, count);
    }
    backupSize_ = std::max<int64_t>(count, 0);
  } catch (const platform::EWriteError&) {
    // A full disk where the backup goes: nothing of the archive is touched yet.
    const int reason = errno;
    DeleteBackupFile();
    errno = reason;
    raiseWriteFailed();
  } catch (...) {
    DeleteBackupFile();
    throw;
  }
}

int64_t TZABaseArchiver::Impl::updateStartPosition() const {
  // A directory rebuilt from the local headers is in no file: whatever
  // follows the last whole entry (a directory cut short, the entry a killed
  // pass left unfinished) goes, so that a pass killed later leaves its
  // unfinished header right behind it. Without entries, what stands in front
  // of where the rebuild stopped (a stub) stays. A kept entry whose data run
  // past the file would be overwritten: the archive is refused.
  if (dirManager_->RollbackDir.Count() == 0)
    return dirManager_->Rebuilt ? dirManager_->CentralDirStart : dirManager_->StubSize;
  const uint64_t end = liveEntriesEnd();
  if (end > static_cast<uint64_t>(archiveStream_->Size())) raise(zeInvalidArchive);
  return static_cast<int64_t>(end);
}

uint64_t TZABaseArchiver::Impl::liveEntriesEnd() const {
  TZADirArray& rollback = dirManager_->RollbackDir;
  // Entries are appended from the end of the last kept entry's record, not
  // from the old directory: bytes that no entry owns (a complete header among
  // them) never stay in front of new data, where a rebuild after a killed
  // pass would take them.
  uint64_t end = 0;
  int32_t last = 0;
  for (int32_t i = 0; i < rollback.Count(); ++i) {
    const TDirItem& entry = *rollback.GetItemPtr(i);
    end = std::max(end, keptDataEnd(entry, false));
    if (entry.TrueLocalHeaderOffset() > rollback.GetItemPtr(last)->TrueLocalHeaderOffset()) last = i;
  }
  return std::max(end, keptDataEnd(*rollback.GetItemPtr(last), true));
}

// The archive is cut back to at. Whole entries below at stay readable
// without what follows them; without any, the cut would leave nothing an
// update can open (a stub alone, an empty file) while the old entries lie
// only in the backup. The old entries then first lose what follows them (a
// directory, a killed pass's unfinished entry) and stay readable without it;
// a mark is laid at at, and only then goes what lies behind the mark. The
// pass's first record covers the mark. entriesEnd: the end of the old
// entries' records, -1 when there are none.
void TZABaseArchiver::Impl::cutBackTo(int64_t at, int64_t entriesEnd, bool entriesBelow) {
  platform::TStream& archive = *archiveStream_;
  cutMarkAt_ = -1;
  if (spanningMode_ != smNone || entriesBelow || archive.Size() <= at) {
    archive.SetSize(at);
    archive.SetPosition(at);
    return;
  }
  if (entriesEnd > at && archive.Size() > entriesEnd) archive.SetSize(entriesEnd);
  const std::vector<uint8_t> mark = cutMark(a_.Options().OEMFileNames);
  archive.SetPosition(at);
  archive.WriteBuffer(mark.data(), static_cast<int64_t>(mark.size()));
  archive.SetSize(at + static_cast<int64_t>(mark.size()));
  archive.SetPosition(at);
  cutMarkAt_ = at;
}

int64_t TZABaseArchiver::Impl::nextRecordPosition() {
  if (cutMarkAt_ < 0) return archiveStream_->Seek(0, platform::TSeekOrigin::soEnd);
  archiveStream_->SetPosition(cutMarkAt_);
  return cutMarkAt_;
}

int32_t TZABaseArchiver::Impl::firstRewrittenItem(uint64_t& tailStart) const {
  TZADirArray& rollback = dirManager_->RollbackDir;
  const int32_t n = rollback.Count();
  const int32_t changed = FindFirstChangedItem();
  if (changed >= n) return changed;
  // The rewrite starts at the lowest header from the first rewritten entry
  // on; every entry before it stays in place, so its data must end below
  // that point, whatever order the directory lists them in.
  std::vector<uint64_t> lowestFrom(static_cast<size_t>(n) + 1, UINT64_MAX);
  for (int32_t k = n - 1; k >= 0; --k)
    lowestFrom[static_cast<size_t>(k)] =
        std::min(lowestFrom[static_cast<size_t>(k) + 1], rollback.GetItemPtr(k)->TrueLocalHeaderOffset());
  std::vector<uint64_t> endBefore(static_cast<size_t>(changed) + 1, 0);
  std::vector<int32_t> highestBefore(static_cast<size_t>(changed) + 1, -1);
  for (int32_t k = 0; k < changed; ++k) {
    const TDirItem& entry = *rollback.GetItemPtr(k);
    const size_t at = static_cast<size_t>(k);
    endBefore[at + 1] = std::max(endBefore[at], keptDataEnd(entry, false));
    const int32_t h = highestBefore[at];
    highestBefore[at + 1] =
        h >= 0 && rollback.GetItemPtr(h)->TrueLocalHeaderOffset() >= entry.TrueLocalHeaderOffset() ? h : k;
  }
  int32_t first = changed;
  for (;;) {
    while (first > 0 && endBefore[static_cast<size_t>(first)] > lowestFrom[static_cast<size_t>(first)]) --first;
    // The kept entry that lies highest may carry a local extra field that
    // the directory does not show: its own header tells where its data end.
    const int32_t highest = highestBefore[static_cast<size_t>(first)];
    if (highest < 0 || keptDataEnd(*rollback.GetItemPtr(highest), true) <= lowestFrom[static_cast<size_t>(first)])
      break;
    first = highest;
  }
  tailStart = lowestFrom[static_cast<size_t>(first)];
  // Bytes that no entry owns between the kept entries and the first
  // rewritten one go with the rewrite: a complete record among them, left in
  // front of new data, would be taken by a rebuild after a killed pass.
  const int32_t highest = highestBefore[static_cast<size_t>(first)];
  if (highest >= 0)
    tailStart = std::min(tailStart, std::max(endBefore[static_cast<size_t>(first)],
                                             keptDataEnd(*rollback.GetItemPtr(highest), true)));
  return first;
}

// Stores or copies every entry from first on; whether the failure event asked to abort.
bool TZABaseArchiver::Impl::writeItemsFrom(int32_t first, std::vector<std::string>& movedSources) {
  TZADirArray& work = dirManager_->ArchiveDir;
  for (int32_t i = first; i < work.Count() && !cancel_;) {
    const bool store = changesData(*work.GetItemPtr(i));
    TZAAction action = fxaIgnore;
    bool written = false;
    if (store) flushBackupCopy();
    do {
      action = fxaIgnore;
      // A copy either lands whole or fails the pass: only a store has an attempt to cut back.
      const int64_t attemptStart = store ? nextRecordPosition() : 0;
      if (store) {
        written = StoreItem(i, action);
      } else {
        CopyUnchangedItem(i);
        written = true;
      }
      // What a failed attempt wrote goes: it would sit between entries and
      // take the room the next ones need.
      if (!written && spanningMode_ == smNone) cutBackTo(attemptStart, -1, keptBelowStart_ || i > first);
    } while (!written && action == fxaRetry && !cancel_);
    if (action == fxaAbort) {
      pendingCopy_ = {};
      return true;
    }
    if (cancel_) break;
    TDirItem& item = *work.GetItemPtr(i);
    if (written) {
      ++itemsDone_;
      if (store && item.PendingOperation == poMove && !item.IsFolder())
        movedSources.push_back(item.Extras().SourceFileName);
      ++i;
      continue;
    }
    // Passed over: a new entry goes, a replaced one keeps its old data.
    const bool hasOld = findRollbackItem(item.FileName, item.TrueLocalHeaderOffset()) >= 0;
    if (item.PendingOperation == poAdd || item.PendingOperation == poMove || !hasOld) {
      item.ReleaseSourceStream();
      work.Delete(i);
      continue;
    }
    nextRecordPosition();
    CopyUnchangedItem(i);
    ++i;
  }
  flushBackupCopy();
  return false;
}

void TZABaseArchiver::Impl::deleteMovedSources(const std::vector<std::string>& movedSources) {
  bool stopDeleting = false;
  for (size_t m = 0; m < movedSources.size() && !stopDeleting; ++m) {
    const std::string& source = movedSources[m];
    for (;;) {
      std::error_code ec;
      if (std::filesystem::remove(source, ec) || !std::filesystem::exists(source, ec)) break;
      const EZAException e = EZAException::CreateFmt(zeCannotDeleteFile, a_.Name, {source});
      TZAAction action = fxaIgnore;
      a_.DoOnProcessFileFailure(source, poMove, e.NativeError, e.ErrorCode, e.message(), action);
      if (action != fxaRetry) {
        stopDeleting = action == fxaAbort;
        break;
      }
    }
  }
}

void TZABaseArchiver::ApplyPendingUpdates() { impl_->ApplyPendingUpdates(); }

void TZABaseArchiver::Impl::ApplyPendingUpdates() {
  if (updateCount_ <= 0) return;
  updateCount_ = 0;
  if (!dirManager_ || !archiveStream_) return;
  TZADirArray& work = dirManager_->ArchiveDir;
  TZADirArray& rollback = dirManager_->RollbackDir;
  struct ProgressOff {
    bool& flag;
    ~ProgressOff() { flag = false; }
  } progressOff{progressEnabled_};
  itemsDone_ = 0;
  selectedCount_ = 0;
  TZAProcessOperation operation = poDelete;
  bool operationFound = false;
  for (int32_t i = 0; i < work.Count(); ++i) {
    const TDirItem& item = *work.GetItemPtr(i);
    if (!item.StorePending) continue;
    ++selectedCount_;
    if (!operationFound) operation = static_cast<TZAProcessOperation>(item.PendingOperation);
    operationFound = true;
  }
  cancel_ = false;
  progressEnabled_ = true;

  uint64_t tailStart = 0;
  const int32_t first = firstRewrittenItem(tailStart);
  a_.DoOnOverallProgress(0, operation, ppStart, cancel_);
  // Nothing is written: the directory in memory goes back to what the file holds.
  if (cancel_) {
    work.Assign(rollback);
    return;
  }
  const bool readOnly = !inMemory_ && fileOpenMode_ != kCreateMode && (fileOpenMode_ & 0x03) == platform::fmOpenRead;
  // Nothing to write: the file stays as it is, byte for byte. A directory
  // rebuilt from the local headers is not in the file: it is written.
  if (first == work.Count() && first == rollback.Count() && (!dirManager_->Rebuilt || readOnly)) {
    a_.DoOnOverallProgress(100, operation, ppEnd, cancel_);
    return;
  }
  try {
    if (readOnly) raise(zeReadOnly);
    // Volumes already written are not rewritten: a multi-volume archive is
    // written by one update from its creation.
    if (spanningMode_ != smNone && rollback.Count() > 0) raise(zeSpannedModification);
    if (first < rollback.Count()) {
      BackupArchiveTail(tailStart);
      startPosition_ = static_cast<int64_t>(tailStart);
    } else {
      startPosition_ = updateStartPosition();
    }
    keptBelowStart_ = first < rollback.Count() ? first > 0 : rollback.Count() > 0;
    cutBackTo(startPosition_, rollback.Count() > 0 ? static_cast<int64_t>(liveEntriesEnd()) : -1, keptBelowStart_);
  } catch (...) {
    DeleteBackupFile();
    work.Assign(rollback);
    throw;
  }

  bool aborted = false;
  std::vector<std::string> movedSources;
  // The index lasts for this pass only.
  struct IndexDrop {
    Impl& a;
    ~IndexDrop() {
      std::vector<int32_t>().swap(a.rollbackSlots_);
      decltype(a.rollbackSameName_)().swap(a.rollbackSameName_);
    }
  } indexDrop{*this};
  indexRollbackDir();
  try {
    volumeInfo_.SetVolumeNumber(0);
    if (spanningMode_ == smSpanning && IsFloppyDrive(a_.FileName))
      updateBuffer_ = std::make_unique<platform::TMemoryStream>();
    aborted = writeItemsFrom(first, movedSources);
    if (updateBuffer_ && !cancel_ && !aborted && updateBuffer_->Size() > 0) {
      platform::TStream* out = archiveStream_.get();
      WriteArchiveBuffer(updateBuffer_->Memory(), updateBuffer_->Size(), nullptr, -1, volumeInfo_, out);
    }
    updateBuffer_.reset();
    if (!cancel_ && !aborted) {
      // Nothing written since the cut: the directory goes where the mark lies.
      if (cutMarkAt_ >= 0) archiveStream_->SetSize(cutMarkAt_);
      cutMarkAt_ = -1;
      archiveStream_->Seek(0, platform::TSeekOrigin::soEnd);
      dirManager_->WriteDirectory(archiveStream_.get());
      DeleteBackupFile();
    }
  } catch (...) {
    updateBuffer_.reset();
    RollbackUpdate();
    throw;
  }
  if (cancel_ || aborted) {
    RollbackUpdate();
    return;
  }

  deleteMovedSources(movedSources);
  a_.DoOnOverallProgress(100, operation, ppEnd, cancel_);
  // The file now holds the working directory: it is what the next update starts from.
  for (int32_t i = 0; i < work.Count(); ++i) {
    TDirItem& item = *work.GetItemPtr(i);
    item.StorePending = false;
    item.PendingOperation = 0;
    if (!item.Extras().PreviousName.empty()) item.EditExtras().PreviousName.clear();
    item.ReleaseSourceStream();
  }
  rollback.Assign(work);
  // What this pass created stays: a later failed creation takes only its own volumes.
  createdVolumes_.clear();
  overwroteVolume_ = false;
  if (a_.Options().FlushBuffers)
    if (auto* file = dynamic_cast<platform::TFileStream*>(archiveStream_.get())) file->Flush();
}

void TZABaseArchiver::Impl::RollbackUpdate() {
  pendingCopy_ = {};
  dirManager_->ArchiveDir.Assign(dirManager_->RollbackDir);
  // A multi-volume set is written by one pass from its creation, and bytes
  // laid on earlier volumes cannot be taken back: the unfinished set goes
  // whole, rather than stay behind looking like an archive.
  if (spanningMode_ != smNone && fileOpenMode_ == kCreateMode && !inMemory_) {
    ReplaceStream(nullptr, {});
    for (const std::string& name : createdVolumes_) platform::removeQuietly(name);
    // An older set under the same name lost volumes to the new one: its last
    // volume would still list entries whose data are gone.
    const bool ownName =
        std::find(createdVolumes_.begin(), createdVolumes_.end(), a_.FileName) != createdVolumes_.end();
    if (overwroteVolume_ && !ownName && endsVolumeSet(*this, *this, a_.FileName)) platform::removeQuietly(a_.FileName);
    createdVolumes_.clear();
    overwroteVolume_ = false;
    DeleteBackupFile();
    return;
  }
  if (!archiveStream_) {
    DeleteBackupFile();
    return;
  }
  if (backupStream_) {
    RestoreArchiveTail();
    // The file is what it was; a directory rebuilt from its local headers is
    // written, as any pass that ends writes one.
    if (!dirManager_->Rebuilt) return;
    startPosition_ = updateStartPosition();
  }
  cutMarkAt_ = -1;
  archiveStream_->SetSize(startPosition_);
  archiveStream_->SetPosition(startPosition_);
  dirManager_->WriteDirectory(archiveStream_.get());
}

void TZABaseArchiver::Impl::RestoreArchiveTail() {
  try {
    cutBackTo(startPosition_, -1, keptBelowStart_);
    archiveStream_->CopyFrom(*backupStream_, 0);
    cutMarkAt_ = -1;
  } catch (const platform::EWriteError&) {
    // The backup is the only copy left of the archive's tail: it stays on disk.
    const int reason = errno;
    backupStream_.reset();
    backupFileName_.clear();
    errno = reason;
    raiseWriteFailed();
  } catch (...) {
    backupStream_.reset();
    backupFileName_.clear();
    throw;
  }
  DeleteBackupFile();
}

void TZABaseArchiver::Impl::DeleteBackupFile() {
  pendingCopy_ = {};
  std::vector<uint8_t>().swap(backupWindow_);
  backupWindowAt_ = -1;
  backupStream_.reset();
  backupSize_ = 0;
  if (!backupFileName_.empty()) platform::removeQuietly(backupFileName_);
  backupFileName_.clear();
}

}  // namespace zip
