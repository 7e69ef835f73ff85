#include "zip/directory/za_signature_scanner.h"

#include <algorithm>
#include <cstring>

namespace zip {

TZASignatureScanner::TZASignatureScanner(platform::TStream& stream, uint32_t signature, int64_t window)
    : stream_(stream), window_(std::max<int64_t>(window, 8)), size_(stream.Size()) {
  for (int i = 0; i < 4; ++i) sig_[i] = static_cast<uint8_t>(signature >> (8 * i));
}

int64_t TZASignatureScanner::Find(int64_t start) {
  if (start < 0) start = 0;
  // The answer of the previous search stands for every start up to its hit.
  if (lastStart_ >= 0 && start >= lastStart_ && (lastHit_ < 0 || start <= lastHit_)) {
    lastStart_ = start;
    return lastHit_;
  }
  lastStart_ = start;
  int64_t pos = start;
  while (pos + 4 <= size_) {
    const int64_t bufEnd = bufStart_ + static_cast<int64_t>(buf_.size());
    if (bufStart_ < 0 || pos < bufStart_ || pos + 4 > bufEnd) {
      const int64_t n = std::min(window_, size_ - pos);
      buf_.resize(static_cast<size_t>(n));
      stream_.SetPosition(pos);
      stream_.ReadBuffer(buf_.data(), n);
      bufStart_ = pos;
    }
    const uint8_t* data = buf_.data();
    const size_t from = static_cast<size_t>(pos - bufStart_);
    for (size_t i = from; i + 4 <= buf_.size(); ++i) {
      if (data[i] == sig_[0] && std::memcmp(data + i, sig_, 4) == 0)
        return lastHit_ = bufStart_ + static_cast<int64_t>(i);
    }
    // The last three bytes may begin a signature: the next window starts there.
    pos = bufStart_ + static_cast<int64_t>(buf_.size()) - 3;
    if (bufStart_ + static_cast<int64_t>(buf_.size()) >= size_) break;
  }
  return lastHit_ = -1;
}

}  // namespace zip
