#pragma once
// A forward search of 4-byte signatures in a stream.
#include <cstdint>
#include <vector>

#include "platform/core/streams.h"

namespace zip {

// Finds 4-byte signatures in a stream through windows of a fixed size; a
// search that starts inside the window read last reuses it, so walking from
// hit to hit reads the stream once.
class TZASignatureScanner {
 public:
  TZASignatureScanner(platform::TStream& stream, uint32_t signature, int64_t window);
  // The next occurrence at or after start; -1 when there is none.
  int64_t Find(int64_t start);

 private:
  platform::TStream& stream_;
  uint8_t sig_[4];
  int64_t window_;
  int64_t size_;
  std::vector<uint8_t> buf_;
  int64_t bufStart_ = -1;
  int64_t lastStart_ = -1;
  int64_t lastHit_ = -1;
};

}  // namespace zip
