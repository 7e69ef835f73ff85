#pragma once
// glibc's mktime looks at the zone file (a stat of /etc/localtime) at every call when TZ is
// not set; a library that converts many dates with it (libzip, one per entry when it opens an
// archive) pays that per date. While a ZoneFileHold lives, TZ names that same file, which
// glibc then takes as already read: the same zone and the same results, no stat per call.
// TZ set by the user is left alone. Only for code that runs with no other thread reading or
// changing the environment.
namespace platform {

class ZoneFileHold {
 public:
  ZoneFileHold();
  ~ZoneFileHold();
  ZoneFileHold(const ZoneFileHold&) = delete;
  ZoneFileHold& operator=(const ZoneFileHold&) = delete;

 private:
  bool set_ = false;
};

}  // namespace platform
