#pragma once
// Progress of a data transfer, reported by every client in the same shape.
#include <cstdint>
#include <functional>

namespace net {

enum WorkMode { wmRead = 0, wmWrite = 1 };

struct WorkEvents {
  // countMax: the expected byte count, 0 when unknown.
  std::function<void(WorkMode mode, std::int64_t countMax)> onWorkBegin;
  // count: bytes moved so far in this transfer.
  std::function<void(WorkMode mode, std::int64_t count)> onWork;
  std::function<void(WorkMode mode)> onWorkEnd;

  void begin(WorkMode mode, std::int64_t countMax) const {
    if (onWorkBegin) onWorkBegin(mode, countMax);
  }
  void work(WorkMode mode, std::int64_t count) const {
    if (onWork) onWork(mode, count);
  }
  void end(WorkMode mode) const {
    if (onWorkEnd) onWorkEnd(mode);
  }
};

}  // namespace net
