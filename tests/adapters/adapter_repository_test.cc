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

namespace {

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

  std::vector<std::string> calls() {
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

class FakeRewardedVideo : public QBBaseRewardedVideo {
 public:
  void loadAdWithAdData(const std::shared_ptr<QBAdData>&, std::weak_ptr<QBAdapterAdDelegate>) override {}
  void showAdWithViewController(const QBViewController&, const std::shared_ptr<QBAdData>&,
                                std::weak_ptr<QBAdapterAdInteractionDelegate>) override {}
  bool isAdAvailableWithAdData(const std::shared_ptr<QBAdData>&) override { return false; }
};

class FakeInterstitial : public QBBaseInterstitial {
 public:
  void loadAdWithAdData(const std::shared_ptr<QBAdData>&, std::weak_ptr<QBAdapterAdDelegate>) override {}
  void showAdWithViewController(const QBViewController&, const std::shared_ptr<QBAdData>&,
                                std::weak_ptr<QBAdapterAdInteractionDelegate>) override {}
  bool isAdAvailableWithAdData(const std::shared_ptr<QBAdData>&) override { return false; }
};

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
  std::vector<std::string> calls;
};

std::shared_ptr<QBAdapterConfig> configFor(const std::string& provider, const std::string& network,
                                           const QBAdUnit& unit = QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()) {
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
    classes.registerClass<QBBaseNetworkAdapter>("QBFakeCustomAdapter", [] { return std::make_shared<FakeNetworkAdapter>(); });
    classes.registerClass<QBBaseNetworkAdapter>("QBShakyCustomAdapter",
                                                [] { return std::make_shared<ThrowingNetworkAdapter>(); });
    classes.registerClass<QBBaseAdAdapter>("QBFakeCustomRewardedVideo", [] { return std::make_shared<FakeRewardedVideo>(); });
    classes.registerClass<QBBaseAdAdapter>("QBFakeCustomInterstitial", [] { return std::make_shared<FakeInterstitial>(); });
  }
  ~AdapterRepositoryTest() override {
    repository.resetForTesting();
    classes.resetForTesting();
    QBLoggerManager::sharedInstance().resetForTesting();
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

TEST_F(AdapterRepositoryTest, OneNetworkAdapterPerNetworkWithVersionsReadAtCreation) {
  auto a = repository.getNetworkAdapter(configFor("Fake_1", "Fake"), QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO());
  auto b = repository.getNetworkAdapter(configFor("Fake_2", "Fake", QBAdUnit::QB_AD_UNIT_INTERSTITIAL()),
                                        QBAdUnit::QB_AD_UNIT_INTERSTITIAL());
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(FakeNetworkAdapter::constructed, 1);

  EXPECT_EQ(repository.networkAdapters().at("Fake").networkSDKVersion, "9.1");

  // A custom network name takes over from the reflection name.
  auto custom = QBAdapterConfig::create("Other_1", QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(),
                                        Json{{"providerLoadName", "CustomAdapter"}, {"customNetwork", "Fake"}});
  EXPECT_EQ(repository.getNetworkAdapter(custom, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()), a);
}

TEST_F(AdapterRepositoryTest, ConcurrentFirstUseMakesExactlyOneAdapter) {
  constexpr int kThreads = 16;
  std::latch start(kThreads);
  std::vector<std::shared_ptr<QBBaseNetworkAdapter>> seen(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      auto config = configFor("Fake_" + std::to_string(i), "Fake");
      start.arrive_and_wait();
      seen[i] = repository.getNetworkAdapter(config, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO());
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(FakeNetworkAdapter::constructed, 1);
  ASSERT_NE(seen[0], nullptr);
  for (const auto& s : seen) EXPECT_EQ(s, seen[0]);
}

TEST_F(AdapterRepositoryTest, UnknownOrThrowingClassesAreReportedAndRetriedLater) {
  auto config = configFor("Late_1", "Late");
  EXPECT_EQ(repository.getNetworkAdapter(config, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()), nullptr);
  EXPECT_TRUE(logged("QBLateCustomAdapter not found"));
  EXPECT_EQ(repository.createAdAdapter(config, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()), nullptr);
  EXPECT_TRUE(logged("QBLateCustomRewardedVideo not found"));

  classes.registerClass<QBBaseNetworkAdapter>("QBLateCustomAdapter", []() -> std::shared_ptr<FakeNetworkAdapter> {
    throw std::runtime_error("constructor failed");
  });
  EXPECT_EQ(repository.getNetworkAdapter(config, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()), nullptr);
  EXPECT_TRUE(logged("constructor failed"));

  // Registered properly later: the next call makes it.
  classes.registerClass<QBBaseNetworkAdapter>("QBLateCustomAdapter", [] { return std::make_shared<FakeNetworkAdapter>(); });
  EXPECT_NE(repository.getNetworkAdapter(config, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()), nullptr);
  EXPECT_EQ(repository.getNetworkAdapter(nullptr, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()), nullptr);
}

TEST_F(AdapterRepositoryTest, ThrowingAdapterCodeIsLoggedAndSurvived) {
  repository.setConsent(true);
  auto fine = repository.getNetworkAdapter(configFor("Fake_1", "Fake"), QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO());
  auto shaky = repository.getNetworkAdapter(configFor("Shaky_1", "Shaky"), QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO());
  ASSERT_NE(shaky, nullptr);  // its throwing setConsent at creation did not stop it
  EXPECT_TRUE(logged("sdk version unavailable"));
  EXPECT_TRUE(logged("consent refused"));
  auto entry = repository.networkAdapters().at("Shaky");
  EXPECT_EQ(entry.networkSDKVersion, "");
  EXPECT_EQ(entry.adapterVersion, "9.1.0");

  // A throwing adapter does not keep the others from their settings.
  repository.setConsent(false);
  EXPECT_EQ(std::static_pointer_cast<FakeNetworkAdapter>(fine)->calls(),
            (std::vector<std::string>{"consent:1", "consent:0"}));
}

TEST_F(AdapterRepositoryTest, CreatesANewAdAdapterPerInstanceOfTheRightKind) {
  auto rvConfig = configFor("Fake_1", "Fake");
  auto first = repository.createAdAdapter(rvConfig, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO());
  auto second = repository.createAdAdapter(rvConfig, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO());
  ASSERT_NE(first, nullptr);
  EXPECT_NE(first, second);
  EXPECT_NE(std::dynamic_pointer_cast<QBBaseRewardedVideo>(first), nullptr);
  // Its network adapter comes from the registry's cache.
  EXPECT_EQ(first->getNetworkAdapter(),
            repository.getNetworkAdapter(rvConfig, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()));

  auto isConfig = configFor("Fake_1", "Fake", QBAdUnit::QB_AD_UNIT_INTERSTITIAL());
  auto interstitial = repository.createAdAdapter(isConfig, QBAdUnit::QB_AD_UNIT_INTERSTITIAL());
  EXPECT_NE(std::dynamic_pointer_cast<QBBaseInterstitial>(interstitial), nullptr);

  // A class of the wrong kind, an ad unit without custom ad adapters, and a
  // throwing initialiser give null.
  classes.registerClass<QBBaseAdAdapter>("QBFakeCustomRewardedVideo", [] { return std::make_shared<FakeInterstitial>(); });
  EXPECT_EQ(repository.createAdAdapter(rvConfig, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()), nullptr);
  EXPECT_TRUE(logged("is not a rewarded video adapter"));
  EXPECT_EQ(repository.createAdAdapter(configFor("Fake_1", "Fake", QBAdUnit::QB_AD_UNIT_BANNER()),
                                       QBAdUnit::QB_AD_UNIT_BANNER()),
            nullptr);
  classes.registerClass<QBBaseAdAdapter>("QBFakeCustomRewardedVideo",
                                         [] { return std::make_shared<ThrowingInitRewardedVideo>(); });
  EXPECT_EQ(repository.createAdAdapter(rvConfig, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()), nullptr);
  EXPECT_TRUE(logged("bad config"));
}

TEST_F(AdapterRepositoryTest, SettingsReachHeldAndNewAdaptersInOrder) {
  EXPECT_EQ(repository.currentConsent(), QBAdapterRepository::kConsentNotSet);
  auto held = std::static_pointer_cast<FakeNetworkAdapter>(
      repository.getNetworkAdapter(configFor("Fake_1", "Fake"), QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()));
  EXPECT_TRUE(held->calls().empty());  // nothing set yet: nothing pushed

  repository.setConsent(false);
  repository.setMetaData("do_not_sell", {"true"});
  repository.setAdaptersDebug(true);
  repository.setMetaData("tags", {"a", "b"});
  EXPECT_EQ(held->calls(),
            (std::vector<std::string>{"consent:0", "meta:do_not_sell:true", "debug:1", "meta:tags:a:b"}));

  classes.registerClass<QBBaseNetworkAdapter>("QBSecondCustomAdapter", [] { return std::make_shared<FakeNetworkAdapter>(); });
  auto fresh = std::static_pointer_cast<FakeNetworkAdapter>(
      repository.getNetworkAdapter(configFor("Second_1", "Second"), QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()));
  EXPECT_EQ(fresh->calls(), (std::vector<std::string>{"consent:0", "meta:do_not_sell:true", "meta:tags:a:b", "debug:1"}));
}

TEST_F(AdapterRepositoryTest, ClassicAdaptersAndTheVersionTable) {
  classes.registerClass<QBBaseAdapter>("QBQuillborneAdapter", [] { return std::make_shared<FakeClassicAdapter>(); });
  classes.registerClass<QBBaseAdapter>("QBFakeAdapter", [] { return std::make_shared<FakeClassicAdapter>(); });
  repository.setConsent(true);

  auto own = QBAdapterConfig::create("Quillborne", QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(), Json::object());
  auto adapter = repository.getAdapter(own);
  ASSERT_NE(adapter, nullptr);
  EXPECT_EQ(repository.getAdapter(own), adapter);
  EXPECT_EQ(std::static_pointer_cast<FakeClassicAdapter>(adapter)->calls,
            (std::vector<std::string>{"consent:1", "earlyInit"}));  // early start once, own network only

  auto other = repository.getAdapter(configFor("Fake_1", "Fake"));
  EXPECT_EQ(std::static_pointer_cast<FakeClassicAdapter>(other)->calls, std::vector<std::string>{"consent:1"});

  repository.getNetworkAdapter(configFor("Fake_1", "Fake"), QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO());
  EXPECT_EQ(repository.adapterVersions(),
            (Json{{"Fake", {{"adapterVersion", "9.1.0"}, {"sdkVersion", "9.1"}}},
                  {"Quillborne", {{"adapterVersion", "7.3.1"}, {"sdkVersion", "own-1"}}}}));
}

TEST(AdDataTest, GetStringTellsMissingFromEmpty) {
  QBAdData data("", Json{{"publisherId", ""}, {"token", "t"}, {"appId", 42}, {"flag", true}}, Json::object());
  EXPECT_EQ(data.getString("publisherId"), std::optional<std::string>(""));
  EXPECT_EQ(data.getString("appId"), std::optional<std::string>("42"));
  EXPECT_EQ(data.getString("flag"), std::nullopt);
  EXPECT_EQ(data.getString("missing"), std::nullopt);
  // A configuration that is not a dictionary holds nothing.
  EXPECT_EQ(QBAdData("", Json::array(), Json()).getString("token"), std::nullopt);
}

}  // namespace
