#pragma once
// Files that take the place of existing ones, paid for together: each new
// file is written beside its target, a batch of them is flushed to the disk
// in one go, then each is renamed over its target; the new names go to the
// disk with the next batch's flush, the last ones with a flush of their own. Whenever the process or the power stops,
// each target is its old file or its new one, whole; the new files not yet renamed stay behind under names the next
// extraction in that folder recognises and removes.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/core/posix_file.h"

namespace zip {

class TZAReplaceBatch {
 public:
  struct TFailure {
    int32_t index;       // the entry
    std::string name;    // as its events had it
    std::string target;  // the file that stays as it was
  };

  static constexpr size_t kMaxFiles = 256;
  static constexpr uint64_t kMaxBytes = uint64_t{64} << 20;

  TZAReplaceBatch() = default;
  TZAReplaceBatch(const TZAReplaceBatch&) = delete;
  TZAReplaceBatch& operator=(const TZAReplaceBatch&) = delete;
  // Whatever was not committed is removed: the targets stay as they were.
  ~TZAReplaceBatch();

  // A new file beside the targets of folder, named "ZT??????.unfinished" and
  // locked while this process holds it open; name receives its path. The
  // first time a folder is used, what a stopped extraction left there goes.
  platform::FileDescriptor OpenNewFile(const std::string& folder, std::string& name);
  // Whether fileName (without its folder) is the name of such a file.
  static bool IsUnfinishedName(const std::string& fileName);
  // Removes the unfinished files of folder that no living process holds.
  static void RemoveUnfinished(const std::string& folder);

  // Holds a written, checked file until the batch is committed; bytes: its size.
  void Add(int32_t index, std::string name, std::string written, std::string target, platform::FileDescriptor fd,
           uint64_t bytes);
  // Nothing waits: no file, and no new name to flush.
  bool Empty() const { return pending_.empty() && renamed_.empty(); }
  bool Full() const { return pending_.size() >= kMaxFiles || bytes_ >= kMaxBytes; }
  // The file that is to take target's place, when one waits: the latest.
  const std::string* WaitingFor(const std::string& target) const;

  // Flushes the batch, then renames each file over its target; last: the
  // new names are flushed too (else the next batch's flush carries them).
  // The entries whose file did not take its target's place for good (their
  // new file removed). The batch is empty after.
  std::vector<TFailure> Commit(bool last);

 private:
  struct TPending {
    int32_t index;
    std::string name, written, target;
    platform::FileDescriptor fd;
    dev_t device;
  };
  struct TRenamed {
    int32_t index;
    std::string name, target;
    dev_t device;
  };
  // The names of a file system are on the disk: those renamed are done with.
  void namesFlushed(dev_t device, std::vector<TFailure>& failures);
  // Its flush failed: each folder is flushed on its own, and fails its entries when that fails.
  void namesFlushedOneByOne(dev_t device, std::vector<TFailure>& failures);

  std::vector<TPending> pending_;
  std::vector<TRenamed> renamed_;  // in place, their new names not yet flushed
  uint64_t bytes_ = 0;
  std::unordered_map<std::string, size_t> waiting_;  // target -> its latest in pending_
  std::unordered_set<std::string> cleaned_;
};

}  // namespace zip
