#pragma once
// Extra fields: a run of blocks, each a 16-bit id, a 16-bit size and its data.
#include <cstdint>
#include <span>
#include <vector>

namespace zip {

inline constexpr uint16_t kZip64ExtraId = 0x0001;

struct ExtraBlock {
  uint16_t HeaderId = 0;
  std::vector<uint8_t> Data;  // owned; at most 65535 bytes
  uint16_t DataSize() const { return static_cast<uint16_t>(Data.size()); }
  bool operator==(const ExtraBlock&) const = default;
};

// A block that claims more than the field holds keeps the bytes that remain;
// one to three bytes too few for a block head are skipped.
std::vector<ExtraBlock> ParseExtraField(std::span<const uint8_t> field);

// Whether the field is a run of whole blocks: none claims more than the field
// holds, and what follows the last is at most a few zero bytes of padding.
bool ExtraFieldWellFormed(std::span<const uint8_t> field);

}  // namespace zip
