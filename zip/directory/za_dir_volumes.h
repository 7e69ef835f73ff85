#pragma once
// The volumes a directory is read from and written to. The archiver gives
// them; the directory knows nothing else of it.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/core/streams.h"
#include "zip/volumes/za_volume_number_info.h"

namespace zip {

class TZADirVolumes {
 public:
  virtual ~TZADirVolumes() = default;

  // The stream of the volume in use; null while none is open.
  virtual platform::TStream* ArchiveStream() = 0;
  virtual TZAVolumeNumberInfo& VolumeInfo() = 0;
  // Makes the volume that info names the one in use, asking for it when needed.
  virtual void OpenVolume(TZAVolumeNumberInfo& info) = 0;
  // Writes count bytes to stream, going on in a new volume where this one is
  // full; reserve bytes that must follow in the same volume (-1: none).
  virtual void WriteArchiveBuffer(const void* buffer, int64_t count, platform::TMemoryStream* pending,
                                  int64_t reserve, TZAVolumeNumberInfo& info, platform::TStream*& stream) = 0;
  // The file that holds the volume in use, and the name the last volume of the set takes.
  virtual const std::string& VolumeFileName() const = 0;
  virtual const std::string& ArchiveFileName() const = 0;
  virtual std::string LastVolumeFileName() = 0;
  // After the archive was rewritten under a volume name: it takes its own name.
  virtual void ReplaceStream(std::unique_ptr<platform::TStream> stream, const std::string& volumeFileName) = 0;
};

}  // namespace zip
