// Real mode: the measurement SDK's synchronous hops to the main thread (a
// main ad view set from a worker, the state publisher's hop from its serial
// queue) finish while the main thread pumps, because the main thread never
// waits for the threads that make them. Runs under the thread sanitizer too.
#include <atomic>
#include <thread>

#include "measurement/state/OMIDQuilbrnStatePublisher.h"
#include "platform/json.h"
#include "platform/ui/view.h"
#include "session_support.h"

namespace measurementtest {
namespace {

TEST(MeasurementRealMode, HopsToTheMainThreadFinishWhileItPumps) {
  platform::runMainUntil([] { return true; }, 0);  // this thread is the main thread
  // Only the hops under test publish states (no walks of the view tree).
  OMIDQuilbrnTreeWalkerP::setFactoryForTesting([](auto, auto) { return std::make_shared<RecordingTreeWalker>(); });
  auto sdk = OMIDQuilbrnSDK::sharedInstance();
  sdk->resetForTesting();
  sdk->activate();
  OMIDQuilbrnLoadTask::setTransportForTesting(offlineTransport());
  const auto makeSession = [] {
    auto resource = OMIDQuilbrnVerificationScriptResource::initWithURL("https://verify.example/v.js", "v", "p");
    auto context = OMIDQuilbrnAdSessionContext::initWithPartner(OMIDQuilbrnPartner::initWithName("Quilbrn", "7"),
                                                                qbtest::measurementServiceScript(), {resource},
                                                                std::nullopt, std::nullopt, nullptr);
    return OMIDQuilbrnAdSession::initWithConfiguration(nullptr, context, nullptr);
  };
  auto first = makeSession();
  auto second = makeSession();
  first->start();
  second->start();
  auto adView = std::make_shared<platform::View>();
  auto otherView = std::make_shared<platform::View>();

  // A worker moves the ad view between the sessions, each call waiting for
  // the main thread.
  constexpr int kMoves = 200;
  std::atomic<int> moves{0};
  std::thread mover([&] {
    for (int i = 0; i < kMoves; ++i) {
      (i % 2 == 0 ? first : second)->setMainAdView(adView);
      (i % 2 == 0 ? second : first)->setMainAdView(otherView);
      ++moves;
    }
    platform::mainQueue()->async([] {});  // wakes the loop to look again
  });
  // Meanwhile the main thread publishes states, each serialised on the
  // publisher's queue and hopping back to the main thread.
  auto publisher = OMIDQuilbrnStatePublisher::initWithAdSessionRegistry(
      sdk->adSessionRegistry(), platform::createSerialQueue(OMIDQuilbrnStatePublisher::kQueueLabel));
  constexpr int kStates = 200;
  const double later = first->statePublisher()->timestamp() + 3600;
  for (int i = 0; i < kStates; ++i) {
    publisher->publishState(platform::Json{{"n", i}}, {first->identifier()}, later,
                            OMIDQuilbrnWindowContainer::application());
  }
  const auto hierarchies = [&] {
    auto executor = std::dynamic_pointer_cast<OMIDQuilbrnLightJSExecutor>(first->bridge()->jsExecutor());
    platform::Json record;
    executor->dispatchQueue()->sync(
        [&] { record = scriptJson(*executor->jsEnvironment().scriptContext, "omidService.record()"); });
    return argumentsOf(record, "setNativeViewHierarchy", true);
  };
  // Both finish with a block of the main queue (the mover's wake-up, the last
  // state's hop), after which the loop looks again; the commands were queued
  // on the executor's serial queue before, so reading it sees them all.
  const auto lastState = platform::dumpJson(platform::Json{{"n", kStates - 1}});
  ASSERT_TRUE(platform::runMainUntil(
      [&] {
        return moves.load() == kMoves &&
               publisher->publishedStateForContainer(OMIDQuilbrnWindowContainer::application()) == lastState;
      },
      20'000));
  mover.join();
  platform::Json expected = platform::Json::array();
  for (int i = 0; i < kStates; ++i) expected.push_back(platform::Json{{"n", i}});
  EXPECT_EQ(hierarchies(), expected);
  // The last move gave the ad view to the second session, the other to the
  // first.
  EXPECT_EQ(second->mainAdView(), adView);
  EXPECT_EQ(first->mainAdView(), otherView);

  first->finish();
  second->finish();
  OMIDQuilbrnLoadTask::setTransportForTesting(nullptr);
  sdk->resetForTesting();
  OMIDQuilbrnTreeWalkerP::setFactoryForTesting(nullptr);
}

}  // namespace
}  // namespace measurementtest
