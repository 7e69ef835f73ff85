#pragma once
// The archiver's inner parts, for the component's own unit tests: they check
// the directory, the volume writer and the entry coder one by one. Callers of
// the component use za_archiver.h alone.
#include <cstdint>

#include "platform/core/streams.h"
#include "zip/archiver/za_archiver_impl.h"
#include "zip/directory/za_dir_manager.h"
#include "zip/za_archiver.h"

namespace zip {

struct TZAArchiverInternals {
  // The open directory; the archive must be open.
  static TZADirManager& DirManager(TZABaseArchiver& a) { return *a.impl_->dirManager_; }
  // An entry to change by hand, as an update pass would find it.
  static TDirItem& Entry(TZABaseArchiver& a, int32_t index) {
    return *a.impl_->dirManager_->ArchiveDir.GetItemPtr(index);
  }
  static platform::TStream* ArchiveStream(TZABaseArchiver& a) { return a.impl_->ArchiveStream(); }
  static TZAVolumeNumberInfo& VolumeInfo(TZABaseArchiver& a) { return a.impl_->VolumeInfo(); }
  static void OpenVolume(TZABaseArchiver& a, TZAVolumeNumberInfo& info) { a.impl_->OpenVolume(info); }
  static void WriteArchiveBuffer(TZABaseArchiver& a, const void* buffer, int64_t count, int64_t reserve,
                                 platform::TStream*& stream) {
    a.impl_->WriteArchiveBuffer(buffer, count, nullptr, reserve, a.impl_->VolumeInfo(), stream);
  }
  static void CopyStreamToVolumes(TZABaseArchiver& a, platform::TStream& source, platform::TStream*& stream,
                                  int64_t count, bool& cancel) {
    a.impl_->CopyStreamToVolumes(source, stream, true, nullptr, -1, count, cancel, a.impl_->VolumeInfo());
  }
  static bool CompressItemData(TZABaseArchiver& a, platform::TStream& source, platform::TStream& archive,
                               TDirItem& item) {
    return a.impl_->CompressItemData(source, archive, item);
  }
};

}  // namespace zip
