#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include <mutex>

#include "platform/core/dos_datetime.h"
#include "platform/core/posix_file.h"
#include "zip/archiver/za_archiver_impl.h"
#include "zip/za_archiver.h"
#include "zip/names/za_names.h"
#include "zip/names/za_path_parts.h"
#include "zip/volumes/za_medium.h"
#include "zip/za_except.h"
#include "zip/archiver/za_extract_target.h"
#include "zip/archiver/za_lock.h"
#include "zip/archiver/za_replace_batch.h"
#include "zip/names/za_paths.h"

namespace zip {

void TZABaseArchiver::ExtractFiles(const std::string& fileMask, int32_t searchAttr, const std::string& exclusionMask) {
  CheckActive();
  CheckUpdateEnded();
  SelectFiles(fileMask, searchAttr, exclusionMask);
  ProcessSelectedItems(poExtract);
}

void TZABaseArchiver::Impl::processExtractItem(int32_t index, std::string name, const std::string& baseFolder) {
  const TDirItem& entry = *dirManager_->ArchiveDir.GetItemPtr(index);
  uint32_t attributes = entry.ExternalAttributes;
  const bool folderEntry = entry.IsFolder() || (!entry.FileName.empty() && entry.FileName.back() == '/');
  const std::string comment = entry.Extras().Comment;
  a_.DoOnExtractFile(name, attributes, comment);
  if (!a_.Options().CreateDirs) name = ZAFilePart(name);

  // Drives, absolute names and ".." stay below the base folder: a name that
  // would climb out of it is refused. A link in the file's own place is
  // replaced, never followed, so only its folder has to stay inside.
  // The base is resolved once per operation; names are expanded against it.
  if (!folders_ || folders_->BaseFolder() != baseFolder)
    folders_ = std::make_unique<TZAFolderGuard>(baseFolder, *ExpandArchivePathFromBase(baseFolder, ""),
                                                a_.DriveIsRemovable(baseFolder));
  const std::optional<std::string> resolved =
      ExpandArchivePathFromBase(ZAIncludeTrailingBackslash(folders_->Base()), name);
  if (!resolved) throw EZAException::CreateFmt(zeCannotCreateFile, a_.Name, {name});
  const std::string target = *resolved;
  const std::string folder = folderEntry ? target : ZAFolderPart(target);
  switch (folders_->Check(folder, a_.Options().CreateDirs)) {
    case TZAFolderGuard::frOk: break;
    case TZAFolderGuard::frOutside: throw EZAException::CreateFmt(zeCannotCreateFile, a_.Name, {name});
    case TZAFolderGuard::frCannotCreate: throw EZAException::CreateFmt(zeCannotCreateFolder, a_.Name, {folder});
  }
  if (folderEntry) return;
  // A cut name that meets a file this extraction wrote is another entry's
  // name cut alike: it fails rather than take that file's place.
  if (writtenTargets_ && ZAMayBeCut(entry.FileName) && writtenTargets_->contains(target))
    throw EZAException::CreateFmt(zeCannotCreateFile, a_.Name, {target});

  std::string dest = target;
  TZAExistingFile existing = inspectTarget(dest);
  if (existing.exists) {
    if (!a_.Options().ReplaceReadOnly && existing.readOnly) return;
    const platform::DosDateTime entryTime = platform::makeDosDateTime(entry.ModDate, entry.ModTime);
    const platform::DosDateTime fileTime = platform::dosDateTimeFromTime(static_cast<std::time_t>(existing.modified));
    switch (a_.Options().OverwriteMode) {
      case omPrompt: {
        bool confirm = false;
        a_.DoOnConfirmOverwrite(name, dest, confirm);
        if (!confirm) return;
        if (dest != target) {
          // A target the handler chose is held to the same rule as a stored name.
          const std::optional<std::string> moved = ExpandArchivePathFromBase(baseFolder, dest);
          if (!moved || !ZAStaysInside(baseFolder, ZAFolderPart(*moved)))
            throw EZAException::CreateFmt(zeCannotCreateFile, a_.Name, {dest});
          dest = *moved;
          existing = inspectTarget(dest);
        }
        break;
      }
      case omNever: return;
      case omIfNewer:
        if (!(static_cast<int32_t>(entryTime) > static_cast<int32_t>(fileTime))) return;
        break;
      case omIfOlder:
        if (!(static_cast<int32_t>(entryTime) < static_cast<int32_t>(fileTime))) return;
        break;
      case omAlways: break;
    }
  }
  writeEntryFile(index, dest, attributes, existing);
  if (writtenTargets_ && !skip_ && !cancel_) writtenTargets_->insert(dest);
}

TZAExistingFile TZABaseArchiver::Impl::inspectTarget(const std::string& target) const {
  const std::string* waiting = replacements_ ? replacements_->WaitingFor(target) : nullptr;
  return ZAInspect(waiting ? *waiting : target);
}

void TZABaseArchiver::Impl::writeEntryFile(int32_t index, const std::string& target, uint32_t attributes,
                                           const TZAExistingFile& existing) {
  // A folder in the file's place stays.
  if (existing.exists && existing.isDirectory) throw EZAException::CreateFmt(zeCannotCreateFile, a_.Name, {target});
  const uint32_t umask = folders_->Umask();
  const uint32_t mode =
      a_.Options().SetAttributes ? ZAModeForAttributes(attributes, existing, umask) : ZADefaultFileMode(umask);
  // A name that holds nothing yet is written in place: there is no old file
  // to keep, and O_EXCL follows no link put there meanwhile (that one is then
  // replaced the other way). A file already there gets the data in a new
  // file beside it, which takes its place only once checked and flushed:
  // whatever fails, even a power cut, the old file stays whole. The rename
  // replaces a link instead of following it, and a running program keeps its
  // old image.
  std::string written = target;
  platform::FileDescriptor fd;
  bool replacing = existing.exists;
  if (!replacing) {
    fd.reset(::open(target.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode & 0777));
    if (!fd.valid() && errno != EEXIST) throw EZAException::CreateFmt(zeCannotCreateFile, a_.Name, {target});
    replacing = !fd.valid();
  }
  if (replacing) {
    fd = replacements_->OpenNewFile(ZAFolderPart(target), written);
    if (!fd.valid()) throw EZAException::CreateFmt(zeCannotCreateFile, a_.Name, {target});
  }
  // Removes what was written unless it is complete: a bad entry leaves no part of itself.
  struct Unfinished {
    std::string path;
    ~Unfinished() {
      if (!path.empty()) platform::removeQuietly(path);
    }
  } unfinished{written};
  platform::TFileStream file(written, std::move(fd));
  InternalExtractItem(index, file);
  if (skip_ || cancel_) return;
  const TDirItem& entry = *dirManager_->ArchiveDir.GetItemPtr(index);
  const std::time_t when = platform::timeFromDosDateTime(platform::makeDosDateTime(entry.ModDate, entry.ModTime));
  const struct timespec times[2] = {{when, 0}, {when, 0}};
  ::futimens(file.Handle(), times);
  // The new file beside the old one was made 0600, one in place by the umask.
  if (replacing || (mode & umask) != 0) ::fchmod(file.Handle(), mode);
  const bool flush = a_.Options().FlushBuffers && (replacing || folders_->Removable());
  if (replacing && flush && !folders_->Removable() && !replaceOneByOne_) {
    // Flushed with its batch, and put in place after it: one flush for many files.
    const uint64_t bytes = static_cast<uint64_t>(std::max<int64_t>(file.Size(), 0));
    unfinished.path.clear();
    replacements_->Add(index, dirManager_->ArchiveDir.GetItemPtr(index)->FileName, written, target, file.Detach(),
                       bytes);
    return;
  }
  if (flush && !file.Flush()) throw EZAException::CreateFmt(zeCannotCreateFile, a_.Name, {target});
  if (replacing && !platform::renameOver(written, target, false))
    throw EZAException::CreateFmt(zeCannotCreateFile, a_.Name, {target});
  unfinished.path.clear();
}

void TZABaseArchiver::Impl::processTestItem(int32_t index) {
  if (dirManager_->ArchiveDir.GetItemPtr(index)->IsFolder()) return;
  std::string temp;
  platform::FileDescriptor fd = ZAOpenTempFile(a_.TempDir, temp);
  if (!fd.valid()) throw EZAException::CreateFmt(zeCannotCreateFile, a_.Name, {a_.TempDir + "/ZT"});
  try {
    platform::TFileStream file(temp, std::move(fd));
    InternalExtractItem(index, file);
  } catch (...) {
    platform::removeQuietly(temp);
    throw;
  }
  platform::removeQuietly(temp);
}

void TZABaseArchiver::Impl::InternalExtractItem(int32_t index, platform::TStream& target) {
  if (!dirManager_ || index < 0 || index >= dirManager_->ArchiveDir.Count()) raise(zeExtractIndex);
  TDirItem& item = *dirManager_->ArchiveDir.GetItemPtr(index);
  skip_ = false;
  if (spanningMode_ != smNone) {
    TZAVolumeNumberInfo info;
    info.LastVolumeNumber = volumeInfo_.LastVolumeNumber;
    info.SetVolumeNumber(static_cast<int32_t>(item.TrueDiskNumberStart()));
    OpenVolume(info);
  }
  bool ok = false;
  const uint64_t offset = item.TrueLocalHeaderOffset();
  const int64_t size = archiveStream_ ? archiveStream_->Size() : 0;
  if (archiveStream_ && offset < static_cast<uint64_t>(size)) {
    archiveStream_->SetPosition(static_cast<int64_t>(offset));
    ok = ExtractItemToStream(*archiveStream_, target, item, size);
  }
  if (!ok && !cancel_ && !skip_ && !a_.ExtractCorruptedFiles) raise(zeBadEntryData);
}

}  // namespace zip
