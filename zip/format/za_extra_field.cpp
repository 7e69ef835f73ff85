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

}  // namespace zip
