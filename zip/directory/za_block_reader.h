#pragma once
// A forward reader over a stream through large blocks.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/core/streams.h"

namespace zip {

// Walks records in order (the central directory, entry by entry) with one
// read per block instead of a seek and a read per field. The stream's size
// is taken once; the stream's own position is left wherever the last block
// read leaves it.
class TZABlockReader {
 public:
  static constexpr size_t kBlock = size_t{1} << 18;

  TZABlockReader(platform::TStream& stream, int64_t position);
  // Whether the n bytes from the position lie inside the stream; when they
  // do, they are the first n of View(). Stream read errors pass through.
  bool Fill(size_t n);
  // As many of the n bytes from the position as the stream holds; how many.
  size_t Load(size_t n);
  // Moves the position on or back; bytes already read there are kept, and
  // bytes passed over are never read.
  void Seek(int64_t position);
  // The bytes buffered from the position on.
  std::span<const uint8_t> View() const { return std::span(buf_).subspan(at_); }
  void Skip(size_t n) { at_ += n; }
  int64_t Position() const { return bufStart_ + static_cast<int64_t>(at_); }
  int64_t Remaining() const { return size_ - Position(); }

 private:
  platform::TStream* stream_;
  int64_t size_;
  std::vector<uint8_t> buf_;
  int64_t bufStart_;
  size_t at_ = 0;
};

}  // namespace zip
