// The measurement SDK's script injector on documents of growing size (plain,
// and one unterminated comment over line breaks), and the SDK's state
// publisher with a view state that does not change, beside the JSON writer
// alone on the same state.
#include <benchmark/benchmark.h>

#include <set>
#include <string>

#include "measurement/bridge/OMIDQuilbrnDictionaryUtil.h"
#include "measurement/injector/OMIDQuilbrnScriptInjector.h"
#include "measurement/session/OMIDQuilbrnAdSessionRegistry.h"
#include "measurement/state/OMIDQuilbrnStatePublisher.h"
#include "platform/test_environment.h"

namespace {

// state.range(0) bytes of markup: paragraphs and comments, the head tag at
// the end (the whole text is searched).
std::string plainDocument(size_t bytes) {
  std::string html = "<!DOCTYPE html><html>";
  while (html.size() < bytes) html += "<p class=\"x\">text</p><!-- note -->\n";
  return html + "<head></head>";
}

// An unterminated comment over line breaks, then the head tag.
std::string hostileDocument(size_t bytes) { return "<!--" + std::string(bytes, '\n') + "<head>"; }

template <std::string (*Make)(size_t)>
void BM_ScriptInjector(benchmark::State& state) {
  const std::string html = Make(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    auto out = OMIDQuilbrnScriptInjector::injectScriptContent("omid();", html, nullptr);
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(html.size()));
}
BENCHMARK_TEMPLATE(BM_ScriptInjector, plainDocument)->Arg(4 << 10)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK_TEMPLATE(BM_ScriptInjector, hostileDocument)->Arg(4 << 10)->Arg(64 << 10)->Arg(1 << 20);

// A view state of state.range(0) views, nested three deep.
platform::Json viewState(int views) {
  platform::Json root = {{"x", 0}, {"y", 0}, {"width", 390}, {"height", 844}, {"clipsToBounds", true}};
  platform::Json children = platform::Json::array();
  for (int i = 0; i < views; ++i) {
    children.push_back({{"x", i}, {"y", i * 2.5}, {"width", 100}, {"height", 44.5}, {"clipsToBounds", false},
                        {"childViews", platform::Json::array({{{"x", 1}, {"y", 1}, {"width", 10}, {"height", 10}}})}});
  }
  root["childViews"] = std::move(children);
  return root;
}

// The same state published again and again: serialised on the publisher's
// queue, compared on the main thread, nothing sent.
void BM_StatePublisherUnchangedState(benchmark::State& state) {
  platform::TestEnvironment env;
  auto publisher = OMIDQuilbrnStatePublisher::initWithAdSessionRegistry(
      OMIDQuilbrnAdSessionRegistry::create(), platform::createSerialQueue(OMIDQuilbrnStatePublisher::kQueueLabel));
  const platform::Json tree = viewState(static_cast<int>(state.range(0)));
  const auto container = OMIDQuilbrnWindowContainer::application();
  for (auto _ : state) {
    publisher->publishState(tree, {"S"}, 1, container);
    env.runUntilIdle();
  }
}
BENCHMARK(BM_StatePublisherUnchangedState)->Arg(20)->Arg(200);

// The JSON writer alone on the same state.
void BM_StateJsonText(benchmark::State& state) {
  const platform::Json tree = viewState(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto text = OMIDQuilbrnDictionaryUtil::stringFromJSON(tree);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_StateJsonText)->Arg(20)->Arg(200);

}  // namespace
