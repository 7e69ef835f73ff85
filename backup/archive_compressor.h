#pragma once
// Compresses the files of one save ahead of libzip, on a small pool of threads (one file each,
// as many as the CPUs the process may use), in the order libzip will ask for them. A file is read and deflated whole
// into memory (stored instead when deflate does not shrink its first mebibyte), within a
// budget of bytes held; larger files are left to the reader, which compresses them as it goes.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <zlib.h>

namespace backup {

struct CompressedFile {
  bool inlined = false;  // too large for the pool: read and compressed by the source itself
  int sysError = 0;      // opening or reading failed with this errno
  bool changed = false;  // changed while read, twice: what the second read found is kept
  bool stored = false;
  std::uint32_t crc = 0;
  std::uint64_t size = 0;                // bytes read
  std::uint32_t mode = 0;                // permission bits
  std::unique_ptr<std::uint8_t[]> data;  // what goes into the archive, deflated or raw
  std::size_t dataSize = 0;
};

class ArchiveCompressor {
 public:
  static constexpr std::uint64_t kMaxFileSize = 4 << 20;
  // Bytes held at most: a largest file for each thread, up to this much.
  static constexpr std::uint64_t kMaxBudget = 16 << 20;

  // The paths are the caller's, kept unchanged while the compressor lives.
  explicit ArchiveCompressor(const std::vector<const std::string*>& paths, unsigned threads = 0);
  ~ArchiveCompressor();
  ArchiveCompressor(const ArchiveCompressor&) = delete;
  ArchiveCompressor& operator=(const ArchiveCompressor&) = delete;

  // Waits for file i, running pump between short waits; nullptr when pump returns false.
  // Files are taken in order: after wait(i), files before i are no longer needed.
  CompressedFile* wait(std::size_t i, const std::function<bool()>& pump);
  // Frees the memory of file i.
  void release(std::size_t i);
  std::size_t threadCount() const { return threads_.size(); }

 private:
  // One for each file of the save: the result exists only from the file's compression to its
  // release, so that a save of many files holds few of them.
  struct Job {
    const std::string* path = nullptr;
    std::unique_ptr<CompressedFile> result;
    std::uint64_t held = 0;  // bytes counted against the budget
    bool done = false;
    bool released = false;
  };
  void work();
  void compress(const std::string* path, CompressedFile& r, z_stream& zs);

  std::vector<Job> jobs_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t next_ = 0;    // next job a worker takes
  std::size_t oldest_ = 0;  // oldest job not released: always allowed past the budget
  std::uint64_t held_ = 0;
  std::uint64_t budget_ = kMaxBudget;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace backup
