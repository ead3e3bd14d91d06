#include "support/sandbox_test_suite.h"

#include "platform/storage.h"
#include "support/sandbox_files.h"

namespace qbtest {

std::string testSuitePageHtml() {
  auto text = platform::readFile(sandboxFile("support/pages/testsuite.html"));
  return text ? text.value() : std::string();
}

void addTestSuitePage(SandboxServer& server, const std::string& path) {
  const std::string page = testSuitePageHtml();
  server.route("GET", path, [page](const RecordedRequest&) {
    return SandboxAnswer{200, page, {{"Content-Type", "text/html; charset=utf-8"}}};
  });
}

}  // namespace qbtest
