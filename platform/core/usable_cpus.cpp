#include "platform/core/usable_cpus.h"

#include <sched.h>

#include <cerrno>
#include <thread>

namespace platform {

unsigned usableCpuCount() {
  // The mask grows until it holds every CPU the kernel knows of.
  for (int cpus = 1024; cpus <= (1 << 20); cpus *= 2) {
    cpu_set_t* set = CPU_ALLOC(cpus);
    if (set == nullptr) break;
    const size_t size = CPU_ALLOC_SIZE(cpus);
    const int got = ::sched_getaffinity(0, size, set);
    const int count = got == 0 ? CPU_COUNT_S(size, set) : 0;
    const int error = errno;
    CPU_FREE(set);
    if (got == 0) return count > 0 ? static_cast<unsigned>(count) : 1u;
    if (error != EINVAL) break;
  }
  const unsigned all = std::thread::hardware_concurrency();
  return all > 0 ? all : 1u;
}

}  // namespace platform
