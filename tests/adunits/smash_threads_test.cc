// Waterfall instances driven by the Tulvo adapters over the outside SDK's
// stand-in, answering on the stand-in's own thread (the thread sanitizer
// build watches these).
#include "adunits_test_support.h"

#include "tulvo_adapter/QBTulvoAdapterRegistration.h"

namespace adunits_test {
namespace {

using S = QBSmashState;
using TulvoSDK::CallbackThread;

class SmashThreadsTest : public AdUnitsTest {
 protected:
  SmashThreadsTest() { registerTulvoAdapterClasses(); }

  std::shared_ptr<QBBaseAdUnitSmash> tulvoSmash(Json settings, const std::string& provider = "Tulvo_1") {
    auto cfg = instance(provider, "Tulvo", false, rv, std::move(settings));
    return makeSmash(cfg, QBAdapterRepository::sharedRepository().createAdAdapter(cfg, rv));
  }
  // Waits until the SDK's thread has given every answer handed to it, then
  // runs what those answers posted.
  void settle() {
    sdk.waitForeignIdle();
    env.runUntilIdle();
  }

  TulvoSDK::Control& sdk = TulvoSDK::Control::shared();
};

TEST_F(SmashThreadsTest, AnswersOnTheSdksThreadLoadTheInstanceAndReportThere) {
  sdk.setDefaultInitAnswer({true, std::nullopt, 50, CallbackThread::ForeignThread});
  sdk.setDefaultLoadAnswer({true, 204, std::nullopt, true, 40, CallbackThread::ForeignThread});
  auto smash = tulvoSmash(Json{{"publisherId", "pub"}, {"token", "tok"}});
  ASSERT_TRUE(smash->loadAdWithServerData("", Json::object()));
  env.advance(50);
  settle();
  EXPECT_EQ(smash->state(), S::QB_SMASH_STATE_LOADING);
  env.advance(40);
  settle();
  EXPECT_EQ(manager->reports(), std::vector<std::string>{"success:90"});
  EXPECT_EQ(manager->lastThread(), sdk.foreignThreadId());
  env.advance(10'000);
  EXPECT_EQ(manager->count(), 1u);
}

// Load-phase timeouts on the test thread race fills and no-fills on the SDK's
// thread, all due at the same moment: whichever wins, each instance reports
// exactly once and ends in the matching state.
TEST_F(SmashThreadsTest, TimeoutsRacingForeignAnswersReportOncePerInstance) {
  sdk.setDefaultInitAnswer({true, std::nullopt, 50, CallbackThread::ForeignThread});
  constexpr int kSmashes = 12;
  std::vector<std::shared_ptr<QBBaseAdUnitSmash>> smashes;
  for (int i = 0; i < kSmashes; ++i) {
    sdk.scriptLoad({i % 3 != 0, 204, std::string("No fill"), true, 100, CallbackThread::ForeignThread});
    smashes.push_back(tulvoSmash(Json{{"publisherId", "pub"}, {"token", "tok"}, {"loadTimeOutSec", 0.1}},
                                 "Tulvo_" + std::to_string(i)));
  }
  for (auto& smash : smashes) ASSERT_TRUE(smash->loadAdWithServerData("", Json::object()));
  env.advance(50);
  settle();
  for (auto& smash : smashes) ASSERT_EQ(smash->state(), S::QB_SMASH_STATE_LOADING);
  env.advance(100);
  settle();
  env.advance(10'000);
  settle();
  EXPECT_EQ(manager->count(), static_cast<size_t>(kSmashes));
  for (auto& smash : smashes) {
    auto reports = manager->reportsOf(smash);
    ASSERT_EQ(reports.size(), 1u) << smash->getInstanceSignature();
    EXPECT_EQ(smash->state(), reports[0].rfind("success:", 0) == 0 ? S::QB_SMASH_STATE_LOADED : S::QB_SMASH_STATE_FAILED);
  }
}

}  // namespace
}  // namespace adunits_test
