#include <sys/stat.h>

#include "zip/archiver/za_archiver_impl.h"
#include "zip/za_archiver.h"
#include "zip/za_except.h"
#include "zip/names/za_names.h"

#include <cstdio>

namespace zip {

namespace {

// Sources this close to 4 GiB may come out of deflate or encryption larger
// than the 32-bit fields hold, so they get their Zip64 block from the start.
constexpr uint64_t kZip64SourceSize = kMarker32 - 0x1000000u;

// The entry's source for one store: its own stream, or the file opened here.
struct ItemSource {
  explicit ItemSource(TDirItem& i) : item(i) {}
  TDirItem& item;
  std::unique_ptr<platform::TFileStream> file;
  platform::TStream* stream = nullptr;
  int64_t previousPosition = 0;

  void Release() {
    if (file) {
      file.reset();
    } else if (stream && item.Extras().OwnsSourceStream) {
      item.ReleaseSourceStream();
    } else if (stream) {
      stream->SetPosition(previousPosition);
    }
    stream = nullptr;
  }
};

// While an entry is compressed into its temporary file, the volume writer
// must not split that file as if it were a volume.
class SingleFileWriting {
 public:
  SingleFileWriting(TZASpanningMode& mode, bool active) : mode_(mode), saved_(mode) {
    if (active) mode_ = smNone;
  }
  ~SingleFileWriting() { Restore(); }
  void Restore() { mode_ = saved_; }
  SingleFileWriting(const SingleFileWriting&) = delete;
  SingleFileWriting& operator=(const SingleFileWriting&) = delete;

 private:
  TZASpanningMode& mode_;
  TZASpanningMode saved_;
};

// A temporary file that is deleted on every way out.
struct TempEntryFile {
  std::string name;
  std::unique_ptr<platform::TFileStream> stream;
  ~TempEntryFile() { Drop(); }
  void Drop() {
    stream.reset();
    if (!name.empty()) std::remove(name.c_str());
    name.clear();
  }
};

void setOffset(TDirItem& item, uint64_t offset, bool always) {
  if (offset >= kMarker32 || always) {
    item.HasZip64 = true;
    item.LocalHeaderOffset = kMarker32;
  } else {
    item.LocalHeaderOffset = static_cast<uint32_t>(offset);
  }
  item.LocalHeaderOffset64 = offset;
}

}  // namespace

bool TZABaseArchiver::Impl::StoreItem(int32_t index, TZAAction& action) {
  TDirItem& item = *dirManager_->ArchiveDir.GetItemPtr(index);
  a_.InitCompressionMethod();
  const auto operation = static_cast<TZAProcessOperation>(item.PendingOperation);
  const std::string& sourceName = item.Extras().SourceFileName;
  const std::string progressName = operation == poAdd || operation == poMove ? sourceName : item.FileName;
  a_.DoOnFileProgress(progressName, 0, operation, ppStart, cancel_);
  if (cancel_) return false;

  ItemSource source(item);
  bool onVolumes = false;
  try {
    item.HasZip64 = false;
    if (item.Extras().SourceStream) {
      source.stream = item.Extras().SourceStream.get();
      source.previousPosition = source.stream->Position();
      source.stream->SetPosition(item.Extras().SourceStart);
    } else if (!item.IsFolder()) {
      // Opening a FIFO put in the file's place would wait for a writer forever.
      struct stat st {};
      if (::stat(sourceName.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        throw EZAException::CreateFmt(zeCannotOpenFile, a_.Name, {sourceName});
      try {
        source.file = std::make_unique<platform::TFileStream>(
            sourceName, platform::fmOpenRead | ZAShareFlags(a_.Options().ShareMode));
      } catch (const platform::EStreamError&) {
        throw EZAException::CreateFmt(zeCannotOpenFile, a_.Name, {sourceName});
      }
      source.stream = source.file.get();
    }
    const uint64_t sourceSize =
        source.stream ? static_cast<uint64_t>(std::max<int64_t>(source.stream->Size() - item.Extras().SourceStart, 0))
                      : 0;

    const bool multiVolume = spanningMode_ != smNone;
    TempEntryFile temp;
    if (multiVolume) {
      temp.name = a_.MakeTempFileName();
      temp.stream = std::make_unique<platform::TFileStream>(temp.name, platform::fmOpenReadWrite);
    }
    platform::TStream* out = multiVolume ? temp.stream.get() : archiveStream_.get();
    const uint64_t offset = multiVolume ? 0 : static_cast<uint64_t>(out->Position());
    const bool always = a_.Zip64Mode == zmAlways;
    setOffset(item, static_cast<uint64_t>(archiveStream_->Position()), always);
    item.DiskNumberStart = 0;
    // Without Zip64 a source just under 4 GiB is still tried: only its output decides.
    const bool sizeMarkers = source.stream && (always || sourceSize >= kMarker32 ||
                                               (a_.Zip64Mode != zmDisabled && sourceSize >= kZip64SourceSize));
    if (sizeMarkers) item.HasZip64 = true;
    const bool oem = a_.Options().OEMFileNames;
    item.VersionMadeBy = item.VersionNeeded = ZAVersionFor(item.HasZip64 || sourceSize >= kMarker32, oem);

    TZipLocalHeader header = ZALocalHeaderFor(item);
    header.CompressedSize = sizeMarkers ? kMarker32 : 0;
    header.UncompressedSize = sizeMarkers ? kMarker32 : static_cast<uint32_t>(sourceSize);
    const TZAStoredName name = ZAEncodeStoredName(item.FileName, item.VersionMadeBy, item.Flags, oem);
    header.NameLength = static_cast<uint16_t>(name.Bytes.size());
    header.ExtraLength = sizeMarkers ? kZip64LocalExtraSize : 0;

    if (item.HasZip64 && a_.Zip64Mode == zmDisabled) {
      source.Release();
      throw EZAException::CreateFmt(zeZip64Off, a_.Name, {sourceName});
    }

    // The header goes in one write with its name and extra field: a pass
    // killed between them would leave a header that no rebuild can read.
    auto writeHeader = [&] {
      const auto head = EncodeLocalHeader(header);
      std::vector<uint8_t> bytes(head.begin(), head.end());
      bytes.insert(bytes.end(), name.Bytes.begin(), name.Bytes.end());
      if (sizeMarkers) {
        const auto extra = EncodeLocalZip64Extra(item.TrueUncompressedSize(), item.TrueCompressedSize());
        bytes.insert(bytes.end(), extra.begin(), extra.end());
      }
      WriteArchiveBuffer(bytes.data(), static_cast<int64_t>(bytes.size()), nullptr, -1, volumeInfo_, out);
    };
    SingleFileWriting single(spanningMode_, multiVolume);
    // Until its data are complete the header carries the unfinished mark:
    // a pass killed midway leaves no entry, and a rebuild stops there.
    header.Signature = source.stream ? kUnfinishedEntrySignature : kLocalHeaderSignature;
    writeHeader();
    if (!multiVolume) cutMarkAt_ = -1;
    header.Signature = kLocalHeaderSignature;

    if (source.stream) {
      if (!CompressItemData(*source.stream, *out, item)) {
        source.Release();
        return false;
      }
      // Both the local and the central record carry the Zip64 sizes, or neither.
      if (sizeMarkers) {
        item.UncompressedSize64 = item.TrueUncompressedSize();
        item.CompressedSize64 = item.TrueCompressedSize();
        item.UncompressedSize = item.CompressedSize = kMarker32;
      } else if (item.CompressedSize == kMarker32 || item.UncompressedSize == kMarker32) {
        throw EZAException::CreateFmt(zeZip64OffCompressed, a_.Name, {item.FileName});
      }
      header.Crc = item.Crc;
      header.Method = item.Method;
      header.CompressedSize = sizeMarkers ? kMarker32 : item.CompressedSize;
      // The file may have grown since its size was first taken: the header
      // gives the size of what was stored.
      header.UncompressedSize = sizeMarkers ? kMarker32 : item.UncompressedSize;
      const int64_t end = out->Position();
      out->SetPosition(static_cast<int64_t>(offset));
      writeHeader();
      out->SetPosition(end);
    }
    if (cancel_) {
      source.Release();
      return false;
    }
    out->Seek(0, platform::TSeekOrigin::soEnd);
    bool copyCancelled = false;
    if (multiVolume) {
      single.Restore();
      onVolumes = true;
      copyCancelled =
          copyEntryToVolumes(*temp.stream, item, TZipLocalHeader::kSize + header.NameLength + header.ExtraLength);
      temp.Drop();
    }
    source.Release();
    a_.DoOnFileProgress(progressName, 100, operation, ppEnd, cancel_);
    if (copyCancelled) action = fxaAbort;
    return true;
  } catch (const EZAException& e) {
    source.Release();
    const std::string& failed = operation == poUpdate ? item.FileName : sourceName;
    if (onVolumes) {
      // Part of the entry may already lie on earlier volumes: whatever the
      // answer, the set cannot go on, and the pass fails with the volume error.
      TZAAction answer = fxaAbort;
      a_.DoOnProcessFileFailure(failed, operation, e.NativeError, e.ErrorCode, e.message(), answer);
      throw;
    }
    if (!archiveStream_) {
      action = fxaAbort;
    } else {
      a_.DoOnProcessFileFailure(failed, operation, e.NativeError, e.ErrorCode, e.message(), action);
    }
    return false;
  } catch (...) {
    source.Release();
    throw;
  }
}

bool TZABaseArchiver::Impl::copyEntryToVolumes(platform::TStream& temp, TDirItem& item, int64_t headerLength) {
  // The header, its name and extra field stay together on one volume.
  std::vector<uint8_t> head(static_cast<size_t>(headerLength));
  temp.SetPosition(0);
  temp.ReadBuffer(head.data(), headerLength);
  platform::TStream* out = archiveStream_.get();
  out->Seek(0, platform::TSeekOrigin::soEnd);
  WriteArchiveBuffer(head.data(), headerLength, updateBuffer_.get(), 0, volumeInfo_, out);
  const int64_t pending = updateBuffer_ ? updateBuffer_->Size() : 0;
  const uint64_t landed = static_cast<uint64_t>(out->Position() + pending - headerLength);
  const uint32_t volume = static_cast<uint32_t>(std::max(volumeInfo_.VolumeNumber, 0));
  bool cancel = false;
  CopyStreamToVolumes(temp, out, true, updateBuffer_.get(), -1, -1, cancel, volumeInfo_);
  if (!cancel && temp.Position() != temp.Size()) raise(zeWriteFailed);
  if (volume >= kMarker16) {
    item.DiskNumberStart = kMarker16;
    item.DiskNumberStart32 = volume;
    item.HasZip64 = true;
  } else {
    item.DiskNumberStart = static_cast<uint16_t>(volume);
  }
  setOffset(item, landed, a_.Zip64Mode == zmAlways);
  return cancel;
}

}  // namespace zip
