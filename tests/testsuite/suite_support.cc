#include "suite_support.h"

#include "events/QBBannerDelegateWrapper.h"

namespace qbtest {

std::string RecordingSdk::bridged() {
  return QBBannerDelegateWrapper::sharedInstance()->testSuiteTidewheelDelegate() ? " (bridged)" : "";
}

SuiteTest::SuiteTest() {
  platform::setDataRoot(dir.path());
  platform::UserDefaults::resetStandardForTesting();
  resetProcessWide();
  QBGlobalDataManager::sharedInstance().resetForTesting();
  QBTestSuiteMediationSdkProxy::setMediationSdk(sdk);
  platform::resetUIForTesting();
  log.install();
  previousSink_ = platform::setWebLogSink([this](platform::WebLogLevel, const std::string& line) {
    static constexpr char kPrefix[] = "testsuite: ";
    if (line.rfind(kPrefix, 0) == 0) pageLines_.add(line.substr(sizeof kPrefix - 1));
  });
  EXPECT_TRUE(server.start());
  addTestSuitePage(server);
  window = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 320, 480));
  window->makeKeyAndVisible();
  window->setRootViewController(app);
}

SuiteTest::~SuiteTest() {
  env.runUntilIdle();
  server.stop();
  resetProcessWide();
  platform::resetUIForTesting();
  env.runUntilIdle();
  platform::setWebLogSink(previousSink_);
}

std::shared_ptr<QBTestSuiteViewController> SuiteTest::presentSuite(const std::string& url, const platform::Json& data) {
  auto suite = QBTestSuiteViewController::init();
  EXPECT_TRUE(suite->presentTestSuiteViewController(app, url, data));
  auto wrapper = suite->webViewWrapper();
  EXPECT_TRUE(wrapper && wrapper->appWebView());
  if (wrapper && wrapper->appWebView()) {
    EXPECT_TRUE(env.runUntil([&] { return !wrapper->appWebView()->isLoading(); }));
  }
  env.runUntilIdle();
  return suite;
}

platform::Json SuiteTest::evaluate(const std::shared_ptr<platform::WebView>& webView, const std::string& script) {
  std::optional<platform::ScriptEvaluation> out;
  webView->evaluateJavaScript(script, [&](const platform::ScriptEvaluation& r) { out = r; });
  EXPECT_TRUE(env.runUntil([&] { return out.has_value(); }));
  return out && out->ok() ? out->value : platform::Json();
}

platform::Json SuiteTest::pageRecord(const std::shared_ptr<QBTestSuiteViewController>& suite) {
  auto wrapper = suite->webViewWrapper();
  if (!wrapper || !wrapper->appWebView()) return platform::Json();
  env.runUntilIdle();
  return evaluate(wrapper->appWebView(), "TestSuiteJs.record");
}

platform::Json SuiteTest::pageCallbacks(const std::shared_ptr<QBTestSuiteViewController>& suite) {
  platform::Json out = platform::Json::array();
  const platform::Json record = pageRecord(suite);
  if (!record.is_object()) return out;
  for (const auto& c : record["callbacks"]) out.push_back(platform::Json::array({c["name"], c["adUnit"], c["args"]}));
  return out;
}

std::vector<platform::Json> SuiteTest::suiteEvents() {
  env.runUntilIdle();
  platform::NotificationCenter::defaultCenter().post(platform::kUIApplicationWillTerminateNotification);
  env.runUntilIdle();
  std::vector<platform::Json> out;
  for (const auto& event : eventsBackedUp("events")) {
    const int64_t id = event.value("eventId", int64_t{0});
    if (id < 70 || id > 74) continue;
    platform::Json own = {{"id", id}};
    for (const char* key : {"provider", "errorCode", "reason", "is_test_suite"}) {
      if (event.contains(key)) own[key] = event[key];
    }
    out.push_back(own);
  }
  return out;
}

std::vector<int64_t> SuiteTest::suiteEventIds() {
  std::vector<int64_t> ids;
  for (const auto& event : suiteEvents()) ids.push_back(event["id"].get<int64_t>());
  return ids;
}

}  // namespace qbtest
