#include <cstdio>
#include <filesystem>

#include "zip/directory/za_central_entry.h"
#include "zip/directory/za_dir_manager.h"

namespace zip {

int32_t TZADirManager::currentVolume() const {
  const int32_t v = volumes_.VolumeInfo().VolumeNumber;
  return v < 0 ? 0 : v;
}

void TZADirManager::writeZip64EndRecord(int64_t dirStart, uint32_t volume, uint32_t dirStartDisk, int64_t entries) {
  (void)dirStart;
  zip64EndOffset_ = stream_->Position();
  Zip64EndOfCentralDir = TZip64EndOfCentralDir{};
  Zip64EndOfCentralDir.ThisDisk = volume;
  Zip64EndOfCentralDir.DirStartDisk = dirStartDisk;
  Zip64EndOfCentralDir.EntriesOnDisk = Zip64EndOfCentralDir.TotalEntries = static_cast<uint64_t>(entries);
}

void TZADirManager::writeZip64Locator(uint32_t volume) {
  Zip64Locator = TZip64Locator{};
  Zip64Locator.Zip64EndDisk = volume;
  Zip64Locator.Zip64EndOffset = static_cast<uint64_t>(zip64EndOffset_);
  Zip64Locator.TotalDisks = volume + 1;
}

void TZADirManager::WriteDirectory(platform::TStream* stream) {
  if (stream) stream_ = stream;
  const std::string comment = ArchiveComment;
  const int64_t dirStart = stream_->Seek(0, platform::TSeekOrigin::soEnd);
  CentralDirStart = dirStart;
  const uint32_t dirStartVolume = static_cast<uint32_t>(currentVolume());
  const uint16_t dirStartDisk16 = dirStartVolume <= 65534 ? static_cast<uint16_t>(dirStartVolume) : kMarker16;

  TZAVolumeNumberInfo& info = volumes_.VolumeInfo();
  platform::TMemoryStream staging;
  platform::TMemoryStream* pending = multiVolume() ? &staging : nullptr;
  platform::TStream* out = stream_;
  const bool oem = oemFileNames();
  uint64_t dirSize = 0;
  // On a single file the entries go out in large blocks, not three writes
  // each; the block never grows past its first size.
  constexpr size_t kBlock = 256 * 1024;
  std::vector<uint8_t> block;
  if (!multiVolume()) block.reserve(kBlock);
  auto flushBlock = [&] {
    if (!block.empty())
      volumes_.WriteArchiveBuffer(block.data(), static_cast<int64_t>(block.size()), nullptr, -1, info, out);
    block.clear();
  };
  for (int32_t i = 0; i < ArchiveDir.Count(); ++i) {
    TDirItem& item = *ArchiveDir.GetItemPtr(i);
    item.ExtraLength = CentralExtraFieldLength(item);
    const std::vector<uint8_t> entry = EncodeCentralEntry(item, oem);
    dirSize += entry.size();
    if (!multiVolume()) {
      if (block.size() + entry.size() > kBlock) flushBlock();
      if (entry.size() > kBlock) {
        volumes_.WriteArchiveBuffer(entry.data(), static_cast<int64_t>(entry.size()), nullptr, -1, info, out);
        continue;
      }
      block.insert(block.end(), entry.begin(), entry.end());
      continue;
    }
    const auto header = DecodeCentralHeader(entry);
    const int64_t nameAndExtra = int64_t{header->NameLength} + header->ExtraLength;
    const int64_t rest = static_cast<int64_t>(entry.size()) - static_cast<int64_t>(TZipCentralHeader::kSize);
    // A header goes only where its name and extra field fit behind it.
    volumes_.WriteArchiveBuffer(entry.data(), TZipCentralHeader::kSize, pending, nameAndExtra, info, out);
    volumes_.WriteArchiveBuffer(entry.data() + TZipCentralHeader::kSize, nameAndExtra, pending, 0, info, out);
    volumes_.WriteArchiveBuffer(entry.data() + TZipCentralHeader::kSize + nameAndExtra, rest - nameAndExtra, pending,
                                  -1, info, out);
  }
  flushBlock();
  if (pending && pending->Size() > 0) {
    const std::vector<uint8_t> staged = pending->Bytes();
    pending->Clear();
    volumes_.WriteArchiveBuffer(staged.data(), static_cast<int64_t>(staged.size()), nullptr, -1, info, out);
  }
  stream_ = out;

  const int64_t entries = ArchiveDir.Count();
  const uint32_t volume = static_cast<uint32_t>(currentVolume());
  TZipEndOfCentralDir& end = EndOfCentralDir;
  end.EntriesOnDisk = end.TotalEntries = entries < 65535 ? static_cast<uint16_t>(entries) : kMarker16;
  end.DirSize = dirSize < kMarker32 ? static_cast<uint32_t>(dirSize) : kMarker32;
  end.DirOffset = static_cast<uint64_t>(dirStart) < kMarker32 ? static_cast<uint32_t>(dirStart) : kMarker32;
  end.CommentLength = static_cast<uint16_t>(std::min<size_t>(comment.size(), 0xFFFF));
  end.ThisDisk = volume <= 65534 ? static_cast<uint16_t>(volume) : kMarker16;
  end.DirStartDisk = dirStartDisk16;
  const int64_t endAt = stream_->Position();
  const bool zip64 = static_cast<uint64_t>(endAt) >= kMarker32 || end.DirStartDisk == kMarker16 ||
                     end.TotalEntries == kMarker16 || end.DirSize == kMarker32 || end.DirOffset == kMarker32 ||
                     end.ThisDisk == kMarker16;
  const int64_t tail = TZipEndOfCentralDir::kSize + end.CommentLength;
  if (zip64) {
    writeZip64EndRecord(dirStart, volume, dirStartVolume, entries);
    Zip64EndOfCentralDir.DirSize = dirSize;
    Zip64EndOfCentralDir.DirOffset = static_cast<uint64_t>(dirStart);
    const auto rec = EncodeZip64EndOfCentralDir(Zip64EndOfCentralDir);
    volumes_.WriteArchiveBuffer(rec.data(), rec.size(), nullptr, TZip64Locator::kSize + tail, info, stream_);
    writeZip64Locator(volume);
    const auto loc = EncodeZip64Locator(Zip64Locator);
    volumes_.WriteArchiveBuffer(loc.data(), loc.size(), nullptr, tail, info, stream_);
  }
  const auto rec = EncodeEndOfCentralDir(end);
  volumes_.WriteArchiveBuffer(rec.data(), rec.size(), nullptr, end.CommentLength, info, stream_);
  if (end.CommentLength > 0)
    volumes_.WriteArchiveBuffer(comment.data(), end.CommentLength, nullptr, 0, info, stream_);
  Rebuilt = false;

  if (multiVolume() && !customStream_ && volumes_.VolumeFileName() != volumes_.ArchiveFileName()) {
    const std::string own = volumes_.LastVolumeFileName();
    const std::string current = volumes_.VolumeFileName();
    volumes_.ReplaceStream(nullptr, current);
    stream_ = nullptr;
    std::error_code ec;
    if (own != current) {
      std::filesystem::remove(own, ec);
      std::filesystem::rename(current, own, ec);
    }
    auto reopened = std::make_unique<platform::TFileStream>(own, platform::fmOpenReadWrite | platform::fmShareDenyNone);
    reopened->Seek(0, platform::TSeekOrigin::soEnd);
    volumes_.ReplaceStream(std::move(reopened), own);
    stream_ = volumes_.ArchiveStream();
  }
}

}  // namespace zip
