#include "zip/archiver/za_lock.h"

namespace zip {

std::recursive_mutex& ZAComponentLock() {
  static std::recursive_mutex lock;
  return lock;
}

}  // namespace zip
