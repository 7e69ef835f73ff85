#include "zip/format/za_compression_tables.h"

namespace zip {

TZACompressionLevel CompressionLevelForMode(uint8_t mode) {
  if (mode == 0 || mode > 9) return clNone;
  if (mode <= 3) return clFastest;
  if (mode <= 6) return clNormal;
  return clMax;
}

uint8_t CompressionModeForLevel(TZACompressionLevel level) {
  switch (level) {
    case clNone: return 0;
    case clFastest: return 1;
    case clNormal: return 6;
    case clMax: return 9;
  }
  return 0;
}

int64_t BufferSizeForCompressionMode(uint8_t mode) {
  if (mode >= 1 && mode <= 3) return 0x80000;
  if (mode >= 7 && mode <= 9) return 0x180000;
  return 0x100000;
}

uint16_t ZlibHeaderForMode(uint8_t mode) {
  static constexpr uint8_t kInfo[] = {0xDA, 0x01, 0x01, 0x5E, 0x5E, 0x9C, 0x9C, 0xDA, 0xDA, 0xDA};
  return mode > 9 ? 0 : static_cast<uint16_t>(0x7800 | kInfo[mode]);
}

}  // namespace zip
