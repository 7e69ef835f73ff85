#include "platform/application.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/exceptions.h"

namespace {

TEST(ExceptionRouting, EveryThrownErrorReachesTheHandlerAsItsMessage) {
  std::vector<std::string> seen;
  platform::setExceptionHandler([&](const std::string& m) { seen.push_back(m); });
  EXPECT_TRUE(platform::deliverSafely([] {}));
  EXPECT_FALSE(platform::deliverSafely([] { throw platform::EInOutError(5); }));
  EXPECT_FALSE(platform::deliverSafely([] { throw std::runtime_error("boom"); }));
  EXPECT_FALSE(platform::deliverSafely([] { throw 42; }));
  platform::setExceptionHandler(nullptr);
  EXPECT_EQ(seen, (std::vector<std::string>{"Erreur E/S 5", "boom", "Exception inconnue"}));
}

TEST(ExceptionRouting, AHandlerThatThrowsDoesNotLoopOrEscape) {
  int calls = 0;
  platform::setExceptionHandler([&](const std::string&) {
    ++calls;
    throw platform::EInOutError(13);
  });
  EXPECT_FALSE(platform::deliverSafely([] { throw std::runtime_error("x"); }));
  platform::setExceptionHandler(nullptr);
  EXPECT_EQ(calls, 1);
}

}  // namespace
