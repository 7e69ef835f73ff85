#include "zip/directory/za_central_entry.h"

#include <string>

#include "zip/format/za_bytes.h"
#include "zip/names/za_names.h"
#include "zip/format/za_range.h"

namespace zip {

namespace {

std::string_view asText(std::span<const uint8_t> b) { return {reinterpret_cast<const char*>(b.data()), b.size()}; }

std::span<const uint8_t> asBytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

}  // namespace

void ApplyZip64Block(TDirItem& item, const ExtraBlock& block) {
  TZAByteReader r(block.Data);
  if (item.UncompressedSize == kMarker32 && r.Remaining() >= 8) item.UncompressedSize64 = r.U64();
  if (item.CompressedSize == kMarker32 && r.Remaining() >= 8) item.CompressedSize64 = r.U64();
  if (item.LocalHeaderOffset == kMarker32 && r.Remaining() >= 8) item.LocalHeaderOffset64 = r.U64();
  if (item.DiskNumberStart == kMarker16 && r.Remaining() >= 2) item.DiskNumberStart32 = r.U16();
}

bool ReadCentralEntryTail(const TZipCentralHeader& header, std::span<const uint8_t> tail, bool oemFileNames,
                          TDirItem& item) {
  const uint64_t need = uint64_t{header.NameLength} + header.ExtraLength + header.CommentLength;
  if (tail.size() != need) return false;
  TZAByteReader r(tail);
  const auto name = r.Bytes(header.NameLength);
  const auto extra = r.Bytes(header.ExtraLength);
  const auto comment = r.Bytes(header.CommentLength);

  static_cast<TZipCentralHeader&>(item) = header;
  // The kept name may be shorter than the stored one (cut at kMaxNameLength bytes
  // or at a zero byte): its length is taken anew so that the directory written later
  // stays aligned.
  ZASetStoredName(item, ZADecodeStoredName(asText(name), header.Flags, header.VersionMadeBy, oemFileNames),
                  oemFileNames);
  item.HasZip64 = false;
  item.UncompressedSize64 = item.CompressedSize64 = item.LocalHeaderOffset64 = 0;
  item.DiskNumberStart32 = 0;
  item.ExtraBlocks = ParseExtraField(extra);
  for (const ExtraBlock& b : item.ExtraBlocks) {
    if (b.HeaderId != kZip64ExtraId) continue;
    ApplyZip64Block(item, b);
    item.HasZip64 = true;
  }
  if (!comment.empty()) item.EditExtras().Comment.assign(asText(comment));
  return true;
}

bool ReadCentralEntry(std::span<const uint8_t> buffer, size_t& pos, bool oemFileNames, TDirItem& item) {
  if (!ZARangeFits(pos, TZipCentralHeader::kSize, buffer.size())) return false;
  const auto header = DecodeCentralHeader(buffer.subspan(pos));
  const uint64_t tailSize = uint64_t{header->NameLength} + header->ExtraLength + header->CommentLength;
  const uint64_t tailStart = pos + TZipCentralHeader::kSize;
  if (!ZARangeFits(tailStart, tailSize, buffer.size())) return false;
  if (!ReadCentralEntryTail(*header, buffer.subspan(tailStart, tailSize), oemFileNames, item)) return false;
  pos = tailStart + tailSize;
  return true;
}

uint16_t Zip64ExtraSize(const TZipCentralHeader& h) {
  uint16_t size = 0;
  if (h.UncompressedSize == kMarker32) size += 8;
  if (h.CompressedSize == kMarker32) size += 8;
  if (h.LocalHeaderOffset == kMarker32) size += 8;
  if (h.DiskNumberStart == kMarker16) size += 4;
  return size > 0 ? size + 4 : 0;
}

std::vector<uint8_t> EncodeCentralExtraField(const TDirItem& item) {
  TZAByteWriter w;
  const uint16_t zip64 = Zip64ExtraSize(item);
  if (zip64 > 0) {
    w.U16(kZip64ExtraId);
    w.U16(zip64 - 4);
    if (item.UncompressedSize == kMarker32) w.U64(item.UncompressedSize64);
    if (item.CompressedSize == kMarker32) w.U64(item.CompressedSize64);
    if (item.LocalHeaderOffset == kMarker32) w.U64(item.LocalHeaderOffset64);
    if (item.DiskNumberStart == kMarker16) w.U32(item.DiskNumberStart32);
  }
  for (const ExtraBlock& b : item.ExtraBlocks) {
    if (b.HeaderId == kZip64ExtraId) continue;
    if (w.Data().size() + 4 + b.Data.size() > 0xFFFF) continue;
    w.U16(b.HeaderId);
    w.U16(b.DataSize());
    w.Bytes(b.Data);
  }
  return w.Take();
}

uint16_t CentralExtraFieldLength(const TDirItem& item) {
  return static_cast<uint16_t>(EncodeCentralExtraField(item).size());
}

std::vector<uint8_t> EncodeCentralEntry(const TDirItem& item, bool oemFileNames) {
  const TZAStoredName name = ZAEncodeStoredName(item.FileName, item.VersionMadeBy, item.Flags, oemFileNames);
  const std::vector<uint8_t> extra = EncodeCentralExtraField(item);
  TZipCentralHeader header = item;
  header.NameLength = static_cast<uint16_t>(std::min<size_t>(name.Bytes.size(), 0xFFFF));
  header.Flags = name.Utf8 ? (header.Flags | kFlagUtf8) : (header.Flags & ~kFlagUtf8);
  header.ExtraLength = static_cast<uint16_t>(extra.size());
  header.CommentLength = static_cast<uint16_t>(std::min<size_t>(item.Extras().Comment.size(), 0xFFFF));
  TZAByteWriter w;
  w.Bytes(EncodeCentralHeader(header));
  w.Bytes(asBytes(name.Bytes).first(header.NameLength));
  w.Bytes(extra);
  w.Bytes(asBytes(item.Extras().Comment).first(header.CommentLength));
  return w.Take();
}

}  // namespace zip
