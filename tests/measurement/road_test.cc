// A measured ad from start to finish, against the sandbox: a native session
// whose service script runs in its own script context with two verification
// scripts of different vendors reporting their beacons, and the same sequence
// in an HTML session whose page carries the service script.
#include "measurement/session/OMIDQuilbrnAdEvents.h"
#include "measurement/session/OMIDQuilbrnMediaEvents.h"
#include "platform/web/web_view.h"
#include "session_support.h"

namespace measurementtest {
namespace {

using platform::Application;

// What the verification scripts hear, in order, for the sequence below: the
// volume published at the start and the container's state follow the
// session's start; the activation on the way back is an activity.
const std::vector<std::string> kEvents = {
    "sessionStart", "volume", "state:foregrounded", "impression", "media:start", "media:firstQuartile",
    "state:backgrounded", "activity", "state:foregrounded", "volume", "media:volumeChange", "media:complete",
    "sessionFinish"};

std::string describe(const std::string& type, const Json& data) {
  if (type == "state") return "state:" + data.value("appState", "");
  if (type == "media") return "media:" + data.value("name", "");
  return type;
}

class MeasurementRoadTest : public SessionTest {
 protected:
  MeasurementRoadTest() {
    OMIDQuilbrnLoadTask::setTransportForTesting(nullptr);  // the real URL session
    EXPECT_TRUE(server.start());
    qbtest::addMeasurementScripts(server);
    window->makeKeyAndVisible();
  }

  // The ad's sequence: start, impression, media start, first quartile,
  // background and foreground, device volume 0.3, complete, finish.
  void play(const std::shared_ptr<OMIDQuilbrnAdSession>& session) {
    auto events = OMIDQuilbrnAdEvents::initWithAdSession(session, nullptr);
    auto media = OMIDQuilbrnMediaEvents::initWithAdSession(session, nullptr);
    ASSERT_TRUE(events && media);
    session->start();
    ASSERT_TRUE(events->impressionOccurredWithError(nullptr));
    media->startWithDuration(15, 1);
    media->firstQuartile();
    env.advance(1000);
    ASSERT_TRUE(Application::shared().enterBackground());
    env.advance(1000);
    ASSERT_TRUE(Application::shared().enterForeground());
    platform::AudioSession::shared().setOutputVolume(0.3);
    media->complete();
    session->finish();
  }

  qbtest::SandboxServer server;
  std::shared_ptr<platform::Window> window = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 390, 844));
};

TEST_F(MeasurementRoadTest, NativeSessionReportsToEachVerificationScript) {
  auto adView = std::make_shared<platform::View>(platform::Rect::make(0, 100, 390, 220));
  window->addSubview(adView);
  const std::vector<std::pair<std::string, std::string>> vendors = {{"vendor-a", "a"}, {"vendor-b", "b"}};
  std::vector<std::shared_ptr<OMIDQuilbrnVerificationScriptResource>> resources;
  for (const auto& [vendor, tag] : vendors) {
    resources.push_back(OMIDQuilbrnVerificationScriptResource::initWithURL(
        server.url(qbtest::kVerificationScriptPath), vendor, qbtest::verificationParameters(server, tag)));
  }
  auto context = OMIDQuilbrnAdSessionContext::initWithPartner(OMIDQuilbrnPartner::initWithName("Quilbrn", "7"),
                                                              qbtest::measurementServiceScript(), resources,
                                                              std::nullopt, std::nullopt, nullptr);
  ASSERT_TRUE(context);
  auto session = OMIDQuilbrnAdSession::initWithConfiguration(configuration(), context, nullptr);
  ASSERT_TRUE(session);
  session->setMainAdView(adView);
  EXPECT_TRUE(session->windowContainer().isApplication());
  play(session);

  const size_t expected = kEvents.size() * vendors.size();
  ASSERT_TRUE(env.runUntil([&] { return qbtest::measurementBeacons(server).size() >= expected; }, 20'000));
  env.runUntilIdle();
  const auto beacons = qbtest::measurementBeacons(server);
  ASSERT_EQ(beacons.size(), expected);
  for (size_t v = 0; v < vendors.size(); ++v) {
    SCOPED_TRACE(vendors[v].first);
    const std::string injectionId = context->injectedResources()[v].first;
    std::vector<std::string> heard;
    int seq = 0;
    for (const auto& beacon : beacons) {
      if (beacon.tag != vendors[v].second) continue;
      EXPECT_EQ(beacon.seq, ++seq);  // one after the other, in order
      EXPECT_EQ(beacon.injectionId, injectionId);
      EXPECT_EQ(beacon.vendorKey, vendors[v].first);
      heard.push_back(describe(beacon.event, beacon.data));
      if (beacon.event == "sessionStart") {
        EXPECT_EQ(beacon.data["adSessionId"], session->identifier());
        EXPECT_EQ(beacon.data["context"]["omidNativeInfo"], (Json{{"partnerName", "Quilbrn"}, {"partnerVersion", "7"}}));
        EXPECT_EQ(beacon.data["context"]["adSessionType"], "native");
        EXPECT_EQ(beacon.data["configuration"]["mediaEventsOwner"], "native");
        EXPECT_EQ(beacon.parameters, qbtest::verificationParameters(server, vendors[v].second));
      }
      if (beacon.event == "volume" && seq > 2) {
        EXPECT_EQ(beacon.data["deviceVolume"], 0.3);
      }
      if (beacon.event == "media" && beacon.data["name"] == "volumeChange") {
        EXPECT_EQ(beacon.data["parameters"], (Json{{"mediaPlayerVolume", 1}, {"deviceVolume", 0.3}}));
      }
    }
    EXPECT_EQ(heard, kEvents);
  }
  EXPECT_FALSE(registry()->isActive());
  EXPECT_EQ(env.delayedCount(), 0u);  // no timer is left
}

TEST_F(MeasurementRoadTest, HtmlSessionRunsInTheAdsPage) {
  auto webView = std::make_shared<platform::WebView>(platform::Rect::make(0, 100, 390, 220));
  window->addSubview(webView);
  webView->loadHTMLString("<html><head><script>" + qbtest::measurementServiceScript() + "</script></head></html>",
                          server.url("/ad.html"));
  env.runUntilIdle();
  auto context = OMIDQuilbrnAdSessionContext::initWithPartner(OMIDQuilbrnPartner::initWithName("Quilbrn", "7"),
                                                              webView, std::string("https://content.example/a"),
                                                              std::string("ref-1"), nullptr);
  ASSERT_TRUE(context);
  auto session = OMIDQuilbrnAdSession::initWithConfiguration(configuration(), context, nullptr);
  ASSERT_TRUE(session);
  session->setMainAdView(webView);
  play(session);

  const auto pageValue = [&](const std::string& expression) {
    std::optional<platform::ScriptEvaluation> result;
    webView->evaluateJavaScript(expression, [&](const platform::ScriptEvaluation& r) { result = r; });
    EXPECT_TRUE(env.runUntil([&] { return result.has_value(); }, 10'000));
    return result && result->ok() ? result->value : Json();
  };
  std::vector<std::string> heard;
  const Json events = pageValue("omidService.events()");
  for (const auto& event : events) heard.push_back(describe(event["type"], event["data"]));
  EXPECT_EQ(heard, kEvents);
  ASSERT_FALSE(events.empty());
  const Json start = events[0]["data"];
  EXPECT_EQ(start["adSessionId"], session->identifier());
  EXPECT_EQ(start["context"]["adSessionType"], "html");
  EXPECT_EQ(start["context"]["contentUrl"], "https://content.example/a");
  EXPECT_EQ(start["context"]["customReferenceData"], "ref-1");
  EXPECT_EQ(pageValue("omidService.record()[0].command"), "init");
  EXPECT_EQ(env.delayedCount(), 0u);
}

}  // namespace
}  // namespace measurementtest
