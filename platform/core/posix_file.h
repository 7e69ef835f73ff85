#pragma once
// Files through their descriptors: the owner that closes one, the write that goes on after a
// signal or a short write, and the replacement of a file through a temporary one beside it, so a
// failure at any step leaves the old file whole.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Owns one open descriptor (or none: -1) and closes it when dropped.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() { reset(); }
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release();
  void reset(int fd = -1);
  // Closes now and says whether close() succeeded: a delayed write error shows only there.
  bool close();

 private:
  int fd_ = -1;
};

// Writes all of data: false with errno set when a write fails.
bool writeAll(int fd, const void* data, std::size_t size);
// The same at offset, leaving the descriptor's position alone.
bool writeAllAt(int fd, const void* data, std::size_t size, std::uint64_t offset);

// Creates the file named by pattern, whose six characters before its last suffixLength ones are
// "XXXXXX", readable and writable by the owner only; pattern receives the name chosen. Invalid,
// errno set, on failure.
FileDescriptor createTempFile(std::string& pattern, int suffixLength = 0);

// The folder ("" for the current one) opened to flush or sync its file system; invalid on failure.
FileDescriptor openFolder(const std::string& folder);
// Flushes the folder's names to the disk. False, errno set, when it cannot.
bool flushFolder(const std::string& folder);

// Renames temp over fileName; with sync, the folder is flushed too, so the new name survives a
// power cut. False, errno set, when the rename fails.
bool renameOver(const std::string& temp, const std::string& fileName, bool sync);

struct ReplaceOptions {
  std::optional<mode_t> mode;  // set before the rename; else the temporary file's 0600
  bool sync = false;           // flush the data and the folder to the disk
};

// Puts data in place of fileName through "<fileName>.XXXXXX": written, given its mode, closed,
// renamed over. False, errno set, on failure, the temporary file removed.
bool replaceFile(const std::string& fileName, std::string_view data, const ReplaceOptions& options);

// Removes the file (or empty folder) when it is there, for clean-ups whose failure changes nothing.
void removeQuietly(const std::string& path);

}  // namespace platform
