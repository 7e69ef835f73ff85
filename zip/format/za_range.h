#pragma once
// Every length, count, size and offset read from an archive is untrusted:
// readers test it here, in unsigned arithmetic that cannot wrap, before they
// index, seek or allocate with it.
#include <cstdint>

namespace zip {

// Whether [offset, offset + length) lies inside [0, size).
constexpr bool ZARangeFits(uint64_t offset, uint64_t length, uint64_t size) noexcept {
  return offset <= size && length <= size - offset;
}

// Whether count records of recordSize bytes fit in available bytes.
constexpr bool ZACountFits(uint64_t count, uint64_t recordSize, uint64_t available) noexcept {
  return recordSize == 0 || count <= available / recordSize;
}

}  // namespace zip
