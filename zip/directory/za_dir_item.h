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

// What few entries carry: a comment, and what an entry marked for storing or
// renaming brings along. Held apart, so that the directory of a large archive,
// kept twice during an update, costs little for the many entries without it.
struct TDirItemExtras {
  std::string Comment;       // bytes as stored
  std::string PreviousName;  // the stored name before a pending rename
  std::string Password;
  std::string SourceFileName;
  // Shared between the working and the rollback directory: the stream goes
  // when the last item that holds it goes, whichever array that is in.
  std::shared_ptr<platform::TStream> SourceStream;
  bool OwnsSourceStream = false;
  int32_t SourceStart = 0;
};

struct TDirItem : TZipCentralHeader {
  TDirItem() = default;
  TDirItem(const TDirItem& other) : TZipCentralHeader(other) { *this = other; }
  TDirItem(TDirItem&&) noexcept = default;
  TDirItem& operator=(const TDirItem& other);
  TDirItem& operator=(TDirItem&&) noexcept = default;

  std::string FileName;  // UTF-8, "/" separators, folders end with "/"
  std::vector<ExtraBlock> ExtraBlocks;
  bool HasZip64 = false;
  bool StorePending = false;
  bool Selected = false;
  uint8_t CompressionMode = 0;
  uint8_t PendingOperation = 0;
  uint32_t DiskNumberStart32 = 0;
  uint64_t UncompressedSize64 = 0;
  uint64_t CompressedSize64 = 0;
  uint64_t LocalHeaderOffset64 = 0;

  // Read without making them; an entry without any reads empty ones.
  const TDirItemExtras& Extras() const;
  // Made on first write.
  TDirItemExtras& EditExtras();

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

 private:
  std::unique_ptr<TDirItemExtras> extras_;
};

// The local header the entry is written with: its fields as the entry holds
// them, without a name or an extra field yet.
TZipLocalHeader ZALocalHeaderFor(const TDirItem& item);

// Sets FileName with the NameLength and the bit 11 that the name is written with.
void ZASetStoredName(TDirItem& item, const std::string& name, bool oemFileNames);

}  // namespace zip
