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

class SessionTest : public MeasurementTest {
 protected:
  SessionTest() {
    OMIDQuilbrnTreeWalkerP::setFactoryForTesting([this](auto, auto) { return walker; });
    OMIDQuilbrnSDK::sharedInstance()->resetForTesting();
    OMIDQuilbrnSDK::sharedInstance()->activate();
    OMIDQuilbrnLoadTask::setTransportForTesting(
        [](platform::URLRequest, platform::QueueRef queue, platform::DataTaskCompletion completion) {
          queue->async([completion] {
            platform::DataTaskResult offline;
            offline.error = platform::URLError(platform::URLErrorCode::NotConnectedToInternet);
            completion(offline);
          });
        });
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

  std::shared_ptr<OMIDQuilbrnAdSessionRegistry> registry() {
    return OMIDQuilbrnSDK::sharedInstance()->adSessionRegistry();
  }

  std::shared_ptr<RecordingTreeWalker> walker = std::make_shared<RecordingTreeWalker>();
};

}  // namespace measurementtest
