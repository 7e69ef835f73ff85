#pragma once
// Volume settings of a multi-volume archive (the archiver's SpanningOptions).
#include <cstdint>

namespace zip {

class TZAVolumeNumberInfo;

enum TZAVolumeSize : uint8_t {
  vsAutoDetect,
  vsCustom,
  vs1_44MB,
  vs100MB,
  vs200MB,
  vs250MB,
  vs600MB,
  vs650MB,
  vs700MB,
  vs4700MB
};

class TZASpanningOptions {
 public:
  static constexpr int64_t kMinCustomVolumeSize = 65536;

  void Assign(const TZASpanningOptions& source) { *this = source; }

  int64_t CustomVolumeSize() const { return customVolumeSize_; }
  // Raises any value below 65,536 to 65,536.
  void SetCustomVolumeSize(int64_t value);
  // Byte limit of the designated volume; -1 when the medium's free space decides.
  int64_t GetVolumeSizeBytes(const TZAVolumeNumberInfo& info) const;

  bool AdvancedNaming = true;
  int64_t FirstVolumeSize = 0;
  TZAVolumeSize VolumeSize = vsAutoDetect;

 private:
  int64_t customVolumeSize_ = 0;
};

}  // namespace zip
