#include <stdexcept>

#include "platform/core/streams.h"
#include "zip/archiver/za_archiver_impl.h"
#include "zip/za_archiver.h"
#include "zip/za_except.h"
#include "zip/names/za_path_parts.h"

namespace zip {

void TZABaseArchiver::OpenArchive(uint16_t mode) {
  if (!impl_->inMemory_ && ZAFilePart(FileName).empty()) impl_->raise(zeOpenNoName);
  if (mode != kCreateMode && !ZAFileExists(FileName) && impl_->spanningMode_ != smSpanning &&
      !DriveIsRemovable(FileName))
    throw EZAException::CreateFmt(zeArchiveNotFound, Name, {FileName});
  if (mode != kCreateMode && impl_->inMemory_) impl_->raise(zeNotInMemoryOnly);
  CloseArchive();
  impl_->fileOpenMode_ = mode;
  InternalOpenArchive();
}

void TZABaseArchiver::OpenArchiveDefault() {
  if (!impl_->inMemory_ && ZAFilePart(FileName).empty()) impl_->raise(zeDefaultOpenNoName);
  uint16_t mode = kCreateMode;
  if (!impl_->inMemory_ && ZAFileExists(FileName)) {
    try {
      platform::TFileStream probe(FileName, platform::fmOpenReadWrite | platform::fmShareDenyWrite);
      mode = platform::fmOpenReadWrite | platform::fmShareDenyWrite;
    } catch (const platform::EStreamError&) {
      mode = platform::fmOpenRead | platform::fmShareDenyNone;
    }
  }
  OpenArchive(mode);
}

void TZABaseArchiver::Impl::makeDirManager(bool newArchive) {
  dirManager_ = std::make_unique<TZADirManager>(archiveStream_.get(), static_cast<TZADirVolumes&>(*this),
                                                static_cast<const TZADirSettings&>(*this), newArchive);
}

void TZABaseArchiver::Impl::dropDirManager() { dirManager_.reset(); }

void TZABaseArchiver::InternalOpenArchive() { impl_->InternalOpenArchive(); }

void TZABaseArchiver::Impl::InternalOpenArchive() {
  if (fileOpenMode_ == kCreateMode || inMemory_) {
    OpenNewArchive();
  } else {
    spanningMode_ = smNone;
    volumeInfo_.Reset();
    if (HasExeExtension(a_.FileName)) OpenSelfExtractingArchive();
    else OpenExistingArchive();
    if (dirManager_->HasEndOfCentralDir() || allowDamagedOpen_) {
      dirManager_->ReadDirectory();
    } else {
      dirManager_.reset();
      archiveStream_.reset();
      raise(zeDamagedArchive);
    }
  }
  active_ = true;
  a_.DoAfterOpen();
}

void TZABaseArchiver::DoAfterOpen() {
  if (AfterOpen) AfterOpen(this);
}

void TZABaseArchiver::CloseArchive() noexcept { impl_->CloseArchive(); }

void TZABaseArchiver::Impl::CloseArchive() noexcept {
  if (active_) {
    try {
      a_.ApplyPendingUpdates();
      if (archiveStream_ && dirManager_ && archiveStream_->Size() == 0) dirManager_->WriteDirectory();
    } catch (...) {
    }
    active_ = false;
  }
  updateCount_ = 0;
  DeleteBackupFile();
  dirManager_.reset();
  archiveStream_.reset();
  volumeFileName_.clear();
}

void TZABaseArchiver::CheckActive() const {
  if (!impl_->active_) impl_->raise(zeNotActive);
}

void TZABaseArchiver::Impl::OpenNewArchive() {
  if (inMemory_) {
    archiveStream_ = std::make_unique<platform::TMemoryStream>();
  } else {
    TZAVolumeNumberInfo info;
    info.SetFirstVolume(true);
    OpenVolume(info);
  }
  makeDirManager(true);
}

// Opens the last volume and looks for its end record until one is found or
// the archive turns out to be a single file.
void TZABaseArchiver::Impl::probeLastVolume(bool removableCheck) {
  bool found = false;
  do {
    dropDirManager();
    volumeInfo_.Reset();
    TZAVolumeNumberInfo info;
    info.SetLastVolume(true);
    if (removableCheck && !ZAFileExists(a_.FileName) && a_.DriveIsRemovable(a_.FileName)) spanningMode_ = smSpanning;
    OpenVolume(info);
    makeDirManager(false);
    found = dirManager_->HasEndOfCentralDir();
    FindLastVolume();
  } while (!found && spanningMode_ != smNone);
}

namespace {

// The probing of volumes must see whether an end record is really there:
// damaged archives are not accepted for as long as it lasts.
class DamagedOpenOff {
 public:
  explicit DamagedOpenOff(TZABaseArchiver& a) : a_(a), saved_(a.AllowDamagedOpen()) { a.SetAllowDamagedOpen(false); }
  ~DamagedOpenOff() { a_.SetAllowDamagedOpen(saved_); }
  DamagedOpenOff(const DamagedOpenOff&) = delete;
  DamagedOpenOff& operator=(const DamagedOpenOff&) = delete;

 private:
  TZABaseArchiver& a_;
  bool saved_;
};

}  // namespace

void TZABaseArchiver::Impl::OpenExistingArchive() {
  DamagedOpenOff probing(a_);
  probeLastVolume(true);
}

void TZABaseArchiver::Impl::OpenSelfExtractingArchive() {
  TZAVolumeNumberInfo info;
  info.SetLastVolume(true);
  OpenVolume(info);
  makeDirManager(false);
  DamagedOpenOff probing(a_);
  if (dirManager_->HasEndOfCentralDir()) {
    FindLastVolume();
    return;
  }
  // The end record is not in the stub's file: it may stand in a ".ZIP" last volume beside it.
  dropDirManager();
  spanningMode_ = smSplitting;
  std::string last = a_.FileName;
  a_.GetVolumeFileName(last, -1, false);
  if (ZAFileExists(last)) {
    volumeInfo_.Reset();
    TZAVolumeNumberInfo lastInfo;
    lastInfo.SetLastVolume(true);
    OpenVolume(lastInfo);
  }
  spanningMode_ = smNone;
  probeLastVolume(false);
}

void TZABaseArchiver::Impl::FindLastVolume() {
  if (!dirManager_->EndRecordFound) {
    spanningMode_ = a_.DriveIsRemovable(a_.FileName) ? smSpanning : smNone;
    return;
  }
  // A disk field carrying its marker reads as disk 0, as directory reading takes it.
  const int32_t n = dirManager_->EndOfCentralDir.ThisDisk == 0xFFFF ? 0 : dirManager_->EndOfCentralDir.ThisDisk;
  if (n == 0) {
    spanningMode_ = smNone;
    return;
  }
  spanningMode_ = smSplitting;
  std::string before = a_.FileName;
  a_.GetVolumeFileName(before, n - 1, false);
  if (ZAFileExists(before)) return;
  TZASpanningOptions& so = a_.SpanningOptions();
  so.AdvancedNaming = !so.AdvancedNaming;
  before = a_.FileName;
  a_.GetVolumeFileName(before, n - 1, false);
  if (ZAFileExists(before)) return;
  so.AdvancedNaming = !so.AdvancedNaming;
  // Disks are asked for only on removable media: on a fixed disk the volume
  // is missing, and the entries it holds fail with zeVolumeCancelled when requested.
  if (ZALowerAscii(a_.FileName).find(".exe") != std::string::npos) spanningMode_ = smNone;
  else if (a_.DriveIsRemovable(a_.FileName)) spanningMode_ = smSpanning;
}

}  // namespace zip
