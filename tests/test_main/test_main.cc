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
// goes would pass.)
//
// What a test suite's set-up and tear-down make counts in a generation of
// the suite's, waited for once the suite has ended; what is made outside any
// suite (before main, in a global test environment) counts in generation 0,
// waited for once every suite has run. One still alive then fails the
// program as a failure outside any test, named after the suite that made it:
// GoogleTest's XML shows such a failure (a suite's own, from its set-up or
// tear-down, it leaves out), its output shows the failure's text, and the
// program exits with 1.
//
// --qb_engine_wait_ms=N bounds each wait (30 s by default).
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/script/engine_objects.h"
#include "support/engine_release.h"

namespace {

constexpr char kWaitFlag[] = "--qb_engine_wait_ms=";

class EngineObjectsCheck : public ::testing::EmptyTestEventListener {
 public:
  explicit EngineObjectsCheck(int64_t waitMs) : waitMs_(waitMs) {}

  void OnTestSuiteStart(const ::testing::TestSuite&) override { suiteGeneration_ = begin(); }

  void OnTestStart(const ::testing::TestInfo&) override { testGeneration_ = begin(); }

  void OnTestEnd(const ::testing::TestInfo& test) override {
    const bool released = qbtest::waitUntilEngineObjectsReleased(testGeneration_, waitMs_);
    // Until the next test starts, what is made is the suite's (its tear-down's).
    platform::setEngineGenerationForTesting(suiteGeneration_);
    if (released) return;
    ADD_FAILURE_AT(test.file(), test.line())
        << "the test left " << qbtest::liveEngineObjects(testGeneration_).describe() << " alive " << waitMs_
        << " ms after it ended (something still holds a web view or a script context it made)";
  }

  void OnTestSuiteEnd(const ::testing::TestSuite& suite) override {
    const bool released = qbtest::waitUntilEngineObjectsReleased(suiteGeneration_, waitMs_);
    // Until the next suite starts, what is made is no suite's.
    platform::setEngineGenerationForTesting(0);
    if (released) return;
    const ::testing::TestInfo* first = suite.GetTestInfo(0);
    leftOutsideTests_.push_back(
        {first ? first->file() : __FILE__, first ? first->line() : __LINE__,
         std::string("the set-up or tear-down of test suite ") + suite.name() + " left " +
             qbtest::liveEngineObjects(suiteGeneration_).describe() + " alive " + std::to_string(waitMs_) +
             " ms after the suite ended"});
  }

  // After the global test environments' tear-down, before GoogleTest writes
  // its XML (its writer, appended earlier, hears of the end later).
  void OnTestIterationEnd(const ::testing::UnitTest&, int) override {
    if (!qbtest::waitUntilEngineObjectsReleased(0, waitMs_)) {
      leftOutsideTests_.push_back({__FILE__, __LINE__,
                                   "what was made outside any test suite (before main, in a global test "
                                   "environment) left " +
                                       qbtest::liveEngineObjects(0).describe() + " alive " +
                                       std::to_string(waitMs_) + " ms after the last suite ended"});
    }
    for (const auto& left : leftOutsideTests_) ADD_FAILURE_AT(left.file.c_str(), left.line) << left.what;
    leftOutsideTests_.clear();
  }

 private:
  struct Left {
    std::string file;
    int line = 0;
    std::string what;
  };

  // A new generation, current from now on.
  uint64_t begin() {
    platform::setEngineGenerationForTesting(++generations_);
    return generations_;
  }

  const int64_t waitMs_;
  uint64_t generations_ = 0;
  uint64_t suiteGeneration_ = 0;
  uint64_t testGeneration_ = 0;
  // Failures outside any test, recorded once the suites have run.
  std::vector<Left> leftOutsideTests_;
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
  return RUN_ALL_TESTS();
}
