#include <cerrno>
#include <algorithm>
#include <filesystem>
#include <vector>

#include "zip/archiver/za_archiver_impl.h"
#include "zip/za_archiver.h"
#include "zip/names/za_path_parts.h"
#include "zip/volumes/za_medium.h"
#include "zip/za_except.h"

namespace zip {

void TZABaseArchiver::Impl::CreateVolumeFile(const std::string& name) {
  archiveStream_.reset();
  if (fileOpenMode_ == kCreateMode && ZAFileExists(name)) overwroteVolume_ = true;
  archiveStream_ = std::make_unique<platform::TFileStream>(
      name, fileOpenMode_ == kCreateMode ? uint16_t{platform::fmCreate} : fileOpenMode_);
  volumeFileName_ = name;
  if (fileOpenMode_ == kCreateMode) createdVolumes_.push_back(name);
  if (dirManager_ && !dirManager_->CustomStream()) dirManager_->SetArchiveStream(archiveStream_.get());
}

int64_t TZABaseArchiver::DriveFreeBytes(const std::string& path) const { return ZAFreeBytes(path); }

bool TZABaseArchiver::DriveIsRemovable(const std::string& path) const { return IsRemovableDrive(path); }

bool TZABaseArchiver::SetDriveLabel(const std::string&, const std::string&) { return false; }

void TZABaseArchiver::Impl::OpenVolume(TZAVolumeNumberInfo& info) {
  auto designate = [&] {
    volumeInfo_.VolumeNumber = info.VolumeNumber;
    volumeInfo_.Kind = info.Kind;
    if (info.LastVolumeNumber != -1) volumeInfo_.LastVolumeNumber = info.LastVolumeNumber;
  };
  if (spanningMode_ == smNone) {
    if (!archiveStream_) CreateVolumeFile(a_.FileName);
    designate();
    return;
  }
  bool cancel = false;
  if (fileOpenMode_ == kCreateMode) {
    archiveStream_.reset();
    if (dirManager_ && !dirManager_->CustomStream()) dirManager_->SetArchiveStream(nullptr);
    const int64_t limit = a_.SpanningOptions().GetVolumeSizeBytes(info);
    for (;;) {
      std::string name = a_.FileName;
      a_.DoOnRequestBlankVolume(info.VolumeNumber, name, cancel);
      if (cancel) raise(zeVolumeCancelled);
      const int64_t free = a_.DriveFreeBytes(name);
      if (free > 65536 && (limit <= 0 || free >= limit)) {
        CreateVolumeFile(name);
        designate();
        if (spanningMode_ == smSpanning) a_.SetDriveLabel(name, spanningLabel(info.VolumeNumber));
        return;
      }
      a_.DoOnDiskFull(info.VolumeNumber, name, cancel);
      if (cancel) raise(zeVolumeCancelled);
    }
  }
  if (archiveStream_ && volumeInfo_.SameVolume(info)) {
    designate();
    return;
  }
  for (;;) {
    std::string name = a_.FileName;
    cancel = true;
    if (info.GetFirstVolume()) a_.DoOnRequestFirstVolume(name, cancel);
    else if (info.GetLastVolume()) a_.DoOnRequestLastVolume(name, cancel);
    else a_.DoOnRequestMiddleVolume(info.VolumeNumber, name, cancel);
    if (cancel) raise(zeVolumeCancelled);
    if (spanningMode_ == smSplitting && name.empty()) return;
    if (ZAFileExists(name)) {
      CreateVolumeFile(name);
      designate();
      return;
    }
  }
}

int64_t TZABaseArchiver::Impl::WriteToVolumes(const void* buffer, int64_t count, platform::TMemoryStream* pending,
                                              int64_t reserve, TZAVolumeNumberInfo& info, platform::TStream*& stream) {
  if (spanningMode_ == smNone) return stream->Write(buffer, count);
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  int64_t written = 0;
  while (written < count) {
    const int64_t pendingSize = pending ? pending->Size() : 0;
    int64_t free = a_.DriveFreeBytes(volumeFileName_) - pendingSize;
    const int64_t limit = a_.SpanningOptions().GetVolumeSizeBytes(info);
    const int64_t room = limit - stream->Size() - pendingSize;
    if (limit != -1) free = std::min(room, free);
    if (free < 0) return written;
    const int64_t rest = count - written;
    int64_t took = 0;
    if (reserve == -1 || rest + reserve <= free) {
      const int64_t n = std::min(free, rest);
      took = pending ? pending->Write(bytes + written, n) : stream->Write(bytes + written, n);
      written += took;
    }
    if (written >= count) break;
    // A volume that took nothing while empty cannot take the record on any later one either.
    if (took == 0 && stream->Size() == 0 && pendingSize == 0) return written;
    if (pending && pending->Size() > 0) {
      stream->WriteBuffer(pending->Memory(), pending->Size());
      pending->Clear();
    }
    if (spanningMode_ == smSpanning) {
      if (auto* file = dynamic_cast<platform::TFileStream*>(stream)) file->Flush();
    }
    info.SetVolumeNumber(info.VolumeNumber + 1);
    OpenVolume(info);
    stream = archiveStream_.get();
  }
  return written;
}

void TZABaseArchiver::Impl::WriteArchiveBuffer(const void* buffer, int64_t count, platform::TMemoryStream* pending,
                                               int64_t reserve, TZAVolumeNumberInfo& info, platform::TStream*& stream) {
  errno = 0;
  if (WriteToVolumes(buffer, count, pending, reserve, info, stream) < count) raiseWriteFailed();
}

void TZABaseArchiver::Impl::CopyStreamToVolumes(platform::TStream& source, platform::TStream*& stream, bool progress,
                                                platform::TMemoryStream* pending, int64_t reserve, int64_t count,
                                                bool& cancel, TZAVolumeNumberInfo& info) {
  constexpr int64_t kBlock = 1000000;
  const int64_t left = std::max<int64_t>(source.Size() - source.Position(), 0);
  const int64_t total = count == -1 ? left : count;
  cancel = false;
  if (progress) {
    a_.DoOnCopyTempFileProgress(0, ppStart, cancel);
    if (cancel) return;
  }
  std::vector<uint8_t> block(static_cast<size_t>(std::min(kBlock, std::max<int64_t>(total, 1))));
  int64_t copied = 0;
  while (copied < total) {
    const int64_t n = source.Read(block.data(), std::min<int64_t>(kBlock, total - copied));
    // A source shorter than promised ends the copy instead of looping on it.
    if (n <= 0) break;
    const int64_t put = WriteToVolumes(block.data(), n, pending, reserve, info, stream);
    copied += put;
    if (progress) {
      a_.DoOnCopyTempFileProgress(static_cast<double>(copied) / static_cast<double>(total) * 100.0, ppProcess, cancel);
      if (cancel) break;
    }
    if (put < n) break;
  }
  if (progress) {
    bool endCancel = cancel;
    a_.DoOnCopyTempFileProgress(100, ppEnd, endCancel);
    cancel = cancel || endCancel;
  }
}

int64_t TZABaseArchiver::Impl::ReadFromVolumes(void* buffer, int64_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t got = 0;
  while (got < count && archiveStream_) {
    const int64_t n = archiveStream_->Read(out + got, count - got);
    if (n > 0) got += n;
    if (got >= count) break;
    const bool more = spanningMode_ != smNone && !(dirManager_ && dirManager_->CustomStream()) &&
                      volumeInfo_.LastVolumeNumber >= 0 && volumeInfo_.VolumeNumber >= 0 &&
                      volumeInfo_.VolumeNumber < volumeInfo_.LastVolumeNumber;
    if (!more) break;
    TZAVolumeNumberInfo next = volumeInfo_;
    next.SetVolumeNumber(volumeInfo_.VolumeNumber + 1);
    OpenVolume(next);
    archiveStream_->SetPosition(0);
  }
  return got;
}

void TZABaseArchiver::Impl::ReplaceStream(std::unique_ptr<platform::TStream> stream,
                                          const std::string& volumeFileName) {
  archiveStream_ = std::move(stream);
  volumeFileName_ = volumeFileName;
  if (dirManager_) dirManager_->SetArchiveStream(archiveStream_.get());
}

}  // namespace zip
