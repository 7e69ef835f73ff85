#include "platform/core/usable_cpus.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <thread>
#include <vector>

namespace {

// The CPUs this thread may use, by number.
std::vector<int> allowedCpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  std::vector<int> out;
  if (::sched_getaffinity(0, sizeof set, &set) != 0) return out;
  for (int c = 0; c < CPU_SETSIZE; ++c)
    if (CPU_ISSET(c, &set)) out.push_back(c);
  return out;
}

// A thread narrowed to the first n CPUs it may use counts n, whatever the machine has.
TEST(UsableCpus, FollowTheAffinityMask) {
  const std::vector<int> allowed = allowedCpus();
  ASSERT_FALSE(allowed.empty());
  EXPECT_EQ(platform::usableCpuCount(), allowed.size());
  for (size_t n : {size_t{1}, size_t{2}}) {
    if (n > allowed.size()) continue;
    SCOPED_TRACE(n);
    unsigned counted = 0;
    std::thread([&] {
      cpu_set_t set;
      CPU_ZERO(&set);
      for (size_t i = 0; i < n; ++i) CPU_SET(allowed[i], &set);
      ASSERT_EQ(::sched_setaffinity(0, sizeof set, &set), 0);
      counted = platform::usableCpuCount();
    }).join();
    EXPECT_EQ(counted, n);
  }
}

}  // namespace
