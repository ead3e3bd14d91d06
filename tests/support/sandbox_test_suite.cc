#include "support/sandbox_test_suite.h"

#include "platform/storage.h"

namespace qbtest {

std::string testSuitePageHtml() {
  auto text = platform::readFile(std::string(QB_TESTS_DIR) + "/support/pages/testsuite.html");
  return text ? text.value() : std::string();
}

void addTestSuitePage(SandboxServer& server, const std::string& path) {
  const std::string page = testSuitePageHtml();
  server.route("GET", path, [page](const RecordedRequest&) {
    return SandboxAnswer{200, page, {{"Content-Type", "text/html; charset=utf-8"}}};
  });
}

}  // namespace qbtest
