#include "backup/archive_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Deflate's verdict on a file is taken on its first mebibyte: the whole of most files, and
// enough to tell media and archives (stored) from text and documents (deflated).
constexpr std::size_t kSampleSize = 1 << 20;
constexpr std::size_t kChunkSize = 256 << 10;
constexpr std::size_t kOutStep = 64 << 10;
constexpr int kNormalLevel = 6;

}  // namespace

ArchiveFileSource::ArchiveFileSource(std::string path, std::string storedName, platform::DosDateTime date,
                                     const ArchiveSourceHooks* hooks)
    : path_(std::move(path)), storedName_(std::move(storedName)), date_(date), hooks_(hooks) {
  zip_error_init(&error_);
}

ArchiveFileSource::~ArchiveFileSource() {
  close();
  zip_error_fini(&error_);
}

zip_source_t* ArchiveFileSource::makeSource(zip_error_t* error) {
  return zip_source_function_create(&ArchiveFileSource::callback, this, error);
}

zip_int64_t ArchiveFileSource::callback(void* self, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
  auto* source = static_cast<ArchiveFileSource*>(self);
  switch (cmd) {
    case ZIP_SOURCE_OPEN:
      return source->open();
    case ZIP_SOURCE_READ:
      return source->read(static_cast<std::uint8_t*>(data), len);
    case ZIP_SOURCE_CLOSE:
      source->close();
      return 0;
    case ZIP_SOURCE_STAT: {
      auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, len, &source->error_);
      return st == nullptr ? -1 : source->stat(st);
    }
    case ZIP_SOURCE_GET_FILE_ATTRIBUTES: {
      auto* attributes = ZIP_SOURCE_GET_ARGS(zip_file_attributes_t, data, len, &source->error_);
      return attributes == nullptr ? -1 : source->attributes(attributes);
    }
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&source->error_, data, len);
    case ZIP_SOURCE_FREE:
      return 0;  // the writer owns this object
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                            ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_GET_FILE_ATTRIBUTES, -1);
    default:
      zip_error_set(&source->error_, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

zip_int64_t ArchiveFileSource::fail(int zipError, int sysError) {
  failed_ = true;
  sysError_ = sysError;
  zip_error_set(&error_, zipError, sysError);
  return -1;
}

zip_int64_t ArchiveFileSource::open() {
  close();
  fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return fail(ZIP_ER_OPEN, errno);
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return fail(ZIP_ER_OPEN, errno);
  if (S_ISDIR(st.st_mode)) return fail(ZIP_ER_OPEN, EISDIR);
  expectedSize_ = static_cast<std::uint64_t>(st.st_size);
  mode_ = st.st_mode & 07777;
  statKnown_ = true;
  if (deflateInit2(&zs_, kNormalLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    return fail(ZIP_ER_MEMORY, 0);
  zsActive_ = true;
  method_ = Mode::Undecided;
  inputDone_ = finished_ = false;
  bytesIn_ = 0;
  crc_ = static_cast<std::uint32_t>(crc32(0, nullptr, 0));
  lastPercent_ = -1;
  reportProgress();
  return 0;
}

void ArchiveFileSource::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (zsActive_) deflateEnd(&zs_);
  zsActive_ = false;
  std::vector<std::uint8_t>().swap(in_);
  std::vector<std::uint8_t>().swap(out_);
  outPos_ = 0;
}

bool ArchiveFileSource::readInput(std::vector<std::uint8_t>& into, std::size_t want) {
  const std::size_t start = into.size();
  into.resize(start + want);
  std::size_t got = 0;
  while (got < want) {
    const ssize_t n = ::read(fd_, into.data() + start + got, want - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      into.resize(start + got);
      fail(ZIP_ER_READ, errno);
      return false;
    }
    if (n == 0) {
      inputDone_ = true;
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  into.resize(start + got);
  crc_ = static_cast<std::uint32_t>(crc32_z(crc_, into.data() + start, got));
  bytesIn_ += got;
  return true;
}

// Deflates all of in_ into out_ with the given flush.
static bool runDeflate(z_stream& zs, std::vector<std::uint8_t>& in, std::vector<std::uint8_t>& out, int flush) {
  zs.next_in = in.data();
  zs.avail_in = static_cast<uInt>(in.size());
  for (;;) {
    const std::size_t before = out.size();
    out.resize(before + kOutStep);
    zs.next_out = out.data() + before;
    zs.avail_out = static_cast<uInt>(kOutStep);
    const int ret = deflate(&zs, flush);
    out.resize(before + (kOutStep - zs.avail_out));
    if (ret == Z_STREAM_ERROR) return false;
    if (flush == Z_FINISH) {
      if (ret == Z_STREAM_END) break;
      continue;
    }
    if (zs.avail_in == 0 && zs.avail_out != 0) break;
  }
  return true;
}

bool ArchiveFileSource::decide() {
  if (!readInput(in_, kSampleSize)) return false;
  const std::size_t sampleSize = in_.size();
  // A sync flush ends the sample's blocks, so the output measures the sample exactly.
  if (!runDeflate(zs_, in_, out_, inputDone_ ? Z_FINISH : Z_SYNC_FLUSH)) {
    fail(ZIP_ER_INTERNAL, 0);
    return false;
  }
  if (out_.size() >= sampleSize) {
    // Deflate does not help: hand over the raw bytes instead.
    method_ = Mode::Stored;
    out_.swap(in_);
    deflateEnd(&zs_);
    zsActive_ = false;
  } else {
    method_ = Mode::Deflated;
  }
  in_.clear();
  outPos_ = 0;
  if (inputDone_) finished_ = true;
  reportProgress();
  return true;
}

bool ArchiveFileSource::deflateMore() {
  out_.clear();
  outPos_ = 0;
  if (method_ == Mode::Stored) {
    if (!readInput(out_, kChunkSize)) return false;
    if (inputDone_) finished_ = true;
  } else {
    if (!readInput(in_, kChunkSize)) return false;
    if (!runDeflate(zs_, in_, out_, inputDone_ ? Z_FINISH : Z_NO_FLUSH)) {
      fail(ZIP_ER_INTERNAL, 0);
      return false;
    }
    in_.clear();
    if (inputDone_) finished_ = true;
  }
  reportProgress();
  return true;
}

zip_int64_t ArchiveFileSource::read(std::uint8_t* data, std::uint64_t len) {
  if (fd_ < 0) return fail(ZIP_ER_INTERNAL, 0);
  if (method_ == Mode::Undecided && !decide()) return -1;
  while (outPos_ >= out_.size()) {
    if (finished_) return 0;
    if (!deflateMore()) return -1;
  }
  const std::size_t n = std::min<std::uint64_t>(len, out_.size() - outPos_);
  std::memcpy(data, out_.data() + outPos_, n);
  outPos_ += n;
  return static_cast<zip_int64_t>(n);
}

void ArchiveFileSource::reportProgress() {
  int percent = 100;
  if (!finished_ && expectedSize_ > 0) percent = static_cast<int>(std::min<std::uint64_t>(99, bytesIn_ * 100 / expectedSize_));
  if (!finished_ && bytesIn_ == 0) percent = 0;
  if (hooks_ != nullptr) {
    if (percent != lastPercent_ && hooks_->itemProgress) hooks_->itemProgress(storedName_, percent);
    if (hooks_->pump) hooks_->pump();
  }
  lastPercent_ = percent;
}

zip_int64_t ArchiveFileSource::stat(zip_stat_t* st) {
  zip_stat_init(st);
  if (!statKnown_) {
    struct stat fs {};
    if (::stat(path_.c_str(), &fs) != 0) return fail(ZIP_ER_OPEN, errno);
    expectedSize_ = static_cast<std::uint64_t>(fs.st_size);
    mode_ = fs.st_mode & 07777;
    statKnown_ = true;
  }
  st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME | ZIP_STAT_COMP_METHOD | ZIP_STAT_ENCRYPTION_METHOD;
  st->mtime = platform::timeFromDosDateTime(date_);
  st->encryption_method = ZIP_EM_NONE;
  if (finished_) {
    // The method is known only once the data went through; libzip rewrites the header then.
    st->size = bytesIn_;
    st->crc = crc_;
    st->valid |= ZIP_STAT_CRC;
    st->comp_method = method_ == Mode::Stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
  } else {
    st->size = expectedSize_;
    st->comp_method = ZIP_CM_DEFLATE;
  }
  return 0;
}

zip_int64_t ArchiveFileSource::attributes(zip_file_attributes_t* attributes) {
  zip_file_attributes_init(attributes);
  attributes->valid = ZIP_FILE_ATTRIBUTES_HOST_SYSTEM | ZIP_FILE_ATTRIBUTES_EXTERNAL_FILE_ATTRIBUTES;
  attributes->host_system = ZIP_OPSYS_UNIX;
  attributes->external_file_attributes = static_cast<std::uint32_t>(S_IFREG | mode_) << 16;
  return 0;
}
