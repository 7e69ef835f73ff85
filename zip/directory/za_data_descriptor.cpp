#include "zip/directory/za_data_descriptor.h"

#include "zip/format/za_bytes.h"
#include "zip/format/za_records.h"

namespace zip {

std::optional<TZADataDescriptor> ZADecodeDataDescriptor(std::span<const uint8_t> bytes, uint64_t position, bool zip64) {
  TZADataDescriptor d;
  d.Position = position;
  d.Length = ZADescriptorLength(zip64);
  if (bytes.size() < d.Length) return std::nullopt;
  TZAByteReader r(bytes);
  if (r.U32() != kDataDescriptorSignature) return std::nullopt;
  d.Crc = r.U32();
  d.CompressedSize = zip64 ? r.U64() : r.U32();
  d.UncompressedSize = zip64 ? r.U64() : r.U32();
  return d;
}

}  // namespace zip
