#include <sys/stat.h>

#include "platform/core/clock.h"
#include "platform/core/dos_datetime.h"
#include "zip/archiver/za_archiver_impl.h"
#include "zip/za_archiver.h"
#include "zip/za_except.h"
#include "zip/names/za_path_parts.h"
#include "zip/names/za_paths.h"
#include "zip/names/za_search.h"

namespace zip {

namespace {

constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrFolder = 0x10;
constexpr uint32_t kAttrArchive = 0x20;

platform::DosDateTime nowAsDos() {
  return platform::dosDateTimeFromTime(static_cast<std::time_t>(platform::clock().now().toSecsSinceEpoch()));
}

// DOS attributes of a file on disk, with its Unix mode in the high 16 bits
// so that our own extraction gives the permissions back.
uint32_t attributesOf(const struct stat& st) {
  uint32_t attr = S_ISDIR(st.st_mode) ? kAttrFolder : kAttrArchive;
  if (S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0) attr |= kAttrReadOnly;
  return attr | (static_cast<uint32_t>(st.st_mode & 0xFFFF) << 16);
}

}  // namespace

void TZABaseArchiver::BeginUpdate() {
  CheckActive();
  // The rollback directory is what a failed pass gives back.
  if (impl_->updateCount_ == 0) impl_->dirManager_->RollbackDir.Assign(impl_->dirManager_->ArchiveDir);
  ++impl_->updateCount_;
}

void TZABaseArchiver::EndUpdate() {
  if (impl_->updateCount_ > 1) --impl_->updateCount_;
  else if (impl_->updateCount_ == 1) ApplyPendingUpdates();
}

bool TZABaseArchiver::Impl::noCompression(const std::string& storedName) const {
  for (const std::string& mask : noCompressionMasks_)
    if (MatchesNameOrFile(storedName, mask)) return true;
  return false;
}

void TZABaseArchiver::Impl::FillItemForFile(int32_t index, const std::string& fileName, bool fromDisk) {
  std::string stored = NormalizeStoredPath(fileName, a_.BaseDir, a_.Options().StorePath);
  if (stored.empty()) return;
  // Relative names are taken from BaseDir, never from the process's current folder.
  const std::string source = ExpandPathFromBase(a_.BaseDir, fileName);
  struct stat st {};
  const bool exists = ::stat(source.c_str(), &st) == 0;
  const bool folder = exists && S_ISDIR(st.st_mode);
  // A FIFO, socket or device has no end to read to: only files and folders
  // are stored (a link stands for its target).
  if (exists && !folder && !S_ISREG(st.st_mode)) return;

  platform::DosDateTime when = nowAsDos();
  uint32_t attributes = kAttrArchive;
  if (fromDisk) {
    if (exists) {
      when = platform::dosDateTimeFromTime(st.st_mtime);
      if (folder || S_ISREG(st.st_mode)) attributes = attributesOf(st);
    }
    if (folder && stored.back() != '/') stored += '/';
  }

  TDirItem& item = *dirManager_->ArchiveDir.GetItemPtr(index);
  TDirItem fresh;
  TDirItemExtras& extras = fresh.EditExtras();
  extras.Comment = item.Extras().Comment;
  extras.Password = a_.Password;
  extras.SourceFileName = source;
  fresh.Selected = item.Selected;
  fresh.StorePending = true;
  fresh.CompressionMode = folder || noCompression(stored) ? 0 : compressionMode_;
  const bool oem = a_.Options().OEMFileNames;
  fresh.Method = fresh.CompressionMode == 0     ? kMethodStored
                 : compressionMethod_ == 0xFFFF ? kMethodDeflated
                                                : compressionMethod_;
  fresh.VersionMadeBy = fresh.VersionNeeded = ZAVersionFor(false, oem);
  if (!a_.Password.empty()) fresh.Flags |= kFlagEncrypted;
  fresh.ModTime = platform::dosTimePart(when);
  fresh.ModDate = platform::dosDatePart(when);
  fresh.Crc = 0xFFFFFFFF;
  fresh.ExternalAttributes = attributes;
  if (folder) {
    fresh.Method = kMethodStored;
    fresh.Crc = 0;
    fresh.Flags = kFlagFolder;
  }
  fresh.PendingOperation = item.PendingOperation;
  ZASetStoredName(fresh, stored, oem);
  item = std::move(fresh);
}

TZAEntry TZABaseArchiver::AddItemForFile(int32_t index, const std::string& fileName) {
  if (!impl_->dirManager_ || index < 0 || index >= impl_->dirManager_->ArchiveDir.Count()) impl_->raise(zeAddItemIndex);
  if (!IsUpdating()) impl_->raise(zeAddNotUpdating);
  impl_->FillItemForFile(index, fileName, true);
  TDirItem& item = *impl_->dirManager_->ArchiveDir.GetItemPtr(index);
  if (item.StorePending) item.PendingOperation = poUpdate;
  return TZAEntry(item);
}

void TZABaseArchiver::MarkItemDeleted(int32_t index) {
  if (!impl_->dirManager_ || index < 0 || index >= impl_->dirManager_->ArchiveDir.Count()) impl_->raise(zeDeleteIndex);
  if (!IsUpdating()) impl_->raise(zeDeleteNotUpdating);
  impl_->dirManager_->ArchiveDir.Delete(index);
}

int32_t TZABaseArchiver::AddFile(const std::string& fileName) {
  CheckActive();
  if (!IsUpdating()) impl_->raise(zeAddNotUpdating);
  TZADirArray& dir = impl_->dirManager_->ArchiveDir;
  const int32_t index = dir.Count();
  dir.SetCount(index + 1);
  dir.GetItemPtr(index)->PendingOperation = poAdd;
  impl_->FillItemForFile(index, fileName, true);
  if (!dir.GetItemPtr(index)->StorePending) {
    dir.Delete(index);
    return -1;
  }
  return index;
}

void TZABaseArchiver::Impl::processUpdateItem(int32_t index, const std::string& baseFolder) {
  const TDirItem& entry = *dirManager_->ArchiveDir.GetItemPtr(index);
  if (entry.IsFolder()) return;
  const std::string disk = ExpandPathFromBase(baseFolder, entry.FileName);
  struct stat st {};
  if (::stat(disk.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  if (!a_.Options().ReplaceReadOnly && (entry.ExternalAttributes & kAttrReadOnly)) return;
  const platform::DosDateTime fileTime = platform::dosDateTimeFromTime(st.st_mtime);
  const platform::DosDateTime entryTime = platform::makeDosDateTime(entry.ModDate, entry.ModTime);
  bool replace = false;
  switch (a_.Options().OverwriteMode) {
    case omPrompt: {
      std::string name = entry.FileName;
      a_.DoOnConfirmOverwrite(disk, name, replace);
      break;
    }
    case omNever: break;
    case omIfNewer: replace = fileTime > entryTime; break;
    case omIfOlder: replace = fileTime < entryTime; break;
    case omAlways: replace = true; break;
  }
  if (replace) a_.AddItemForFile(index, disk);
}

void TZABaseArchiver::Impl::processDeleteItem(int32_t index) { a_.MarkItemDeleted(index); }

}  // namespace zip
