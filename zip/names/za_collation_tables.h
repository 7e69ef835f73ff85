#pragma once
// The fixed rank and upper-case tables behind TZACollation.
#include <array>
#include <cstdint>

namespace zip::collation {

std::array<uint8_t, 256> TurkishRanks();
std::array<uint8_t, 256> WesternRanks();
uint8_t TurkishUpper(uint8_t c);
uint8_t WesternUpper(uint8_t c);

}  // namespace zip::collation
