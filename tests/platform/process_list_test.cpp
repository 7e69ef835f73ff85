#include "platform/core/process_list.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

TEST(ProcessList, FindsThisProcessUnderItsExecutableName) {
  const std::string self = platform::currentExecutableName();
  EXPECT_EQ(self, "platform_tests");
  bool found = false;
  for (const auto& p : platform::processList()) found = found || (p.pid == ::getpid() && p.exeName == self);
  EXPECT_TRUE(found);
}

}  // namespace
