#include "backup/archive_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/core/file_find.h"
#include "platform/core/posix_file.h"

namespace backup {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;

// The mode a new file gets from the user's mask, as libzip's own file source gives it.
mode_t newFileMode() {
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return 0666 & ~mask;
}

// The end-of-central-directory record of an archive with no entries.
constexpr std::uint8_t kEmptyZip[22] = {0x50, 0x4B, 0x05, 0x06};

}  // namespace

ArchiveFile::ArchiveFile(std::string fileName) : fileName_(std::move(fileName)) { zip_error_init(&error_); }

ArchiveFile::~ArchiveFile() {
  rollbackWrite();
  zip_error_fini(&error_);
}

zip_source_t* ArchiveFile::makeSource(zip_error_t* error) {
  return zip_source_function_create(&ArchiveFile::callback, this, error);
}

zip_int64_t ArchiveFile::fail(int zipError, int sysError) {
  zip_error_set(&error_, zipError, sysError);
  return -1;
}

zip_int64_t ArchiveFile::callback(void* self, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
  auto* file = static_cast<ArchiveFile*>(self);
  switch (cmd) {
    case ZIP_SOURCE_STAT: {
      auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, len, &file->error_);
      return st == nullptr ? -1 : file->stat(st);
    }
    case ZIP_SOURCE_OPEN: return file->open();
    case ZIP_SOURCE_READ: return file->read(static_cast<std::uint8_t*>(data), len);
    case ZIP_SOURCE_CLOSE:
      file->fd_.reset();
      file->readLength_ = 0;
      return 0;
    case ZIP_SOURCE_SEEK: return file->seek(&file->readPos_, file->size_, data, len);
    case ZIP_SOURCE_TELL: return static_cast<zip_int64_t>(file->readPos_);
    case ZIP_SOURCE_BEGIN_WRITE: return file->beginWrite();
    case ZIP_SOURCE_WRITE: return file->write(static_cast<const std::uint8_t*>(data), len);
    case ZIP_SOURCE_SEEK_WRITE: return file->seek(&file->writePos_, file->writeSize_, data, len);
    case ZIP_SOURCE_TELL_WRITE: return static_cast<zip_int64_t>(file->writePos_);
    case ZIP_SOURCE_COMMIT_WRITE: return file->commitWrite();
    case ZIP_SOURCE_ROLLBACK_WRITE: file->rollbackWrite(); return 0;
    case ZIP_SOURCE_REMOVE: {
      // No entry left: an empty archive takes the file's place rather than no file at all.
      int sysError = 0;
      return writeEmpty(file->fileName_, &sysError) ? 0 : file->fail(ZIP_ER_WRITE, sysError);
    }
    case ZIP_SOURCE_ACCEPT_EMPTY: return 1;  // a zero-length file holds nothing to lose: read it as an empty archive
    case ZIP_SOURCE_ERROR: return zip_error_to_data(&file->error_, data, len);
    case ZIP_SOURCE_FREE: return 0;  // the writer owns this object
    case ZIP_SOURCE_SUPPORTS:
      return ZIP_SOURCE_SUPPORTS_WRITABLE | zip_source_make_command_bitmap(ZIP_SOURCE_ACCEPT_EMPTY, -1);
    default: return file->fail(ZIP_ER_OPNOTSUPP, 0);
  }
}

// Positions are kept here, not in the descriptors: reads and writes give their offset.
zip_int64_t ArchiveFile::seek(std::uint64_t* position, std::uint64_t size, void* args, std::uint64_t len) {
  const zip_int64_t pos = zip_source_seek_compute_offset(*position, size, args, len, &error_);
  if (pos < 0) return -1;
  *position = static_cast<std::uint64_t>(pos);
  return 0;
}

zip_int64_t ArchiveFile::stat(zip_stat_t* st) {
  struct stat fs {};
  const int result = fd_.valid() ? ::fstat(fd_.get(), &fs) : ::stat(fileName_.c_str(), &fs);
  // libzip reads ENOENT on a read error as "no archive yet".
  if (result != 0) return fail(ZIP_ER_READ, errno);
  if (S_ISDIR(fs.st_mode)) return fail(ZIP_ER_OPEN, EISDIR);
  zip_stat_init(st);
  st->size = static_cast<zip_uint64_t>(fs.st_size);
  st->mtime = fs.st_mtime;
  st->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
  return 0;
}

zip_int64_t ArchiveFile::open() {
  fd_.reset(::open(fileName_.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd_.valid()) return fail(ZIP_ER_OPEN, errno);
  struct stat fs {};
  if (::fstat(fd_.get(), &fs) != 0) return fail(ZIP_ER_OPEN, errno);
  size_ = static_cast<std::uint64_t>(fs.st_size);
  readPos_ = 0;
  readLength_ = 0;
  if (!readBuffer_) readBuffer_.reset(new std::uint8_t[kBufferSize]);
  return 0;
}

zip_int64_t ArchiveFile::read(std::uint8_t* data, std::uint64_t len) {
  if (!fd_.valid()) return fail(ZIP_ER_INTERNAL, 0);
  std::uint64_t done = 0;
  while (done < len && readPos_ < size_) {
    if (readPos_ < readStart_ || readPos_ >= readStart_ + readLength_) {
      if (len - done >= kBufferSize) {
        // Large reads bypass the buffer.
        const ssize_t n = ::pread(fd_.get(), data + done, len - done, static_cast<off_t>(readPos_));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(ZIP_ER_READ, errno);
        if (n == 0) break;
        done += static_cast<std::uint64_t>(n);
        readPos_ += static_cast<std::uint64_t>(n);
        continue;
      }
      const ssize_t n = ::pread(fd_.get(), readBuffer_.get(), kBufferSize, static_cast<off_t>(readPos_));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return fail(ZIP_ER_READ, errno);
      if (n == 0) break;
      readStart_ = readPos_;
      readLength_ = static_cast<std::size_t>(n);
    }
    const std::size_t offset = static_cast<std::size_t>(readPos_ - readStart_);
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(len - done, readLength_ - offset));
    std::memcpy(data + done, readBuffer_.get() + offset, n);
    done += n;
    readPos_ += n;
  }
  return static_cast<zip_int64_t>(done);
}

zip_int64_t ArchiveFile::beginWrite() {
  rollbackWrite();
  // Beside the archive, so the final rename stays on one file system.
  std::string temp = fileName_ + ".XXXXXX";
  out_ = platform::createTempFile(temp);
  if (!out_.valid()) return fail(ZIP_ER_TMPOPEN, errno);
  tempName_ = temp;
  writePos_ = writeSize_ = writeStart_ = 0;
  writeLength_ = 0;
  if (!writeBuffer_) writeBuffer_.reset(new std::uint8_t[kBufferSize]);
  return 0;
}

bool ArchiveFile::flush() {
  if (writeLength_ > 0 && !platform::writeAllAt(out_.get(), writeBuffer_.get(), writeLength_, writeStart_))
    return false;
  writeLength_ = 0;
  return true;
}

zip_int64_t ArchiveFile::write(const std::uint8_t* data, std::uint64_t len) {
  if (!out_.valid()) return fail(ZIP_ER_INTERNAL, 0);
  // The buffer holds one run of bytes; a write that does not fit in or next to it flushes it.
  const bool fits = writePos_ >= writeStart_ && writePos_ <= writeStart_ + writeLength_ &&
                    writePos_ - writeStart_ + len <= kBufferSize;
  if (!fits) {
    if (!flush()) return fail(ZIP_ER_WRITE, errno);
    writeStart_ = writePos_;
    if (len >= kBufferSize) {
      if (!platform::writeAllAt(out_.get(), data, static_cast<std::size_t>(len), writePos_))
        return fail(ZIP_ER_WRITE, errno);
      writePos_ += len;
      writeSize_ = std::max(writeSize_, writePos_);
      return static_cast<zip_int64_t>(len);
    }
  }
  const std::size_t offset = static_cast<std::size_t>(writePos_ - writeStart_);
  std::memcpy(writeBuffer_.get() + offset, data, static_cast<std::size_t>(len));
  writeLength_ = std::max(writeLength_, offset + static_cast<std::size_t>(len));
  writePos_ += len;
  writeSize_ = std::max(writeSize_, writePos_);
  return static_cast<zip_int64_t>(len);
}

zip_int64_t ArchiveFile::commitWrite() {
  if (!out_.valid()) return fail(ZIP_ER_INTERNAL, 0);
  struct stat old {};
  const mode_t mode = ::stat(fileName_.c_str(), &old) == 0 ? (old.st_mode & 07777) : newFileMode();
  if (!flush()) return fail(ZIP_ER_WRITE, errno);
  if (::fchmod(out_.get(), mode) != 0 || !out_.close()) {
    const int error = errno;
    rollbackWrite();
    return fail(ZIP_ER_WRITE, error);
  }
  if (!platform::renameOver(tempName_, fileName_, false)) {
    const int error = errno;
    rollbackWrite();
    return fail(ZIP_ER_RENAME, error);
  }
  tempName_.clear();
  return 0;
}

void ArchiveFile::rollbackWrite() {
  out_.reset();
  writeLength_ = 0;
  if (!tempName_.empty()) ::unlink(tempName_.c_str());
  tempName_.clear();
}

bool ArchiveFile::writeEmpty(const std::string& fileName, int* sysError) {
  struct stat old {};
  const mode_t mode = ::stat(fileName.c_str(), &old) == 0 ? (old.st_mode & 07777) : newFileMode();
  const std::string_view empty(reinterpret_cast<const char*>(kEmptyZip), sizeof kEmptyZip);
  if (platform::replaceFile(fileName, empty, {.mode = mode})) return true;
  *sysError = errno;
  return false;
}

void ArchiveFile::removeLeftovers(const std::string& fileName) {
  const auto slash = fileName.rfind('/');
  const std::string folder = slash == std::string::npos ? "./" : fileName.substr(0, slash + 1);
  const std::string prefix = fileName.substr(slash == std::string::npos ? 0 : slash + 1) + ".";
  constexpr std::size_t kSuffix = 6;  // what mkstemp puts in place of "XXXXXX"
  for (const auto& entry : platform::listFolder(folder)) {
    if (entry.name.size() != prefix.size() + kSuffix || entry.name.compare(0, prefix.size(), prefix) != 0) continue;
    const bool unique = std::all_of(entry.name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), entry.name.end(),
                                    [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
    const std::string path = folder + entry.name;
    struct stat st {};
    if (unique && ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(path.c_str());
  }
}

}  // namespace backup
