#include "backup/archive_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "backup/file_changed.h"

namespace backup {

namespace {

// Deflate's verdict on a file is taken on its first mebibyte: the whole of most files, and
// enough to tell media and archives (stored) from text and documents (deflated).
constexpr std::size_t kSampleSize = 1 << 20;
constexpr std::size_t kChunkSize = 256 << 10;
constexpr std::size_t kOutStep = 64 << 10;
constexpr int kNormalLevel = 6;
constexpr std::uint64_t kReadyPiece = 4 << 10;

}  // namespace

void ByteBuffer::resize(std::size_t n) {
  if (n > capacity_) {
    const std::size_t capacity = std::max(n, capacity_ * 2);
    std::unique_ptr<std::uint8_t[]> grown(new std::uint8_t[capacity]);
    if (size_ > 0) std::memcpy(grown.get(), data_.get(), size_);
    data_ = std::move(grown);
    capacity_ = capacity;
  }
  size_ = n;
}

void ByteBuffer::swap(ByteBuffer& other) noexcept {
  std::swap(data_, other.data_);
  std::swap(size_, other.size_);
  std::swap(capacity_, other.capacity_);
}

ArchiveSourceShared::ArchiveSourceShared() = default;

ArchiveSourceShared::~ArchiveSourceShared() {
  if (initialised_) deflateEnd(&zs_);
}

z_stream* ArchiveSourceShared::startDeflate() {
  if (initialised_) return deflateReset(&zs_) == Z_OK ? &zs_ : nullptr;
  if (deflateInit2(&zs_, kNormalLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return nullptr;
  initialised_ = true;
  return &zs_;
}

ArchiveFileSource::ArchiveFileSource(const std::string& path, const std::string& storedName, platform::DosDateTime date,
                                     ArchiveSourceShared* shared)
    : path_(path), storedName_(storedName), date_(date), shared_(shared) {
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
    case ZIP_SOURCE_OPEN: return source->open();
    case ZIP_SOURCE_READ: return source->read(static_cast<std::uint8_t*>(data), len);
    case ZIP_SOURCE_CLOSE: source->close(); return 0;
    case ZIP_SOURCE_STAT: {
      auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, len, &source->error_);
      return st == nullptr ? -1 : source->stat(st);
    }
    case ZIP_SOURCE_GET_FILE_ATTRIBUTES: {
      auto* attributes = ZIP_SOURCE_GET_ARGS(zip_file_attributes_t, data, len, &source->error_);
      return attributes == nullptr ? -1 : source->attributes(attributes);
    }
    case ZIP_SOURCE_ERROR: return zip_error_to_data(&source->error_, data, len);
    case ZIP_SOURCE_FREE: return 0;  // the writer owns this object
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                            ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_GET_FILE_ATTRIBUTES, -1);
    default: zip_error_set(&source->error_, ZIP_ER_OPNOTSUPP, 0); return -1;
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
  changed_ = changedKept_ = false;
  if (job_ != kNoJob && shared_->compressor != nullptr) {
    const zip_int64_t result = openReady();
    if (result != 1) return result;
  }
  fd_.reset(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd_.valid()) return fail(ZIP_ER_OPEN, errno);
  struct stat st {};
  if (::fstat(fd_.get(), &st) != 0) return fail(ZIP_ER_OPEN, errno);
  if (S_ISDIR(st.st_mode)) return fail(ZIP_ER_OPEN, EISDIR);
  opened_ = st;
  expectedSize_ = static_cast<std::uint64_t>(st.st_size);
  mode_ = st.st_mode & 07777;
  statKnown_ = true;
  zs_ = shared_->startDeflate();
  if (zs_ == nullptr) return fail(ZIP_ER_MEMORY, 0);
  shared_->in.clear();
  shared_->out.clear();
  outPos_ = 0;
  method_ = Mode::Undecided;
  inputDone_ = finished_ = false;
  bytesIn_ = 0;
  crc_ = static_cast<std::uint32_t>(crc32(0, nullptr, 0));
  lastPercent_ = -1;
  return reportProgress() ? 0 : cancel();
}

// Takes the file from the compressor: 0 when it is there, 1 when this source is to read and
// compress it itself, -1 on failure.
zip_int64_t ArchiveFileSource::openReady() {
  ready_ = shared_->compressor->wait(job_, [this] {
    if (shared_->pump) shared_->pump();
    return !shared_->cancelled;
  });
  if (ready_ == nullptr) return cancel();
  if (ready_->inlined) {
    shared_->compressor->release(job_);
    ready_ = nullptr;
    return 1;
  }
  if (ready_->sysError != 0) {
    const int error = ready_->sysError;
    shared_->compressor->release(job_);
    ready_ = nullptr;
    return fail(ZIP_ER_OPEN, error);
  }
  changedKept_ = ready_->changed;  // read twice there already
  expectedSize_ = ready_->size;
  mode_ = ready_->mode;
  statKnown_ = true;
  method_ = ready_->stored ? Mode::Stored : Mode::Deflated;
  inputDone_ = true;
  finished_ = false;
  bytesIn_ = 0;
  crc_ = ready_->crc;
  lastPercent_ = -1;
  outPos_ = 0;
  return reportProgress() ? 0 : cancel();
}

zip_int64_t ArchiveFileSource::readReady(std::uint8_t* data, std::uint64_t len) {
  const std::size_t left = ready_->dataSize - outPos_;
  if (left == 0) {
    if (!finished_) {
      finished_ = true;
      bytesIn_ = ready_->size;
      if (!reportProgress()) return cancel();
    }
    return 0;
  }
  // Small pieces, so that even a file deflated to a few blocks shows its progress.
  const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>({len, left, kReadyPiece}));
  std::memcpy(data, ready_->data.get() + outPos_, n);
  const std::size_t before = outPos_;
  outPos_ += n;
  // A step of progress (and a turn of the pump) whenever the share of the file handed over
  // moves by a percent.
  if (outPos_ < ready_->dataSize && before * 100 / ready_->dataSize != outPos_ * 100 / ready_->dataSize) {
    bytesIn_ = ready_->size * outPos_ / ready_->dataSize;
    if (!reportProgress()) return cancel();
  }
  return static_cast<zip_int64_t>(n);
}

void ArchiveFileSource::close() {
  if (ready_ != nullptr && shared_->compressor != nullptr) shared_->compressor->release(job_);
  ready_ = nullptr;
  fd_.reset();
  zs_ = nullptr;
}

bool ArchiveFileSource::readInput(ByteBuffer& into, std::size_t want) {
  const std::size_t start = into.size();
  into.resize(start + want);
  std::size_t got = 0;
  while (got < want) {
    const ssize_t n = ::read(fd_.get(), into.data() + start + got, want - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      into.resize(start + got);
      fail(ZIP_ER_READ, errno);
      return false;
    }
    if (n == 0) {
      inputDone_ = true;
      if (ChangedSince(fd_.get(), opened_)) {
        if (!keepChanged_) {
          into.resize(start + got);
          changed_ = true;
          fail(ZIP_ER_READ, 0);
          return false;
        }
        changedKept_ = true;
      }
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  into.resize(start + got);
  crc_ = static_cast<std::uint32_t>(crc32_z(crc_, into.data() + start, got));
  bytesIn_ += got;
  return true;
}

// Deflates all of the shared input onto the end of the shared output; the input is left
// in place for the caller to drop or keep.
bool ArchiveFileSource::deflateInput(int flush) {
  ByteBuffer& in = shared_->in;
  ByteBuffer& out = shared_->out;
  zs_->next_in = in.data();
  zs_->avail_in = static_cast<uInt>(in.size());
  for (;;) {
    const std::size_t before = out.size();
    out.resize(before + kOutStep);
    zs_->next_out = out.data() + before;
    zs_->avail_out = static_cast<uInt>(kOutStep);
    const int ret = deflate(zs_, flush);
    out.resize(before + (kOutStep - zs_->avail_out));
    if (ret == Z_STREAM_ERROR) {
      fail(ZIP_ER_INTERNAL, 0);
      return false;
    }
    if (flush == Z_FINISH) {
      if (ret == Z_STREAM_END) break;
      continue;
    }
    if (zs_->avail_in == 0 && zs_->avail_out != 0) break;
  }
  return true;
}

bool ArchiveFileSource::decide() {
  ByteBuffer& in = shared_->in;
  ByteBuffer& out = shared_->out;
  // One byte past the expected size tells the end of a small file without a second read.
  if (!readInput(in, static_cast<std::size_t>(std::min<std::uint64_t>(kSampleSize, expectedSize_ + 1)))) return false;
  // A sync flush ends the sample's blocks, so the output measures the sample exactly.
  if (!deflateInput(inputDone_ ? Z_FINISH : Z_SYNC_FLUSH)) return false;
  if (out.size() >= in.size()) {
    // Deflate does not help: hand over the raw bytes instead.
    method_ = Mode::Stored;
    out.swap(in);
  } else {
    method_ = Mode::Deflated;
  }
  in.clear();
  outPos_ = 0;
  if (inputDone_) finished_ = true;
  return reportProgress() || cancel() == 0;
}

bool ArchiveFileSource::produceMore() {
  ByteBuffer& in = shared_->in;
  ByteBuffer& out = shared_->out;
  out.clear();
  outPos_ = 0;
  if (method_ == Mode::Stored) {
    if (!readInput(out, kChunkSize)) return false;
  } else {
    if (!readInput(in, kChunkSize) || !deflateInput(inputDone_ ? Z_FINISH : Z_NO_FLUSH)) return false;
    in.clear();
  }
  if (inputDone_) finished_ = true;
  return reportProgress() || cancel() == 0;
}

zip_int64_t ArchiveFileSource::read(std::uint8_t* data, std::uint64_t len) {
  if (ready_ != nullptr) return readReady(data, len);
  if (!fd_.valid()) return fail(ZIP_ER_INTERNAL, 0);
  if (method_ == Mode::Undecided && !decide()) return -1;
  ByteBuffer& out = shared_->out;
  while (outPos_ >= out.size()) {
    if (finished_) return 0;
    if (!produceMore()) return -1;
  }
  const std::size_t n = std::min<std::uint64_t>(len, out.size() - outPos_);
  std::memcpy(data, out.data() + outPos_, n);
  outPos_ += n;
  return static_cast<zip_int64_t>(n);
}

// Not a failure of the file: the writer stops the save for a reason of its own.
zip_int64_t ArchiveFileSource::cancel() {
  zip_error_set(&error_, ZIP_ER_CANCELLED, 0);
  return -1;
}

bool ArchiveFileSource::reportProgress() {
  int percent = 100;
  if (!finished_) {
    percent = expectedSize_ == 0 ? 0 : static_cast<int>(std::min<std::uint64_t>(99, bytesIn_ * 100 / expectedSize_));
  }
  if (percent != lastPercent_ && shared_->itemProgress) shared_->itemProgress(storedName_, percent);
  if (shared_->pump) shared_->pump();
  lastPercent_ = percent;
  return !shared_->cancelled;
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

}  // namespace backup
