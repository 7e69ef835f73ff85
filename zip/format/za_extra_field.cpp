#include "zip/format/za_extra_field.h"

#include "zip/format/za_bytes.h"

namespace zip {

std::vector<ExtraBlock> ParseExtraField(std::span<const uint8_t> field) {
  std::vector<ExtraBlock> blocks;
  TZAByteReader r(field);
  while (r.Remaining() >= 4) {
    ExtraBlock b;
    b.HeaderId = r.U16();
    uint64_t size = r.U16();
    if (size > r.Remaining()) size = r.Remaining();
    const auto data = r.Bytes(size);
    b.Data.assign(data.begin(), data.end());
    blocks.push_back(std::move(b));
  }
  return blocks;
}

bool ExtraFieldWellFormed(std::span<const uint8_t> field) {
  TZAByteReader r(field);
  while (r.Remaining() >= 4) {
    r.U16();
    const uint64_t size = r.U16();
    if (size > r.Remaining()) return false;
    r.Bytes(size);
  }
  for (const uint8_t b : r.Bytes(r.Remaining()))
    if (b != 0) return false;
  return true;
}

}  // namespace zip
