// Own-network ad instances: ids, the controller configuration, builder
// validity, ids unique within a millisecond, and the demand source made from
// an instance.
#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "ownnetwork/api/QuillborneAdInstance.h"
#include "ownnetwork/handlers_test_support.h"

namespace adinstancetest {

using platform::Json;

class AdInstanceTest : public qbtest::OwnNetworkTest {
 protected:
  std::shared_ptr<handlertest::RecordingAdListener> listener = std::make_shared<handlertest::RecordingAdListener>();
};

TEST_F(AdInstanceTest, IdsAndControllerConfiguration) {
  const std::string kTime = "time";  // an id made of the clock
  struct Case {
    const char* name;
    bool rewarded, bidding;
    std::optional<bool> oneFlow;
    std::shared_ptr<QBNAdSize> size;
    std::optional<Json> extra;
    std::string id;
    Json configuration;  // beyond "instanceId", "instanceName" and "apiVersion"
  };
  const Case cases[] = {
      {"rv", true, false, std::nullopt, nullptr, std::nullopt, "ManRewInst_rv",
       {{"rewarded", "true"}, {"inAppBidding", "false"}, {"width", "0"}, {"height", "0"}, {"label", ""},
        {"isBanner", "false"}}},
      {"is", false, false, false, nullptr, std::nullopt, "is",
       {{"rewarded", "false"}, {"inAppBidding", "false"}, {"width", "0"}, {"height", "0"}, {"label", ""},
        {"isBanner", "false"}, {"isOneFlow", "false"}}},
      {"bid", true, true, std::nullopt, std::make_shared<QBNAdSize>("BANNER", 320, 50), std::nullopt, kTime,
       {{"rewarded", "true"}, {"inAppBidding", "true"}, {"width", "320"}, {"height", "50"}, {"label", "BANNER"},
        {"isBanner", "true"}}},
      {"flow", false, false, true, std::make_shared<QBNAdSize>("CUSTOM", 0, 90), Json{{"rewarded", "x"}, {"k", 1}},
       kTime,
       {{"rewarded", "x"}, {"inAppBidding", "false"}, {"width", "0"}, {"height", "90"}, {"label", "CUSTOM"},
        {"isBanner", "false"}, {"isOneFlow", "true"}, {"k", 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto instance = QuillborneAdInstanceBuilder(c.name, listener)
                        .setRewarded(c.rewarded)
                        .setInAppBidding(c.bidding)
                        .setIsOneFlow(c.oneFlow)
                        .setSize(c.size)
                        .setExtraParameters(c.extra)
                        .build();
    ASSERT_TRUE(instance);
    if (c.id == kTime) {
      EXPECT_GE(std::stoll(instance->identifier()), platform::nowWallMs());
    } else {
      EXPECT_EQ(instance->identifier(), c.id);
    }
    Json expected = {{"instanceId", instance->identifier()}, {"instanceName", c.name}, {"apiVersion", 2}};
    for (const auto& [key, value] : c.configuration.items()) expected[key] = value;
    Json actual = instance->getAdInstanceConfigurationForController();
    EXPECT_EQ(actual.size(), expected.size()) << platform::dumpJson(actual);
    for (const auto& [key, value] : expected.items()) EXPECT_EQ(actual[key], value) << key;
    EXPECT_EQ(instance->adListener(), listener);
    EXPECT_FALSE(instance->isInitialized());
  }
}

TEST_F(AdInstanceTest, InstancesBuiltWithinOneMillisecondGetDistinctIds) {
  // The test clock stands still: every build happens in the same millisecond,
  // on four threads at once (loads build on the API queue, banners on main).
  std::vector<std::vector<std::string>> made(4);
  std::vector<std::thread> threads;
  for (auto& list : made) {
    threads.emplace_back([&list, this] {
      for (int i = 0; i < 250; ++i) {
        list.push_back(QuillborneAdInstanceBuilder("bid", listener).setInAppBidding(true).build()->identifier());
      }
    });
  }
  for (auto& thread : threads) thread.join();
  std::set<std::string> ids;
  for (const auto& list : made) ids.insert(list.begin(), list.end());
  EXPECT_EQ(ids.size(), 1000u);
}

TEST_F(AdInstanceTest, ABuilderNeedsANameAndALiveListener) {
  EXPECT_FALSE(QuillborneAdInstanceBuilder(std::nullopt, listener).build());
  QuillborneAdInstanceBuilder builder("rv", listener);
  EXPECT_TRUE(builder.isInstanceValid());
  listener.reset();
  EXPECT_FALSE(builder.isInstanceValid());
  EXPECT_FALSE(builder.build());
}

TEST_F(AdInstanceTest, DemandSourceOfAnInstance) {
  auto instance = QuillborneAdInstanceBuilder("rv", listener).setRewarded(true).build();
  auto source = PMADemandSource::createDemandSourceWithAdInstance(instance);
  EXPECT_EQ(source->identifier(), "ManRewInst_rv");
  EXPECT_EQ(source->name(), "rv");
  EXPECT_EQ(source->extraParams(), instance->getAdInstanceConfigurationForController());
  EXPECT_EQ(source->delegate(), listener);
  EXPECT_EQ(source->adInstance(), instance);
}

}  // namespace adinstancetest
