#include "test_suite.h"

#include <chrono>

#include "output.h"
#include "quillborne/Quillborne.h"
#include "quillborne/host/MainLoop.h"

namespace demo {

using std::chrono::seconds;
using quillborne::host::MainLoop;

std::string runTestSuite(quillborne::host::Window& window) {
  const auto root = window.rootViewController();
  Quillborne::launchTestSuite(root->viewController());
  // The console comes over the application's screen at once, or not at all
  // (a refused launch is logged).
  if (!MainLoop::runUntil([&] { return window.presentedViewControllerCount() > 0; }, seconds(5))) {
    return "the test console did not open within 5 s";
  }
  printLine("test suite opened over the application's view controller");
  // The page's plan: two full-screen ads and a banner that stays a second.
  if (!MainLoop::runUntil([&] { return window.presentedViewControllerCount() == 0; }, seconds(60))) {
    return "the test console's page did not close it within 60 s";
  }
  printLine("test suite closed, the application's view controller is on top");
  return {};
}

}  // namespace demo
