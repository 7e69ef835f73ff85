#include "support/access_denied.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace testsupport {

namespace {

bool capabilities(__user_cap_data_struct (&data)[2], bool set) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  return ::syscall(set ? SYS_capset : SYS_capget, &header, data) == 0;
}

// Whether this thread is refused a file of mode 000.
bool refusedModeZero() {
  char name[] = "/tmp/palvren-denied-XXXXXX";
  const int fd = ::mkstemp(name);
  if (fd < 0) return false;
  ::close(fd);
  ::chmod(name, 0);
  const int again = ::open(name, O_RDONLY | O_CLOEXEC);
  if (again >= 0) ::close(again);
  ::unlink(name);
  return again < 0;
}

}  // namespace

AccessDenied::AccessDenied() {
  __user_cap_data_struct data[2] = {};
  if (capabilities(data, false)) {
    saved_[0] = data[0].effective;
    saved_[1] = data[1].effective;
    data[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    dropped_ = capabilities(data, true);
  }
  works_ = refusedModeZero();
}

AccessDenied::~AccessDenied() {
  if (!dropped_) return;
  __user_cap_data_struct data[2] = {};
  if (!capabilities(data, false)) return;
  data[0].effective = saved_[0];
  data[1].effective = saved_[1];
  capabilities(data, true);
}

}  // namespace testsupport
