// Shared pieces of the session tests: native sessions whose service script
// runs in their own script context (verification downloads answered offline,
// so nothing leaves the process), the commands their script received, a
// walker that records what the SDK asks of it, and a fixture that puts the
// UI layer, the audio session and the SDK back after each test.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "measurement/executor/OMIDQuilbrnLightJSExecutor.h"
#include "measurement/executor/OMIDQuilbrnLoadTask.h"
#include "measurement/session/OMIDQuilbrnAdSession.h"
#include "measurement/session/OMIDQuilbrnAdSessionRegistry.h"
#include "measurement/walker/OMIDQuilbrnTreeWalkerP.h"
#include "measurement_support.h"
#include "platform/audio_session.h"
#include "platform/ui/application.h"
#include "platform/ui/ui_device.h"
#include "platform/ui/view.h"

namespace measurementtest {

using platform::Json;

// Records start, pause and stop.
class RecordingTreeWalker : public OMIDQuilbrnTreeWalkerP {
 public:
  void start() override { calls.push_back("start"); }
  void pause() override { calls.push_back("pause"); }
  void stop() override { calls.push_back("stop"); }
  std::vector<std::string> calls;
};

// Records what the registry tells it.
class RecordingRegistryObserver : public OMIDQuilbrnAdSessionRegistryStateObserver {
 public:
  void adSessionRegistryDidBecomeActive() override { calls.push_back("active"); }
  void adSessionRegistryDidResignActive() override { calls.push_back("resign"); }
  void adSessionDidBecomeActive(const std::shared_ptr<OMIDQuilbrnAdSession>& session) override {
    calls.push_back("session " + session->identifier());
  }
  std::vector<std::string> calls;
};

// Answers every download as the platform does without a network.
inline OMIDQuilbrnLoadTask::Transport offlineTransport() {
  return [](platform::URLRequest, platform::QueueRef queue, platform::DataTaskCompletion completion) {
    queue->async([completion] {
      platform::DataTaskResult offline;
      offline.error = platform::URLError(platform::URLErrorCode::NotConnectedToInternet);
      completion(offline);
    });
  };
}

// The arguments of every `command` in a record of the service script, in
// order (each an array); with `first`, only each one's first argument.
inline Json argumentsOf(const Json& record, const std::string& command, bool first = false) {
  Json out = Json::array();
  for (const auto& entry : record) {
    if (entry["command"] == command) out.push_back(first ? entry["args"][0] : entry["args"]);
  }
  return out;
}

class SessionTest : public MeasurementTest {
 protected:
  SessionTest() {
    OMIDQuilbrnTreeWalkerP::setFactoryForTesting([this](auto, auto) { return walker; });
    OMIDQuilbrnSDK::sharedInstance()->resetForTesting();
    OMIDQuilbrnSDK::sharedInstance()->activate();
    OMIDQuilbrnLoadTask::setTransportForTesting(offlineTransport());
  }
  ~SessionTest() override {
    env.runUntilIdle();
    OMIDQuilbrnTreeWalkerP::setFactoryForTesting(nullptr);
    OMIDQuilbrnSDK::sharedInstance()->resetForTesting();
    OMIDQuilbrnLoadTask::setTransportForTesting(nullptr);
    platform::AudioSession::shared().resetForTesting();
    platform::resetUIForTesting();
    platform::resetDeviceFactsForTesting();
  }

  static std::shared_ptr<OMIDQuilbrnAdSessionConfiguration> configuration(
      OMIDQuilbrnOwner impressionOwner = OMIDQuilbrnNativeOwner, OMIDQuilbrnOwner mediaOwner = OMIDQuilbrnNativeOwner) {
    return OMIDQuilbrnAdSessionConfiguration::initWithCreativeType(
        OMIDQuilbrnCreativeTypeVideo, OMIDQuilbrnImpressionTypeBeginToRender, impressionOwner, mediaOwner, false, nullptr);
  }

  // A native session with the service script; its one verification script
  // never arrives.
  std::shared_ptr<OMIDQuilbrnAdSession> nativeSession(
      std::shared_ptr<OMIDQuilbrnAdSessionConfiguration> config = configuration()) {
    auto resource = OMIDQuilbrnVerificationScriptResource::initWithURL("https://verify.example/v.js", "vendor-a",
                                                                       "{\"tag\":\"a\"}");
    auto context = OMIDQuilbrnAdSessionContext::initWithPartner(OMIDQuilbrnPartner::initWithName("Quilbrn", "7"),
                                                                qbtest::measurementServiceScript(), {resource},
                                                                std::nullopt, std::nullopt, nullptr);
    EXPECT_TRUE(context);
    auto session = OMIDQuilbrnAdSession::initWithConfiguration(std::move(config), context, nullptr);
    env.runUntilIdle();
    return session;
  }

  // A JSON value of the session's script context.
  Json scriptValue(const OMIDQuilbrnAdSession& session, const std::string& expression) {
    env.runUntilIdle();
    auto executor = std::dynamic_pointer_cast<OMIDQuilbrnLightJSExecutor>(session.bridge()->jsExecutor());
    if (!executor) return nullptr;
    Json out;
    executor->dispatchQueue()->sync([&] { out = scriptJson(*executor->jsEnvironment().scriptContext, expression); });
    return out;
  }
  // Every command the session's script received, {command, args} each.
  Json record(const OMIDQuilbrnAdSession& session) { return scriptValue(session, "omidService.record()"); }
  // The names of those commands.
  std::vector<std::string> commands(const OMIDQuilbrnAdSession& session) {
    std::vector<std::string> names;
    for (const auto& entry : record(session)) names.push_back(entry["command"].get<std::string>());
    return names;
  }
  // The types of the events the service handed out, in order.
  std::vector<std::string> eventTypes(const OMIDQuilbrnAdSession& session) {
    std::vector<std::string> types;
    for (const auto& event : scriptValue(session, "omidService.events()")) types.push_back(event["type"].get<std::string>());
    return types;
  }

  // Two connected scenes of an application that shows several (system 17).
  std::pair<std::shared_ptr<platform::WindowScene>, std::shared_ptr<platform::WindowScene>> twoScenes() {
    auto& application = platform::Application::shared();
    application.setSupportsMultipleScenes(true);
    auto a = platform::WindowScene::create("a");
    auto b = platform::WindowScene::create("b");
    EXPECT_TRUE(application.connectScene(a));
    EXPECT_TRUE(application.connectScene(b));
    return {a, b};
  }
  // Makes a view in a new window of `scene` the session's main ad view; the
  // window is the caller's to keep.
  static std::shared_ptr<platform::Window> placeIn(OMIDQuilbrnAdSession& session,
                                                   const std::shared_ptr<platform::WindowScene>& scene) {
    auto window = std::make_shared<platform::Window>();
    window->setWindowScene(scene);
    auto view = std::make_shared<platform::View>();
    window->addSubview(view);
    session.setMainAdView(view);
    return window;
  }

  std::shared_ptr<OMIDQuilbrnAdSessionRegistry> registry() {
    return OMIDQuilbrnSDK::sharedInstance()->adSessionRegistry();
  }

  std::shared_ptr<RecordingTreeWalker> walker = std::make_shared<RecordingTreeWalker>();
};

}  // namespace measurementtest
