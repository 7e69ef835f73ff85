#pragma once
// How many CPUs the calling thread may run on: its affinity mask (taskset, cgroup cpusets),
// not the machine's count.

namespace platform {

// At least 1.
unsigned usableCpuCount();

}  // namespace platform
