#include "zip/archiver/za_replace_batch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "zip/names/za_path_parts.h"

namespace zip {

namespace {

constexpr char kPrefix[] = "ZT";
constexpr char kSuffix[] = ".unfinished";
constexpr size_t kPrefixLength = sizeof kPrefix - 1;
constexpr size_t kSuffixLength = sizeof kSuffix - 1;
constexpr size_t kUniqueLength = 6;

std::string withSlash(const std::string& folder) {
  return folder.empty() ? "./" : folder.back() == '/' ? folder : folder + "/";
}

}  // namespace

TZAReplaceBatch::~TZAReplaceBatch() {
  for (TPending& p : pending_) {
    p.fd.reset();
    platform::removeQuietly(p.written);
  }
}

bool TZAReplaceBatch::IsUnfinishedName(const std::string& fileName) {
  if (fileName.size() != kPrefixLength + kUniqueLength + kSuffixLength) return false;
  if (fileName.compare(0, kPrefixLength, kPrefix) != 0) return false;
  if (fileName.compare(kPrefixLength + kUniqueLength, kSuffixLength, kSuffix) != 0) return false;
  for (size_t i = kPrefixLength; i < kPrefixLength + kUniqueLength; ++i) {
    const char c = fileName[i];
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

void TZAReplaceBatch::RemoveUnfinished(const std::string& folder) {
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.empty() ? "." : folder.c_str()), ::closedir);
  if (!dir) return;
  const std::string prefix = withSlash(folder);
  while (const dirent* d = ::readdir(dir.get())) {
    if (!IsUnfinishedName(d->d_name)) continue;
    const std::string path = prefix + d->d_name;
    // The lock tells a file whose extraction still runs from one whose process is gone.
    const platform::FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) ::unlink(path.c_str());
  }
}

platform::FileDescriptor TZAReplaceBatch::OpenNewFile(const std::string& folder, std::string& name) {
  const std::string at = folder.empty() ? "." : folder;
  if (cleaned_.insert(at).second) RemoveUnfinished(at);
  name = withSlash(at) + kPrefix + "XXXXXX" + kSuffix;
  platform::FileDescriptor fd = platform::createTempFile(name, static_cast<int>(kSuffixLength));
  if (fd.valid()) ::flock(fd.get(), LOCK_EX | LOCK_NB);
  return fd;
}

void TZAReplaceBatch::Add(int32_t index, std::string name, std::string written, std::string target,
                          platform::FileDescriptor fd, uint64_t bytes) {
  struct stat st {};
  const dev_t device = ::fstat(fd.get(), &st) == 0 ? st.st_dev : 0;
  // Its writing starts now, while the next entries are extracted: the
  // batch's flush then waits for little more than the last of them.
  ::sync_file_range(fd.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
  waiting_[target] = pending_.size();
  pending_.push_back({index, std::move(name), std::move(written), std::move(target), std::move(fd), device});
  bytes_ += bytes;
}

const std::string* TZAReplaceBatch::WaitingFor(const std::string& target) const {
  const auto it = waiting_.find(target);
  return it == waiting_.end() ? nullptr : &pending_[it->second].written;
}

std::vector<TZAReplaceBatch::TFailure> TZAReplaceBatch::Commit(bool last) {
  std::vector<TFailure> failures;
  const size_t n = pending_.size();
  std::vector<bool> failed(n, false);
  // One flush per file system for the whole batch; it carries the names the
  // batches before renamed too. Only when it fails is each file and folder
  // asked for its own error, so that a bad one fails alone.
  std::vector<dev_t> devices;
  for (size_t i = 0; i < n; ++i) {
    const dev_t dev = pending_[i].device;
    if (std::find(devices.begin(), devices.end(), dev) != devices.end()) continue;
    devices.push_back(dev);
    if (::syncfs(pending_[i].fd.get()) == 0) {
      namesFlushed(dev, failures);
      continue;
    }
    for (size_t j = i; j < n; ++j)
      if (pending_[j].device == dev && ::fdatasync(pending_[j].fd.get()) != 0) failed[j] = true;
    namesFlushedOneByOne(dev, failures);
  }
  // In entry order: a later entry of the same name wins, as it would have written last.
  for (size_t i = 0; i < n; ++i) {
    TPending& p = pending_[i];
    p.fd.reset();
    if (!failed[i] && ::rename(p.written.c_str(), p.target.c_str()) == 0) {
      renamed_.push_back({p.index, std::move(p.name), std::move(p.target), p.device});
    } else {
      platform::removeQuietly(p.written);
      failures.push_back({p.index, std::move(p.name), std::move(p.target)});
    }
  }
  pending_.clear();
  waiting_.clear();
  bytes_ = 0;
  if (last) {
    // The new names of the whole operation, flushed once per file system.
    while (!renamed_.empty()) {
      const dev_t dev = renamed_.front().device;
      const platform::FileDescriptor folder = platform::openFolder(ZAFolderPart(renamed_.front().target));
      if (folder.valid() && ::syncfs(folder.get()) == 0) namesFlushed(dev, failures);
      else namesFlushedOneByOne(dev, failures);
    }
  }
  return failures;
}

void TZAReplaceBatch::namesFlushed(dev_t device, std::vector<TFailure>&) {
  std::erase_if(renamed_, [device](const TRenamed& r) { return r.device == device; });
}

void TZAReplaceBatch::namesFlushedOneByOne(dev_t device, std::vector<TFailure>& failures) {
  // A folder whose flush fails fails its entries: their new name may not outlive a power cut.
  std::unordered_map<std::string, bool> folders;
  for (const TRenamed& r : renamed_) {
    if (r.device != device) continue;
    const std::string folder = ZAFolderPart(r.target);
    auto it = folders.find(folder);
    if (it == folders.end()) it = folders.emplace(folder, platform::flushFolder(folder)).first;
    if (!it->second) failures.push_back({r.index, r.name, r.target});
  }
  namesFlushed(device, failures);
}

}  // namespace zip
