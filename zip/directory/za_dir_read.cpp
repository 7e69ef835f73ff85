#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

#include "platform/core/exceptions.h"
#include "zip/directory/za_block_reader.h"
#include "zip/directory/za_central_entry.h"
#include "zip/directory/za_dir_manager.h"
#include "zip/directory/za_signature_scanner.h"
#include "zip/za_except.h"
#include "zip/format/za_range.h"

namespace zip {

namespace {

constexpr int64_t kEndSearchBlock = 65600;
constexpr int64_t kStubSearchWindow = 10000;

std::vector<uint8_t> readAt(platform::TStream& s, int64_t pos, int64_t count) {
  std::vector<uint8_t> b(static_cast<size_t>(count));
  s.SetPosition(pos);
  s.ReadBuffer(b.data(), count);
  return b;
}

}  // namespace

TZADirManager::TZADirManager(platform::TStream* stream, TZADirVolumes& volumes, const TZADirSettings& settings,
                             bool newArchive)
    : stream_(stream), customStream_(stream != volumes.ArchiveStream()), volumes_(volumes), settings_(settings) {
  ClearEndOfCentralDir();
  if (newArchive) {
    volumes_.VolumeInfo().SetFirstVolume(true);
    if (!settings_.StubFileName().empty()) CopySFXStub();
  }
}

bool TZADirManager::multiVolume() const { return settings_.MultiVolume(); }
bool TZADirManager::oemFileNames() const { return settings_.OEMFileNames(); }

void TZADirManager::ClearEndOfCentralDir() {
  ArchiveDir.SetCount(0);
  EndOfCentralDir = TZipEndOfCentralDir{};
}

void TZADirManager::CopySFXStub() {
  platform::TFileStream stub(settings_.StubFileName(), platform::fmOpenRead | platform::fmShareDenyNone);
  const int64_t limit = settings_.FirstVolumeLimit();
  if (multiVolume() && limit != -1 && limit < stub.Size()) throw EZAException(zeStubTooLarge, settings_.ComponentName());
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
  namedEntries_ = 0;
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
    namedEntries_ = std::max<uint64_t>(namedEntries_, rec->TotalEntries);
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
  // How far the Zip64 record stands from where the locator says: a stub's size.
  std::optional<uint64_t> locatorShift;
  constexpr uint64_t kZip64Tail = TZip64Locator::kSize + TZip64EndOfCentralDir::kSize;
  if (end >= kZip64Tail) {
    const auto loc = DecodeZip64Locator(readAt(*stream_, position - 20, 20));
    if (loc->Signature == kZip64LocatorSignature) {
      const auto z = DecodeZip64EndOfCentralDir(readAt(*stream_, static_cast<int64_t>(end - kZip64Tail), 56));
      if (z->Signature != kZip64EndOfCentralDirSignature || z->EntriesOnDisk != z->TotalEntries) return false;
      end -= kZip64Tail;
      if (loc->Zip64EndOffset > end) return false;
      locatorShift = end - loc->Zip64EndOffset;
      dirSize = z->DirSize;
      dirOffset = z->DirOffset;
      count = z->TotalEntries;
    }
  }
  if (dirSize > end || !ZACountFits(count, TZipCentralHeader::kSize, dirSize)) return false;
  const uint64_t start = end - dirSize;
  // The offsets must agree too, from the file's start or all from the end of
  // a stub; and an archive stored whole inside an entry of another (its
  // offsets count from its own start) is never taken for it.
  if (dirOffset > start) return false;
  const uint64_t stub = start - dirOffset;
  if (locatorShift && *locatorShift != stub) return false;
  if (stub > 0 && insideAnEntry(stub)) return false;
  try {
    TZABlockReader r(*stream_, static_cast<int64_t>(start));
    for (uint64_t i = 0; i < count; ++i) {
      if (static_cast<uint64_t>(r.Position()) + TZipCentralHeader::kSize > end || !r.Fill(TZipCentralHeader::kSize))
        return false;
      const auto h = DecodeCentralHeader(r.View());
      if (h->Signature != kCentralHeaderSignature) return false;
      r.Skip(TZipCentralHeader::kSize);
      const uint64_t tail = uint64_t{h->NameLength} + h->ExtraLength + h->CommentLength;
      if (tail > end - static_cast<uint64_t>(r.Position())) return false;
      if (!r.Fill(static_cast<size_t>(tail))) return false;
      r.Skip(static_cast<size_t>(tail));
    }
    return static_cast<uint64_t>(r.Position()) == end;
  } catch (const platform::EReadError&) {
    return false;
  }
}

bool TZADirManager::HasEndOfCentralDir() {
  int64_t position = -1;
  EndRecordFound = FindEndOfCentralDir(kEndOfCentralDirSignature, EndOfCentralDir, position, ArchiveComment);
  return EndRecordFound || settings_.AcceptsDamaged();
}

void TZADirManager::RequestVolume(TZAVolumeNumberInfo& info) {
  if (customStream_) return;
  volumes_.OpenVolume(info);
  stream_ = volumes_.ArchiveStream();
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
    if (multiVolume()) throw EZAException(zeOpenFailed, settings_.ComponentName());
    rebuildCounting(namedEntries_);
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
      if (!ok) throw EZAException(zeZip64EndMissing, settings_.ComponentName());
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
  // How far the directory stands behind where its stored offset puts it: a
  // stub's size, or the start of an archive stored in an entry and cut after.
  const uint64_t found = single ? static_cast<uint64_t>(e) - dirSize : start;
  const uint64_t dirShift = found > start ? found - start : 0;
  start = found;
  const uint64_t here = static_cast<uint64_t>(stream_->Size());
  // Every entry takes at least its fixed header: a count the bytes cannot hold is refused before any work.
  if (start > here || (single && !ZACountFits(count, TZipCentralHeader::kSize, here - start)))
    return damagedDirectory();
  count = std::min<uint64_t>(count, std::numeric_limits<int32_t>::max());
  stream_->SetPosition(static_cast<int64_t>(start));
  if (!readEntries(static_cast<int64_t>(count), info)) return damagedDirectory();

  if (lastVolume == 0) {
    const int64_t displacement = findFirstLocalHeader(e);
    // Offsets that count from inside an entry of the file: the directory is
    // that of an archive stored in the entry, and the file was cut after it.
    // The headers alone need not tell: an outer entry whose descriptor keeps
    // its CRC can pass for the inner archive's first one where it stands.
    if ((displacement > 0 && insideAnEntry(static_cast<uint64_t>(StubSize))) ||
        (dirShift > 0 && insideAnEntry(dirShift)))
      return damagedDirectory();
    if (displacement > 0) AddStubOffset();
  }
  if (dataOverlap()) throw EZAException(zeDamagedArchive, settings_.ComponentName());
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
  try {
    TZABlockReader r(*stream_, stream_->Position());
    for (int64_t i = 0; i < count; ++i) {
      if (multiVolume() && r.Remaining() < static_cast<int64_t>(TZipCentralHeader::kSize)) {
        info.SetVolumeNumber(info.VolumeNumber + 1);
        RequestVolume(info);
        r = TZABlockReader(*stream_, 0);
      }
      if (i == 0) CentralDirStart = r.Position();
      if (!r.Fill(TZipCentralHeader::kSize)) return false;
      const auto header = DecodeCentralHeader(r.View());
      // A header out of step (a name length that lies) is damage, not an entry.
      if (header->Signature != kCentralHeaderSignature) return false;
      const size_t tail = size_t{header->NameLength} + header->ExtraLength + header->CommentLength;
      if (!r.Fill(TZipCentralHeader::kSize + tail)) return false;
      ArchiveDir.SetCount(static_cast<int32_t>(i + 1));
      ReadCentralEntryTail(*header, r.View().subspan(TZipCentralHeader::kSize, tail), oemFileNames(),
                           *ArchiveDir.GetItemPtr(static_cast<int32_t>(i)));
      r.Skip(TZipCentralHeader::kSize + tail);
    }
  } catch (const platform::EReadError&) {
    // A volume shorter than its directory says.
    return false;
  }
  return true;
}

void TZADirManager::damagedDirectory() {
  if (multiVolume() || !settings_.AcceptsDamaged()) throw EZAException(zeDamagedArchive, settings_.ComponentName());
  const uint64_t named = IsZip64 ? Zip64EndOfCentralDir.TotalEntries : EndOfCentralDir.TotalEntries;
  ClearEndOfCentralDir();
  IsZip64 = false;
  StubSize = 0;
  rebuildCounting(named);
}

void TZADirManager::rebuildCounting(uint64_t namedEntries) {
  try {
    rebuildFromLocalHeaders();
  } catch (const EZAException& e) {
    if (namedEntries == 0 || e.NativeError != zeInvalidArchive) throw;
  }
  if (namedEntries > 0 && ArchiveDir.Count() == 0 && !stoppedAtUnfinished_)
    throw EZAException(zeDamagedArchive, settings_.ComponentName());
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

}  // namespace zip
