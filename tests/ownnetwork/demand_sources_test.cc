#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ownnetwork/ownnetwork_test_support.h"
#include "ownnetwork/services/QBNProductType.h"

namespace {

using platform::Json;

class DemandSourcesTest : public qbtest::OwnNetworkTest {
 protected:
  PMADemandSourcesCollection& collection = PMADemandSourcesCollection::sharedInstance();
};

struct Listener : QBNProductDelegate {};

TEST_F(DemandSourcesTest, NewDemandSourceStartsUninitialisedAndHoldsItsListenerWeakly) {
  auto listener = std::make_shared<Listener>();
  auto source = PMADemandSource::createDemandSourceWithName("rv1", Json{{"k", "v"}}, listener);
  EXPECT_EQ(source->identifier() + "/" + source->name(), "rv1/rv1");
  EXPECT_EQ(source->mediationState(), -1);
  EXPECT_EQ(source->initState(), PMADemandSourceInitState::NotInitialized);
  EXPECT_FALSE(source->isAdAvailable());
  EXPECT_EQ(source->delegate(), listener);
  listener.reset();
  EXPECT_EQ(source->delegate(), nullptr);
}

TEST_F(DemandSourcesTest, CollectionKeepsInsertionOrderReplacesInPlaceAndIgnoresWhatItCannotKey) {
  auto first = PMADemandSource::createDemandSourceWithName("a", std::nullopt, {});
  auto second = PMADemandSource::createDemandSourceWithName("b", std::nullopt, {});
  auto replacement = PMADemandSource::createDemandSourceWithName("a", Json{{"v", 2}}, {});
  collection.addDemandSourceWithProductType(QBNProductType::Interstitial, first);
  collection.addDemandSourceWithProductType(QBNProductType::Interstitial, second);
  collection.addDemandSourceWithProductType(QBNProductType::Interstitial, replacement);
  collection.addDemandSourceWithProductType(QBNProductType::Interstitial, nullptr);
  collection.addDemandSourceWithProductType(QBNProductType::Interstitial,
                                            PMADemandSource::createDemandSourceWithName("", std::nullopt, {}));
  collection.addDemandSourceWithProductType(QBNProductType::OfferWall, second);

  auto& interstitials = collection.interstitialDemandSources();
  EXPECT_EQ(interstitials.allKeys(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(interstitials.allObjects(), (std::vector<std::shared_ptr<PMADemandSource>>{replacement, second}));
  EXPECT_EQ(collection.demandSourceForProductType(QBNProductType::Interstitial, std::string("a")), replacement);
  EXPECT_EQ(collection.demandSourceForProductType(QBNProductType::Interstitial, std::string("zz")), nullptr);
  EXPECT_EQ(collection.demandSourceForProductType(QBNProductType::Interstitial, std::nullopt), nullptr);
  EXPECT_EQ(collection.demandSourceForProductType(QBNProductType::RewardedVideo, std::string("a")), nullptr);
  EXPECT_EQ(collection.demandSourcesForProductType(QBNProductType::OfferWall), nullptr);
  EXPECT_EQ(collection.demandSourcesForProductType(QBNProductType::OfferWallCredits), nullptr);
  EXPECT_EQ(collection.demandSourcesForProductType(QBNProductType::Banner), &collection.bannerDemandSources());
}

// Real threads on purpose (no manual queues): run in the thread-sanitizer
// build, this proves that the collection, the demand sources, the feature
// switches and the events sender may be written on one queue while another
// reads them.
TEST(OwnNetworkConcurrencyTest, WritersAndReadersOfSharedStateNeverSeeTornData) {
  qbtest::resetOwnNetworkState();
  auto& collection = PMADemandSourcesCollection::sharedInstance();
  auto& features = QBNFeaturesManager::sharedManager();
  auto disabled = std::make_shared<QBEventsConfiguration>();  // nothing goes over the wire
  disabled->formatter = std::make_shared<QBNEventsFormatter>();
  auto baseData = std::make_shared<QBNEventsBaseData>(nullptr);

  constexpr int kWriters = 4;
  constexpr int kReaders = 4;
  constexpr int kRounds = 300;
  std::atomic<bool> torn{false};
  std::vector<std::thread> threads;
  for (int w = 0; w < kWriters; ++w) {
    threads.emplace_back([&, w] {
      for (int i = 0; i < kRounds; ++i) {
        const int64_t type = i % 3 == 0 ? QBNProductType::RewardedVideo
                                        : i % 3 == 1 ? QBNProductType::Interstitial : QBNProductType::Banner;
        auto source = PMADemandSource::createDemandSourceWithName("ds" + std::to_string(i % 50), std::nullopt, {});
        collection.addDemandSourceWithProductType(type, source);
        if (auto existing = collection.demandSourceForProductType(type, "ds" + std::to_string((i + w) % 50))) {
          existing->setInitState(PMADemandSourceInitState::InitRequested);
          existing->setAdAvailable(i % 2 == 0);
          existing->setExtraParams(Json{{"round", i}});
        }
        features.updateSupplyConfigurations(Json{{"networkConfig", {{"allowLinksInWpad", i % 2 == 0}}}});
        (void)QBNEventsTracker::sharedTracker().init(disabled, baseData);
      }
    });
  }
  for (int r = 0; r < kReaders; ++r) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        for (auto* sources : {&collection.rewardedVideoDemandSources(), &collection.interstitialDemandSources(),
                              &collection.bannerDemandSources()}) {
          const auto keys = sources->allKeys();
          const auto objects = sources->allObjects();
          if (keys.size() > 50 || objects.size() > 50) torn = true;
          for (const auto& source : objects) {
            if (source->name().rfind("ds", 0) != 0 || source->initState() > PMADemandSourceInitState::InitFailed) {
              torn = true;
            }
            (void)source->extraParams();
            (void)source->isAdAvailable();
          }
        }
        (void)features.allowExternalLinksActivationInWPAD();
        (void)features.getNetworkConfigurationsFromControllerConfig();
        QBNEventsTracker::logEvent(QBNEvents::initSdk(), Json{{"round", i}});
      }
    });
  }
  for (auto& t : threads) t.join();

  EXPECT_FALSE(torn);
  for (auto* sources : {&collection.rewardedVideoDemandSources(), &collection.interstitialDemandSources(),
                        &collection.bannerDemandSources()}) {
    const auto keys = sources->allKeys();
    EXPECT_EQ(keys.size(), sources->allObjects().size());
    for (const auto& key : keys) EXPECT_EQ(sources->objectForKey(key)->identifier(), key);
  }
  EXPECT_EQ(collection.rewardedVideoDemandSources().count(), 50u);
  qbtest::resetOwnNetworkState();
}

}  // namespace
