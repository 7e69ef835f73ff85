#pragma once
// The archive file as libzip reads and writes it: reads through a large read-ahead buffer,
// writes into a temporary file beside the archive through a large write buffer, and puts the
// finished file in place with one rename, so a failed save leaves the old archive whole.
#include <sys/types.h>
#include <zip.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/core/posix_file.h"

namespace backup {

class ArchiveFile {
 public:
  explicit ArchiveFile(std::string fileName);
  ~ArchiveFile();
  ArchiveFile(const ArchiveFile&) = delete;
  ArchiveFile& operator=(const ArchiveFile&) = delete;

  // A libzip source over this object, which must outlive it.
  zip_source_t* makeSource(zip_error_t* error);

  // Puts an archive without entries (its end record alone) in place of the file.
  static bool writeEmpty(const std::string& fileName, int* sysError);
  // Deletes the temporary copies (name + "." + 6 letters or digits) that a save killed
  // midway left beside the archive; only one save of an archive runs at a time.
  static void removeLeftovers(const std::string& fileName);

 private:
  static zip_int64_t callback(void* self, void* data, zip_uint64_t len, zip_source_cmd_t cmd);
  zip_int64_t fail(int zipError, int sysError);
  zip_int64_t seek(std::uint64_t* position, std::uint64_t size, void* args, std::uint64_t len);
  zip_int64_t stat(zip_stat_t* st);
  zip_int64_t open();
  zip_int64_t read(std::uint8_t* data, std::uint64_t len);
  zip_int64_t beginWrite();
  zip_int64_t write(const std::uint8_t* data, std::uint64_t len);
  zip_int64_t commitWrite();
  void rollbackWrite();
  bool flush();

  std::string fileName_;
  zip_error_t error_;

  platform::FileDescriptor fd_;
  std::uint64_t size_ = 0;
  std::uint64_t readPos_ = 0;
  std::unique_ptr<std::uint8_t[]> readBuffer_;
  std::uint64_t readStart_ = 0;
  std::size_t readLength_ = 0;

  platform::FileDescriptor out_;
  std::string tempName_;
  std::uint64_t writePos_ = 0;
  std::uint64_t writeSize_ = 0;
  std::unique_ptr<std::uint8_t[]> writeBuffer_;
  std::uint64_t writeStart_ = 0;
  std::size_t writeLength_ = 0;
};

}  // namespace backup
