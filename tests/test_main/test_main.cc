// The main of every test program: GoogleTest's, and after each test a look
// at the script engine's objects. A test in real mode may end while the web
// views it released still tear their pages down on their content queues;
// the next test, or the process's exit, must not find them there. So once a
// test's fixture is gone, the main queue and the content queues run until
// every page and script context the test made is released. One still alive
// after the bound is a fault of the test (or of the library: something keeps
// a web view): the test fails, with what it left, in GoogleTest's output and
// in its XML. GoogleTest calls OnTestEnd of the listeners appended last first
// (before its printers) and still takes a failure then as the ending test's.
//
// Each test's objects count in a generation of its own (platform/script/
// engine_objects.h, a web page in its web view's), so a test waits for and
// answers for what it made alone: what an earlier test left alive neither
// holds a later one up nor fails it. (A count of the objects alive when each
// test starts would not do: a test that leaves one while an earlier test's
// goes would pass.) What is made outside any test (a suite's set-up)
// counts in generation 0 and is waited for once every test has run; one
// still alive then fails the program.
//
// --qb_engine_wait_ms=N bounds each wait (30 s by default).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "platform/script/engine_objects.h"
#include "support/engine_release.h"

namespace {

constexpr char kWaitFlag[] = "--qb_engine_wait_ms=";

class EngineObjectsCheck : public ::testing::EmptyTestEventListener {
 public:
  explicit EngineObjectsCheck(int64_t waitMs) : waitMs_(waitMs) {}

  void OnTestStart(const ::testing::TestInfo&) override { platform::setEngineGenerationForTesting(++generation_); }

  void OnTestEnd(const ::testing::TestInfo& test) override {
    const bool released = qbtest::waitUntilEngineObjectsReleased(generation_, waitMs_);
    // Until the next test starts, what is made is no test's.
    platform::setEngineGenerationForTesting(0);
    if (released) return;
    ADD_FAILURE_AT(test.file() ? test.file() : __FILE__, test.file() ? test.line() : __LINE__)
        << "the test left " << qbtest::liveEngineObjects(generation_).describe() << " alive " << waitMs_
        << " ms after it ended (something still holds a web view or a script context it made)";
  }

 private:
  const int64_t waitMs_;
  uint64_t generation_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  int64_t waitMs = 30'000;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], kWaitFlag, sizeof kWaitFlag - 1) == 0) waitMs = std::atoll(argv[i] + sizeof kWaitFlag - 1);
  }
  // The listener list owns it.
  ::testing::UnitTest::GetInstance()->listeners().Append(new EngineObjectsCheck(waitMs));
  const int rc = RUN_ALL_TESTS();
  if (!qbtest::waitUntilEngineObjectsReleased(0, waitMs)) {
    std::fprintf(stderr, "%s made outside any test still alive at the end\n",
                 qbtest::liveEngineObjects(0).describe().c_str());
    return 1;
  }
  return rc;
}
