// The waterfall life-cycle holder: installation by mode, the load-while-show
// keep/swap/drop rules with the whole-second delay, the warning, auction
// membership while an ad shows, and the lock under concurrent use.
#include "adunits_test_support.h"

#include "adunits/QBWaterfallLifeCycleHolder.h"
#include "quillborne/QBAdInfo.h"
#include "quillborne/QBImpressionData.h"

namespace adunits_test {
namespace {

using Mode = QBAdUnitLoadingMode;
using S = QBSmashState;
constexpr Mode LWS = Mode::AUTOMATIC_LOAD_WHILE_SHOW;

class CountingDelegate : public WaterfallLifeCycleHolderEventDelegate {
 public:
  void maxWaterfallsReachedWithNumberOfWaterFalls(uint64_t count) override { counts.push_back(count); }
  std::vector<uint64_t> counts;
};

class WaterfallHolderTest : public AdUnitsTest {
 protected:
  std::shared_ptr<QBWaterfallLifeCycleHolder> holder(int64_t deleteMs, std::vector<std::string> disabled = {}) {
    return QBWaterfallLifeCycleHolder::initWithDisableLoadWhileShowSupportNetworks(std::move(disabled), deleteMs,
                                                                                   delegate);
  }
  std::shared_ptr<TestSmash> smash(const std::string& waterfallId, const std::string& name = "Fake_1",
                                   const std::string& network = "Fake") {
    auto cfg = instance(name, network);
    return TestSmash::make(smashData(cfg, waterfallId), adAdapter(cfg), manager);
  }
  static std::vector<std::string> ids(const std::shared_ptr<QBWaterfallLifeCycleHolder>& h) {
    std::vector<std::string> out;
    for (const auto& [id, smashes] : h->waterfalls()) out.push_back(id);
    return out;
  }
  static std::shared_ptr<QBImpressionData> impression(const std::string& id) {
    return QBImpressionData::initWithJsonText(R"({"auctionId":")" + id + R"("})");
  }
  using Ids = std::vector<std::string>;

  std::shared_ptr<CountingDelegate> delegate = std::make_shared<CountingDelegate>();
};

TEST_F(WaterfallHolderTest, OutsideLoadWhileShowOnlyTheNewWaterfallStays) {
  auto h = holder(60'000);
  auto a1 = smash("A"), a2 = smash("A", "Fake_2"), b = smash("B");
  h->updateWaterFallWithLoadingMode(Mode::MANUAL, {a1, a2}, "A");
  h->setLastActiveSmash(a2);
  h->setAdInfoWithWaterfallId("A", impression("A"));
  h->setAdInfoWithWaterfallId("", impression("A"));
  h->setAdInfoWithWaterfallId("B", nullptr);
  h->updateWaterFallWithLoadingMode(Mode::AUTOMATIC_LOAD_AFTER_CLOSE, {b}, "B");
  EXPECT_EQ(ids(h), Ids{"B"});
  EXPECT_EQ(h->getCurrentWaterfall().at(0), b);
  EXPECT_EQ(h->currentWaterfallId(), "B");
  EXPECT_EQ(h->previousWaterfallId(), "A");
  // The outgoing instances let their adapters go, except the last active one,
  // whose waterfall's ad info stays.
  EXPECT_FALSE(a1->adapter());
  EXPECT_TRUE(a2->adapter());
  EXPECT_EQ(h->getAdInfoWithWaterfallId("A")->auctionId(), "A");
  // A new last active instance releases the one before it; the next
  // installation forgets the ad info nobody needs any more.
  h->setLastActiveSmash(b);
  EXPECT_FALSE(a2->adapter());
  h->updateWaterFallWithLoadingMode(Mode::MANUAL, {smash("C")}, "C");
  EXPECT_TRUE(h->adInfoMap().empty());
}

TEST_F(WaterfallHolderTest, LoadWhileShowDropsThePreviousWaterfallAfterWholeSeconds) {
  for (int64_t delay : {1500, 999}) {
    SCOPED_TRACE(delay);
    auto h = holder(delay);
    h->updateWaterFallWithLoadingMode(LWS, {smash("P")}, "P");
    h->updateWaterFallWithLoadingMode(LWS, {smash("C")}, "C");
    h->setAdInfoWithWaterfallId("P", impression("P"));
    h->updateWaterFallWithLoadingMode(LWS, {smash("N")}, "N");
    EXPECT_EQ(ids(h), (Ids{"C", "N", "P"}));  // never dropped on the calling thread
    EXPECT_EQ(h->currentWaterfallId(), "N");
    EXPECT_EQ(h->previousWaterfallId(), "C");
    env.advance(delay / 1000 * 1000 - (delay >= 1000 ? 1 : 0));
    EXPECT_EQ(ids(h).size(), delay >= 1000 ? 3u : 2u);
    env.advance(1);
    EXPECT_EQ(ids(h), (Ids{"C", "N"}));
    EXPECT_FALSE(h->getAdInfoWithWaterfallId("P"));
  }
  EXPECT_TRUE(delegate->counts.empty());
}

TEST_F(WaterfallHolderTest, LoadWhileShowKeepsTheShowingPreviousWaterfallAndDropsTheCurrentOne) {
  auto h = holder(2000);
  auto p = smash("P"), c = smash("C");
  h->updateWaterFallWithLoadingMode(LWS, {p}, "P");
  h->setLastActiveSmash(p);  // P's ad opens and its show starts the load of C
  p->forceState(S::QB_SMASH_STATE_SHOWING);
  h->updateWaterFallWithLoadingMode(LWS, {c}, "C");
  EXPECT_TRUE(h->isPreviousWaterfallShowing());
  h->updateWaterFallWithLoadingMode(LWS, {smash("N")}, "N");
  EXPECT_EQ(h->currentWaterfallId(), "N");
  EXPECT_EQ(h->previousWaterfallId(), "P");
  env.advance(2000);
  EXPECT_EQ(ids(h), (Ids{"N", "P"}));
  EXPECT_TRUE(p->adapter());
  EXPECT_FALSE(c->adapter());
  h->setLastActiveSmash(smash("N"));  // a second ad opens while P's still shows
  EXPECT_TRUE(p->adapter());
}

TEST_F(WaterfallHolderTest, SixOrMoreStoredWaterfallsAreReportedOnEveryInstallation) {
  auto h = holder(60'000);
  for (int i = 1; i <= 7; ++i) h->updateWaterFallWithLoadingMode(LWS, {smash(std::to_string(i))}, std::to_string(i));
  EXPECT_EQ(delegate->counts, (std::vector<uint64_t>{6, 7}));
  env.advance(60'000);
  EXPECT_EQ(ids(h), (Ids{"6", "7"}));
}

TEST_F(WaterfallHolderTest, AuctionMembershipFollowsTheSupportStateWhileAnAdShows) {
  auto h = holder(0, {"Listed"});
  auto ask = [&](Mode mode, const std::string& instance, const std::string& network, int support) {
    return h->shouldAddSmashToWaterfallRequestWithLoadingMode(mode, instance, network, support);
  };
  auto showing = smash("P", "Net_1", "Net");
  h->setLastActiveSmash(showing);
  EXPECT_TRUE(ask(LWS, "Net_2", "Net", 0));  // last active, but not showing
  showing->forceState(S::QB_SMASH_STATE_SHOWING);
  EXPECT_TRUE(ask(Mode::AUTOMATIC_LOAD_AFTER_CLOSE, "Net_2", "Net", 0));
  EXPECT_FALSE(ask(LWS, "Net_2", "Net", 0));  // 0: the showing network stays out
  EXPECT_TRUE(ask(LWS, "Other_1", "Other", 0));
  EXPECT_FALSE(ask(LWS, "Net_1", "Net", 2));  // 2: only the showing instance
  EXPECT_TRUE(ask(LWS, "Net_2", "Net", 2));
  EXPECT_TRUE(ask(LWS, "Net_2", "Net", 1));  // 1: unless listed
  auto listed = smash("P", "Listed_1", "Listed");
  h->setLastActiveSmash(listed);
  listed->forceState(S::QB_SMASH_STATE_SHOWING);
  EXPECT_FALSE(ask(LWS, "Listed_2", "Listed", 1));
  EXPECT_FALSE(ask(LWS, "Listed_2", "Listed", 2));
  EXPECT_TRUE(ask(LWS, "Net_1", "Net", 1));
}

// Installations and reads on two threads while the delayed drops run on the
// test thread.
TEST_F(WaterfallHolderTest, ConcurrentInstallsReadsAndDropsShareTheLock) {
  auto h = holder(0);
  std::vector<std::shared_ptr<TestSmash>> pool;
  for (int i = 0; i < 4; ++i) pool.push_back(smash("W", "Fake_" + std::to_string(i)));
  std::atomic<int> done{0};
  std::thread installer([&] {
    for (int i = 0; i < 200; ++i) {
      const std::string id = "W" + std::to_string(i);
      h->updateWaterFallWithLoadingMode(LWS, {pool[i % 4]}, id);
      h->setAdInfoWithWaterfallId(id, impression(id));
    }
    ++done;
  });
  std::thread reader([&] {
    for (int i = 0; i < 200; ++i) {
      (void)h->getCurrentWaterfall();
      (void)h->getAdInfoWithWaterfallId("W" + std::to_string(i));
      (void)h->isPreviousWaterfallShowing();
      h->setShowingSmash(pool[i % 4]);
      h->setLastActiveSmash(pool[i % 4]);
      h->clearShowingSmash(pool[i % 4]);
    }
    ++done;
  });
  while (done.load() < 2) env.advance(0);
  installer.join();
  reader.join();
  env.advance(0);
  EXPECT_EQ(ids(h), (Ids{"W198", "W199"}));
  EXPECT_LE(h->adInfoMap().size(), 2u);
}

}  // namespace
}  // namespace adunits_test
