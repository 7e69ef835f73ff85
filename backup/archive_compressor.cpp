#include "backup/archive_compressor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "backup/file_changed.h"
#include "platform/core/posix_file.h"
#include "platform/core/usable_cpus.h"

namespace backup {

namespace {

// Same verdict as the sources that compress as they read: deflate's result on the first
// mebibyte decides between deflated and stored.
constexpr std::size_t kSampleSize = 1 << 20;
constexpr int kNormalLevel = 6;

// Reads the whole file; errno on failure, 0 when done.
int readAll(int fd, std::unique_ptr<std::uint8_t[]>& data, std::size_t& size, std::size_t capacity) {
  size = 0;
  data.reset(new std::uint8_t[capacity]);
  for (;;) {
    if (size == capacity) {
      // Grew since it was measured: make room.
      capacity = capacity * 2 + 4096;
      std::unique_ptr<std::uint8_t[]> grown(new std::uint8_t[capacity]);
      std::copy(data.get(), data.get() + size, grown.get());
      data = std::move(grown);
    }
    const ssize_t n = ::read(fd, data.get() + size, capacity - size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return 0;
    size += static_cast<std::size_t>(n);
  }
}

}  // namespace

ArchiveCompressor::ArchiveCompressor(const std::vector<const std::string*>& paths, unsigned threads) {
  jobs_.resize(paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) jobs_[i].path = paths[i];
  if (threads == 0) threads = platform::usableCpuCount();
  threads = static_cast<unsigned>(std::min<std::size_t>(threads, jobs_.size()));
  budget_ = std::min<std::uint64_t>(kMaxBudget, std::max(1u, threads) * kMaxFileSize);
  for (unsigned t = 0; t < threads; ++t) threads_.emplace_back([this] { work(); });
}

ArchiveCompressor::~ArchiveCompressor() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (auto& t : threads_) t.join();
}

void ArchiveCompressor::work() {
  z_stream zs{};
  bool zsReady = deflateInit2(&zs, kNormalLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_ && next_ < jobs_.size()) {
    const std::size_t i = next_++;
    Job& job = jobs_[i];
    lock.unlock();
    struct stat st {};
    const bool small = ::stat(job.path->c_str(), &st) == 0 && static_cast<std::uint64_t>(st.st_size) <= kMaxFileSize;
    const std::uint64_t need = small ? static_cast<std::uint64_t>(st.st_size) : 0;
    lock.lock();
    // Within the budget, or the file the reader needs next.
    changed_.wait(lock, [&] { return stopping_ || i == oldest_ || held_ + need <= budget_; });
    if (stopping_) break;
    held_ += need;
    job.held = need;
    lock.unlock();
    auto result = std::make_unique<CompressedFile>();
    if (small && zsReady) {
      compress(job.path, *result, zs);
      (void)deflateReset(&zs);
    } else {
      result->inlined = true;
    }
    lock.lock();
    // What the file holds now counts, not what it was thought to need.
    const std::uint64_t kept = result->data ? result->dataSize : 0;
    if (!job.released) {
      job.result = std::move(result);
      held_ = held_ - job.held + kept;
      job.held = kept;
    }
    job.done = true;
    changed_.notify_all();
  }
  lock.unlock();
  if (zsReady) deflateEnd(&zs);
}

// zs is the worker's deflate state, ready for a new stream: one per thread, not one per file.
void ArchiveCompressor::compress(const std::string* path, CompressedFile& r, z_stream& zs) {
  const platform::FileDescriptor fd(::open(path->c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) {
    r.sysError = errno;
    return;
  }
  struct stat st {};
  std::unique_ptr<std::uint8_t[]> in;
  std::size_t inSize = 0;
  // A file written while it is read gives a copy that never existed: read it once more, and
  // keep the second read, flagged, when it changes again.
  for (int read = 1;; ++read) {
    if (::fstat(fd.get(), &st) != 0) r.sysError = errno;
    else if (S_ISDIR(st.st_mode)) r.sysError = EISDIR;
    else r.sysError = readAll(fd.get(), in, inSize, static_cast<std::size_t>(st.st_size) + 1);
    if (r.sysError != 0) return;
    if (!ChangedSince(fd.get(), st)) break;
    if (read == 2) {
      r.changed = true;
      break;
    }
    if (::lseek(fd.get(), 0, SEEK_SET) != 0) {
      r.sysError = errno;
      return;
    }
  }
  r.mode = st.st_mode & 07777;
  r.size = inSize;
  r.crc = static_cast<std::uint32_t>(crc32_z(crc32(0, nullptr, 0), in.get(), inSize));

  const std::size_t bound = deflateBound(&zs, inSize) + 64;
  std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[bound]);
  const std::size_t sample = std::min(inSize, kSampleSize);
  zs.next_in = in.get();
  zs.avail_in = static_cast<uInt>(sample);
  zs.next_out = out.get();
  zs.avail_out = static_cast<uInt>(bound);
  const bool whole = sample == inSize;
  // A sync flush ends the sample's blocks, so the output measures the sample exactly.
  int ret = deflate(&zs, whole ? Z_FINISH : Z_SYNC_FLUSH);
  const std::size_t sampleOut = bound - zs.avail_out;
  if (sampleOut >= sample) {
    r.stored = true;
    r.data = std::move(in);
    r.dataSize = inSize;
    return;
  }
  if (!whole) {
    zs.next_in = in.get() + sample;
    zs.avail_in = static_cast<uInt>(inSize - sample);
    ret = deflate(&zs, Z_FINISH);
  }
  if (ret != Z_STREAM_END) {
    r.inlined = true;  // cannot happen with a bound-sized buffer; the reader then does it
    return;
  }
  r.dataSize = bound - zs.avail_out;
  if (bound - r.dataSize > 4096) {
    // Held until libzip takes it: keep what deflate wrote, not the worst case it was given.
    r.data.reset(new std::uint8_t[r.dataSize]);
    std::copy(out.get(), out.get() + r.dataSize, r.data.get());
  } else {
    r.data = std::move(out);
  }
}

CompressedFile* ArchiveCompressor::wait(std::size_t i, const std::function<bool()>& pump) {
  std::unique_lock<std::mutex> lock(mutex_);
  // The files before i are no longer read: their budget goes to the files ahead.
  for (; oldest_ < i; ++oldest_)
    if (!jobs_[oldest_].released) {
      jobs_[oldest_].released = true;
      held_ -= jobs_[oldest_].held;
      jobs_[oldest_].result.reset();
    }
  changed_.notify_all();
  while (!jobs_[i].done) {
    if (changed_.wait_for(lock, std::chrono::milliseconds(50), [&] { return jobs_[i].done; })) break;
    lock.unlock();
    const bool goOn = pump();
    lock.lock();
    if (!goOn) return nullptr;
  }
  // A file given up before (never the case in libzip's one pass): the reader compresses it.
  if (!jobs_[i].result) {
    jobs_[i].result = std::make_unique<CompressedFile>();
    jobs_[i].result->inlined = true;
  }
  return jobs_[i].result.get();
}

void ArchiveCompressor::release(std::size_t i) {
  std::lock_guard<std::mutex> lock(mutex_);
  Job& job = jobs_[i];
  if (job.released) return;
  job.released = true;
  held_ -= job.held;
  job.result.reset();
  while (oldest_ < jobs_.size() && jobs_[oldest_].released) ++oldest_;
  changed_.notify_all();
}

}  // namespace backup
