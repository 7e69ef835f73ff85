#include "zip/volumes/za_volume_number_info.h"

namespace zip {

void TZAVolumeNumberInfo::Reset() {
  Kind = vkUnknown;
  VolumeNumber = -1;
  LastVolumeNumber = -1;
}

void TZAVolumeNumberInfo::SetFirstVolume(bool value) {
  if (!value) return;
  VolumeNumber = 0;
  Kind = vkFirst;
}

bool TZAVolumeNumberInfo::GetLastVolume() const {
  if (LastVolumeNumber != -1) return VolumeNumber == LastVolumeNumber;
  return Kind == vkLast;
}

void TZAVolumeNumberInfo::SetLastVolume(bool value) {
  if (!value) return;
  VolumeNumber = LastVolumeNumber;
  Kind = vkLast;
}

void TZAVolumeNumberInfo::SetVolumeNumber(int32_t n) {
  Kind = vkNumbered;
  VolumeNumber = n;
}

bool TZAVolumeNumberInfo::SameVolume(const TZAVolumeNumberInfo& other) const {
  if (GetLastVolume()) return other.GetLastVolume();
  if (GetFirstVolume()) return other.GetFirstVolume();
  if (VolumeNumber >= 0) return VolumeNumber == other.VolumeNumber;
  return Kind == other.Kind;
}

}  // namespace zip
