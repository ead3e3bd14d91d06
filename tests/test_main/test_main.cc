// The main of every test program: GoogleTest's, and after each test a look
// at the script engine's objects. A test in real mode may end while the web
// views it released still tear their pages down on their content queues;
// the next test, or the process's exit, must not find them there. So once a
// test's fixture is gone, the main queue and the content queues run until
// every page and script context the test made is released. One still alive
// after the bound is a fault of the test (or of the library: something keeps
// a web view) and fails the program.
#include <cstdio>

#include <gtest/gtest.h>

#include "support/engine_release.h"

namespace {

class EngineObjectsCheck : public ::testing::EmptyTestEventListener {
 public:
  void OnTestEnd(const ::testing::TestInfo& test) override {
    if (qbtest::waitUntilEngineObjectsReleased()) return;
    std::fprintf(stderr, "%s.%s left %s alive\n", test.test_suite_name(), test.name(),
                 qbtest::liveEngineObjects().describe().c_str());
    failed_ = true;
  }
  bool failed() const { return failed_; }

 private:
  bool failed_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  auto* check = new EngineObjectsCheck;  // the listener list owns it
  ::testing::UnitTest::GetInstance()->listeners().Append(check);
  const int rc = RUN_ALL_TESTS();
  return rc != 0 ? rc : (check->failed() ? 1 : 0);
}
