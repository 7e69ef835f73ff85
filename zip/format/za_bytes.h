#pragma once
// Little-endian fields of ZIP records, read and written one by one.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "zip/format/za_range.h"

namespace zip {

// Reads stop at the end of the bytes: a read past it yields 0.
class TZAByteReader {
 public:
  explicit TZAByteReader(std::span<const uint8_t> bytes, size_t pos = 0) : bytes_(bytes), pos_(pos) {}

  uint16_t U16() { return static_cast<uint16_t>(take(2)); }
  uint32_t U32() { return static_cast<uint32_t>(take(4)); }
  uint64_t U64() { return take(8); }
  // The next count bytes, empty when fewer remain.
  std::span<const uint8_t> Bytes(uint64_t count) {
    if (!ZARangeFits(pos_, count, bytes_.size())) return {};
    auto out = bytes_.subspan(pos_, static_cast<size_t>(count));
    pos_ += static_cast<size_t>(count);
    return out;
  }
  size_t Position() const { return pos_; }
  size_t Remaining() const { return pos_ <= bytes_.size() ? bytes_.size() - pos_ : 0; }

 private:
  uint64_t take(unsigned width) {
    if (!ZARangeFits(pos_, width, bytes_.size())) return 0;
    uint64_t v = 0;
    for (unsigned i = 0; i < width; ++i) v |= static_cast<uint64_t>(bytes_[pos_ + i]) << (8 * i);
    pos_ += width;
    return v;
  }

  std::span<const uint8_t> bytes_;
  size_t pos_;
};

class TZAByteWriter {
 public:
  void U16(uint16_t v) { put(v, 2); }
  void U32(uint32_t v) { put(v, 4); }
  void U64(uint64_t v) { put(v, 8); }
  void Bytes(std::span<const uint8_t> b) { out_.insert(out_.end(), b.begin(), b.end()); }
  const std::vector<uint8_t>& Data() const { return out_; }
  std::vector<uint8_t> Take() { return std::move(out_); }

 private:
  void put(uint64_t v, unsigned width) {
    for (unsigned i = 0; i < width; ++i) out_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  std::vector<uint8_t> out_;
};

}  // namespace zip
