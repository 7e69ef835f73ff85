#include "zip/directory/za_block_reader.h"

#include <algorithm>
#include <cstring>

namespace zip {

TZABlockReader::TZABlockReader(platform::TStream& stream, int64_t position)
    : stream_(&stream), size_(stream.Size()), bufStart_(position) {}

bool TZABlockReader::Fill(size_t n) {
  if (buf_.size() - at_ >= n) return true;
  if (Position() > size_ || static_cast<uint64_t>(Remaining()) < n) return false;
  // What is left of the block moves to its front; the rest is read after it.
  const size_t kept = buf_.size() - at_;
  if (kept > 0) std::memmove(buf_.data(), buf_.data() + at_, kept);
  bufStart_ += static_cast<int64_t>(at_);
  at_ = 0;
  const int64_t bufEnd = bufStart_ + static_cast<int64_t>(kept);
  const size_t more = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(std::max(kBlock, n) - kept), size_ - bufEnd));
  buf_.resize(kept + more);
  stream_->SetPosition(bufEnd);
  stream_->ReadBuffer(buf_.data() + kept, static_cast<int64_t>(more));
  return true;
}

size_t TZABlockReader::Load(size_t n) {
  if (Position() >= size_) return 0;
  const size_t held = static_cast<size_t>(std::min<uint64_t>(n, static_cast<uint64_t>(Remaining())));
  Fill(held);
  return held;
}

void TZABlockReader::Seek(int64_t position) {
  if (position >= bufStart_ && position <= bufStart_ + static_cast<int64_t>(buf_.size())) {
    at_ = static_cast<size_t>(position - bufStart_);
    return;
  }
  buf_.clear();
  at_ = 0;
  bufStart_ = position;
}

}  // namespace zip
