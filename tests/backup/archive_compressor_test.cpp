#include "backup/archive_compressor.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

using backup::ArchiveCompressor;

namespace {

// Started inside a two-CPU mask (taskset, a container's cpuset), the pool has two workers,
// not one per CPU of the machine, and still compresses every file.
TEST(ArchiveCompressor, PoolSizedByTheCpusItMayUse) {
  cpu_set_t mine;
  CPU_ZERO(&mine);
  ASSERT_EQ(::sched_getaffinity(0, sizeof mine, &mine), 0);
  cpu_set_t two;
  CPU_ZERO(&two);
  int taken = 0;
  for (int c = 0; c < CPU_SETSIZE && taken < 2; ++c)
    if (CPU_ISSET(c, &mine)) {
      CPU_SET(c, &two);
      ++taken;
    }
  testsupport::TempDir dir;
  std::vector<std::string> names;
  for (int i = 0; i < 12; ++i) {
    names.push_back((dir / (std::to_string(i) + ".txt")).string());
    testsupport::writeFile(names.back(), std::string(5000 + i, static_cast<char>('a' + i)));
  }
  std::vector<const std::string*> paths;
  for (const std::string& n : names) paths.push_back(&n);

  std::size_t workers = 0;
  std::vector<std::uint64_t> sizes;
  std::thread([&] {
    ASSERT_EQ(::sched_setaffinity(0, sizeof two, &two), 0);
    ArchiveCompressor pool(paths);
    workers = pool.threadCount();
    for (std::size_t i = 0; i < paths.size(); ++i) {
      const backup::CompressedFile* f = pool.wait(i, [] { return true; });
      ASSERT_NE(f, nullptr);
      sizes.push_back(f->size);
      pool.release(i);
    }
  }).join();
  EXPECT_EQ(workers, static_cast<std::size_t>(taken));
  ASSERT_EQ(sizes.size(), names.size());
  for (std::size_t i = 0; i < sizes.size(); ++i) EXPECT_EQ(sizes[i], 5000 + i);
}

}  // namespace
