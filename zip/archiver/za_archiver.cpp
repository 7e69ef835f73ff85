#include "zip/za_archiver.h"
#include "zip/archiver/za_archiver_impl.h"
#include "zip/names/za_path_parts.h"

#include <cerrno>
#include <filesystem>
#include <stdexcept>

#include "zip/format/za_compression_tables.h"
#include "zip/za_except.h"
#include "zip/archiver/za_extract_target.h"
#include "zip/archiver/za_lock.h"
#include "zip/archiver/za_replace_batch.h"

namespace zip {

TZABaseArchiver::Impl::Impl(TZABaseArchiver& owner)
    : a_(owner), options_(std::make_unique<TZAOptions>()), spanningOptions_(std::make_unique<TZASpanningOptions>()) {}

TZABaseArchiver::Impl::~Impl() = default;

TZABaseArchiver::TZABaseArchiver() : impl_(std::make_unique<Impl>(*this)) { SetCompressionLevel(clFastest); }

TZABaseArchiver::~TZABaseArchiver() { CloseArchive(); }

void TZABaseArchiver::Impl::raise(int32_t code) const { throw EZAException(code, a_.Name); }

void TZABaseArchiver::Impl::raiseWriteFailed() const {
  throw EZAException::WithSystemReason(zeWriteFailed, a_.Name, errno);
}

void TZABaseArchiver::InitCompressionMethod() { impl_->compressionMethod_ = 0xFFFF; }

void TZABaseArchiver::SetCompressionLevel(TZACompressionLevel level) {
  impl_->compressionLevel_ = level;
  impl_->compressionMode_ = CompressionModeForLevel(level);
  InitCompressionMethod();
}

void TZABaseArchiver::SetCompressionMode(uint8_t mode) {
  if (mode > 9) impl_->raise(zeCompressionMode);
  impl_->compressionMode_ = mode;
  impl_->compressionLevel_ = CompressionLevelForMode(mode);
  InitCompressionMethod();
}

TZACompressionLevel TZABaseArchiver::CompressionLevel() const { return impl_->compressionLevel_; }
uint8_t TZABaseArchiver::CompressionMode() const { return impl_->compressionMode_; }
TZASpanningMode TZABaseArchiver::SpanningMode() const { return impl_->spanningMode_; }
TZASpanningOptions& TZABaseArchiver::SpanningOptions() { return *impl_->spanningOptions_; }
TZAOptions& TZABaseArchiver::Options() { return *impl_->options_; }
const std::vector<std::string>& TZABaseArchiver::FileMasks() const { return impl_->fileMasks_; }
void TZABaseArchiver::SetFileMasks(const std::vector<std::string>& list) { impl_->fileMasks_ = list; }
const std::vector<std::string>& TZABaseArchiver::ExclusionMasks() const { return impl_->exclusionMasks_; }
void TZABaseArchiver::SetExclusionMasks(const std::vector<std::string>& list) { impl_->exclusionMasks_ = list; }
const std::vector<std::string>& TZABaseArchiver::NoCompressionMasks() const { return impl_->noCompressionMasks_; }
void TZABaseArchiver::SetNoCompressionMasks(const std::vector<std::string>& list) { impl_->noCompressionMasks_ = list; }
bool TZABaseArchiver::InMemory() const { return impl_->inMemory_; }
bool TZABaseArchiver::Active() const { return impl_->active_; }
bool TZABaseArchiver::IsUpdating() const { return impl_->updateCount_ > 0; }
uint16_t TZABaseArchiver::CompressionMethod() const { return impl_->compressionMethod_; }
bool TZABaseArchiver::AllowDamagedOpen() const { return impl_->allowDamagedOpen_; }
void TZABaseArchiver::SetAllowDamagedOpen(bool value) { impl_->allowDamagedOpen_ = value; }
uint16_t TZABaseArchiver::FileOpenMode() const { return impl_->fileOpenMode_; }
bool TZABaseArchiver::Cancelled() const { return impl_->cancel_; }
const std::string& TZABaseArchiver::VolumeFileName() const { return impl_->volumeFileName_; }
void TZABaseArchiver::SetCompressionMethod(uint16_t method) { impl_->compressionMethod_ = method; }
void TZABaseArchiver::SelectZipFormat() { impl_->zipFormat_ = true; }

// Fixed text, not formatted: the decimal point and the trailing blank are part of it.
std::string TZABaseArchiver::CurrentVersion() const { return "2.65 "; }

void TZABaseArchiver::SetSpanningMode(TZASpanningMode mode) {
  if (impl_->active_) throw std::logic_error("Cannot set spanning mode on open archive");
  impl_->spanningMode_ = mode;
}

void TZABaseArchiver::SetInMemory(bool value) { impl_->SetInMemory(value); }

void TZABaseArchiver::Impl::SetInMemory(bool value) {
  if (value == inMemory_) return;
  if (active_) {
    if (!value) {
      if (ZAFilePart(a_.FileName).empty()) raise(zeInMemoryNoName);
      // Pending changes belong in the file that the memory is written to.
      a_.ApplyPendingUpdates();
      // An archive without entries has no directory yet: the file gets one,
      // so that it opens again as an archive.
      if (archiveStream_->Size() == 0) dirManager_->WriteDirectory();
      {
        platform::TFileStream file(a_.FileName, platform::fmCreate);
        archiveStream_->SetPosition(0);
        file.CopyFrom(*archiveStream_, archiveStream_->Size());
      }
      a_.CloseArchive();
      inMemory_ = false;
      a_.OpenArchiveDefault();
    } else {
      a_.CloseArchive();
      inMemory_ = true;
      a_.OpenArchiveDefault();
    }
  }
  inMemory_ = value;
}

void TZABaseArchiver::CheckUpdateEnded() const {
  if (impl_->updateCount_ > 0) impl_->raise(zeUpdateNotEnded);
}

void TZABaseArchiver::ResetUpdateCount() {
  if (impl_->updateCount_ > 0) impl_->updateCount_ = 0;
}

void TZABaseArchiver::Lock() { ZAComponentLock().lock(); }
void TZABaseArchiver::Unlock() { ZAComponentLock().unlock(); }

int32_t TZABaseArchiver::EntryCount() const { return impl_->dirManager_ ? impl_->dirManager_->ArchiveDir.Count() : 0; }

TZAEntry TZABaseArchiver::Entry(int32_t index) const {
  CheckActive();
  const TZADirArray& entries = impl_->dirManager_->ArchiveDir;
  return TZAEntry(*entries.GetItemPtr(index));
}

TZipArchiver::TZipArchiver() {
  SelectZipFormat();
  Zip64Mode = zmDisabled;
  InitCompressionMethod();
}

void TZipArchiver::InitCompressionMethod() { SetCompressionMethod(CompressionMode() != 0 ? 8 : 0); }

}  // namespace zip
