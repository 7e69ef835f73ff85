#include "backup/archive_slice.h"

#include <algorithm>
#include <vector>

#include "net/idle_pump.h"
#include "platform/core/streams.h"

namespace backup {

void WriteArchiveSlice(const QString& archive, const QString& slice, std::int64_t from, std::int64_t to) {
  platform::TFileStream source(archive.toStdString(), platform::fmOpenRead | platform::fmShareDenyWrite);
  platform::TFileStream target(slice.toStdString(), platform::fmCreate);
  source.SetPosition(from);
  // Block by block, so that the windows keep painting over a large tail.
  constexpr std::int64_t block = 1 << 20;
  std::vector<char> buffer(static_cast<std::size_t>(std::min(block, std::max<std::int64_t>(to - from, 1))));
  for (std::int64_t left = to - from; left > 0;) {
    const std::int64_t n = std::min(left, block);
    source.ReadBuffer(buffer.data(), n);
    target.WriteBuffer(buffer.data(), n);
    left -= n;
    net::IdlePump::tick();
  }
}

}  // namespace backup
