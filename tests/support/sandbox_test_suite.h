#pragma once
// The test-suite page of the sandbox: the project's own page
// (tests/support/pages/testsuite.html), served at the configuration's test
// page address. docs/test-suite.md describes the page and its query.
#include <string>

#include "support/sandbox_server.h"

namespace qbtest {

inline constexpr char kTestSuitePagePath[] = "/testsuite/index.html";

// The page's HTML.
std::string testSuitePageHtml();

// Answers GET requests to `path` (any query) with the page (text/html).
void addTestSuitePage(SandboxServer& server, const std::string& path = kTestSuitePagePath);

}  // namespace qbtest
