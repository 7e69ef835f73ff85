#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "zip/za_archiver.h"
#include "zip/za_path_parts.h"
#include "zip/za_disk.h"
#include "zip/za_except.h"

namespace zip {

namespace {

struct NameParts {
  std::string path, base, ext;
};

NameParts split(const std::string& name) {
  const size_t slash = name.rfind('/');
  const size_t fileStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = name.rfind('.');
  NameParts p;
  p.path = name.substr(0, fileStart);
  if (dot == std::string::npos || dot < fileStart) {
    p.base = name.substr(fileStart);
  } else {
    p.base = name.substr(fileStart, dot - fileStart);
    p.ext = name.substr(dot);
  }
  return p;
}

std::string number(const char* format, int32_t value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, format, value);
  return buf;
}

}  // namespace

bool TZABaseArchiver::HasExeExtension(const std::string& name) {
  return ZALowerAscii(split(name).ext).find(".exe") != std::string::npos;
}

bool TZABaseArchiver::isSelfExtracting(const std::string& name) const {
  return (dirManager_ && dirManager_->StubSize > 0) || !SFXStub.empty() || HasExeExtension(name);
}

void TZABaseArchiver::GetVolumeFileName(std::string& name, int32_t index, bool checkExists) {
  const NameParts p = split(name);
  const bool sfx = isSelfExtracting(name);
  const std::string nnn = number("%.3u", index + 1);
  const bool highMethod = compressionMethod_ >= 252;
  std::string out = name;
  if (spanningMode_ == smSpanning && index >= 0) {
    const std::string e = sfx ? ".exe" : p.ext;
    const std::string numbered = p.path + p.base + "_" + nnn + e;
    const std::string plain = p.path + p.base + e;
    out = SpanningOptions().AdvancedNaming ? numbered : plain;
    if (checkExists && !ZAFileExists(out)) {
      const std::string other = out == numbered ? plain : numbered;
      if (ZAFileExists(other)) out = other;
    }
  } else if (spanningMode_ == smSplitting && index == 0 && sfx) {
    out = p.path + p.base + ".exe";
  } else if (spanningMode_ == smSplitting && index >= 0) {
    out = SpanningOptions().AdvancedNaming ? p.path + p.base + "_" + nnn + p.ext
                                           : p.path + p.base + (highMethod ? ".F" : ".Z") + number("%.2d", index + 1);
  } else if (spanningMode_ == smSplitting && index == -1 && sfx) {
    out = p.path + p.base + (highMethod ? ".ZA" : ".ZIP");
  }
  // Info-ZIP writes these extensions in lower case ("data.z01"), and Linux
  // names differ by case: an existing lower-case volume is taken.
  if (spanningMode_ == smSplitting && out != name && !ZAFileExists(out)) {
    const NameParts o = split(out);
    const std::string lowered = o.path + o.base + ZALowerAscii(o.ext);
    if (ZAFileExists(lowered)) out = lowered;
  }
  name = out;
}

void TZABaseArchiver::CreateVolumeFile(const std::string& name) {
  archiveStream_.reset();
  archiveStream_ = std::make_unique<platform::TFileStream>(
      name, fileOpenMode_ == kCreateMode ? uint16_t{platform::fmCreate} : fileOpenMode_);
  volumeFileName_ = name;
  if (fileOpenMode_ == kCreateMode) createdVolumes_.push_back(name);
  if (dirManager_ && !dirManager_->CustomStream()) dirManager_->SetArchiveStream(archiveStream_.get());
}

int64_t TZABaseArchiver::DriveFreeBytes(const std::string& path) const { return ZAFreeBytes(path); }

bool TZABaseArchiver::SetDriveLabel(const std::string&, const std::string&) { return false; }

void TZABaseArchiver::OpenVolume(TZAVolumeNumberInfo& info) {
  auto designate = [&] {
    volumeInfo_.VolumeNumber = info.VolumeNumber;
    volumeInfo_.Kind = info.Kind;
    if (info.LastVolumeNumber != -1) volumeInfo_.LastVolumeNumber = info.LastVolumeNumber;
  };
  if (spanningMode_ == smNone) {
    if (!archiveStream_) CreateVolumeFile(FileName);
    designate();
    return;
  }
  bool cancel = false;
  if (fileOpenMode_ == kCreateMode) {
    archiveStream_.reset();
    if (dirManager_ && !dirManager_->CustomStream()) dirManager_->SetArchiveStream(nullptr);
    const int64_t limit = SpanningOptions().GetVolumeSizeBytes(info);
    for (;;) {
      std::string name = FileName;
      DoOnRequestBlankVolume(info.VolumeNumber, name, cancel);
      if (cancel) raise(45);
      const int64_t free = DriveFreeBytes(name);
      if (free > 65536 && (limit <= 0 || free >= limit)) {
        CreateVolumeFile(name);
        designate();
        if (spanningMode_ == smSpanning) SetDriveLabel(name, "pkback# " + number("%.3d", info.VolumeNumber + 1));
        return;
      }
      DoOnDiskFull(info.VolumeNumber, name, cancel);
      if (cancel) raise(45);
    }
  }
  if (archiveStream_ && volumeInfo_.SameVolume(info)) {
    designate();
    return;
  }
  for (;;) {
    std::string name = FileName;
    cancel = true;
    if (info.GetFirstVolume())
      DoOnRequestFirstVolume(name, cancel);
    else if (info.GetLastVolume())
      DoOnRequestLastVolume(name, cancel);
    else
      DoOnRequestMiddleVolume(info.VolumeNumber, name, cancel);
    if (cancel) raise(45);
    if (spanningMode_ == smSplitting && name.empty()) return;
    if (ZAFileExists(name)) {
      CreateVolumeFile(name);
      designate();
      return;
    }
  }
}

int64_t TZABaseArchiver::WriteToVolumes(const void* buffer, int64_t count, platform::TMemoryStream* pending,
                                        int64_t reserve, TZAVolumeNumberInfo& info, platform::TStream*& stream) {
  if (spanningMode_ == smNone) return stream->Write(buffer, count);
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  int64_t written = 0;
  while (written < count) {
    const int64_t pendingSize = pending ? pending->Size() : 0;
    int64_t free = DriveFreeBytes(volumeFileName_) - pendingSize;
    const int64_t limit = SpanningOptions().GetVolumeSizeBytes(info);
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

void TZABaseArchiver::WriteArchiveBuffer(const void* buffer, int64_t count, platform::TMemoryStream* pending,
                                         int64_t reserve, TZAVolumeNumberInfo& info, platform::TStream*& stream) {
  if (WriteToVolumes(buffer, count, pending, reserve, info, stream) < count) raise(46);
}

void TZABaseArchiver::CopyStreamToVolumes(platform::TStream& source, platform::TStream*& stream, bool progress,
                                          platform::TMemoryStream* pending, int64_t reserve, int64_t count,
                                          bool& cancel, TZAVolumeNumberInfo& info) {
  constexpr int64_t kBlock = 1000000;
  const int64_t left = std::max<int64_t>(source.Size() - source.Position(), 0);
  const int64_t total = count == -1 ? left : count;
  cancel = false;
  if (progress) {
    DoOnCopyTempFileProgress(0, ppStart, cancel);
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
      DoOnCopyTempFileProgress(static_cast<double>(copied) / static_cast<double>(total) * 100.0, ppProcess, cancel);
      if (cancel) break;
    }
    if (put < n) break;
  }
  if (progress) {
    bool endCancel = cancel;
    DoOnCopyTempFileProgress(100, ppEnd, endCancel);
    cancel = cancel || endCancel;
  }
}

int64_t TZABaseArchiver::ReadFromVolumes(void* buffer, int64_t count) {
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

void TZABaseArchiver::ReplaceStream(std::unique_ptr<platform::TStream> stream, const std::string& volumeFileName) {
  archiveStream_ = std::move(stream);
  volumeFileName_ = volumeFileName;
  if (dirManager_) dirManager_->SetArchiveStream(archiveStream_.get());
}

void TZABaseArchiver::OpenNewArchive() {
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
void TZABaseArchiver::probeLastVolume(bool removableCheck) {
  bool found = false;
  do {
    dropDirManager();
    volumeInfo_.Reset();
    TZAVolumeNumberInfo info;
    info.SetLastVolume(true);
    if (removableCheck && !ZAFileExists(FileName) && DriveIsRemovable(FileName)) spanningMode_ = smSpanning;
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

void TZABaseArchiver::OpenExistingArchive() {
  DamagedOpenOff probing(*this);
  probeLastVolume(true);
}

void TZABaseArchiver::OpenSelfExtractingArchive() {
  TZAVolumeNumberInfo info;
  info.SetLastVolume(true);
  OpenVolume(info);
  makeDirManager(false);
  DamagedOpenOff probing(*this);
  if (dirManager_->HasEndOfCentralDir()) {
    FindLastVolume();
    return;
  }
  // The end record is not in the stub's file: it may stand in a ".ZIP" last volume beside it.
  dropDirManager();
  spanningMode_ = smSplitting;
  std::string last = FileName;
  GetVolumeFileName(last, -1, false);
  if (ZAFileExists(last)) {
    volumeInfo_.Reset();
    TZAVolumeNumberInfo lastInfo;
    lastInfo.SetLastVolume(true);
    OpenVolume(lastInfo);
  }
  spanningMode_ = smNone;
  probeLastVolume(false);
}

void TZABaseArchiver::FindLastVolume() {
  if (!dirManager_->EndRecordFound) {
    spanningMode_ = DriveIsRemovable(FileName) ? smSpanning : smNone;
    return;
  }
  // A disk field carrying its marker reads as disk 0, as directory reading takes it.
  const int32_t n = dirManager_->EndOfCentralDir.ThisDisk == 0xFFFF ? 0 : dirManager_->EndOfCentralDir.ThisDisk;
  if (n == 0) {
    spanningMode_ = smNone;
    return;
  }
  spanningMode_ = smSplitting;
  std::string before = FileName;
  GetVolumeFileName(before, n - 1, false);
  if (ZAFileExists(before)) return;
  TZASpanningOptions& so = SpanningOptions();
  so.AdvancedNaming = !so.AdvancedNaming;
  before = FileName;
  GetVolumeFileName(before, n - 1, false);
  if (ZAFileExists(before)) return;
  so.AdvancedNaming = !so.AdvancedNaming;
  // Disks are asked for only on removable media: on a fixed disk the volume
  // is missing, and the entries it holds fail with code 45 when requested.
  if (ZALowerAscii(FileName).find(".exe") != std::string::npos)
    spanningMode_ = smNone;
  else if (DriveIsRemovable(FileName))
    spanningMode_ = smSpanning;
}

}  // namespace zip
