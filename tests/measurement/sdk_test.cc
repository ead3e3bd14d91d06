// The measurement SDK's entry, partner, errors, device facts and the method
// invoker (in real mode, across threads, with the main queue pumped).
#include <atomic>
#include <thread>

#include "measurement/sdk/OMIDQuilbrnError.h"
#include "measurement/sdk/OMIDQuilbrnMethodInvoker.h"
#include "measurement/sdk/OMIDQuilbrnPartner.h"
#include "measurement_support.h"
#include "platform/device.h"
#include "platform/storage.h"

namespace measurementtest {
namespace {

using platform::Json;

TEST(OMIDQuilbrnSDKEntry, VersionAndActivation) {
  EXPECT_EQ(OMIDQuilbrnSDK::versionString(), "1.4.2-Quilbrn");
  EXPECT_EQ(&OMIDQuilbrnSDK::versionString(), &OMIDQuilbrnSDK::versionString());
  auto sdk = OMIDQuilbrnSDK::sharedInstance();
  EXPECT_EQ(sdk, OMIDQuilbrnSDK::sharedInstance());
  sdk->resetForTesting();
  EXPECT_FALSE(sdk->isActive());
  EXPECT_TRUE(sdk->activate());
  EXPECT_TRUE(sdk->activate());
  EXPECT_TRUE(sdk->isActive());
  const Json savedInfo = platform::appInfo();
  platform::setAppInfo(Json{{"CFBundleIdentifier", "com.example.measured"}});
  EXPECT_EQ(sdk->appInfo(), (Json{{"appId", "com.example.measured"}, {"libraryVersion", "1.4.2-Quilbrn"}}));
  platform::setAppInfo(savedInfo);
  sdk->resetForTesting();
}

TEST(OMIDQuilbrnSDKEntry, PartnerNeedsBothTexts) {
  struct Case {
    std::optional<std::string> name, version;
    bool made;
  };
  const Case cases[] = {{"Quilbrn", "7", true}, {"", "7", false}, {"Quilbrn", "", false},
                        {std::nullopt, "7", false}, {"Quilbrn", std::nullopt, false}};
  for (const auto& c : cases) {
    auto partner = OMIDQuilbrnPartner::initWithName(c.name, c.version);
    EXPECT_EQ(partner != nullptr, c.made) << c.name.value_or("(none)") << "/" << c.version.value_or("(none)");
  }
  EXPECT_EQ(OMIDQuilbrnPartner::initWithName("Quilbrn", "7")->toJSON(),
            (Json{{"partnerName", "Quilbrn"}, {"partnerVersion", "7"}}));
}

TEST(OMIDQuilbrnSDKEntry, ErrorsCarryTheDomainCodeAndTableMessage) {
  namespace C = OMIDQuilbrnErrorCode;
  const std::pair<int, const char*> table[] = {
      {C::NotActivated, "OM SDK has not been activated."},
      {C::EmptyScript, "Script can not be empty."},
      {C::ImpressionOwnerNone, "Impression owner can not be none."},
      {C::ImpressionOwnerNotNative, "Impression owner should be NATIVE."},
      {C::MediaEventsOwnerNotNative, "Media events owner should be NATIVE."},
      {C::EventFilterRefused, "Event filter does not accept."},
      {C::NoContext, "Context can not be nil."},
      {C::NoAdSession, "Ad session can not be nil."},
      {C::NoWebView, "Web view can not be nil."},
      {C::NoPartner, "Partner can not be nil."},
      {C::NoResources, "Resources can not be empty."},
      {C::NoFriendlyObstruction, "Friendly obstruction can not be nil."},
      {C::BadDetailedReason, "Friendly obstruction has improperly formatted detailed reason."},
      {C::BadCreativeType, "CreativeType is invalid."},
      {C::BadImpressionType, "ImpressionType is invalid"},
      {C::DefinedByJavaScriptNeedsJavaScriptOwner,
       "CreativeType/ImpressionType that is DefinedByJavascript must have a JavaScript impressionOwner."},
      {C::NotOnMainThread, "OM SDK methods must be called on main thread"},
  };
  for (const auto& [code, message] : table) {
    platform::Error error;
    OMIDQuilbrnError::setOMIDErrorFor(&error, code);
    EXPECT_EQ(error, (platform::Error{"com.omid.library", code, message}));
  }
  EXPECT_EQ(OMIDQuilbrnError::identifierTooLongMessage(257),
            "The supplied customReferenceIdentifier is 257 characters which exceeds the 256 limit.");
  OMIDQuilbrnError::setOMIDErrorFor(nullptr, C::NoPartner);  // no error wanted: nothing happens
}

TEST(OMIDQuilbrnSDKEntry, DeviceFactsAndCategory) {
  platform::TestEnvironment env;
  struct Case {
    std::string os, version;
    bool catalyst;
    std::string category;
  };
  const Case cases[] = {{"iOS", "17.0", false, "mobile"},   {"iPadOS", "17.0", false, "mobile"},
                        {"iPhoneOS", "12.4", true, "mobile"}, {"iOS", "13.0", true, "desktop"},
                        {"tvOS", "17.0", false, "ctv"},      {"macOS", "14.0", false, "desktop"},
                        {"watchOS", "10.0", false, "other"}, {"Linux", "6.1", false, "other"}};
  for (const auto& c : cases) {
    platform::DeviceFacts facts;
    facts.osName = c.os;
    facts.osVersion = c.version;
    facts.isMacCatalystApp = c.catalyst;
    platform::setDeviceFactsForTesting(facts);
    EXPECT_EQ(OMIDQuilbrnDeviceCategory::deviceCategory(), c.category) << c.os << " " << c.version;
  }
  platform::DeviceFacts facts;
  facts.hardwareModel = "x86_64";
  facts.osVersion = "17.2";
  platform::setDeviceFactsForTesting(facts);
  OMIDQuilbrnDevice::resetForTesting();
  const Json first = OMIDQuilbrnDevice::deviceDictionary();
  EXPECT_EQ(first, (Json{{"deviceType", "x86_64"}, {"os", "iOS"}, {"osVersion", "17.2"}}));
  facts.hardwareModel = "";
  facts.osName = "";
  platform::setDeviceFactsForTesting(facts);
  EXPECT_EQ(OMIDQuilbrnDevice::deviceDictionary(), first);  // built once
  EXPECT_EQ(OMIDQuilbrnDevice::deviceType(), "n/a");
  EXPECT_EQ(OMIDQuilbrnDevice::deviceOs(), "n/a");
  OMIDQuilbrnDevice::resetForTesting();
  platform::resetDeviceFactsForTesting();
  EXPECT_EQ(OMIDQuilbrnClock().date(), env.manualClock().wallMs());
}

// ---- the method invoker in real mode ----

struct Target {
  std::atomic<int> calls{0};
  std::atomic<bool> ranOnMain{false};
  std::string argument;
};

// Pumps the main queue until `done`, with a wake-up block so the loop looks
// again once the last worker finished.
bool pumpMainUntil(const std::function<bool()>& done) {
  return platform::runMainUntil(done, 10'000);
}

TEST(OMIDQuilbrnMethodInvokerRealMode, OffMainAsyncPostsWithAWeakTargetAndSyncWaitsForMain) {
  platform::runMainUntil([] { return true; }, 0);  // this thread is the main thread
  ASSERT_TRUE(platform::isMainThread());

  // On the main thread everything runs before the call returns.
  auto target = std::make_shared<Target>();
  OMIDQuilbrnMethodInvoker::performSelectorAsync([](Target& t) { ++t.calls; }, target);
  OMIDQuilbrnMethodInvoker::performSelectorSync([](Target& t, const std::string& a) { t.argument = a; }, target,
                                                std::string("now"));
  bool inline_ = false;
  OMIDQuilbrnMethodInvoker::performOnMain([&] { inline_ = true; });
  OMIDQuilbrnMethodInvoker::performOnQueue(platform::mainQueue(), [&] { inline_ = inline_ && true; });
  EXPECT_EQ(target->calls, 1);
  EXPECT_EQ(target->argument, "now");
  EXPECT_TRUE(inline_);

  // From a worker: the async call returns at once; the work runs on main.
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    OMIDQuilbrnMethodInvoker::performSelectorAsync(
        [](Target& t, const std::string& a) {
          t.ranOnMain = platform::isMainThread();
          t.argument = a;
          ++t.calls;
        },
        target, std::string("later"));
    returned = true;
  });
  worker.join();
  EXPECT_TRUE(returned);
  EXPECT_EQ(target->calls, 1);
  ASSERT_TRUE(pumpMainUntil([&] { return target->calls == 2; }));
  EXPECT_TRUE(target->ranOnMain);
  EXPECT_EQ(target->argument, "later");

  // Released before the main queue runs the work: nothing happens.
  auto doomed = std::make_shared<Target>();
  std::weak_ptr<Target> watch = doomed;
  std::thread poster([&] { OMIDQuilbrnMethodInvoker::performSelectorAsync([](Target& t) { ++t.calls; }, doomed); });
  poster.join();
  doomed.reset();
  EXPECT_TRUE(watch.expired());
  std::atomic<bool> sentinel{false};
  platform::mainQueue()->async([&] { sentinel = true; });
  ASSERT_TRUE(pumpMainUntil([&] { return sentinel.load(); }));

  // Sync from a worker waits for the main thread, which keeps pumping.
  std::atomic<bool> syncDone{false};
  std::atomic<bool> syncOnMain{false};
  std::atomic<bool> onMainDone{false};
  std::thread waiter([&] {
    OMIDQuilbrnMethodInvoker::performSelectorSync(
        [&](Target& t, const std::string& a) {
          syncOnMain = platform::isMainThread();
          t.argument = a;
        },
        target, std::string("synced"));
    syncDone = target->argument == "synced";
    OMIDQuilbrnMethodInvoker::performOnMain([&] { onMainDone = platform::isMainThread(); });
    platform::mainQueue()->async([] {});  // wakes the loop to look again
  });
  ASSERT_TRUE(pumpMainUntil([&] { return syncDone.load() && onMainDone.load(); }));
  waiter.join();
  EXPECT_TRUE(syncOnMain);

  // Queues: none does nothing; another queue is never run inline; the delay
  // form waits.
  OMIDQuilbrnMethodInvoker::performOnQueue(nullptr, [] { ADD_FAILURE() << "ran on no queue"; });
  OMIDQuilbrnMethodInvoker::performOnQueue(nullptr, 0.01, [] { ADD_FAILURE() << "ran on no queue"; });
  auto serial = platform::createSerialQueue("com.quillborne.test.invoker");
  std::atomic<int> onSerial{0};
  OMIDQuilbrnMethodInvoker::performOnQueue(serial, [&] { onSerial += serial->isCurrent() ? 1 : 100; });
  OMIDQuilbrnMethodInvoker::performOnQueue(serial, 0.02, [&] {
    onSerial += 10;
    platform::mainQueue()->async([] {});
  });
  ASSERT_TRUE(pumpMainUntil([&] { return onSerial.load() == 11; }));
}

}  // namespace
}  // namespace measurementtest
