#pragma once
// An archive read as the chain of records it is. From the first entry (after
// a stub), each entry ends where its sizes, or its data descriptor that
// checks out, say it ends, and the next record begins exactly there: a local
// header, the central directory, or the header a killed pass of ours left
// unfinished. No byte inside an entry is ever read as a header, so an archive
// stored in an entry is never taken for this one's entries. The file is read
// forward once, in blocks, and the data of an entry whose size its header
// gives are not read at all.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "platform/core/streams.h"
#include "zip/directory/za_block_reader.h"
#include "zip/directory/za_data_descriptor.h"
#include "zip/directory/za_local_entry.h"

namespace zip {

// One whole entry of the chain, as the walk hands it over.
struct TZAChainEntry {
  int64_t Position = 0;  // of its local header
  TZALocalEntry Local;
  std::span<const uint8_t> Name;  // valid during the call only
  std::optional<TZADataDescriptor> Descriptor;
  uint64_t End = 0;  // where the next record begins
};

// How the chain ends.
enum class TZAChainEnd {
  NoStart,     // no local header anywhere, nor an unfinished one: no archive
  FileEnd,     // the last entry ends where the file does
  Cut,         // the file ends inside a record: a download cut short, a pass killed while copying
  Unfinished,  // at the header a killed pass of ours left
  Directory,   // at the central directory of these entries (or an empty one's end record)
  Break,       // bytes that are no record, a header that does not read: damage
  Stopped,     // the caller stopped the walk
};

class TZAArchiveChain {
 public:
  explicit TZAArchiveChain(platform::TStream& stream);

  // Walks the chain from its first record, handing each whole entry to
  // onEntry, which returns false to stop there.
  TZAChainEnd Walk(const std::function<bool(const TZAChainEntry&)>& onEntry);
  // The first record: what stands before it is a stub. -1 without one.
  int64_t Start() const { return start_; }
  // Where the chain ended: the record or the bytes that ended it, the file's end.
  int64_t EndPosition() const { return end_; }

 private:
  // Sets start_ to the first local header that reads, or an unfinished one.
  // Bytes before it that read as a header (its signature damaged, or its
  // fields) whose entry would begin or end right there make the start a
  // break: that is an entry's data, not a stub.
  void findStart();
  std::optional<TZADataDescriptor> findDescriptor(const TZALocalEntry& entry);
  // Whether the bytes from one position to another have that CRC (read anew: seldom needed).
  bool crcOf(uint64_t from, uint64_t to, uint32_t crc);
  // Whether the central header at position lists an entry of this chain.
  bool listsThisChain(int64_t position);
  // Whether a record begins at position (or the file ends there).
  bool recordAt(uint64_t position);
  TZAChainEnd ended(TZAChainEnd how, int64_t at) {
    end_ = at;
    return how;
  }

  platform::TStream& stream_;
  uint64_t size_;
  TZABlockReader reader_;
  int64_t start_ = -1;
  int64_t end_ = -1;
  bool startClaimed_ = false;
  struct Mark {
    uint64_t position;
    uint32_t crc;
  };
  std::vector<Mark> marks_;  // the entries walked, in file order
};

}  // namespace zip
