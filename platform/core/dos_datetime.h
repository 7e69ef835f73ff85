#pragma once
// ZIP (DOS) date-times: local time in two-second steps, years 1980 to 2107.
#include <cstdint>
#include <ctime>

namespace platform {

// Packed as date << 16 | time, so packed values order like the moments they hold.
using DosDateTime = std::uint32_t;

constexpr std::uint16_t dosDatePart(DosDateTime d) { return static_cast<std::uint16_t>(d >> 16); }
constexpr std::uint16_t dosTimePart(DosDateTime d) { return static_cast<std::uint16_t>(d & 0xFFFF); }
constexpr DosDateTime makeDosDateTime(std::uint16_t date, std::uint16_t time) {
  return static_cast<DosDateTime>(date) << 16 | time;
}

// The first and last moments the form can hold.
constexpr DosDateTime kDosDateTimeMin = makeDosDateTime((0 << 9) | (1 << 5) | 1, 0);
constexpr DosDateTime kDosDateTimeMax = makeDosDateTime((127 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29);

// A moment as its DOS date-time in local time; odd seconds round down, and moments outside
// 1980..2107 clamp to the nearest end, so a file of any date compares stably with its entry.
DosDateTime dosDateTimeFromTime(std::time_t t);

// The moment a DOS date-time names in local time. Fields out of their range (a zero date, as
// some tools write) are brought back into it first, so every value gives a moment in range.
std::time_t timeFromDosDateTime(DosDateTime d);

// The value brought into range, as timeFromDosDateTime sees it.
DosDateTime normalizeDosDateTime(DosDateTime d);

}  // namespace platform
