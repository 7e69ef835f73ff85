#include "zip/zip_builder.h"

#include <zlib.h>

#include <stdexcept>

namespace ziptest {

namespace {
std::string le(uint64_t v, int width) {
  std::string s;
  for (int i = 0; i < width; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}
}  // namespace

std::string le16(uint16_t v) { return le(v, 2); }
std::string le32(uint32_t v) { return le(v, 4); }
std::string le64(uint64_t v) { return le(v, 8); }

uint32_t crcOf(const std::string& data) {
  return static_cast<uint32_t>(
      ::crc32(::crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string rawDeflate(const std::string& data) {
  z_stream z{};
  if (deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&z, data.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string zip64Block(std::vector<uint64_t> values64, std::optional<uint32_t> disk) {
  std::string data;
  for (uint64_t v : values64) data += le64(v);
  if (disk) data += le32(*disk);
  return extraBlock(0x0001, data);
}

std::string extraBlock(uint16_t id, const std::string& data) {
  return le16(id) + le16(static_cast<uint16_t>(data.size())) + data;
}

ZipEntry& ZipBuilder::addStored(const std::string& name, const std::string& data) {
  ZipEntry e;
  e.name = name;
  e.data = data;
  entries.push_back(e);
  return entries.back();
}

std::string ZipBuilder::build() {
  std::string out = stub;
  localOffsets.clear();
  for (const ZipEntry& e : entries) {
    localOffsets.push_back(out.size());
    const bool dd = e.dataDescriptor;
    out += le32(0x04034b50) + le16(e.versionNeeded) + le16(e.flags) + le16(e.method) + le16(e.modTime) +
           le16(e.modDate) + le32(dd ? 0 : e.crcValue()) + le32(dd ? 0 : e.compressedValue()) +
           le32(dd ? 0 : e.uncompressedValue()) + le16(static_cast<uint16_t>(e.name.size())) +
           le16(static_cast<uint16_t>(e.localExtra.size())) + e.name + e.localExtra + e.data;
    if (dd) out += le32(0x08074b50) + le32(e.crcValue()) + le32(e.compressedValue()) + le32(e.uncompressedValue());
  }
  directoryOffset = out.size();
  for (size_t i = 0; i < entries.size(); ++i) {
    const ZipEntry& e = entries[i];
    out += le32(e.centralSignature) + le16(e.versionMadeBy) + le16(e.versionNeeded) + le16(e.flags) + le16(e.method) +
           le16(e.modTime) + le16(e.modDate) + le32(e.crcValue()) + le32(e.compressedValue()) +
           le32(e.uncompressedValue()) + le16(e.centralNameLength.value_or(static_cast<uint16_t>(e.name.size()))) +
           le16(e.centralExtraLength.value_or(static_cast<uint16_t>(e.centralExtra.size()))) +
           le16(e.centralCommentLength.value_or(static_cast<uint16_t>(e.comment.size()))) + le16(e.diskNumberStart) +
           le16(e.internalAttributes) + le32(e.externalAttributes) +
           le32(e.localHeaderOffset.value_or(
               static_cast<uint32_t>(localOffsets[i] - (offsetsFromStubEnd ? stub.size() : 0)))) +
           e.name + e.centralExtra + e.comment;
  }
  const uint64_t dirSize = out.size() - directoryOffset;
  const uint16_t count = static_cast<uint16_t>(entries.size());
  if (zip64.write) {
    const uint64_t recordOffset = out.size();
    out += le32(zip64.recordSignature) + le64(44) + le16(45) + le16(45) + le32(0) + le32(0) +
           le64(zip64.totalEntries.value_or(entries.size())) + le64(zip64.totalEntries.value_or(entries.size())) +
           le64(zip64.dirSize.value_or(dirSize)) + le64(zip64.dirOffset.value_or(directoryOffset));
    out += le32(0x07064b50) + le32(0) + le64(zip64.locatorOffset.value_or(recordOffset)) + le32(zip64.totalDisks);
  }
  endRecordOffset = out.size();
  out += le32(0x06054b50) + le16(end.thisDisk.value_or(0)) + le16(end.dirStartDisk.value_or(0)) +
         le16(end.entriesOnDisk.value_or(count)) + le16(end.totalEntries.value_or(count)) +
         le32(end.dirSize.value_or(static_cast<uint32_t>(dirSize))) +
         le32(end.dirOffset.value_or(static_cast<uint32_t>(directoryOffset))) +
         le16(end.commentLength.value_or(static_cast<uint16_t>(end.comment.size()))) + end.comment + trailing;
  return out;
}

}  // namespace ziptest
