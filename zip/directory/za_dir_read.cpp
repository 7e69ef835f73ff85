#include <algorithm>
#include <limits>
#include <vector>

#include "platform/core/exceptions.h"
#include "zip/za_archiver.h"
#include "zip/format/za_central_entry.h"
#include "zip/directory/za_dir_manager.h"
#include "zip/directory/za_signature_scanner.h"
#include "zip/za_except.h"
#include "zip/format/za_extra_field.h"
#include "zip/names/za_names.h"
#include "zip/format/za_range.h"

namespace zip {

namespace {

constexpr int64_t kEndSearchBlock = 65600;
constexpr int64_t kStubSearchWindow = 10000;
constexpr int64_t kRebuildWindow = 65535;
constexpr uint16_t kMaxRebuildExtra = 260;
constexpr uint16_t kUnixExtraId = 0x000d;
constexpr uint16_t kInfoZipUnixExtraId = 0x7875;
constexpr uint16_t kInfoZipOldUnixExtraId = 0x5855;

std::vector<uint8_t> readAt(platform::TStream& s, int64_t pos, int64_t count) {
  std::vector<uint8_t> b(static_cast<size_t>(count));
  s.SetPosition(pos);
  s.ReadBuffer(b.data(), count);
  return b;
}

std::string_view asText(const std::vector<uint8_t>& b) { return {reinterpret_cast<const char*>(b.data()), b.size()}; }

}  // namespace

TZADirManager::TZADirManager(platform::TStream* stream, TZABaseArchiver* archiver, bool newArchive)
    : stream_(stream), customStream_(stream != archiver->ArchiveStream()), archiver_(archiver) {
  ClearEndOfCentralDir();
  if (newArchive) {
    archiver_->VolumeInfo().SetFirstVolume(true);
    if (!archiver_->SFXStub.empty()) CopySFXStub();
  }
}

bool TZADirManager::multiVolume() const { return archiver_->SpanningMode() != smNone; }
bool TZADirManager::oemFileNames() const { return archiver_->Options().OEMFileNames; }

void TZADirManager::ClearEndOfCentralDir() {
  ArchiveDir.SetCount(0);
  EndOfCentralDir = TZipEndOfCentralDir{};
}

void TZADirManager::CopySFXStub() {
  platform::TFileStream stub(archiver_->SFXStub, platform::fmOpenRead | platform::fmShareDenyNone);
  TZAVolumeNumberInfo first;
  first.SetFirstVolume(true);
  const int64_t limit = archiver_->SpanningOptions().GetVolumeSizeBytes(first);
  if (multiVolume() && limit != -1 && limit < stub.Size()) throw EZAException(zeStubTooLarge, archiver_->Name);
  stream_->SetSize(0);
  stream_->SetPosition(0);
  stream_->CopyFrom(stub, 0);
  StubSize = stub.Size();
}

bool TZADirManager::FindEndOfCentralDir(uint32_t signature, TZipEndOfCentralDir& record, int64_t& position,
                                        std::string& comment) {
  position = -1;
  comment.clear();
  record = TZipEndOfCentralDir{};
  record.Signature = 0;
  const int64_t size = stream_->Size();
  const int64_t length = std::min(size, kEndSearchBlock);
  if (length < static_cast<int64_t>(TZipEndOfCentralDir::kSize)) return false;
  const int64_t blockStart = size - length;
  const std::vector<uint8_t> block = readAt(*stream_, blockStart, length);
  const uint8_t s0 = static_cast<uint8_t>(signature), s1 = static_cast<uint8_t>(signature >> 8),
                s2 = static_cast<uint8_t>(signature >> 16), s3 = static_cast<uint8_t>(signature >> 24);
  for (int64_t i = length - 1; i >= 3; --i) {
    const size_t k = static_cast<size_t>(i);
    if (block[k] != s3 || block[k - 1] != s2 || block[k - 2] != s1 || block[k - 3] != s0) continue;
    const int64_t at = i - 3;
    if (!ZARangeFits(static_cast<uint64_t>(at), TZipEndOfCentralDir::kSize, static_cast<uint64_t>(length))) continue;
    const auto rec = DecodeEndOfCentralDir(std::span(block).subspan(static_cast<size_t>(at)));
    if (!ZAEndRecordAccepted(static_cast<uint64_t>(blockStart + at), rec->CommentLength, static_cast<uint64_t>(size)))
      continue;
    record = *rec;
    position = blockStart + at;
    const auto* text = reinterpret_cast<const char*>(block.data()) + at + TZipEndOfCentralDir::kSize;
    comment.assign(text, rec->CommentLength);
    return true;
  }
  // Bytes after the comment (a download tool's padding, a copy that appended
  // something) do not make a sound archive damaged: a record is still taken
  // when the directory in front of it reads back exactly as it states.
  if (signature != kEndOfCentralDirSignature) return false;
  for (int64_t at = length - static_cast<int64_t>(TZipEndOfCentralDir::kSize); at >= 0; --at) {
    const size_t k = static_cast<size_t>(at);
    if (block[k] != s0 || block[k + 1] != s1 || block[k + 2] != s2 || block[k + 3] != s3) continue;
    const auto rec = DecodeEndOfCentralDir(std::span(block).subspan(k));
    if (!directoryChecksOut(blockStart + at, *rec)) continue;
    record = *rec;
    position = blockStart + at;
    const int64_t commentStart = at + static_cast<int64_t>(TZipEndOfCentralDir::kSize);
    const auto* text = reinterpret_cast<const char*>(block.data()) + commentStart;
    comment.assign(text, static_cast<size_t>(std::min<int64_t>(rec->CommentLength, length - commentStart)));
    return true;
  }
  return false;
}

bool TZADirManager::directoryChecksOut(int64_t position, const TZipEndOfCentralDir& rec) {
  auto disk = [](uint16_t d) { return d == kMarker16 ? 0 : d; };
  // Only a directory that lies whole on this volume can be checked.
  if (disk(rec.ThisDisk) != disk(rec.DirStartDisk) || rec.EntriesOnDisk != rec.TotalEntries) return false;
  uint64_t end = static_cast<uint64_t>(position);
  uint64_t dirSize = rec.DirSize, dirOffset = rec.DirOffset, count = rec.TotalEntries;
  constexpr uint64_t kZip64Tail = TZip64Locator::kSize + TZip64EndOfCentralDir::kSize;
  if (end >= kZip64Tail) {
    const auto loc = DecodeZip64Locator(readAt(*stream_, position - 20, 20));
    if (loc->Signature == kZip64LocatorSignature) {
      const auto z = DecodeZip64EndOfCentralDir(readAt(*stream_, static_cast<int64_t>(end - kZip64Tail), 56));
      if (z->Signature != kZip64EndOfCentralDirSignature || z->EntriesOnDisk != z->TotalEntries) return false;
      end -= kZip64Tail;
      dirSize = z->DirSize;
      dirOffset = z->DirOffset;
      count = z->TotalEntries;
    }
  }
  if (dirSize > end || !ZACountFits(count, TZipCentralHeader::kSize, dirSize)) return false;
  const uint64_t start = end - dirSize;
  // The offset must agree too: an archive stored whole inside an entry of
  // another (its offsets count from its own start) is never taken for it.
  if (dirOffset != start) return false;
  std::vector<uint8_t> fixed(TZipCentralHeader::kSize);
  uint64_t pos = start;
  for (uint64_t i = 0; i < count; ++i) {
    if (!ZARangeFits(pos, TZipCentralHeader::kSize, end)) return false;
    stream_->SetPosition(static_cast<int64_t>(pos));
    stream_->ReadBuffer(fixed.data(), static_cast<int64_t>(fixed.size()));
    const auto h = DecodeCentralHeader(fixed);
    if (h->Signature != kCentralHeaderSignature) return false;
    pos += TZipCentralHeader::kSize + uint64_t{h->NameLength} + h->ExtraLength + h->CommentLength;
  }
  return pos == end;
}

bool TZADirManager::HasEndOfCentralDir() {
  int64_t position = -1;
  EndRecordFound = FindEndOfCentralDir(kEndOfCentralDirSignature, EndOfCentralDir, position, ArchiveComment);
  return EndRecordFound || archiver_->AllowDamagedOpen();
}

void TZADirManager::RequestVolume(TZAVolumeNumberInfo& info) {
  if (customStream_) return;
  archiver_->OpenVolume(info);
  stream_ = archiver_->ArchiveStream();
}

void TZADirManager::AddStubOffset() {
  for (int32_t i = 0; i < ArchiveDir.Count(); ++i) {
    TDirItem& item = *ArchiveDir.GetItemPtr(i);
    if (item.IsFolder()) continue;
    if (item.LocalHeaderOffset == kMarker32) {
      item.LocalHeaderOffset64 += static_cast<uint64_t>(StubSize);
      continue;
    }
    const uint64_t moved = uint64_t{item.LocalHeaderOffset} + static_cast<uint64_t>(StubSize);
    if (moved < kMarker32) {
      item.LocalHeaderOffset = static_cast<uint32_t>(moved);
    } else {
      // Past 4 GiB the offset moves to the entry's Zip64 data instead of wrapping.
      item.LocalHeaderOffset = kMarker32;
      item.LocalHeaderOffset64 = moved;
      item.HasZip64 = true;
    }
  }
}

void TZADirManager::ReadDirectory() {
  ClearEndOfCentralDir();
  StubSize = 0;
  TZAVolumeNumberInfo info;
  int64_t e = -1;
  if (!FindEndOfCentralDir(kEndOfCentralDirSignature, EndOfCentralDir, e, ArchiveComment)) {
    EndOfCentralDir = TZipEndOfCentralDir{};
    if (multiVolume()) throw EZAException(zeOpenFailed, archiver_->Name);
    rebuildFromLocalHeaders();
    CentralDirStart = stream_->Size();
    return;
  }
  const int64_t size = stream_->Size();
  IsZip64 = false;
  if (e > static_cast<int64_t>(TZip64Locator::kSize)) {
    const auto loc = DecodeZip64Locator(readAt(*stream_, e - 20, 20));
    if (loc->Signature == kZip64LocatorSignature) {
      IsZip64 = true;
      Zip64Locator = *loc;
      e -= 20;
      bool ok = false;
      const auto takeAt = [&](uint64_t at) {
        if (ok || !ZARangeFits(at, TZip64EndOfCentralDir::kSize, static_cast<uint64_t>(size))) return;
        const auto rec = DecodeZip64EndOfCentralDir(readAt(*stream_, static_cast<int64_t>(at), 56));
        if (rec->Signature != kZip64EndOfCentralDirSignature) return;
        Zip64EndOfCentralDir = *rec;
        e -= 56;
        ok = true;
      };
      if (e > static_cast<int64_t>(TZip64EndOfCentralDir::kSize)) {
        takeAt(loc->Zip64EndOffset);
        // With a stub in front the locator's offset counts from the ZIP data:
        // the record stands just before the locator, and the entries' offsets
        // are corrected by the stub size below, as for the 32-bit record.
        takeAt(static_cast<uint64_t>(e) - TZip64EndOfCentralDir::kSize);
      }
      if (!ok) throw EZAException(zeZip64EndMissing, archiver_->Name);
    }
  }

  int64_t dirVolume = 0, lastVolume = 0;
  if (IsZip64) {
    dirVolume = Zip64EndOfCentralDir.DirStartDisk;
    lastVolume = Zip64Locator.TotalDisks > 0 ? int64_t{Zip64Locator.TotalDisks} - 1 : 0;
  } else {
    if (EndOfCentralDir.ThisDisk == kMarker16) EndOfCentralDir.ThisDisk = 0;
    if (EndOfCentralDir.DirStartDisk == kMarker16) EndOfCentralDir.DirStartDisk = 0;
    dirVolume = EndOfCentralDir.DirStartDisk;
    lastVolume = EndOfCentralDir.ThisDisk;
  }
  constexpr int64_t kMaxVolume = std::numeric_limits<int32_t>::max() - 1;
  info.LastVolumeNumber = static_cast<int32_t>(std::min(lastVolume, kMaxVolume));
  info.SetVolumeNumber(static_cast<int32_t>(std::min(dirVolume, kMaxVolume)));
  if (multiVolume()) RequestVolume(info);

  uint64_t start = 0, count = 0;
  const bool single = !multiVolume();
  const uint64_t dirSize = IsZip64 ? Zip64EndOfCentralDir.DirSize : EndOfCentralDir.DirSize;
  if (IsZip64) {
    count = Zip64EndOfCentralDir.TotalEntries & 0xFFFFFFFFu;
    start = Zip64EndOfCentralDir.DirOffset;
  } else {
    count = EndOfCentralDir.TotalEntries;
    start = EndOfCentralDir.DirOffset;
  }
  // A single file's directory is found back from its end, so a stub in front does not move it.
  if (single && dirSize > static_cast<uint64_t>(e)) return damagedDirectory();
  if (single) start = static_cast<uint64_t>(e) - dirSize;
  const uint64_t here = static_cast<uint64_t>(stream_->Size());
  // Every entry takes at least its fixed header: a count the bytes cannot hold is refused before any work.
  if (start > here || (single && !ZACountFits(count, TZipCentralHeader::kSize, here - start)))
    return damagedDirectory();
  count = std::min<uint64_t>(count, std::numeric_limits<int32_t>::max());
  stream_->SetPosition(static_cast<int64_t>(start));
  if (!readEntries(static_cast<int64_t>(count), info)) return damagedDirectory();

  if (lastVolume == 0) {
    const int64_t displacement = findFirstLocalHeader(e);
    if (displacement > 0) AddStubOffset();
  }
  if (dataOverlap()) throw EZAException(zeDamagedArchive, archiver_->Name);
}

bool TZADirManager::dataOverlap() {
  // Entries sharing their data (a zip bomb writes gigabytes from one small
  // stream) are found once here, sorted by where their headers stand; each
  // takes at least its fixed local header and its compressed data. Folders
  // are never read, and a single file has one disk whatever the entries say.
  struct Extent {
    uint32_t disk;
    uint64_t start, end;
  };
  std::vector<Extent> extents;
  extents.reserve(static_cast<size_t>(ArchiveDir.Count()));
  const bool volumes = multiVolume();
  for (int32_t i = 0; i < ArchiveDir.Count(); ++i) {
    const TDirItem& item = *ArchiveDir.GetItemPtr(i);
    if (item.IsFolder()) continue;
    const uint64_t start = item.TrueLocalHeaderOffset();
    const uint64_t length = TZipLocalHeader::kSize + item.TrueCompressedSize();
    const uint64_t end =
        length > std::numeric_limits<uint64_t>::max() - start ? std::numeric_limits<uint64_t>::max() : start + length;
    extents.push_back({volumes ? item.TrueDiskNumberStart() : 0u, start, end});
  }
  std::sort(extents.begin(), extents.end(),
            [](const Extent& a, const Extent& b) { return a.disk != b.disk ? a.disk < b.disk : a.start < b.start; });
  for (size_t i = 1; i < extents.size(); ++i) {
    if (extents[i].disk == extents[i - 1].disk && extents[i].start < extents[i - 1].end) return true;
  }
  return false;
}

bool TZADirManager::readEntries(int64_t count, TZAVolumeNumberInfo& info) {
  std::vector<uint8_t> fixed(TZipCentralHeader::kSize);
  std::vector<uint8_t> tail;
  try {
    for (int64_t i = 0; i < count; ++i) {
      if (multiVolume() && stream_->Size() - stream_->Position() < static_cast<int64_t>(TZipCentralHeader::kSize)) {
        info.SetVolumeNumber(info.VolumeNumber + 1);
        RequestVolume(info);
        stream_->SetPosition(0);
      }
      if (i == 0) CentralDirStart = stream_->Position();
      const uint64_t size = static_cast<uint64_t>(stream_->Size());
      const uint64_t at = static_cast<uint64_t>(stream_->Position());
      if (!ZARangeFits(at, TZipCentralHeader::kSize, size)) return false;
      stream_->ReadBuffer(fixed.data(), static_cast<int64_t>(fixed.size()));
      const auto header = DecodeCentralHeader(fixed);
      // A header out of step (a name length that lies) is damage, not an entry.
      if (header->Signature != kCentralHeaderSignature) return false;
      tail.resize(size_t{header->NameLength} + header->ExtraLength + header->CommentLength);
      if (!ZARangeFits(at + TZipCentralHeader::kSize, tail.size(), size)) return false;
      stream_->ReadBuffer(tail.data(), static_cast<int64_t>(tail.size()));
      ArchiveDir.SetCount(static_cast<int32_t>(i + 1));
      ReadCentralEntryTail(*header, tail, oemFileNames(), *ArchiveDir.GetItemPtr(static_cast<int32_t>(i)));
    }
  } catch (const platform::EReadError&) {
    // A volume shorter than its directory says.
    return false;
  }
  return true;
}

void TZADirManager::damagedDirectory() {
  if (multiVolume() || !archiver_->AllowDamagedOpen()) throw EZAException(zeDamagedArchive, archiver_->Name);
  ClearEndOfCentralDir();
  IsZip64 = false;
  StubSize = 0;
  rebuildFromLocalHeaders();
  CentralDirStart = stream_->Size();
}

int64_t TZADirManager::findFirstLocalHeader(int64_t endPosition) {
  if (EndOfCentralDir.TotalEntries == 0 || ArchiveDir.Count() == 0) {
    StubSize = endPosition;
    return 0;
  }
  const TDirItem& first = *ArchiveDir.GetItemPtr(0);
  const uint64_t size = static_cast<uint64_t>(stream_->Size());
  TZASignatureScanner scanner(*stream_, kLocalHeaderSignature, kStubSearchWindow);
  const uint64_t offset = first.TrueLocalHeaderOffset();
  for (uint64_t from = offset; from < size;) {
    const int64_t hit = scanner.Find(static_cast<int64_t>(from));
    if (hit < 0) return 0;
    const uint64_t at = static_cast<uint64_t>(hit);
    if (ZARangeFits(at, TZipLocalHeader::kSize, size)) {
      const auto lh = DecodeLocalHeader(readAt(*stream_, hit, TZipLocalHeader::kSize));
      const bool nameFits = ZARangeFits(at + TZipLocalHeader::kSize, lh->NameLength, size);
      // Writers of Zip64 headers put other version numbers and size markers
      // in the local header, and a data descriptor leaves CRC and sizes 0 there.
      const bool described = (lh->Flags & kFlagDataDescriptor) != 0;
      const auto agrees = [&](uint32_t local, uint32_t central) {
        return local == central || local == kMarker32 || central == kMarker32 || (described && local == 0);
      };
      if (nameFits && lh->Signature == kLocalHeaderSignature && lh->Method == first.Method &&
          lh->ModTime == first.ModTime && lh->ModDate == first.ModDate && (lh->Crc == first.Crc || described) &&
          agrees(lh->CompressedSize, first.CompressedSize) && agrees(lh->UncompressedSize, first.UncompressedSize)) {
        // The first entry of the directory need not be the first in the file:
        // the stub is how far its header stands from where its offset says,
        // and when the offsets are right, where the lowest one points.
        const int64_t displacement = static_cast<int64_t>(at - offset);
        if (displacement > 0) {
          StubSize = displacement;
        } else {
          uint64_t lowest = offset;
          for (int32_t i = 0; i < ArchiveDir.Count(); ++i)
            lowest = std::min(lowest, ArchiveDir.GetItemPtr(i)->TrueLocalHeaderOffset());
          StubSize = static_cast<int64_t>(lowest);
        }
        return displacement;
      }
    }
    from = at + 1;
  }
  return 0;
}

void TZADirManager::rebuildFromLocalHeaders() {
  Rebuilt = true;
  const int64_t size = stream_->Size();
  const uint64_t usize = static_cast<uint64_t>(size);
  TZASignatureScanner headers(*stream_, kLocalHeaderSignature, kRebuildWindow);
  TZASignatureScanner descriptors(*stream_, kDataDescriptorSignature, kRebuildWindow);
  int64_t p = headers.Find(0);
  if (p < 0 || !ZARangeFits(static_cast<uint64_t>(p), TZipLocalHeader::kSize, usize))
    throw EZAException(zeInvalidArchive, archiver_->Name);
  while (p >= 0 && ZARangeFits(static_cast<uint64_t>(p), TZipLocalHeader::kSize, usize)) {
    const auto lh = DecodeLocalHeader(readAt(*stream_, p, TZipLocalHeader::kSize));
    const uint64_t dataStart = static_cast<uint64_t>(p) + TZipLocalHeader::kSize + lh->NameLength + lh->ExtraLength;
    int64_t next = p + 4;
    // An entry is kept only whole: its header, name, extra field and data all
    // lie inside the file, so a cut download or a killed update never yields
    // an entry whose data are missing.
    if (lh->CompressedSize < usize && lh->ExtraLength <= kMaxRebuildExtra && dataStart <= usize) {
      TDirItem item;
      item.Signature = kCentralHeaderSignature;
      item.VersionMadeBy = item.VersionNeeded = lh->VersionNeeded;
      item.Flags = lh->Flags;
      item.Method = lh->Method;
      item.ModTime = lh->ModTime;
      item.ModDate = lh->ModDate;
      item.Crc = lh->Crc;
      item.CompressedSize = lh->CompressedSize;
      item.UncompressedSize = lh->UncompressedSize;
      item.NameLength = lh->NameLength;
      item.ExtraLength = lh->ExtraLength;
      const bool descriptor = (lh->Flags & kFlagDataDescriptor) != 0;
      // The local header has no host: a Unix block in its extra field tells
      // that the name was stored raw, as the central directory would say.
      const auto extra = readAt(*stream_, p + TZipLocalHeader::kSize + lh->NameLength, lh->ExtraLength);
      for (const ExtraBlock& block : ParseExtraField(extra)) {
        if (block.HeaderId == kUnixExtraId || block.HeaderId == kInfoZipUnixExtraId ||
            block.HeaderId == kInfoZipOldUnixExtraId)
          item.VersionMadeBy = static_cast<uint16_t>((uint16_t{kHostUnix} << 8) | (lh->VersionNeeded & 0xFF));
      }
      if (static_cast<uint64_t>(p) < kMarker32) {
        item.LocalHeaderOffset = static_cast<uint32_t>(p);
      } else {
        item.LocalHeaderOffset = kMarker32;
        item.LocalHeaderOffset64 = static_cast<uint64_t>(p);
        item.HasZip64 = true;
      }
      const uint64_t nameLength = std::min<uint64_t>(lh->NameLength, kMaxNameLength);
      const auto raw = readAt(*stream_, p + TZipLocalHeader::kSize, static_cast<int64_t>(nameLength));
      ZASetStoredName(item, ZADecodeStoredName(asText(raw), item.Flags, item.VersionMadeBy, oemFileNames()),
                      oemFileNames());
      // Only a name that ends with "/" is a folder: an empty file stays a file.
      item.ExternalAttributes = !item.FileName.empty() && item.FileName.back() == '/' ? 0x10 : 0x20;
      bool whole = false;
      if (descriptor) {
        // Sizes unknown: the data are scanned, and skipped only when the
        // descriptor found ends them exactly.
        const int64_t d = descriptors.Find(static_cast<int64_t>(dataStart));
        if (d >= 0 && ZARangeFits(static_cast<uint64_t>(d), TZipDataDescriptor::kSize, usize)) {
          const auto dd = DecodeDataDescriptor(readAt(*stream_, d, TZipDataDescriptor::kSize));
          if (dd && ZARangeFits(dataStart, dd->CompressedSize, usize)) {
            item.Crc = dd->Crc;
            item.CompressedSize = dd->CompressedSize;
            item.UncompressedSize = dd->UncompressedSize;
            whole = true;
            next = dataStart + dd->CompressedSize == static_cast<uint64_t>(d) ? d + TZipDataDescriptor::kSize
                                                                              : static_cast<int64_t>(dataStart);
          }
        }
      } else {
        // The data are skipped: a stored archive inside them yields no entries.
        whole = ZARangeFits(dataStart, lh->CompressedSize, usize);
        if (whole) next = static_cast<int64_t>(dataStart + lh->CompressedSize);
      }
      if (whole) {
        const int32_t n = ArchiveDir.Count();
        ArchiveDir.SetCount(n + 1);
        *ArchiveDir.GetItemPtr(n) = std::move(item);
      }
    }
    p = headers.Find(next);
  }
}

}  // namespace zip
