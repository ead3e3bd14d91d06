#include "tulvo_adapter/QBTulvoCustomAdapter.h"

#include "tulvo_adapter/QBTulvoCustomInterstitial.h"
#include "tulvo_adapter/QBTulvoCustomRewardedVideo.h"
#include "tulvo_test_support.h"

using platform::Json;
using namespace tulvo_test;

namespace {

const Json kSettings{{"publisherId", "pub-7"}, {"token", "tok-9"}};

class TulvoNetworkAdapterTest : public TulvoTest {
 protected:
  std::shared_ptr<QBTulvoCustomAdapter> adapter = std::make_shared<QBTulvoCustomAdapter>();
  std::shared_ptr<InitDelegate> first = std::make_shared<InitDelegate>();
  std::shared_ptr<InitDelegate> second = std::make_shared<InitDelegate>();
};

TEST_F(TulvoNetworkAdapterTest, RegistryMakesTheThreeClassesByName) {
  sdk.setSDKVersion("5.0.2");
  auto& repository = QBAdapterRepository::sharedRepository();
  auto rv = config(QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO(), kSettings);
  auto is = config(QBAdUnit::QB_AD_UNIT_INTERSTITIAL(), kSettings, "Tulvo_2");

  auto network = repository.getNetworkAdapter(rv, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO());
  EXPECT_NE(std::dynamic_pointer_cast<QBTulvoCustomAdapter>(network), nullptr);
  EXPECT_EQ(repository.getNetworkAdapter(is, QBAdUnit::QB_AD_UNIT_INTERSTITIAL()), network);
  EXPECT_EQ(repository.networkAdapters().at("Tulvo").adapterVersion, "5.0.2");

  auto rvAdapter = repository.createAdAdapter(rv, QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO());
  auto isAdapter = repository.createAdAdapter(is, QBAdUnit::QB_AD_UNIT_INTERSTITIAL());
  EXPECT_NE(std::dynamic_pointer_cast<QBTulvoCustomRewardedVideo>(rvAdapter), nullptr);
  EXPECT_NE(std::dynamic_pointer_cast<QBTulvoCustomInterstitial>(isAdapter), nullptr);
  EXPECT_EQ(isAdapter->getNetworkAdapter(), network);

  EXPECT_EQ(TulvoQuillborneSDKInfo::getSdkVersion(), "5.0.2::5.0.2");
}

TEST_F(TulvoNetworkAdapterTest, AlreadyInitialisedSucceedsOnTheMainQueueAfterReturningWithoutReadingIds) {
  sdk.setSDKInitialized(true);
  adapter->init(adData(Json::object()), first);
  EXPECT_TRUE(first->texts().empty());  // not inline
  env.runUntilIdle();
  ASSERT_EQ(first->texts(), std::vector<std::string>{"initSuccess"});
  EXPECT_TRUE(first->events()[0].onMain);
  EXPECT_TRUE(sdk.callLog().empty());

  // An early start without a delegate does nothing at all; a later call from
  // an instance gets its success on the main queue.
  adapter->init(adData(Json::object()), {});
  EXPECT_EQ(env.readyCount(), 0u);
  adapter->init(adData(kSettings), second);
  env.runUntilIdle();
  EXPECT_EQ(second->texts(), std::vector<std::string>{"initSuccess"});
  EXPECT_TRUE(sdk.callLog().empty());
}

TEST_F(TulvoNetworkAdapterTest, MissingIdsFailWith1002OnTheCallerWithoutCallingTheSdk) {
  for (const Json& settings : {Json{{"publisherId", "pub-7"}}, Json{{"token", "tok-9"}}, Json::object()}) {
    auto delegate = std::make_shared<InitDelegate>();
    adapter->init(adData(settings), delegate);
    ASSERT_EQ(delegate->texts(), std::vector<std::string>{"initFailed:1002:Missing publisher id and/or token"})
        << settings.dump();
    EXPECT_EQ(delegate->events()[0].thread, std::this_thread::get_id());
  }
  adapter->init(nullptr, first);  // no argument record counts as missing ids
  EXPECT_EQ(first->texts(), std::vector<std::string>{"initFailed:1002:Missing publisher id and/or token"});
  EXPECT_TRUE(sdk.callLog().empty());
  EXPECT_EQ(adapter->waitingDelegateCountForTesting(), 0u);
}

TEST_F(TulvoNetworkAdapterTest, EmptyIdsAreHandedToTheSdkUnchanged) {
  adapter->init(adData(Json{{"publisherId", ""}, {"token", ""}}), first);
  EXPECT_EQ(sdk.callLog(), (std::vector<std::string>{"setMediation:quillborne", "initialize::"}));
  env.advance(50);
  EXPECT_EQ(first->texts(), std::vector<std::string>{"initSuccess"});
}

TEST_F(TulvoNetworkAdapterTest, EveryAttemptSetsTheMediationFirstAndErrorsPassTheMessageThrough) {
  sdk.scriptInit({.success = false, .errorMessage = std::nullopt});
  sdk.scriptInit({.success = false, .errorMessage = std::string("bad token")});
  adapter->init(adData(kSettings), first);
  env.advance(50);
  adapter->init(adData(kSettings), second);
  env.advance(50);
  adapter->init(adData(kSettings), first);
  env.advance(50);

  EXPECT_EQ(first->texts(), (std::vector<std::string>{"initFailed:1000:<none>", "initSuccess"}));
  EXPECT_EQ(second->texts(), std::vector<std::string>{"initFailed:1000:bad token"});
  EXPECT_EQ(sdk.callLog(), (std::vector<std::string>{"setMediation:quillborne", "initialize:pub-7:tok-9",
                                                      "setMediation:quillborne", "initialize:pub-7:tok-9",
                                                      "setMediation:quillborne", "initialize:pub-7:tok-9"}));
}

// Every waiting instance hears the one outcome once; the SDK is started once
// per attempt.
TEST_F(TulvoNetworkAdapterTest, TwoInstancesWaitingOnOneInitialisationAreBothToldOnce) {
  adapter->init(adData(kSettings), first);
  adapter->init(adData(kSettings), second);
  adapter->init(adData(kSettings), first);  // the same instance asking again is told once
  EXPECT_EQ(sdk.initializeCalls().size(), 1u);
  EXPECT_EQ(sdk.mediationTexts().size(), 1u);
  EXPECT_EQ(adapter->waitingDelegateCountForTesting(), 2u);

  env.advance(50);
  EXPECT_EQ(first->texts(), std::vector<std::string>{"initSuccess"});
  EXPECT_EQ(second->texts(), std::vector<std::string>{"initSuccess"});
  EXPECT_EQ(adapter->waitingDelegateCountForTesting(), 0u);  // the list is emptied
}

TEST_F(TulvoNetworkAdapterTest, EarlyStartWithoutDelegateStartsTheSdkAndLaterCallersStillHear) {
  sdk.scriptInit({.success = false, .errorMessage = std::string("offline")});
  adapter->init(adData(kSettings), {});  // the managers' early start
  EXPECT_EQ(adapter->waitingDelegateCountForTesting(), 0u);
  adapter->init(adData(kSettings), first);  // an instance arrives while it runs
  EXPECT_EQ(sdk.initializeCalls().size(), 1u);
  env.advance(50);
  EXPECT_EQ(first->texts(), std::vector<std::string>{"initFailed:1000:offline"});

  // A gone instance is skipped.
  adapter->init(adData(kSettings), second);
  second.reset();
  env.advance(50);
  EXPECT_EQ(sdk.initializeCalls().size(), 2u);
}

TEST_F(TulvoNetworkAdapterTest, AnSdkAnsweringInlineDoesNotDeadlock) {
  sdk.scriptInit({.thread = TulvoSDK::CallbackThread::Inline});
  adapter->init(adData(kSettings), first);
  EXPECT_EQ(first->texts(), std::vector<std::string>{"initSuccess"});
  adapter->init(adData(kSettings), second);  // now initialised: main queue
  env.runUntilIdle();
  EXPECT_EQ(second->texts(), std::vector<std::string>{"initSuccess"});
}

}  // namespace
