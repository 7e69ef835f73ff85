#pragma once
// The component's message list and its code table.
#include <cstdint>
#include <string_view>

namespace zip {

struct TZAErrorPair {
  int32_t Code;
  int32_t MessageNumber;  // -1: the code has no text of its own
};

struct TZipArchiverErrorTable {
  static constexpr int kMessageCount = 34;
  static constexpr int kCodeCount = 61;
  static const std::string_view Messages[kMessageCount];
  static const TZAErrorPair Codes[kCodeCount];
};

inline constexpr TZipArchiverErrorTable ZipArchiverErrorTable{};

}  // namespace zip
