#include "platform/core/zone_file_hold.h"

#include <cstdlib>
#include <ctime>

namespace platform {

namespace {
// glibc's default zone, named the way TZ names a file.
constexpr const char* kDefaultZone = ":/etc/localtime";
}  // namespace

ZoneFileHold::ZoneFileHold() {
  if (std::getenv("TZ") != nullptr) return;
  // Reads the zone now if it never was, so that the held name has its data.
  tzset();
  set_ = ::setenv("TZ", kDefaultZone, 1) == 0;
}

ZoneFileHold::~ZoneFileHold() {
  if (!set_) return;
  ::unsetenv("TZ");
  tzset();
}

}  // namespace platform
