#include "zip/directory/za_dir_item.h"

#include "zip/names/za_names.h"

namespace zip {

TDirItem& TDirItem::operator=(const TDirItem& other) {
  if (this == &other) return *this;
  static_cast<TZipCentralHeader&>(*this) = other;
  FileName = other.FileName;
  ExtraBlocks = other.ExtraBlocks;
  HasZip64 = other.HasZip64;
  StorePending = other.StorePending;
  Selected = other.Selected;
  CompressionMode = other.CompressionMode;
  PendingOperation = other.PendingOperation;
  DiskNumberStart32 = other.DiskNumberStart32;
  UncompressedSize64 = other.UncompressedSize64;
  CompressedSize64 = other.CompressedSize64;
  LocalHeaderOffset64 = other.LocalHeaderOffset64;
  extras_ = other.extras_ ? std::make_unique<TDirItemExtras>(*other.extras_) : nullptr;
  return *this;
}

const TDirItemExtras& TDirItem::Extras() const {
  static const TDirItemExtras none;
  return extras_ ? *extras_ : none;
}

TDirItemExtras& TDirItem::EditExtras() {
  if (!extras_) extras_ = std::make_unique<TDirItemExtras>();
  return *extras_;
}

void TDirItem::SetOwnedSourceStream(std::unique_ptr<platform::TStream> stream) {
  TDirItemExtras& e = EditExtras();
  e.SourceStream = std::shared_ptr<platform::TStream>(std::move(stream));
  e.OwnsSourceStream = e.SourceStream != nullptr;
}

void TDirItem::SetBorrowedSourceStream(platform::TStream& stream) {
  TDirItemExtras& e = EditExtras();
  e.SourceStream = std::shared_ptr<platform::TStream>(&stream, [](platform::TStream*) {});
  e.OwnsSourceStream = false;
}

void TDirItem::ReleaseSourceStream() {
  if (!extras_) return;
  extras_->SourceStream.reset();
  extras_->OwnsSourceStream = false;
}

uint64_t TDirItem::TrueUncompressedSize() const {
  return UncompressedSize == kMarker32 ? UncompressedSize64 : UncompressedSize;
}

uint64_t TDirItem::TrueCompressedSize() const {
  return CompressedSize == kMarker32 ? CompressedSize64 : CompressedSize;
}

uint64_t TDirItem::TrueLocalHeaderOffset() const {
  return LocalHeaderOffset == kMarker32 ? LocalHeaderOffset64 : LocalHeaderOffset;
}

uint32_t TDirItem::TrueDiskNumberStart() const {
  return DiskNumberStart == kMarker16 ? DiskNumberStart32 : DiskNumberStart;
}

void ZASetStoredName(TDirItem& item, const std::string& name, bool oemFileNames) {
  const TZAStoredName stored = ZAEncodeStoredName(name, item.VersionMadeBy, item.Flags, oemFileNames);
  item.FileName = name;
  item.NameLength = static_cast<uint16_t>(std::min<size_t>(stored.Bytes.size(), 0xFFFF));
  item.Flags = stored.Utf8 ? (item.Flags | kFlagUtf8) : (item.Flags & ~kFlagUtf8);
}

TZipLocalHeader ZALocalHeaderFor(const TDirItem& item) {
  TZipLocalHeader header;
  header.VersionNeeded = item.VersionNeeded;
  header.Flags = item.Flags;
  header.Method = item.Method;
  header.ModTime = item.ModTime;
  header.ModDate = item.ModDate;
  header.Crc = item.Crc;
  header.CompressedSize = item.CompressedSize;
  header.UncompressedSize = item.UncompressedSize;
  return header;
}

}  // namespace zip
