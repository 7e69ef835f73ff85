#pragma once
// How compression modes, levels, work buffers and zlib headers relate.
#include <cstdint>

#include "platform/core/exceptions.h"
#include "zip/za_types.h"

namespace zip {

TZACompressionLevel CompressionLevelForMode(uint8_t mode);
uint8_t CompressionModeForLevel(TZACompressionLevel level);
int64_t BufferSizeForCompressionMode(uint8_t mode);
// The two bytes of the zlib header (0x78 first), 0 above mode 9.
uint16_t ZlibHeaderForMode(uint8_t mode);

// zlib refused to start or to go on while compressing.
class EZCompressionError : public platform::Exception {
 public:
  EZCompressionError() : platform::Exception("error") {}
};

}  // namespace zip
