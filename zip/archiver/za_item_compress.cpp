#include <cerrno>
#include <zlib.h>

#include <algorithm>
#include <vector>

#include "zip/archiver/za_archiver_impl.h"
#include "zip/za_archiver.h"
#include "zip/format/za_compression_tables.h"
#include "zip/format/za_crc32.h"
#include "zip/format/za_crypt.h"
#include "zip/za_except.h"

namespace zip {

namespace {

// The zlib stream lives for one call and is ended on every way out.
class Deflater {
 public:
  explicit Deflater(int level) {
    if (deflateInit2(&zs_, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw EZCompressionError();
    live_ = true;
  }
  ~Deflater() {
    if (live_) deflateEnd(&zs_);
  }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // One block through deflate with the given flush; the whole output.
  std::vector<uint8_t> Run(const uint8_t* in, size_t n, int flush) {
    std::vector<uint8_t> out(((n + n / 10 + 12) + 255) / 256 * 256);
    zs_.next_in = const_cast<uint8_t*>(in);
    zs_.avail_in = static_cast<uInt>(n);
    size_t used = 0;
    for (;;) {
      zs_.next_out = out.data() + used;
      zs_.avail_out = static_cast<uInt>(out.size() - used);
      const int r = deflate(&zs_, flush);
      if (r == Z_STREAM_ERROR) throw EZCompressionError();
      used = out.size() - zs_.avail_out;
      if (r == Z_STREAM_END || (zs_.avail_out > 0 && zs_.avail_in == 0)) break;
      out.resize(out.size() + 0x10000);
    }
    out.resize(used);
    return out;
  }
  void End() {
    live_ = false;
    if (deflateEnd(&zs_) != Z_OK) throw EZCompressionError();
  }

 private:
  z_stream zs_{};
  bool live_ = false;
};

}  // namespace

bool TZABaseArchiver::Impl::CompressItemData(platform::TStream& source, platform::TStream& archive, TDirItem& item) {
  source.SetPosition(0);
  const int64_t size = source.Size();
  int64_t done = 0;
  uint64_t compressed = 0;
  uint32_t crc = kCrcSeed;
  const uint8_t mode = item.CompressionMode;
  const int64_t bufferSize = BufferSizeForCompressionMode(mode);
  const bool encrypted = !item.Extras().Password.empty();
  const bool deflated = item.Method == kMethodDeflated;
  platform::TStream* out = &archive;
  cancel_ = false;

  std::unique_ptr<Deflater> deflater;
  if (deflated) deflater = std::make_unique<Deflater>(std::min<int>(mode, 9));
  std::vector<uint8_t> block(static_cast<size_t>(std::min<int64_t>(bufferSize, std::max<int64_t>(size, 1))));
  TZipCryptKeys keys;
  // The encryption header carries the CRC before the data: it is taken over
  // the bytes that will be stored, not over what a writer has appended since.
  uint32_t pre = kCrcSeed;
  if (encrypted) {
    for (int64_t left = size; left > 0;) {
      const int64_t n = source.Read(block.data(), std::min<int64_t>(static_cast<int64_t>(block.size()), left));
      if (n <= 0) break;
      pre = UpdateCRC32(pre, block.data(), n);
      left -= n;
    }
    const TZAEncryptionHeader header = ZipCryptMakeHeader(item.Extras().Password, ~pre, keys);
    errno = 0;
    if (WriteToVolumes(header.data(), kEncryptionHeaderSize, nullptr, -1, volumeInfo_, out) < kEncryptionHeaderSize)
      raiseWriteFailed();
    compressed += kEncryptionHeaderSize;
    source.SetPosition(0);
  }
  while (done < size) {
    progressStep(item.FileName, static_cast<double>(done), static_cast<double>(size),
                 static_cast<TZAProcessOperation>(item.PendingOperation));
    if (cancel_) break;
    const int64_t n = std::min<int64_t>(bufferSize, size - done);
    if (source.Read(block.data(), n) != n) break;
    crc = UpdateCRC32(crc, block.data(), n);
    const bool last = done + n >= size;
    std::vector<uint8_t> output;
    if (deflated) {
      output = deflater->Run(block.data(), static_cast<size_t>(n), last ? Z_FINISH : Z_SYNC_FLUSH);
      // The archive holds raw deflate data: zlib's header and Adler-32 trailer go.
      if (done == 0) output.erase(output.begin(), output.begin() + std::min<size_t>(2, output.size()));
      if (last) output.resize(output.size() >= 4 ? output.size() - 4 : 0);
    } else {
      output.assign(block.begin(), block.begin() + n);
    }
    if (encrypted) ZipCryptEncryptBuffer(static_cast<int64_t>(output.size()), 0, output.data(), keys);
    done += n;
    const int64_t len = static_cast<int64_t>(output.size());
    // A write that falls short is a write failure, not a short source.
    errno = 0;
    if (WriteToVolumes(output.data(), len, nullptr, -1, volumeInfo_, out) < len) raiseWriteFailed();
    compressed += static_cast<uint64_t>(len);
  }
  // After a short read, zlib's complaint about the unfinished
  // stream would hide the sizes that zeCompressedSize reports.
  if (deflater && done == size) deflater->End();

  if (done != size) {
    if (cancel_) return false;
    throw EZAException::CreateFmt(zeCompressedSize, a_.Name,
                                  {static_cast<long long>(size), static_cast<long long>(done)});
  }
  // Bytes changed in place between the two reads: the header's check would lie.
  if (encrypted && crc != pre) throw EZAException(zeBadEntryData, a_.Name);
  const bool always = a_.Zip64Mode == zmAlways;
  if (compressed >= kMarker32 || always) {
    item.HasZip64 = true;
    item.CompressedSize = kMarker32;
    item.CompressedSize64 = compressed;
  } else {
    item.CompressedSize = static_cast<uint32_t>(compressed);
  }
  if (static_cast<uint64_t>(size) >= kMarker32 || always) {
    item.HasZip64 = true;
    item.UncompressedSize = kMarker32;
    item.UncompressedSize64 = static_cast<uint64_t>(size);
  } else {
    item.UncompressedSize = static_cast<uint32_t>(size);
  }
  item.Crc = ~crc;
  if (item.HasZip64 && a_.Zip64Mode == zmDisabled)
    throw EZAException::CreateFmt(zeZip64OffCompressed, a_.Name, {item.FileName});
  if (size == 0) item.Method = kMethodStored;
  return true;
}

void TZABaseArchiver::Impl::progressStep(const std::string& fileName, double done, double total,
                                         TZAProcessOperation operation) {
  if (!progressEnabled_) return;
  const double fraction = total > 0 ? done / total : 0;
  a_.DoOnFileProgress(fileName, fraction * 100.0, operation, ppProcess, cancel_);
  if (cancel_) return;
  const double batch = selectedCount_ > 0 ? selectedCount_ : 1;
  a_.DoOnOverallProgress((fraction + itemsDone_) / batch * 100.0, operation, ppProcess, cancel_);
}

}  // namespace zip
