#pragma once
// CRC-32 of entry data. The update neither seeds nor finishes: callers start
// at 0xFFFFFFFF and store the complement.
#include <cstdint>

namespace zip {

inline constexpr uint32_t kCrcSeed = 0xFFFFFFFFu;

uint32_t CRC32Step(uint8_t byte, uint32_t value);
uint32_t UpdateCRC32(uint32_t value, const void* buffer, int64_t length);
void CalcCRC32(const void* buffer, int64_t length, uint32_t& value);

}  // namespace zip
