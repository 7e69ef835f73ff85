#pragma once
// One entry of the open archive as a caller may see it: its name, sizes,
// time, attributes, method, encryption and comment. A view, valid until the
// archive's directory changes (an update, a close).
#include <cstdint>
#include <string>

namespace zip {

class TZABaseArchiver;
struct TDirItem;

class TZAEntry {
 public:
  // The stored name: UTF-8, "/" separators, a folder's ends with "/".
  const std::string& FileName() const;
  uint64_t CompressedSize() const;
  uint64_t UncompressedSize() const;
  // DOS time and date of the last change.
  uint16_t ModTime() const;
  uint16_t ModDate() const;
  uint32_t Crc() const;
  uint32_t ExternalAttributes() const;
  bool IsFolder() const;
  // 0 stored, 8 deflated.
  uint16_t Method() const;
  bool Encrypted() const;
  const std::string& Comment() const;

 private:
  friend class TZABaseArchiver;
  explicit TZAEntry(const TDirItem& item) : item_(&item) {}
  const TDirItem* item_;
};

}  // namespace zip
