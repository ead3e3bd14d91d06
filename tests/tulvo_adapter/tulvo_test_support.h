#pragma once
// Shared pieces of the Tulvo adapter tests: recording mediation delegates and
// a fixture that resets the SDK stand-in, the class registry and the adapter
// registry around each test.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "adapters/QBAdapterRepository.h"
#include "core/QBAdapterConfig.h"
#include "platform/dispatch.h"
#include "platform/runtime.h"
#include "platform/test_environment.h"
#include "platform/tulvo/tulvo_control.h"
#include "tulvo_adapter/QBTulvoAdapterRegistration.h"

namespace tulvo_test {

// One recorded callback: its text and where it ran.
struct Event {
  std::string text;
  std::thread::id thread;
  bool onMain = false;
};

// Records every callback, thread-safely (SDK answers may come from a foreign
// thread).
class Recorder {
 public:
  void add(std::string text) {
    std::lock_guard lock(m_);
    events_.push_back(Event{std::move(text), std::this_thread::get_id(), platform::isMainThread()});
  }
  std::vector<std::string> texts() const {
    std::lock_guard lock(m_);
    std::vector<std::string> out;
    for (const auto& e : events_) out.push_back(e.text);
    return out;
  }
  std::vector<Event> events() const {
    std::lock_guard lock(m_);
    return events_;
  }

 private:
  mutable std::mutex m_;
  std::vector<Event> events_;
};

// Records the calls of one mediation delegate. Base is the delegate protocol
// (QBRewardedVideoAdDelegate or QBInterstitialAdDelegate).
template <class Base>
class RecordingAdDelegate : public Base, public Recorder {
 public:
  void adDidLoad() override { add("load"); }
  void adDidFailToLoadWithErrorType(int type, int code, const std::string& message) override {
    add("loadFailed:" + std::to_string(type) + ":" + std::to_string(code) + ":" + message);
  }
  void adDidClick() override { add("click"); }
  void adDidOpen() override { add("open"); }
  void adDidClose() override { add("close"); }
  void adDidFailToShowWithErrorCode(int code, const std::string& message) override {
    add("showFailed:" + std::to_string(code) + ":" + message);
  }
  void adDidShowSucceed() override { add("showSucceed"); }
  void adDidBecomeVisible() override { add("visible"); }
  void adDidStart() override { add("start"); }
  void adDidEnd() override { add("end"); }
};

class RewardedDelegate : public RecordingAdDelegate<QBRewardedVideoAdDelegate> {
 public:
  void adRewarded() override { add("reward"); }
};
using InterstitialDelegate = RecordingAdDelegate<QBInterstitialAdDelegate>;

class InitDelegate : public QBNetworkInitializationDelegate, public Recorder {
 public:
  void onInitDidSucceed() override { add("initSuccess"); }
  void onInitDidFailWithErrorCode(int code, const std::optional<std::string>& message) override {
    add("initFailed:" + std::to_string(code) + ":" + (message ? *message : "<none>"));
  }
};

class TulvoTest : public ::testing::Test {
 protected:
  TulvoTest() {
    sdk.resetForTesting();
    platform::ClassRegistry::shared().resetForTesting();
    QBAdapterRepository::sharedRepository().resetForTesting();
    registerTulvoAdapterClasses();
  }
  ~TulvoTest() override {
    sdk.resetForTesting();
    QBAdapterRepository::sharedRepository().resetForTesting();
    platform::ClassRegistry::shared().resetForTesting();
  }

  static std::shared_ptr<QBAdapterConfig> config(const QBAdUnit& unit, const platform::Json& settings,
                                                 const std::string& provider = "Tulvo_1") {
    return QBAdapterConfig::create(provider, unit, platform::Json{{"providerLoadName", "Tulvo"}, {unit.value(), settings}});
  }
  // The argument record a waterfall instance builds: a copy of the settings.
  static std::shared_ptr<QBAdData> adData(const platform::Json& settings) {
    return QBAdData::initWithServerData("", settings, platform::Json{{"adUnit", "rewardedVideo"}});
  }

  platform::TestEnvironment env;
  TulvoSDK::Control& sdk = TulvoSDK::Control::shared();
};

}  // namespace tulvo_test
