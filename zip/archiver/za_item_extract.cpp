#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "zip/archiver/za_archiver_impl.h"
#include "zip/za_archiver.h"
#include "zip/format/za_bytes.h"
#include "zip/format/za_crc32.h"
#include "zip/format/za_crypt.h"
#include "zip/za_except.h"
#include "zip/format/za_range.h"

namespace zip {

namespace {

constexpr int64_t kReadBlock = 0x100000;
// What the first read of an entry takes beyond its local header: room for
// the name and extra field, and the data of a small entry.
constexpr uint64_t kAheadNames = 512;
constexpr uint64_t kAheadData = 0x10000;
constexpr size_t kOutChunk = 0x10000;
constexpr uint16_t kMethodDeflate64 = 9;
constexpr int64_t kBlockHeaderSize = 50;
// Strong encryption: no cipher of this component reads it.
constexpr uint16_t kFlagStrongEncryption = 0x0040;
// Password questions for one entry before a wrong password fails it.
constexpr int kPasswordQuestions = 3;

using Emit = std::function<bool(const uint8_t*, size_t)>;

// Inflates input through a fixed output chunk, handing each piece to emit,
// so that no entry's claimed sizes decide how much memory is taken.
class Inflater {
 public:
  explicit Inflater(int windowBits) { ok_ = inflateInit2(&zs_, windowBits) == Z_OK; }
  ~Inflater() {
    if (ok_) inflateEnd(&zs_);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
  bool Ready() const { return ok_; }
  bool Ended() const { return ended_; }
  // Ready for a new stream, keeping what was allocated.
  bool Reset() {
    ended_ = false;
    return ok_ && inflateReset(&zs_) == Z_OK;
  }

  bool Feed(const uint8_t* in, size_t n, const Emit& emit) {
    if (ended_) return true;  // data past the end of the deflate stream are not output
    zs_.next_in = const_cast<uint8_t*>(in);
    zs_.avail_in = static_cast<uInt>(n);
    for (;;) {
      zs_.next_out = out_;
      zs_.avail_out = kOutChunk;
      const uInt before = zs_.avail_in;
      const int r = inflate(&zs_, Z_NO_FLUSH);
      if (r == Z_NEED_DICT || r == Z_DATA_ERROR || r == Z_MEM_ERROR || r == Z_STREAM_ERROR) return false;
      const size_t have = kOutChunk - zs_.avail_out;
      if (have > 0 && !emit(out_, have)) return false;
      if (r == Z_STREAM_END) {
        ended_ = true;
        return true;
      }
      if (zs_.avail_in == 0 && zs_.avail_out > 0) return true;
      if (have == 0 && zs_.avail_in == before) return true;  // zlib wants more input
    }
  }

 private:
  z_stream zs_{};
  bool ok_ = false;
  bool ended_ = false;
  // Left uninitialised: zeroing it cost more than small entries' inflate.
  std::unique_ptr<uint8_t[]> buffer_ = std::make_unique_for_overwrite<uint8_t[]>(kOutChunk);
  uint8_t* out_ = buffer_.get();
};

// Raw inflaters kept for the next entry of this thread: setting one up per entry (state,
// window, output chunk) cost more than a small entry's inflate. Each one is lent to one entry
// at a time, so an extraction started from an event handler takes another.
class RawInflaterLoan {
 public:
  RawInflaterLoan() {
    if (!spare().empty()) {
      held_ = std::move(spare().back());
      spare().pop_back();
      if (!held_->Reset()) held_.reset();
    }
    if (!held_) held_ = std::make_unique<Inflater>(-MAX_WBITS);
  }
  ~RawInflaterLoan() {
    if (held_->Ready() && spare().size() < kKept) spare().push_back(std::move(held_));
  }
  RawInflaterLoan(const RawInflaterLoan&) = delete;
  RawInflaterLoan& operator=(const RawInflaterLoan&) = delete;
  Inflater& operator*() { return *held_; }

 private:
  static constexpr size_t kKept = 4;
  static std::vector<std::unique_ptr<Inflater>>& spare() {
    thread_local std::vector<std::unique_ptr<Inflater>> kept;
    return kept;
  }
  std::unique_ptr<Inflater> held_;
};

}  // namespace

bool TZABaseArchiver::Impl::ExtractItemToStream(platform::TStream& archive, platform::TStream& target, TDirItem& item,
                                                int64_t archiveSize) {
  // The archive's own stream goes through the volumes and is never held: the
  // reference given here dies with the first read that changes volume.
  platform::TStream* foreign = &archive == archiveStream_.get() ? nullptr : &archive;
  const bool encrypted = (item.Flags & kFlagEncrypted) != 0;
  platform::TStream* source = foreign ? foreign : archiveStream_.get();
  // In a single file the local header, its name and extra field and the
  // data must all lie inside the file before any data are read.
  const bool oneFile = a_.SpanningMode() == smNone && source != nullptr;
  const uint64_t fileSize = !oneFile ? 0 : static_cast<uint64_t>(archiveSize >= 0 && !foreign ? archiveSize : source->Size());
  uint64_t here = oneFile ? static_cast<uint64_t>(source->Position()) : 0;
  auto fits = [&](uint64_t length) { return !oneFile || ZARangeFits(here, length, fileSize); };
  // In a single file, the local header, its name and a small entry's data
  // come in one read instead of three.
  std::unique_ptr<uint8_t[]> aheadBuffer;
  size_t aheadSize = 0, aheadAt = 0;
  if (oneFile && here < fileSize) {
    const uint64_t guess = TZipLocalHeader::kSize + kAheadNames + std::min<uint64_t>(item.TrueCompressedSize(), kAheadData);
    aheadSize = static_cast<size_t>(std::min<uint64_t>(guess, fileSize - here));
    aheadBuffer = std::make_unique_for_overwrite<uint8_t[]>(aheadSize);
    const int64_t got = source->Read(aheadBuffer.get(), static_cast<int64_t>(aheadSize));
    aheadSize = static_cast<size_t>(std::max<int64_t>(got, 0));
  }
  // Only a whole block is lent, so that blocks (and their progress events) stay as read.
  const LendEntryBytes lendData = [&](uint8_t*& at, int64_t n) -> int64_t {
    if (n <= 0 || static_cast<uint64_t>(n) > aheadSize - aheadAt) return 0;
    at = aheadBuffer.get() + aheadAt;
    aheadAt += static_cast<size_t>(n);
    return n;
  };
  const ReadEntryBytes readData = [&](void* buf, int64_t n) -> int64_t {
    int64_t got = 0;
    if (aheadAt < aheadSize && n > 0) {
      got = std::min<int64_t>(n, static_cast<int64_t>(aheadSize - aheadAt));
      std::memcpy(buf, aheadBuffer.get() + aheadAt, static_cast<size_t>(got));
      aheadAt += static_cast<size_t>(got);
      if (got == n) return got;
    }
    void* rest = static_cast<uint8_t*>(buf) + got;
    return got + (foreign ? foreign->Read(rest, n - got) : ReadFromVolumes(rest, n - got));
  };

  uint8_t raw[TZipLocalHeader::kSize];
  if (!fits(sizeof raw)) raise(zeBadEntryData);
  if (readData(raw, sizeof raw) != static_cast<int64_t>(sizeof raw)) return false;
  here += sizeof raw;
  const TZipLocalHeader lh = *DecodeLocalHeader(raw);
  {
    const int64_t skip = int64_t{lh.NameLength} + lh.ExtraLength;
    if (!fits(static_cast<uint64_t>(skip))) raise(zeBadEntryData);
    uint8_t* inMemory = nullptr;
    if (skip > 0 && lendData(inMemory, skip) != skip) {
      std::vector<uint8_t> scratch(static_cast<size_t>(skip));
      if (readData(scratch.data(), skip) != skip) return false;
    }
    here += static_cast<uint64_t>(skip);
  }
  uint64_t compressed = item.TrueCompressedSize();
  if (!fits(compressed)) raise(zeBadEntryData);
  if (oneFile && dirManager_) {
    // An entry never reads into the directory, whatever its size field says.
    const uint64_t dirStart = static_cast<uint64_t>(std::max<int64_t>(dirManager_->CentralDirStart, 0));
    const uint64_t room = here <= dirStart ? dirStart - here : 0;
    compressed = std::min(compressed, room);
  }
  uint32_t crc = kCrcSeed;
  uint64_t written = 0;
  bool result = false;
  if (item.Method == kMethodStored || item.Method == kMethodDeflated) {
    if (encrypted && (item.Flags & kFlagStrongEncryption) != 0) raise(zeBadEntryData);
    result = extractStreamPath(readData, lendData, target, item, encrypted, compressed, crc, written, lh);
  } else if (item.Method == kMethodDeflate64) {
    raise(zeDeflate64);
  } else if (item.VersionNeeded >= 11) {
    // No cipher is attached to the block layout (AES entries land here):
    // no password can ever open it, so none is asked for.
    if (encrypted) raise(zeBadEntryData);
    result = extractBlockPath(readData, target, item, crc, written);
  }
  if (written != item.TrueUncompressedSize()) result = false;
  if (result && !skip_) result = ~crc == item.Crc;
  return result;
}

bool TZABaseArchiver::Impl::extractStreamPath(const ReadEntryBytes& readData, const LendEntryBytes& lendData,
                                              platform::TStream& target, TDirItem& item, bool encrypted,
                                              uint64_t compressed, uint32_t& crc, uint64_t& written,
                                              const TZipLocalHeader& lh) {
  const uint64_t expected = item.TrueUncompressedSize();
  TZipCryptKeys keys;
  if (encrypted) {
    if (compressed < kEncryptionHeaderSize) return false;
    compressed -= kEncryptionHeaderSize;
    // Read once, tried with each password: the header may lie across volumes.
    TZAEncryptionHeader header{};
    if (readData(header.data(), kEncryptionHeaderSize) != kEncryptionHeaderSize) return false;
    for (int asked = 0; !CheckItemPassword(header, a_.Password, keys, lh.Crc, lh.ModTime, lh.Flags); ++asked) {
      // Wrong answers without end fail the entry instead of asking forever.
      if (asked == kPasswordQuestions) return false;
      a_.DoOnPassword(item.FileName, a_.Password, skip_);
      if (skip_) return false;
    }
  }
  std::optional<RawInflaterLoan> loan;
  Inflater* inflater = nullptr;
  if (item.Method == kMethodDeflated) {
    inflater = &*loan.emplace();
    if (!inflater->Ready()) return false;
  }
  const Emit emit = [&](const uint8_t* p, size_t n) {
    // More output than the entry declares is refused before it reaches the disk.
    if (n > expected - written) return false;
    crc = UpdateCRC32(crc, p, static_cast<int64_t>(n));
    if (target.Write(p, static_cast<int64_t>(n)) != static_cast<int64_t>(n)) return false;
    written += n;
    return true;
  };
  std::unique_ptr<uint8_t[]> block;  // made when the data are not in memory already
  const auto op = static_cast<TZAProcessOperation>(item.PendingOperation);
  uint64_t consumed = 0;
  while (consumed < compressed) {
    progressStep(item.FileName, static_cast<double>(consumed), static_cast<double>(compressed), op);
    if (cancel_) break;
    const int64_t want = static_cast<int64_t>(std::min<uint64_t>(kReadBlock, compressed - consumed));
    uint8_t* data = nullptr;
    int64_t n = lendData(data, want);
    if (n == 0) {
      if (!block) block = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(want));
      n = want;
      data = block.get();
      if (readData(data, n) != n) return false;
    }
    if (encrypted) ZipCryptDecryptBuffer(data, n, keys);
    if (item.Method == kMethodDeflated) {
      if (!inflater->Feed(data, static_cast<size_t>(n), emit)) return false;
    } else if (!emit(data, static_cast<size_t>(n))) {
      return false;
    }
    consumed += static_cast<uint64_t>(n);
  }
  return true;
}

bool TZABaseArchiver::Impl::extractBlockPath(const ReadEntryBytes& readData, platform::TStream& target, TDirItem& item,
                                             uint32_t& crc, uint64_t& written) {
  const uint64_t compressed = item.TrueCompressedSize();
  uint8_t head[kBlockHeaderSize];
  if (readData(head, kBlockHeaderSize) != kBlockHeaderSize) return false;
  uint64_t consumed = kBlockHeaderSize;
  TZAByteReader r(head);
  const uint32_t blockSize = r.U32();
  r.U32();
  const uint32_t headerUncompressed = r.U32();
  r.U32();
  const uint32_t blockCount = r.U32();
  const uint8_t algorithm = head[20];
  const bool packed = head[21] != 0;
  const uint64_t total = item.UncompressedSize == kMarker32 ? item.UncompressedSize64 : headerUncompressed;
  const uint64_t declared = item.TrueUncompressedSize();
  const auto op = static_cast<TZAProcessOperation>(item.PendingOperation);
  std::vector<uint8_t> in;
  for (uint32_t b = 0; b < blockCount; ++b) {
    progressStep(item.FileName, static_cast<double>(consumed), static_cast<double>(compressed), op);
    if (cancel_) return true;
    uint8_t lenBytes[4];
    if (consumed + 4 > compressed || readData(lenBytes, 4) != 4) return false;
    const uint32_t length = TZAByteReader(lenBytes).U32();
    consumed += 4;
    if (length == 0 || length > compressed - consumed) return false;
    const uint64_t want = b + 1 == blockCount ? (total > written ? total - written : 0) : blockSize;
    uint64_t produced = 0;
    const Emit emit = [&](const uint8_t* p, size_t n) {
      if (n > want - produced || n > declared - written) return false;
      crc = UpdateCRC32(crc, p, static_cast<int64_t>(n));
      if (target.Write(p, static_cast<int64_t>(n)) != static_cast<int64_t>(n)) return false;
      produced += n;
      written += n;
      return true;
    };
    if (packed && algorithm != 0) return false;
    Inflater inflater(MAX_WBITS);
    if (packed && !inflater.Ready()) return false;
    // The block is read in pieces, so that its stated length decides no allocation.
    for (uint32_t left = length; left > 0;) {
      const uint32_t n = std::min<uint32_t>(left, kReadBlock);
      in.resize(n);
      if (readData(in.data(), n) != n) return false;
      if (packed ? !inflater.Feed(in.data(), n, emit) : !emit(in.data(), n)) return false;
      left -= n;
    }
    consumed += length;
    if (produced == 0) return false;
  }
  return true;
}

}  // namespace zip
