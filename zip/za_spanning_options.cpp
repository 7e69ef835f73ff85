#include "zip/za_spanning_options.h"

#include "zip/volumes/za_volume_number_info.h"

namespace zip {

void TZASpanningOptions::SetCustomVolumeSize(int64_t value) {
  customVolumeSize_ = value < kMinCustomVolumeSize ? kMinCustomVolumeSize : value;
}

int64_t TZASpanningOptions::GetVolumeSizeBytes(const TZAVolumeNumberInfo& info) const {
  if (info.GetFirstVolume() && FirstVolumeSize > 0) return FirstVolumeSize;
  constexpr int64_t MB = 1048576;
  switch (VolumeSize) {
    case vsAutoDetect: return -1;
    case vsCustom: return customVolumeSize_;
    case vs1_44MB: return 1457664;  // the data area of a 1.44 MB diskette
    case vs100MB: return 100 * MB;
    case vs200MB: return 200 * MB;
    case vs250MB: return 250 * MB;
    case vs600MB: return 600 * MB;
    case vs650MB: return 650 * MB;
    case vs700MB: return 700 * MB;
    case vs4700MB: return 4700 * MB;
  }
  return -1;
}

}  // namespace zip
