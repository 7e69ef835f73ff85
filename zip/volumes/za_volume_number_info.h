#pragma once
// Designation of one volume of a multi-volume archive.
#include <cstdint>

namespace zip {

enum TZAVolumeKind : uint8_t { vkFirst, vkLast, vkNumbered, vkUnknown };

class TZAVolumeNumberInfo {
 public:
  TZAVolumeNumberInfo() { Reset(); }

  void Reset();
  bool GetFirstVolume() const { return VolumeNumber == 0; }
  void SetFirstVolume(bool value);
  bool GetLastVolume() const;
  void SetLastVolume(bool value);
  void SetVolumeNumber(int32_t n);
  bool SameVolume(const TZAVolumeNumberInfo& other) const;

  TZAVolumeKind Kind = vkUnknown;
  int32_t VolumeNumber = -1;
  int32_t LastVolumeNumber = -1;
};

}  // namespace zip
