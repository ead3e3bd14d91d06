#pragma once
// Shared pieces of the waterfall-instance tests: a recording manager,
// scriptable fake adapters and a reader of the events the instances sent.
#include <atomic>
#include <map>
#include <memory>
#include <thread>

#include "adunits/QBBaseAdUnitSmash.h"
#include "adunits_process_state.h"
#include "core/QBAdapterConfig.h"

namespace adunits_test {

using platform::Json;

// Records each report as "success:<ms>", "failed:<code>:<message>:<ms>" or
// "click", overall and per smash, with the thread of the last one.
class RecordingManager : public QBAdUnitManagerDelegate {
 public:
  using Smash = std::shared_ptr<QBBaseAdUnitSmash>;
  void onAdLoadSuccess(const Smash& smash, int64_t ms) override { record(smash, "success:" + std::to_string(ms)); }
  void onAdLoadFailed(const Smash& smash, const QBError& error, int64_t ms) override {
    record(smash, "failed:" + std::to_string(error.code()) + ":" + error.message() + ":" + std::to_string(ms));
  }
  void onAdClicked(const Smash& smash) override { record(smash, "click"); }

  std::vector<std::string> reports() const {
    std::lock_guard lock(m_);
    return all_;
  }
  size_t count() const { return reports().size(); }
  std::vector<std::string> reportsOf(const Smash& smash) const {
    std::lock_guard lock(m_);
    auto it = bySmash_.find(smash.get());
    return it == bySmash_.end() ? std::vector<std::string>() : it->second;
  }
  std::thread::id lastThread() const {
    std::lock_guard lock(m_);
    return lastThread_;
  }

 private:
  void record(const Smash& smash, std::string line) {
    std::lock_guard lock(m_);
    lastThread_ = std::this_thread::get_id();
    bySmash_[smash.get()].push_back(line);
    all_.push_back(std::move(line));
  }
  mutable std::mutex m_;
  std::vector<std::string> all_;
  std::map<const QBBaseAdUnitSmash*, std::vector<std::string>> bySmash_;
  std::thread::id lastThread_;
};

using qbtest::Answer;
using qbtest::answerWith;

// Network adapter of network "Fake" (registered as "QBFakeCustomAdapter").
class FakeNetworkAdapter : public QBBaseNetworkAdapter {
 public:
  void init(const std::shared_ptr<QBAdData>& adData, std::weak_ptr<QBNetworkInitializationDelegate> d) override {
    ++initCalls;
    lastAdData = adData;
    lastDelegate = d;
    answerWith(answer, d, [](auto& t) { t.onInitDidSucceed(); },
               [](auto& t) { t.onInitDidFailWithErrorCode(1000, std::string("init refused")); });
  }
  std::string networkSDKVersion() override {
    if (throwOnVersion) throw std::logic_error("no version");
    return "9.9.0";
  }
  std::string adapterVersion() override { return "1.2.3"; }
  std::shared_ptr<QBNetworkInitializationDelegate> delegate() const { return lastDelegate.lock(); }

  Answer answer = Answer::Hold;
  bool throwOnVersion = false;
  int initCalls = 0;
  std::shared_ptr<QBAdData> lastAdData;
  std::weak_ptr<QBNetworkInitializationDelegate> lastDelegate;
};

class FakeAdAdapter : public QBBaseRewardedVideo {
 public:
  void loadAdWithAdData(const std::shared_ptr<QBAdData>& adData, std::weak_ptr<QBAdapterAdDelegate> d) override {
    ++loadCalls;
    lastAdData = adData;
    lastDelegate = d;
    answerWith(answer, d, [](auto& t) { t.adDidLoad(); },
               [](auto& t) { t.adDidFailToLoadWithErrorType(QBAdapterErrorTypeNoFill, 204, "No fill"); });
  }
  void showAdWithViewController(const QBViewController&, const std::shared_ptr<QBAdData>&,
                                std::weak_ptr<QBAdapterAdInteractionDelegate>) override {}
  bool isAdAvailableWithAdData(const std::shared_ptr<QBAdData>&) override { return true; }
  void releaseMemory() override {
    ++releaseCalls;
    if (throwOnRelease) throw std::runtime_error("release exploded");
  }
  std::shared_ptr<QBAdapterAdDelegate> delegate() const { return lastDelegate.lock(); }

  Answer answer = Answer::Hold;
  bool throwOnRelease = false;
  std::atomic<int> releaseCalls{0};
  int loadCalls = 0;
  std::shared_ptr<QBAdData> lastAdData;
  std::weak_ptr<QBAdapterAdDelegate> lastDelegate;
};

// A smash whose state a test may set, standing in for the show side.
class TestSmash : public QBBaseAdUnitSmash {
 public:
  static std::shared_ptr<TestSmash> make(std::shared_ptr<const QBAdSmashData> data,
                                         std::shared_ptr<QBBaseAdAdapter> adapter,
                                         std::weak_ptr<QBAdUnitManagerDelegate> manager) {
    auto config = data->adapterConfig();
    std::shared_ptr<TestSmash> smash(new TestSmash(std::move(data), std::move(adapter), config, std::move(manager)));
    smash->start();
    return smash;
  }
  void forceState(QBSmashState state) { setState(state); }

 private:
  using QBBaseAdUnitSmash::QBBaseAdUnitSmash;
};

class AdUnitsTest : public qbtest::AdUnitsProcessTest {
 protected:
  AdUnitsTest() {
    platform::ClassRegistry::shared().registerClass<QBBaseNetworkAdapter>("QBFakeCustomAdapter",
                                                                          [n = network] { return n; });
  }

  // Instance `provider` of `network` for `adUnit`: `entry` keys go into the
  // provider entry, `settings` are the instance settings (2.9 s time-out).
  static std::shared_ptr<QBAdapterConfig> config(const QBAdUnit& adUnit, Json settings = Json::object(),
                                                 Json entry = Json::object(), const std::string& provider = "Fake_1",
                                                 const std::string& network = "Fake") {
    if (!settings.contains("loadTimeOutSec")) settings["loadTimeOutSec"] = 2.9;
    entry["providerLoadName"] = network;
    entry[adUnit.value()] = settings;
    return QBAdapterConfig::create(provider, adUnit, entry);
  }
  static std::shared_ptr<const QBAdSmashData> smashData(const std::shared_ptr<QBAdapterConfig>& cfg,
                                                        std::string auctionId = "A1", Json genericParams = {},
                                                        int64_t trial = 0, std::string fallback = "",
                                                        std::string userId = "user-7") {
    return QBAdSmashData::initWithAdUnit(cfg->adUnit(), std::move(userId), cfg, 2, 2, std::move(genericParams),
                                         std::move(auctionId), trial, std::move(fallback));
  }
  static std::shared_ptr<FakeAdAdapter> adAdapter(const std::shared_ptr<QBAdapterConfig>& cfg) {
    auto adapter = std::make_shared<FakeAdAdapter>();
    adapter->initWithAdUnit(cfg->adUnit(), cfg);
    return adapter;
  }
  std::shared_ptr<QBBaseAdUnitSmash> makeSmash(const std::shared_ptr<QBAdapterConfig>& cfg,
                                               const std::shared_ptr<QBBaseAdAdapter>& adapter,
                                               std::shared_ptr<const QBAdSmashData> data = nullptr) {
    return QBBaseAdUnitSmash::initWithData(data ? std::move(data) : smashData(cfg), adapter, cfg, manager);
  }

  // The events of the rewarded-video engine so far: it backs them up a
  // moment after they are sent, so the clock moves by that moment.
  std::vector<Json> sentEvents() {
    env.advance(QBEventsEngine::kBackupDelayMs);
    return backedUpEvents(rv);
  }
  // The instance-level kinds of rewarded-video events, in order.
  static std::vector<int> kindsOf(const std::vector<Json>& events) {
    std::vector<int> kinds;
    for (const auto& event : events) kinds.push_back(kindOf(event));
    return kinds;
  }
  static int kindOf(const Json& event) {
    return eventKind(event, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(), QBAdUnitEventsTables::kLevelProvider);
  }
  static Json firstOfKind(const std::vector<Json>& events, int kind) {
    for (const auto& event : events) {
      if (kindOf(event) == kind) return event;
    }
    return Json();
  }

  std::shared_ptr<FakeNetworkAdapter> network = std::make_shared<FakeNetworkAdapter>();
  std::shared_ptr<RecordingManager> manager = std::make_shared<RecordingManager>();
};

}  // namespace adunits_test
