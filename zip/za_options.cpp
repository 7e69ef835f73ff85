#include "zip/za_options.h"

#include "platform/core/streams.h"

namespace zip {

uint16_t ZAShareFlags(TZAFileShareMode mode) {
  switch (mode) {
    case smShareExclusive: return platform::fmShareExclusive;
    case smShareDenyWrite: return platform::fmShareDenyWrite;
    case smShareDenyRead: return platform::fmShareDenyRead;
    case smShareDenyNone: return platform::fmShareDenyNone;
    case smShareCompat: break;
  }
  return platform::fmShareCompat;
}

}  // namespace zip
