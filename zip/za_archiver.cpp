#include "zip/za_archiver.h"
#include "zip/za_path_parts.h"

#include <filesystem>
#include <stdexcept>

#include "zip/za_compression_tables.h"
#include "zip/za_drive.h"
#include "zip/za_except.h"
#include "zip/za_extract_target.h"
#include "zip/za_lock.h"

namespace zip {

TZABaseArchiver::TZABaseArchiver()
    : options_(std::make_unique<TZAOptions>()), spanningOptions_(std::make_unique<TZASpanningOptions>()) {
  SetCompressionLevel(clFastest);
}

TZABaseArchiver::~TZABaseArchiver() { CloseArchive(); }

void TZABaseArchiver::raise(int32_t code) const { throw EZAException(code, Name); }

void TZABaseArchiver::InitCompressionMethod() { compressionMethod_ = 0xFFFF; }

void TZABaseArchiver::SetCompressionLevel(TZACompressionLevel level) {
  compressionLevel_ = level;
  compressionMode_ = CompressionModeForLevel(level);
  InitCompressionMethod();
}

void TZABaseArchiver::SetCompressionMode(uint8_t mode) {
  if (mode > 9) raise(5);
  compressionMode_ = mode;
  compressionLevel_ = CompressionLevelForMode(mode);
  InitCompressionMethod();
}

std::string TZABaseArchiver::CurrentVersion() const { return "2.65 "; }

void TZABaseArchiver::SetSpanningMode(TZASpanningMode mode) {
  if (active_) throw std::logic_error("Cannot set spanning mode on open archive");
  spanningMode_ = mode;
}

void TZABaseArchiver::SetInMemory(bool value) {
  if (value == inMemory_) return;
  if (active_) {
    if (!value) {
      if (ZAFilePart(FileName).empty()) raise(29);
      // Pending changes belong in the file that the memory is written to.
      ApplyPendingUpdates();
      // An archive without entries has no directory yet: the file gets one,
      // so that it opens again as an archive.
      if (archiveStream_->Size() == 0) dirManager_->WriteDirectory();
      {
        platform::TFileStream file(FileName, platform::fmCreate);
        archiveStream_->SetPosition(0);
        file.CopyFrom(*archiveStream_, archiveStream_->Size());
      }
      CloseArchive();
      inMemory_ = false;
      OpenArchiveDefault();
    } else {
      CloseArchive();
      inMemory_ = true;
      OpenArchiveDefault();
    }
  }
  inMemory_ = value;
}

void TZABaseArchiver::OpenArchive(uint16_t mode) {
  if (!inMemory_ && ZAFilePart(FileName).empty()) raise(10);
  if (mode != kCreateMode && !ZAFileExists(FileName) && spanningMode_ != smSpanning && !DriveIsRemovable(FileName))
    throw EZAException::CreateFmt(12, Name, {FileName});
  if (mode != kCreateMode && inMemory_) raise(28);
  CloseArchive();
  fileOpenMode_ = mode;
  InternalOpenArchive();
}

void TZABaseArchiver::OpenArchiveDefault() {
  if (!inMemory_ && ZAFilePart(FileName).empty()) raise(9);
  uint16_t mode = kCreateMode;
  if (!inMemory_ && ZAFileExists(FileName)) {
    try {
      platform::TFileStream probe(FileName, platform::fmOpenReadWrite | platform::fmShareDenyWrite);
      mode = platform::fmOpenReadWrite | platform::fmShareDenyWrite;
    } catch (const platform::EStreamError&) {
      mode = platform::fmOpenRead | platform::fmShareDenyNone;
    }
  }
  OpenArchive(mode);
}

void TZABaseArchiver::makeDirManager(bool newArchive) {
  dirManager_ = std::make_unique<TZADirManager>(archiveStream_.get(), this, newArchive);
}

void TZABaseArchiver::dropDirManager() { dirManager_.reset(); }

void TZABaseArchiver::InternalOpenArchive() {
  if (fileOpenMode_ == kCreateMode || inMemory_) {
    OpenNewArchive();
  } else {
    spanningMode_ = smNone;
    volumeInfo_.Reset();
    if (HasExeExtension(FileName))
      OpenSelfExtractingArchive();
    else
      OpenExistingArchive();
    if (dirManager_->HasEndOfCentralDir() || allowDamagedOpen_) {
      dirManager_->ReadDirectory();
    } else {
      dirManager_.reset();
      archiveStream_.reset();
      raise(48);
    }
  }
  active_ = true;
  DoAfterOpen();
}

void TZABaseArchiver::DoAfterOpen() {
  if (AfterOpen) AfterOpen(this);
}

void TZABaseArchiver::CloseArchive() noexcept {
  if (active_) {
    try {
      ApplyPendingUpdates();
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
  if (!active_) raise(13);
}

void TZABaseArchiver::CheckUpdateEnded() const {
  if (updateCount_ > 0) raise(26);
}

void TZABaseArchiver::ResetUpdateCount() {
  if (updateCount_ > 0) updateCount_ = 0;
}

void TZABaseArchiver::Lock() { ZAComponentLock().lock(); }
void TZABaseArchiver::Unlock() { ZAComponentLock().unlock(); }

bool TZABaseArchiver::DriveIsRemovable(const std::string& path) const { return IsRemovableDrive(path); }

TZipArchiver::TZipArchiver() {
  zipFormat_ = true;
  Zip64Mode = zmDisabled;
  InitCompressionMethod();
}

void TZipArchiver::InitCompressionMethod() { compressionMethod_ = CompressionMode() != 0 ? 8 : 0; }

}  // namespace zip
