#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/QBLoggerManager.h"
#include "foundation/QBSafeDispatch.h"
#include "foundation_test_support.h"
#include "platform/dispatch.h"

namespace qbtest {
struct AdapterFailure : std::logic_error {
  using std::logic_error::logic_error;
};
}  // namespace qbtest

namespace {

using SafeDispatchTest = foundationtest::FoundationTest;

TEST_F(SafeDispatchTest, ThrowsAreCaughtAndLoggedWithTheirTypeAndMessage) {
  bool after = false;
  sc_safe_dispatch_async(platform::globalQueue(), [] { throw std::runtime_error("boom"); });
  platform::globalQueue()->async([&] { after = true; });
  EXPECT_TRUE(console.lines().empty());  // never inline
  env.runUntilIdle();
  EXPECT_TRUE(after);

  auto queue = platform::createSerialQueue("com.test.safe");
  bool ranOnQueue = false;
  sc_safe_dispatch_sync(queue, [&] {
    ranOnQueue = queue->isCurrent();
    throw 42;
  });
  EXPECT_TRUE(ranOnQueue);
  sc_safe_dispatch_sync(platform::mainQueue(), [] { throw qbtest::AdapterFailure("bad adapter"); });

  platform::OnceFlag flag;
  int onceRuns = 0;
  for (int i = 0; i < 3; ++i) {
    sc_safe_dispatch_once(flag, [&] {
      ++onceRuns;
      throw std::runtime_error("init failed");
    });
  }
  EXPECT_EQ(onceRuns, 1);

  EXPECT_EQ(console.lines(), (std::vector<std::string>{
                       "[quillborne SDK] INTERNAL: UITHREAD: false sc_safe_dispatch_async - "
                       "exception caught: std::runtime_error: boom",
                       "[quillborne SDK] INTERNAL: UITHREAD: false sc_safe_dispatch_sync - "
                       "exception caught: unknown exception",
                       "[quillborne SDK] INTERNAL: UITHREAD: true sc_safe_dispatch_sync - "
                       "exception caught: qbtest::AdapterFailure: bad adapter",
                       "[quillborne SDK] INTERNAL: UITHREAD: true sc_safe_dispatch_once - "
                       "exception caught: std::runtime_error: init failed"}));
}

TEST_F(SafeDispatchTest, BlocksThatReturnNormallyLogNothingAndANullQueueIsLogged) {
  int runs = 0;
  platform::OnceFlag flag;
  sc_safe_dispatch_once(flag, [&] { ++runs; });
  sc_safe_dispatch_sync(platform::globalQueue(), [&] { ++runs; });
  sc_safe_dispatch_async(platform::mainQueue(), [&] { ++runs; });
  env.runUntilIdle();
  EXPECT_EQ(runs, 3);
  EXPECT_TRUE(console.lines().empty());

  sc_safe_dispatch_async(nullptr, [&] { ++runs; });
  sc_safe_dispatch_sync(nullptr, [&] { ++runs; });
  env.runUntilIdle();
  EXPECT_EQ(runs, 3);
  ASSERT_EQ(console.lines().size(), 2u);
  EXPECT_EQ(console.lines()[0], "[quillborne SDK] INTERNAL: UITHREAD: true sc_safe_dispatch_async - no queue to dispatch on");
}

}  // namespace
