// The measurement SDK's tree walker: one walk of a window holding the ad view
// and state.range(0) views drawn above it (all walked), on the main queue;
// and one whole tick (the walk, then the unchanged state serialised and
// compared, nothing sent). A tick comes every 200 ms.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "measurement/sdk/OMIDQuilbrnPartner.h"
#include "measurement/sdk/OMIDQuilbrnSDK.h"
#include "measurement/session/OMIDQuilbrnAdSession.h"
#include "measurement/state/OMIDQuilbrnStatePublisher.h"
#include "measurement/walker/OMIDQuilbrnTreeWalker.h"
#include "platform/test_environment.h"
#include "platform/ui/application.h"
#include "platform/ui/view.h"
#include "platform/web/web_view.h"

namespace {

struct Scene {
  platform::TestEnvironment env;
  std::shared_ptr<platform::Window> window = std::make_shared<platform::Window>(platform::Rect::make(0, 0, 390, 844));
  std::shared_ptr<OMIDQuilbrnAdSession> session;
  std::shared_ptr<OMIDQuilbrnTreeWalker> walker;

  explicit Scene(int views) {
    platform::Application::shared().addWindow(window);
    auto sdk = OMIDQuilbrnSDK::sharedInstance();
    sdk->resetForTesting();
    sdk->activate();
    auto adWebView = std::make_shared<platform::WebView>(platform::Rect::make(0, 0, 390, 600));
    window->addSubview(adWebView);
    // Views above the ad: groups of ten, each group's views with one child.
    std::shared_ptr<platform::View> group;
    for (int i = 0; i < views; ++i) {
      if (i % 10 == 0) {
        group = std::make_shared<platform::View>(platform::Rect::make(0, i, 390, 40));
        window->addSubview(group);
        continue;
      }
      auto view = std::make_shared<platform::View>(platform::Rect::make(i % 10 * 30, 0, 30, 30));
      group->addSubview(view);
    }
    auto context = OMIDQuilbrnAdSessionContext::initWithPartner(OMIDQuilbrnPartner::initWithName("Quilbrn", "7"),
                                                                adWebView, std::nullopt, std::nullopt, nullptr);
    auto configuration = OMIDQuilbrnAdSessionConfiguration::initWithCreativeType(
        OMIDQuilbrnCreativeTypeHtmlDisplay, OMIDQuilbrnImpressionTypeBeginToRender, OMIDQuilbrnNativeOwner,
        OMIDQuilbrnNoneOwner, false, nullptr);
    session = OMIDQuilbrnAdSession::initWithConfiguration(configuration, context, nullptr);
    session->setMainAdView(adWebView);
    session->start();
    env.runUntilIdle();
    walker = OMIDQuilbrnTreeWalker::initWithAdSessionRegistry(
        sdk->adSessionRegistry(),
        OMIDQuilbrnStatePublisher::initWithAdSessionRegistry(
            sdk->adSessionRegistry(), platform::createSerialQueue(OMIDQuilbrnStatePublisher::kQueueLabel)));
  }
  ~Scene() {
    session->finish();
    env.runUntilIdle();
    OMIDQuilbrnSDK::sharedInstance()->resetForTesting();
    platform::resetUIForTesting();
  }
};

// The walk alone: what the main queue spends per tick.
void BM_TreeWalkerWalk(benchmark::State& state) {
  Scene scene(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    scene.walker->updateTreeState();
    state.PauseTiming();
    scene.env.runUntilIdle();
    state.ResumeTiming();
  }
  state.counters["views"] = scene.walker->count();
}
BENCHMARK(BM_TreeWalkerWalk)->Arg(50)->Arg(500)->Unit(benchmark::kMicrosecond);

// The whole tick with an unchanged state: walk, JSON text, comparison.
void BM_TreeWalkerTickUnchanged(benchmark::State& state) {
  Scene scene(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    scene.walker->updateTreeState();
    scene.env.runUntilIdle();
  }
}
BENCHMARK(BM_TreeWalkerTickUnchanged)->Arg(50)->Arg(500)->Unit(benchmark::kMicrosecond);

}  // namespace
