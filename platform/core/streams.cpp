#include "platform/core/streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/core/exceptions.h"

namespace platform {

namespace {
const char kReadError[] = "Erreur de lecture du flux";
const char kWriteError[] = "Erreur d'écriture du flux";
const char kSeekError[] = "Erreur de positionnement dans le flux";
constexpr int64_t kCopyBlock = 61440;
}  // namespace

int64_t TStream::Size() {
  const int64_t here = Seek(0, TSeekOrigin::soCurrent);
  const int64_t size = Seek(0, TSeekOrigin::soEnd);
  Seek(here, TSeekOrigin::soBeginning);
  return size;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count < 0 || Read(buffer, count) != count) throw EReadError(kReadError);
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count < 0 || Write(buffer, count) != count) throw EWriteError(kWriteError);
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  std::vector<uint8_t> block(static_cast<size_t>(std::min(count, kCopyBlock)));
  const int64_t total = count;
  while (count > 0) {
    const int64_t n = std::min(count, kCopyBlock);
    source.ReadBuffer(block.data(), n);
    WriteBuffer(block.data(), n);
    count -= n;
  }
  return total;
}

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) : fileName_(fileName) {
  if ((mode & fmCreate) == fmCreate) {
    fd_.reset(::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd_.valid()) throw EFCreateError(fileName, errno);
    return;
  }
  int flags = O_RDONLY;
  if ((mode & 3) == fmOpenWrite) flags = O_WRONLY;
  if ((mode & 3) == fmOpenReadWrite) flags = O_RDWR;
  fd_.reset(::open(fileName.c_str(), flags | O_CLOEXEC));
  if (!fd_.valid()) throw EFOpenError(fileName, errno);
  struct stat st {};
  if (::fstat(fd_.get(), &st) == 0 && S_ISDIR(st.st_mode)) throw EFOpenError(fileName, EISDIR);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  int64_t done = 0;
  auto* out = static_cast<uint8_t*>(buffer);
  while (done < count) {
    const ssize_t n = ::read(fd_.get(), out + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  int64_t done = 0;
  const auto* in = static_cast<const uint8_t*>(buffer);
  while (done < count) {
    const ssize_t n = ::write(fd_.get(), in + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                     : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                        : SEEK_END;
  const off_t r = ::lseek(fd_.get(), static_cast<off_t>(offset), whence);
  if (r < 0) throw EStreamError(kSeekError);
  return r;
}

void TFileStream::SetSize(int64_t size) {
  if (size < 0 || ::ftruncate(fd_.get(), static_cast<off_t>(size)) != 0) throw EWriteError(kWriteError);
  if (Position() > size) Seek(size, TSeekOrigin::soBeginning);
}

int64_t TFileStream::Size() {
  struct stat st {};
  // A device tells its size only through a seek to its end.
  if (::fstat(fd_.get(), &st) != 0 || !S_ISREG(st.st_mode)) return TStream::Size();
  return st.st_size;
}

bool TFileStream::Flush() { return ::fsync(fd_.get()) == 0; }

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  const int64_t size = Size();
  if (count <= 0 || position_ >= size) return 0;
  const int64_t n = std::min(count, size - position_);
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0 || count > INT64_MAX - position_) return 0;
  const int64_t end = position_ + count;
  if (end > Size()) data_.resize(static_cast<size_t>(end));
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int64_t base = origin == TSeekOrigin::soBeginning ? 0 : origin == TSeekOrigin::soCurrent ? position_ : Size();
  const int64_t target = base + offset;
  if (target < 0) throw EStreamError(kSeekError);
  position_ = target;  // past the end is allowed; a later write fills the gap with zeros
  return position_;
}

void TMemoryStream::SetSize(int64_t size) {
  if (size < 0) throw EWriteError(kWriteError);
  data_.resize(static_cast<size_t>(size));
  if (position_ > size) position_ = size;
}

void TMemoryStream::Clear() {
  data_.clear();
  data_.shrink_to_fit();
  position_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  const int64_t size = file.Size();
  std::vector<uint8_t> data(static_cast<size_t>(size));
  file.ReadBuffer(data.data(), size);
  data_ = std::move(data);
  position_ = 0;
}

void TMemoryStream::SaveToFile(const std::string& fileName) const {
  TFileStream file(fileName, fmCreate);
  file.WriteBuffer(data_.data(), static_cast<int64_t>(data_.size()));
}

}  // namespace platform
