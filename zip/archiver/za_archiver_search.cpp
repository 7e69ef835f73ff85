#include <algorithm>

#include "zip/archiver/za_archiver_impl.h"
#include "zip/za_archiver.h"
#include "zip/names/za_path_parts.h"
#include "zip/names/za_search.h"

namespace zip {

namespace {

std::string withoutTrailingSlash(std::string s) {
  if (!s.empty() && (s.back() == '/' || s.back() == '\\')) s.pop_back();
  return s;
}

}  // namespace

bool TZABaseArchiver::Impl::nameMatchesSearch(const TDirItem& entry, const TZAArchiveItem& item) const {
  const std::string name = withoutTrailingSlash(entry.FileName);
  if (!MatchesNameOrFile(name, item.Mask)) return false;
  // The exclusion mask is applied the same way: a matching name is left out.
  return item.ExclusionMask.empty() || !MatchesNameOrFile(name, item.ExclusionMask);
}

bool TZABaseArchiver::FindFirst(const std::string& fileMask, TZAArchiveItem& item, int32_t searchAttr,
                                const std::string& exclusionMask) {
  const bool keepDrive = Options().StorePath == spFullPathWithDrive;
  std::string mask = keepDrive ? fileMask : ZAStripMaskDrive(fileMask);
  const bool driveCut = mask.size() != fileMask.size();
  std::replace(mask.begin(), mask.end(), '\\', '/');
  // Stored names never begin with a separator: "C:\dossier\*" looks for "dossier/*".
  if (driveCut && !mask.empty() && mask[0] == '/') mask.erase(0, 1);
  if (mask.size() > kMaxSearchMask) mask.resize(kMaxSearchMask);
  item.Mask = mask;
  item.ExclusionMask = exclusionMask;
  std::replace(item.ExclusionMask.begin(), item.ExclusionMask.end(), '\\', '/');
  item.SearchAttr = searchAttr;
  item.HasWildcards = mask.find_first_of("*?") != std::string::npos;
  item.ListMode = false;
  item.Index = 0;
  return impl_->searchStep(item);
}

bool TZABaseArchiver::FindNext(TZAArchiveItem& item) {
  ++item.Index;
  return impl_->searchStep(item);
}

bool TZABaseArchiver::Impl::searchStep(TZAArchiveItem& item) {
  if (!dirManager_) return false;
  TZADirArray& dir = dirManager_->ArchiveDir;
  for (int32_t i = std::max(item.Index, 0); i < dir.Count(); ++i) {
    const TDirItem& entry = *dir.GetItemPtr(i);
    if (!a_.Options().Recurse &&
        ZALowerAscii(ZAFolderPart(withoutTrailingSlash(entry.FileName))) != ZALowerAscii(ZAFolderPart(item.Mask)))
      continue;
    if (!nameMatchesSearch(entry, item) || !AttrMatches(entry.ExternalAttributes, item.SearchAttr)) continue;
    item.Index = i;
    const std::string name = withoutTrailingSlash(entry.FileName);
    item.FileName = ZAFilePart(name);
    item.StoredFolder = ZAFolderPart(name);
    item.CompressedSize = static_cast<int64_t>(entry.TrueCompressedSize());
    item.UncompressedSize = static_cast<int64_t>(entry.TrueUncompressedSize());
    item.SavedPercent =
        item.UncompressedSize > 0
            ? std::max(
                  0.0,
                  (1.0 - static_cast<double>(item.CompressedSize) / static_cast<double>(item.UncompressedSize)) * 100.0)
            : 100.0;
    item.Encrypted = (entry.Flags & kFlagEncrypted) != 0;
    item.LastModFileTime = entry.ModTime;
    item.LastModFileDate = entry.ModDate;
    item.CRC = entry.Crc;
    item.ExternalFileAttributes = entry.ExternalAttributes;
    item.Comment = entry.Extras().Comment;
    return true;
  }
  item.Index = dir.Count();
  return false;
}

void TZABaseArchiver::SelectFiles(const std::string& fileMask, int32_t searchAttr, const std::string& exclusionMask) {
  if (!impl_->dirManager_) return;
  TZADirArray& dir = impl_->dirManager_->ArchiveDir;
  dir.ClearSelection();
  TZAArchiveItem item;
  for (bool found = FindFirst(fileMask, item, searchAttr, exclusionMask); found; found = FindNext(item))
    dir.GetItemPtr(item.Index)->Selected = true;
}

}  // namespace zip
