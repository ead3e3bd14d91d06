// Under the fallback controller every command fails at once, on the thread
// that sent it; the ad instances' listeners still hear each failure on the
// main queue, never on the sender's thread.
#include <gtest/gtest.h>

#include "ownnetwork/api/QuillborneAdInstance.h"
#include "ownnetwork/controller/QBNNativeController.h"
#include "ownnetwork/publisher_test_support.h"
#include "ownnetwork/services/QBNAdSize.h"
#include "platform/dispatch.h"

namespace qbtest {
namespace {

using handlertest::RecordingAdListener;
using platform::Json;

TEST_F(PublisherTest, UnderTheFallbackControllerListenersHearFailuresOnMain) {
  PlovermarkAdsPublisher::setControllerConfig(R"({"minOSVersionSupport":"99.0"})");
  publisher = PlovermarkAdsPublisher::sharedInstance();
  env.runUntilIdle();
  ASSERT_TRUE(std::dynamic_pointer_cast<QBNNativeController>(publisher->concreteControllerManager()->controller()));

  struct Case {
    const char* name;
    bool rewarded;
    bool banner;
    bool show;
    const char* heard;
  };
  const std::vector<Case> cases = {
      {"banner load", false, true, false, "failedToLoad"},
      {"interstitial load", false, false, false, "failedToLoad"},
      {"rewarded load", true, false, false, "failedToLoad"},
      {"interstitial show", false, false, true, "failedToShow"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto listener = std::make_shared<RecordingAdListener>();
    QuillborneAdInstanceBuilder builder(std::string("fb-") + c.name, listener);
    builder.setRewarded(c.rewarded);
    if (c.banner) builder.setSize(std::make_shared<QBNAdSize>("BANNER", 320, 50));
    auto instance = builder.build();
    // Sent from a worker, as the mediation's managers do.
    platform::globalQueue()->async([&] {
      if (c.show) {
        publisher->showAdWithAdInstance(instance, nullptr, Json::object());
      } else {
        publisher->loadAdWithAdInstance(instance, Json::object());
      }
    });
    env.runUntilIdle();
    ASSERT_FALSE(listener->lines.empty());
    for (size_t i = 0; i < listener->lines.size(); ++i) {
      EXPECT_TRUE(listener->onMain[i]) << listener->lines[i];
    }
    EXPECT_EQ(listener->lines.back().rfind(c.heard, 0), 0u) << listener->lines.back();
  }
}

}  // namespace
}  // namespace qbtest
