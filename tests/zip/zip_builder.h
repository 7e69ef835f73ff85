#pragma once
// Builds ZIP bytes field by field, independently of the component's own
// codecs, so that tests can state every value an archive carries, hostile
// ones included. Unset fields take the values a sound archive would hold.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/run_command.h"

namespace ziptest {

std::string le16(uint16_t v);
std::string le32(uint32_t v);
std::string le64(uint64_t v);
uint32_t crcOf(const std::string& data);
// Raw deflate (no zlib header or trailer), as entries store it.
std::string rawDeflate(const std::string& data);
// A Zip64 extended-information block with the given values, in their order.
std::string zip64Block(std::vector<uint64_t> values64, std::optional<uint32_t> disk = std::nullopt);
std::string extraBlock(uint16_t id, const std::string& data);

struct ZipEntry {
  std::string name;   // stored bytes
  std::string data;   // the bytes that follow the local header
  std::string plain;  // the uncompressed data, for the CRC and the size (defaults to data)
  uint16_t versionMadeBy = 20;
  uint16_t versionNeeded = 20;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t modTime = 0x4A3D;  // 09:17:58
  uint16_t modDate = 0x5D8A;  // 2026-12-10
  std::optional<uint32_t> crc;
  std::optional<uint32_t> compressedSize;
  std::optional<uint32_t> uncompressedSize;
  std::string localExtra;
  std::string centralExtra;
  std::string comment;
  uint16_t internalAttributes = 0;
  uint32_t externalAttributes = 0x20;
  uint16_t diskNumberStart = 0;
  std::optional<uint32_t> localHeaderOffset;
  std::optional<uint16_t> centralNameLength;
  std::optional<uint16_t> centralExtraLength;
  std::optional<uint16_t> centralCommentLength;
  uint32_t centralSignature = 0x02014b50;
  bool dataDescriptor = false;  // sizes and CRC after the data, 0 in the local header

  uint32_t crcValue() const { return crc ? *crc : crcOf(plain.empty() ? data : plain); }
  uint32_t compressedValue() const { return compressedSize ? *compressedSize : static_cast<uint32_t>(data.size()); }
  uint32_t uncompressedValue() const {
    return uncompressedSize ? *uncompressedSize : static_cast<uint32_t>((plain.empty() ? data : plain).size());
  }
};

struct ZipEnd {
  std::optional<uint16_t> thisDisk, dirStartDisk, entriesOnDisk, totalEntries;
  std::optional<uint32_t> dirSize, dirOffset;
  std::optional<uint16_t> commentLength;
  std::string comment;
};

struct ZipZip64 {
  bool write = false;
  std::optional<uint64_t> totalEntries, dirSize, dirOffset;
  std::optional<uint64_t> locatorOffset;  // where the locator says the record is
  uint32_t totalDisks = 1;
  uint32_t recordSignature = 0x06064b50;
};

class ZipBuilder {
 public:
  std::string stub;                 // bytes in front of the ZIP data
  bool offsetsFromStubEnd = false;  // offsets count from the ZIP data, as some tools write them
  std::vector<ZipEntry> entries;
  ZipEnd end;
  ZipZip64 zip64;
  std::string trailing;  // bytes after the archive comment

  ZipEntry& addStored(const std::string& name, const std::string& data);
  std::string build();

  // Filled by build(): where each local header and the directory start.
  std::vector<uint64_t> localOffsets;
  uint64_t directoryOffset = 0;
  uint64_t endRecordOffset = 0;
};

using testsupport::CommandResult;
using testsupport::runCommand;
using testsupport::shellQuote;

}  // namespace ziptest
