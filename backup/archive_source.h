#pragma once
// The data of one file for the archive writer: read from disk while the archive is saved,
// deflated here (stored instead when deflate does not shrink it), with per-file progress and
// the message pump run between blocks.
#include <sys/stat.h>
#include <zip.h>
#include <zlib.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "backup/archive_compressor.h"
#include "platform/core/dos_datetime.h"
#include "platform/core/posix_file.h"

namespace backup {

// A byte buffer that keeps its storage between files and never clears what it will overwrite.
class ByteBuffer {
 public:
  std::uint8_t* data() { return data_.get(); }
  std::size_t size() const { return size_; }
  void clear() { size_ = 0; }
  void resize(std::size_t n);  // keeps the first min(n, size()) bytes
  void swap(ByteBuffer& other) noexcept;

 private:
  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// What the sources of one save share: the events, and one deflate state and buffers reused
// from file to file (libzip reads the sources one after the other).
class ArchiveSourceShared {
 public:
  ArchiveSourceShared();
  ~ArchiveSourceShared();
  ArchiveSourceShared(const ArchiveSourceShared&) = delete;
  ArchiveSourceShared& operator=(const ArchiveSourceShared&) = delete;

  std::function<void(const std::string& storedName, int percent)> itemProgress;
  std::function<void()> pump;
  // Set when the save is to stop (an event handler failed): sources then end their read.
  bool cancelled = false;
  // The files compressed ahead on other threads, for the sources given a place in it.
  ArchiveCompressor* compressor = nullptr;

  z_stream* startDeflate();  // nullptr when zlib cannot start
  ByteBuffer in;             // raw bytes waiting to be deflated
  ByteBuffer out;            // bytes waiting to be handed to libzip

 private:
  z_stream zs_{};
  bool initialised_ = false;
};

class ArchiveFileSource {
 public:
  // path and storedName are the caller's, kept unchanged while this object lives: one copy
  // of each per file for the whole save.
  ArchiveFileSource(const std::string& path, const std::string& storedName, platform::DosDateTime date,
                    ArchiveSourceShared* shared);
  ~ArchiveFileSource();
  ArchiveFileSource(const ArchiveFileSource&) = delete;
  ArchiveFileSource& operator=(const ArchiveFileSource&) = delete;

  // A libzip source reading through this object; libzip owns the source, this object
  // must outlive it.
  zip_source_t* makeSource(zip_error_t* error);

  const std::string& path() const { return path_; }
  // The source's file in shared->compressor, taken from there when libzip opens it.
  void setCompressorJob(std::size_t job) { job_ = job; }
  // The compressor is gone: nothing to take from it or give back to it any more.
  void detachCompressor() {
    ready_ = nullptr;
    job_ = kNoJob;
  }
  // True once opening or reading the file failed; errno of the failure.
  bool failed() const { return failed_; }
  int sysError() const { return sysError_; }
  // A file that changes while it is read fails the read (changedWhileRead(), errno 0), so that
  // it is read again; with keep set, what was read is kept instead and changedKept() tells.
  void keepChanged(bool keep) { keepChanged_ = keep; }
  bool changedWhileRead() const { return changed_; }
  bool changedKept() const { return changedKept_; }

 private:
  enum class Mode { Undecided, Stored, Deflated };

  static zip_int64_t callback(void* self, void* data, zip_uint64_t len, zip_source_cmd_t cmd);
  zip_int64_t open();
  zip_int64_t openReady();
  zip_int64_t readReady(std::uint8_t* data, std::uint64_t len);
  zip_int64_t read(std::uint8_t* data, std::uint64_t len);
  void close();
  zip_int64_t stat(zip_stat_t* st);
  zip_int64_t attributes(zip_file_attributes_t* attributes);
  zip_int64_t fail(int zipError, int sysError);

  bool readInput(ByteBuffer& into, std::size_t want);
  bool deflateInput(int flush);
  bool decide();
  bool produceMore();
  bool reportProgress();  // false when the save is cancelled
  zip_int64_t cancel();

  const std::string& path_;
  const std::string& storedName_;
  platform::DosDateTime date_;
  ArchiveSourceShared* shared_;
  zip_error_t error_;
  bool failed_ = false;
  int sysError_ = 0;
  bool keepChanged_ = false;
  bool changed_ = false;
  bool changedKept_ = false;
  struct stat opened_ {};  // the file as it was when opened

  platform::FileDescriptor fd_;
  z_stream* zs_ = nullptr;
  std::uint64_t expectedSize_ = 0;
  std::uint32_t mode_ = 0;  // permission bits for the entry
  bool statKnown_ = false;
  Mode method_ = Mode::Undecided;
  bool inputDone_ = false;
  bool finished_ = false;  // whole file delivered: CRC and sizes are final
  std::uint64_t bytesIn_ = 0;
  std::uint32_t crc_ = 0;
  int lastPercent_ = -1;
  std::size_t outPos_ = 0;

  static constexpr std::size_t kNoJob = static_cast<std::size_t>(-1);
  std::size_t job_ = kNoJob;
  CompressedFile* ready_ = nullptr;  // the compressed file while libzip reads it
};

}  // namespace backup
