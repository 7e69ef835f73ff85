#include "platform/core/posix_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <utility>

namespace platform {

namespace {

// Goes on after a signal and after a short write; stops at a write that fails or writes nothing.
template <typename WriteSome>
bool writeInFull(const void* data, std::size_t size, WriteSome writeSome) {
  const auto* bytes = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = writeSome(bytes + done, size - done, done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) reset(other.release());
  return *this;
}

int FileDescriptor::release() { return std::exchange(fd_, -1); }

void FileDescriptor::reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

bool FileDescriptor::close() {
  const int fd = release();
  return fd < 0 || ::close(fd) == 0;
}

bool writeAll(int fd, const void* data, std::size_t size) {
  return writeInFull(data, size, [fd](const char* bytes, std::size_t n, std::size_t) { return ::write(fd, bytes, n); });
}

bool writeAllAt(int fd, const void* data, std::size_t size, std::uint64_t offset) {
  return writeInFull(data, size, [fd, offset](const char* bytes, std::size_t n, std::size_t done) {
    return ::pwrite(fd, bytes, n, static_cast<off_t>(offset + done));
  });
}

FileDescriptor createTempFile(std::string& pattern, int suffixLength) {
  return FileDescriptor(::mkostemps(pattern.data(), suffixLength, O_CLOEXEC));
}

FileDescriptor openFolder(const std::string& folder) {
  return FileDescriptor(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

bool flushFolder(const std::string& folder) {
  const FileDescriptor dir = openFolder(folder);
  return dir.valid() && ::fsync(dir.get()) == 0;
}

bool renameOver(const std::string& temp, const std::string& fileName, bool sync) {
  if (::rename(temp.c_str(), fileName.c_str()) != 0) return false;
  if (sync) {
    const auto slash = fileName.rfind('/');
    flushFolder(slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1));
  }
  return true;
}

bool replaceFile(const std::string& fileName, std::string_view data, const ReplaceOptions& options) {
  std::string temp = fileName + ".XXXXXX";
  FileDescriptor fd = createTempFile(temp);
  if (!fd.valid()) return false;
  const bool ok = writeAll(fd.get(), data.data(), data.size()) &&
                  (!options.mode || ::fchmod(fd.get(), *options.mode) == 0) &&
                  (!options.sync || ::fsync(fd.get()) == 0);
  // The first failure is the one to report, not what the clean-up met after it.
  int error = errno;
  if (!fd.close() || !ok || !renameOver(temp, fileName, options.sync)) {
    if (ok) error = errno;
    ::unlink(temp.c_str());
    errno = error;
    return false;
  }
  return true;
}

void removeQuietly(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove(path, ec);
}

}  // namespace platform
