// Session capping: limits read at each question, unknown and unlimited
// instances, and counts from several threads.
#include "adunits_test_support.h"

#include "adunits/QBSessionCappingManager.h"

namespace adunits_test {
namespace {

std::shared_ptr<QBSessionCappingDelegate> record(const std::string& name, int32_t limit) {
  return QBSessionCappingInstance::initWithInstanceName(name, limit);
}

class ChangingLimit : public QBSessionCappingDelegate {
 public:
  std::string getInstanceName() const override { return "Two"; }
  int32_t getMaxAdsPerSession() const override { return limit; }
  int32_t limit = 2;
};

using CappingTest = AdUnitsTest;

TEST_F(CappingTest, CountsShowsAgainstEachInstancesLimit) {
  auto cfg = instance("Two", "Fake", false, rv, Json{{"maxAdsPerSession", 2}});
  std::shared_ptr<QBSessionCappingDelegate> two = makeSmash(cfg, nullptr);
  auto zero = record("Zero", 0), free = record("Free", 99), dup = record("Dup", 5);
  auto capping = QBSessionCappingManager::initWithSmashes({two, zero, free, dup, record("Dup", 1)});
  EXPECT_EQ(capping->instanceToShowCount(), (std::map<std::string, int64_t>{{"Dup", 0}, {"Two", 0}, {"Zero", 0}}));
  capping->increaseShowCounter(two);
  EXPECT_FALSE(capping->isCapped(two));
  capping->increaseShowCounter(record("Two", 7));  // the record of the same instance counts too
  EXPECT_TRUE(capping->isCapped(two));
  EXPECT_TRUE(capping->isCapped(zero));  // 0: capped from the start
  for (int i = 0; i < 150; ++i) capping->increaseShowCounter(free);
  EXPECT_FALSE(capping->isCapped(free));  // 99: never counted
  capping->increaseShowCounter(record("Unknown", 1));
  EXPECT_FALSE(capping->isCapped(record("Unknown", 0)));
  EXPECT_EQ(capping->instanceToShowCount().size(), 3u);

  // The limit is read at each question.
  auto changing = std::make_shared<ChangingLimit>();
  auto byQuestion = QBSessionCappingManager::initWithSmashes({changing});
  byQuestion->increaseShowCounter(changing);
  EXPECT_FALSE(byQuestion->isCapped(changing));
  changing->limit = 1;
  EXPECT_TRUE(byQuestion->isCapped(changing));
}

// The manager skips its lookups until a show is counted; a show of an
// instance without a counter does not count.
TEST_F(CappingTest, ShowsAreCountedOnceACounterLeavesZero) {
  auto limited = record("Limited", 1), free = record("Free", 99);
  auto capping = QBSessionCappingManager::initWithSmashes({limited, free});
  EXPECT_FALSE(capping->hasCountedShows());
  capping->increaseShowCounter(free);
  capping->increaseShowCounter(record("Unknown", 1));
  EXPECT_FALSE(capping->hasCountedShows());
  capping->increaseShowCounter(limited);
  EXPECT_TRUE(capping->hasCountedShows());
  EXPECT_TRUE(capping->isCapped(limited));
}

TEST_F(CappingTest, ParallelShowsAreAllCounted) {
  auto busy = record("Busy", 1'000'000);
  auto capping = QBSessionCappingManager::initWithSmashes({busy});
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 500; ++i) {
        capping->increaseShowCounter(busy);
        (void)capping->isCapped(busy);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(capping->instanceToShowCount().at("Busy"), 2000);
}

}  // namespace
}  // namespace adunits_test
