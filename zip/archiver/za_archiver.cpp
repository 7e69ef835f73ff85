#include "zip/za_archiver.h"
#include "zip/directory/za_dir_manager.h"
#include "zip/names/za_path_parts.h"

#include <filesystem>
#include <stdexcept>

#include "zip/format/za_compression_tables.h"
#include "zip/za_except.h"
#include "zip/archiver/za_extract_target.h"
#include "zip/archiver/za_lock.h"

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
  if (mode > 9) raise(zeCompressionMode);
  compressionMode_ = mode;
  compressionLevel_ = CompressionLevelForMode(mode);
  InitCompressionMethod();
}

// Fixed text, not formatted: the decimal point and the trailing blank are part of it.
std::string TZABaseArchiver::CurrentVersion() const { return "2.65 "; }

void TZABaseArchiver::SetSpanningMode(TZASpanningMode mode) {
  if (active_) throw std::logic_error("Cannot set spanning mode on open archive");
  spanningMode_ = mode;
}

void TZABaseArchiver::SetInMemory(bool value) {
  if (value == inMemory_) return;
  if (active_) {
    if (!value) {
      if (ZAFilePart(FileName).empty()) raise(zeInMemoryNoName);
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

void TZABaseArchiver::CheckUpdateEnded() const {
  if (updateCount_ > 0) raise(zeUpdateNotEnded);
}

void TZABaseArchiver::ResetUpdateCount() {
  if (updateCount_ > 0) updateCount_ = 0;
}

void TZABaseArchiver::Lock() { ZAComponentLock().lock(); }
void TZABaseArchiver::Unlock() { ZAComponentLock().unlock(); }

int32_t TZABaseArchiver::EntryCount() const { return dirManager_ ? dirManager_->ArchiveDir.Count() : 0; }

const TDirItem& TZABaseArchiver::Entry(int32_t index) const {
  CheckActive();
  const TZADirArray& entries = dirManager_->ArchiveDir;
  return *entries.GetItemPtr(index);
}

TZipArchiver::TZipArchiver() {
  zipFormat_ = true;
  Zip64Mode = zmDisabled;
  InitCompressionMethod();
}

void TZipArchiver::InitCompressionMethod() { compressionMethod_ = CompressionMode() != 0 ? 8 : 0; }

}  // namespace zip
