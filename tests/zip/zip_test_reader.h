#pragma once
// A plain reading of a whole archive in memory through the component's record
// codecs, for tests that check those codecs against other tools' archives.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "zip/directory/za_dir_item.h"
#include "zip/format/za_records.h"

namespace ziptest {

struct ReadArchive {
  zip::TZipEndOfCentralDir end;
  uint64_t endOffset = 0;
  std::string comment;
  std::optional<zip::TZip64Locator> locator;
  std::optional<zip::TZip64EndOfCentralDir> zip64;
  std::vector<zip::TDirItem> items;
  std::vector<std::string> rawEntries;  // each entry's bytes as stored in the directory
  uint64_t directoryOffset = 0;
};

std::string readBytes(const std::string& fileName);
// Nothing when the end record, a Zip64 record or an entry cannot be read.
std::optional<ReadArchive> readArchive(const std::string& bytes, bool oemFileNames = true);
// The bytes of an entry's data (after its local header, name and extra field).
std::string entryData(const std::string& bytes, const zip::TDirItem& item);
// Raw inflate of entry data.
std::string rawInflate(const std::string& data, size_t expectedSize);

}  // namespace ziptest
