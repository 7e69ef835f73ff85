#include "zip/zip_test_reader.h"

#include <zlib.h>

#include <fstream>
#include <sstream>
#include <span>
#include <stdexcept>

#include "zip/directory/za_central_entry.h"
#include "zip/format/za_range.h"

namespace ziptest {

namespace {
std::span<const uint8_t> bytesOf(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}
}  // namespace

std::string readBytes(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::optional<ReadArchive> readArchive(const std::string& bytes, bool oemFileNames) {
  const auto all = bytesOf(bytes);
  if (all.size() < zip::TZipEndOfCentralDir::kSize) return std::nullopt;
  ReadArchive a;
  bool found = false;
  for (size_t p = all.size() - zip::TZipEndOfCentralDir::kSize + 1; p-- > 0;) {
    const auto e = zip::DecodeEndOfCentralDir(all.subspan(p));
    if (e->Signature == zip::kEndOfCentralDirSignature && zip::ZAEndRecordAccepted(p, e->CommentLength, all.size())) {
      a.end = *e;
      a.endOffset = p;
      found = true;
      break;
    }
  }
  if (!found) return std::nullopt;
  a.comment = bytes.substr(a.endOffset + zip::TZipEndOfCentralDir::kSize);
  uint64_t dirEnd = a.endOffset;
  uint64_t dirSize = a.end.DirSize;
  uint64_t count = a.end.TotalEntries;
  if (a.endOffset >= zip::TZip64Locator::kSize) {
    const auto l = zip::DecodeZip64Locator(all.subspan(a.endOffset - zip::TZip64Locator::kSize));
    if (l->Signature == zip::kZip64LocatorSignature) {
      a.locator = l;
      if (!zip::ZARangeFits(l->Zip64EndOffset, zip::TZip64EndOfCentralDir::kSize, all.size())) return std::nullopt;
      const auto z = zip::DecodeZip64EndOfCentralDir(all.subspan(l->Zip64EndOffset));
      if (z->Signature != zip::kZip64EndOfCentralDirSignature) return std::nullopt;
      a.zip64 = z;
      dirEnd = l->Zip64EndOffset;
      dirSize = z->DirSize;
      count = z->TotalEntries;
    }
  }
  if (dirSize > dirEnd) return std::nullopt;
  const size_t dirStart = dirEnd - dirSize;
  const auto dir = all.subspan(dirStart, dirSize);
  if (!zip::ZACountFits(count, zip::TZipCentralHeader::kSize, dir.size())) return std::nullopt;
  a.directoryOffset = dirStart;
  size_t pos = 0;
  for (uint64_t i = 0; i < count; ++i) {
    zip::TDirItem item;
    const size_t at = pos;
    if (!zip::ReadCentralEntry(dir, pos, oemFileNames, item)) return std::nullopt;
    a.items.push_back(std::move(item));
    a.rawEntries.push_back(bytes.substr(dirStart + at, pos - at));
  }
  return a;
}

std::string entryData(const std::string& bytes, const zip::TDirItem& item) {
  const uint64_t at = item.TrueLocalHeaderOffset();
  if (!zip::ZARangeFits(at, zip::TZipLocalHeader::kSize, bytes.size())) throw std::runtime_error("local header");
  const auto h = zip::DecodeLocalHeader(bytesOf(bytes).subspan(at));
  const uint64_t start = at + zip::TZipLocalHeader::kSize + h->NameLength + h->ExtraLength;
  if (!zip::ZARangeFits(start, item.TrueCompressedSize(), bytes.size())) throw std::runtime_error("entry data");
  return bytes.substr(start, item.TrueCompressedSize());
}

std::string rawInflate(const std::string& data, size_t expectedSize) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) throw std::runtime_error("inflateInit2");
  std::string out(expectedSize, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = inflate(&z, Z_FINISH);
  inflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("inflate");
  out.resize(z.total_out);
  return out;
}

}  // namespace ziptest
