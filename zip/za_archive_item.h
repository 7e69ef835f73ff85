#pragma once
// The record that FindFirst fills and FindNext advances.
#include <cstdint>
#include <string>

namespace zip {

struct TZAArchiveItem {
  std::string FileName;
  std::string StoredFolder;
  int64_t CompressedSize = 0;
  int64_t UncompressedSize = 0;
  double SavedPercent = 0;
  bool Encrypted = false;
  uint16_t LastModFileTime = 0;
  uint16_t LastModFileDate = 0;
  uint32_t CRC = 0;
  uint32_t ExternalFileAttributes = 0;
  std::string Comment;

  // Search state.
  int32_t Index = 0;
  std::string Mask;
  bool HasWildcards = false;
  int32_t SearchAttr = 0;
  std::string ExclusionMask;
  bool ListMode = false;
};

// The search mask keeps at most this many characters, as its fixed field did.
inline constexpr size_t kMaxSearchMask = 259;

}  // namespace zip
