#include "adapters/QBAdapterRepository.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "adapters/QBAdData.h"
#include "core/QBAdapterConfig.h"
#include "foundation/QBLoggerManager.h"
#include "platform/runtime.h"

using platform::Json;
using Calls = std::vector<std::string>;

namespace {

const QBAdUnit kRV = QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(), kIS = QBAdUnit::QB_AD_UNIT_INTERSTITIAL();

// A network adapter that records the settings pushed into it.
class FakeNetworkAdapter : public QBBaseNetworkAdapter {
 public:
  static std::atomic<int> constructed;
  FakeNetworkAdapter() { ++constructed; }

  void init(const std::shared_ptr<QBAdData>&, std::weak_ptr<QBNetworkInitializationDelegate>) override {}
  std::string networkSDKVersion() override { return "9.1"; }
  std::string adapterVersion() override { return "9.1.0"; }
  void setConsent(bool consent) override { record(std::string("consent:") + (consent ? "1" : "0")); }
  void setMetaDataWithKey(const std::string& key, const std::vector<std::string>& values) override {
    std::string line = "meta:" + key;
    for (const auto& v : values) line += ":" + v;
    record(line);
  }
  void setAdapterDebug(bool debug) override { record(std::string("debug:") + (debug ? "1" : "0")); }

  Calls calls() {
    std::lock_guard lock(m);
    return log;
  }

 private:
  void record(std::string line) {
    std::lock_guard lock(m);
    log.push_back(std::move(line));
  }
  std::mutex m;
  std::vector<std::string> log;
};
std::atomic<int> FakeNetworkAdapter::constructed{0};

// Version getters and consent that throw.
class ThrowingNetworkAdapter : public FakeNetworkAdapter {
 public:
  std::string networkSDKVersion() override { throw std::runtime_error("sdk version unavailable"); }
  void setConsent(bool) override { throw std::logic_error("consent refused"); }
};

template <class Base>
class FakeAd : public Base {
 public:
  void loadAdWithAdData(const std::shared_ptr<QBAdData>&, std::weak_ptr<QBAdapterAdDelegate>) override {}
  void showAdWithViewController(const QBViewController&, const std::shared_ptr<QBAdData>&,
                                std::weak_ptr<QBAdapterAdInteractionDelegate>) override {}
  bool isAdAvailableWithAdData(const std::shared_ptr<QBAdData>&) override { return false; }
};
using FakeRewardedVideo = FakeAd<QBBaseRewardedVideo>;
using FakeInterstitial = FakeAd<QBBaseInterstitial>;

class ThrowingInitRewardedVideo : public FakeRewardedVideo {
 public:
  void initWithAdUnit(const QBAdUnit&, const std::shared_ptr<QBAdapterConfig>&) override {
    throw std::runtime_error("bad config");
  }
};

class FakeClassicAdapter : public QBBaseAdapter {
 public:
  std::string version() override { return "7.3.1"; }
  std::string sdkVersion() override { return "own-1"; }
  void setConsent(bool consent) override { calls.push_back(std::string("consent:") + (consent ? "1" : "0")); }
  void earlyInitWithAdapterConfig(const std::shared_ptr<QBAdapterConfig>&) override { calls.push_back("earlyInit"); }
  Calls calls;
};

std::shared_ptr<QBAdapterConfig> configFor(const std::string& provider, const std::string& network,
                                           const QBAdUnit& unit = kRV) {
  return QBAdapterConfig::create(provider, unit, Json{{"providerLoadName", network}});
}

class AdapterRepositoryTest : public ::testing::Test {
 protected:
  AdapterRepositoryTest() {
    classes.resetForTesting();
    repository.resetForTesting();
    FakeNetworkAdapter::constructed = 0;
    QBLoggerManager::sharedInstance().setConsoleWriterForTesting([this](const std::string& line) {
      std::lock_guard lock(logMutex);
      logLines.push_back(line);
    });
    make<QBBaseNetworkAdapter, FakeNetworkAdapter>("QBFakeCustomAdapter");
    make<QBBaseNetworkAdapter, ThrowingNetworkAdapter>("QBBrokenCustomAdapter");
    make<QBBaseAdAdapter, FakeRewardedVideo>("QBFakeCustomRewardedVideo");
    make<QBBaseAdAdapter, FakeInterstitial>("QBFakeCustomInterstitial");
  }
  ~AdapterRepositoryTest() override {
    repository.resetForTesting();
    classes.resetForTesting();
    QBLoggerManager::sharedInstance().resetForTesting();
  }

  template <class Base, class Made>
  void make(const std::string& className) {
    classes.registerClass<Base>(className, [] { return std::make_shared<Made>(); });
  }
  // The network adapter of the first instance of network `name`.
  std::shared_ptr<FakeNetworkAdapter> network(const std::string& name) {
    auto adapter = repository.getNetworkAdapter(configFor(name + "_1", name), kRV);
    return std::static_pointer_cast<FakeNetworkAdapter>(adapter);
  }
  bool logged(const std::string& fragment) {
    std::lock_guard lock(logMutex);
    for (const auto& l : logLines)
      if (l.find(fragment) != std::string::npos) return true;
    return false;
  }

  platform::ClassRegistry& classes = platform::ClassRegistry::shared();
  QBAdapterRepository& repository = QBAdapterRepository::sharedRepository();
  std::mutex logMutex;
  std::vector<std::string> logLines;
};

// All instances of a network share one adapter, made once even when the first
// calls race; its versions are read at creation.
TEST_F(AdapterRepositoryTest, OneNetworkAdapterPerNetworkEvenUnderConcurrentFirstUse) {
  constexpr int kThreads = 16;
  std::latch start(kThreads);
  std::vector<std::shared_ptr<QBBaseNetworkAdapter>> seen(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      auto config = configFor("Fake_" + std::to_string(i), "Fake");
      start.arrive_and_wait();
      seen[i] = repository.getNetworkAdapter(config, kRV);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(FakeNetworkAdapter::constructed, 1);
  ASSERT_NE(seen[0], nullptr);
  for (const auto& s : seen) EXPECT_EQ(s, seen[0]);
  EXPECT_EQ(repository.networkAdapters().at("Fake").networkSDKVersion, "9.1");

  // Another ad unit, and a custom network name over the reflection name, find it too.
  EXPECT_EQ(repository.getNetworkAdapter(configFor("Fake_2", "Fake", kIS), kIS), seen[0]);
  auto custom = QBAdapterConfig::create("Other_1", kRV,
                                        Json{{"providerLoadName", "CustomAdapter"}, {"customNetwork", "Fake"}});
  EXPECT_EQ(repository.getNetworkAdapter(custom, kRV), seen[0]);
  EXPECT_EQ(FakeNetworkAdapter::constructed, 1);
}

TEST_F(AdapterRepositoryTest, UnknownOrThrowingClassesAreReportedAndRetriedLater) {
  auto config = configFor("Late_1", "Late");
  EXPECT_EQ(repository.getNetworkAdapter(config, kRV), nullptr);
  EXPECT_TRUE(logged("QBLateCustomAdapter not found"));
  EXPECT_EQ(repository.createAdAdapter(config, kRV), nullptr);
  EXPECT_TRUE(logged("QBLateCustomRewardedVideo not found"));

  classes.registerClass<QBBaseNetworkAdapter>("QBLateCustomAdapter", []() -> std::shared_ptr<FakeNetworkAdapter> {
    throw std::runtime_error("constructor failed");
  });
  EXPECT_EQ(repository.getNetworkAdapter(config, kRV), nullptr);
  EXPECT_TRUE(logged("constructor failed"));

  // Registered properly later: the next call makes it.
  make<QBBaseNetworkAdapter, FakeNetworkAdapter>("QBLateCustomAdapter");
  EXPECT_NE(repository.getNetworkAdapter(config, kRV), nullptr);
  EXPECT_EQ(repository.getNetworkAdapter(nullptr, kRV), nullptr);
}

TEST_F(AdapterRepositoryTest, CreatesANewAdAdapterPerInstanceOfTheRightKind) {
  auto rvConfig = configFor("Fake_1", "Fake");
  auto first = repository.createAdAdapter(rvConfig, kRV);
  ASSERT_NE(first, nullptr);
  EXPECT_NE(first, repository.createAdAdapter(rvConfig, kRV));
  EXPECT_NE(std::dynamic_pointer_cast<QBBaseRewardedVideo>(first), nullptr);
  EXPECT_EQ(first->getNetworkAdapter(), network("Fake"));  // from the registry's cache
  auto interstitial = repository.createAdAdapter(configFor("Fake_1", "Fake", kIS), kIS);
  EXPECT_NE(std::dynamic_pointer_cast<QBBaseInterstitial>(interstitial), nullptr);

  // A class of the wrong kind, an ad unit without custom ad adapters, and a
  // throwing initialiser give null.
  make<QBBaseAdAdapter, FakeInterstitial>("QBFakeCustomRewardedVideo");
  EXPECT_EQ(repository.createAdAdapter(rvConfig, kRV), nullptr);
  EXPECT_TRUE(logged("is not a rewarded video adapter"));
  const auto banner = QBAdUnit::QB_AD_UNIT_BANNER();
  EXPECT_EQ(repository.createAdAdapter(configFor("Fake_1", "Fake", banner), banner), nullptr);
  make<QBBaseAdAdapter, ThrowingInitRewardedVideo>("QBFakeCustomRewardedVideo");
  EXPECT_EQ(repository.createAdAdapter(rvConfig, kRV), nullptr);
  EXPECT_TRUE(logged("bad config"));
}

TEST_F(AdapterRepositoryTest, SettingsReachHeldAndNewAdaptersInOrderPastThrowingOnes) {
  auto held = network("Fake");
  EXPECT_TRUE(held->calls().empty());  // nothing set yet: nothing pushed
  repository.setConsent(false);
  repository.setMetaData("do_not_sell", {"true"});

  // Throwing version getters and consent: made all the same, with the throws
  // logged. "Broken" comes before "Fake" in the push order.
  ASSERT_NE(network("Broken"), nullptr);
  EXPECT_TRUE(logged("sdk version unavailable"));
  EXPECT_TRUE(logged("consent refused"));
  auto entry = repository.networkAdapters().at("Broken");
  EXPECT_EQ(entry.networkSDKVersion, "");
  EXPECT_EQ(entry.adapterVersion, "9.1.0");

  repository.setAdaptersDebug(true);
  repository.setMetaData("tags", {"a", "b"});
  repository.setConsent(true);
  EXPECT_EQ(held->calls(), (Calls{"consent:0", "meta:do_not_sell:true", "debug:1", "meta:tags:a:b", "consent:1"}));
  make<QBBaseNetworkAdapter, FakeNetworkAdapter>("QBSecondCustomAdapter");
  EXPECT_EQ(network("Second")->calls(), (Calls{"consent:1", "meta:do_not_sell:true", "meta:tags:a:b", "debug:1"}));
}

TEST_F(AdapterRepositoryTest, ClassicAdaptersAndTheVersionTable) {
  make<QBBaseAdapter, FakeClassicAdapter>("QBQuillborneAdapter");
  make<QBBaseAdapter, FakeClassicAdapter>("QBFakeAdapter");
  repository.setConsent(true);

  auto own = QBAdapterConfig::create("Quillborne", kRV, Json::object());
  auto adapter = repository.getAdapter(own);
  ASSERT_NE(adapter, nullptr);
  EXPECT_EQ(repository.getAdapter(own), adapter);
  // Early start once, and for the own network only.
  EXPECT_EQ(std::static_pointer_cast<FakeClassicAdapter>(adapter)->calls, (Calls{"consent:1", "earlyInit"}));
  auto other = repository.getAdapter(configFor("Fake_1", "Fake"));
  EXPECT_EQ(std::static_pointer_cast<FakeClassicAdapter>(other)->calls, Calls{"consent:1"});

  network("Fake");
  EXPECT_EQ(repository.adapterVersions(),
            (Json{{"Fake", {{"adapterVersion", "9.1.0"}, {"sdkVersion", "9.1"}}},
                  {"Quillborne", {{"adapterVersion", "7.3.1"}, {"sdkVersion", "own-1"}}}}));
}

TEST(AdDataTest, GetStringTellsMissingFromEmpty) {
  QBAdData data("", Json{{"publisherId", ""}, {"appId", 42}, {"flag", true}}, Json::object());
  EXPECT_EQ(data.getString("publisherId"), std::optional<std::string>(""));
  EXPECT_EQ(data.getString("appId"), std::optional<std::string>("42"));
  EXPECT_EQ(data.getString("flag"), std::nullopt);
  EXPECT_EQ(data.getString("missing"), std::nullopt);
  // A configuration that is not a dictionary holds nothing.
  EXPECT_EQ(QBAdData("", Json::array(), Json()).getString("token"), std::nullopt);
}

}  // namespace
