#pragma once
// One archive entry in memory: the fixed part of its central directory
// header, then what the component keeps about it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/streams.h"
#include "zip/format/za_extra_field.h"
#include "zip/format/za_records.h"

namespace zip {

struct TDirItem : TZipCentralHeader {
  std::string FileName;      // UTF-8, "/" separators, folders end with "/"
  std::string PreviousName;  // the stored name before a pending rename
  std::string Comment;       // bytes as stored
  std::vector<ExtraBlock> ExtraBlocks;
  bool HasZip64 = false;
  uint64_t UncompressedSize64 = 0;
  uint64_t CompressedSize64 = 0;
  uint64_t LocalHeaderOffset64 = 0;
  uint32_t DiskNumberStart32 = 0;
  bool StorePending = false;
  std::string Password;
  // Shared between the working and the rollback directory: the stream goes
  // when the last item that holds it goes, whichever array that is in.
  std::shared_ptr<platform::TStream> SourceStream;
  bool OwnsSourceStream = false;
  int32_t SourceStart = 0;
  bool Selected = false;
  std::string SourceFileName;
  uint8_t CompressionMode = 0;
  uint8_t PendingOperation = 0;

  // The item takes the stream and frees it with its last copy.
  void SetOwnedSourceStream(std::unique_ptr<platform::TStream> stream);
  // The caller keeps the stream and keeps it alive while the item uses it.
  void SetBorrowedSourceStream(platform::TStream& stream);
  void ReleaseSourceStream();

  // The true values, whether or not the fixed field holds its marker.
  uint64_t TrueUncompressedSize() const;
  uint64_t TrueCompressedSize() const;
  uint64_t TrueLocalHeaderOffset() const;
  uint32_t TrueDiskNumberStart() const;
  bool IsFolder() const { return (ExternalAttributes & 0x10) != 0; }
};

// The local header the entry is written with: its fields as the entry holds
// them, without a name or an extra field yet.
TZipLocalHeader ZALocalHeaderFor(const TDirItem& item);

// Sets FileName with the NameLength and the bit 11 that the name is written with.
void ZASetStoredName(TDirItem& item, const std::string& name, bool oemFileNames);

}  // namespace zip
