// The script engine under churn: several web views and measurement script
// contexts run hostile pages and scripts (endless promise chains, await
// loops, plain loops, timers, fetches, message floods, exceptions whose
// getters spin), with short time limits so their guards stop them again and
// again, while they are terminated, reloaded and released at random moments.
// Pages run on each web view's content queue, the contexts on queues of their
// own: many context groups are stopped at once from several threads.
//
// Not part of the test suite (it runs for minutes): docs/benchmarks.md says
// how it is run and what it showed. It exits 0 when the time is up, and
// prints a line every 10 s with what it did so far.
//
//   qb_engine_churn [--seconds N] [--views N] [--contexts N] [--seed N]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "foundation/QBLoggerManager.h"
#include "measurement/executor/OMIDQuilbrnJSExecutorFactory.h"
#include "platform/dispatch.h"
#include "platform/web/web_view.h"

namespace {

const char* const kPages[] = {
    "<script>function f() { Promise.resolve().then(f); } f();</script>",
    "<script>(async function () { for (;;) await 0; })();</script>",
    "<script>for (;;) {}</script>",
    "<script>setInterval(function () { for (var i = 0; i < 1e6; i++) {} }, 0);</script>",
    "<script>setTimeout(function () { for (;;) {} }, 1);</script>",
    "<script>function f() { fetch('file:///etc/hostname').then(f, f); } f();</script>",
    "<script>for (;;) webkit.messageHandlers.host.postMessage({a: [1, 2, 3]});</script>",
    ("<script>addEventListener('x', function () { dispatchEvent(new Event('x')); dispatchEvent(new Event('x')); });"
     "dispatchEvent(new Event('x'));</script>"),
    ("<script>var e = new Error('x'); Object.defineProperty(e, 'line', {get: function () {"
     " (function f() { Promise.resolve().then(f); })(); return 1; }}); throw e;</script>"),
    "<script>setInterval(function () { Promise.resolve().then(function () { for (;;) {} }); }, 5);</script>",
    "<p>quiet</p>",
};

const char* const kScripts[] = {
    "function f() { Promise.resolve().then(f); } f();",
    "(async function () { for (;;) await 0; })();",
    "for (;;) {}",
    "omidNative.setInterval(function () { for (var i = 0; i < 1e6; i++) {} }, 0);",
    "omidNative.setTimeout(function () { (async function () { for (;;) await 0; })(); }, 0);",
    ("var e = new Error('x'); Object.defineProperty(e, 'line', {get: function () {"
     " (function f() { Promise.resolve().then(f); })(); return 1; }}); throw e;"),
    "var a = []; for (var i = 0; i < 1e5; i++) a.push({i: i});",
};

struct Handler : platform::ScriptMessageHandler {
  void didReceiveScriptMessage(platform::UserContentController&, const platform::ScriptMessage&) override {}
};

struct Counts {
  long loads = 0;
  long terminations = 0;
  long releases = 0;
  long evaluations = 0;
  long contexts = 0;
  long scripts = 0;
};

class Churn {
 public:
  Churn(int views, int contexts, unsigned seed) : random_(seed), views_(views), contexts_(contexts) {
    handler_ = std::make_shared<Handler>();
  }

  // One random step of one web view or one context (main queue).
  void step() {
    const size_t slot = pick(views_.size() + contexts_.size());
    if (slot < views_.size()) stepView(views_[slot]);
    else stepContext(contexts_[slot - views_.size()]);
  }

  void releaseAll() {
    for (auto& view : views_) view.reset();
    for (auto& context : contexts_) context.reset();
  }

  const Counts& counts() const { return counts_; }

 private:
  size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); }

  std::shared_ptr<platform::WebView> makeView() {
    platform::WebViewConfiguration configuration;
    configuration.scriptTimeLimitMs = 20 + static_cast<double>(pick(60));
    configuration.preferences->setValue(platform::Preferences::kAllowFileAccessFromFileURLs, true);
    configuration.userContentController->addScriptMessageHandler(handler_, "host");
    return std::make_shared<platform::WebView>(platform::Rect{}, configuration);
  }

  void stepView(std::shared_ptr<platform::WebView>& view) {
    if (!view) view = makeView();
    switch (pick(6)) {
      case 0:
      case 1:
        view->loadHTMLString(kPages[pick(std::size(kPages))], "");
        ++counts_.loads;
        break;
      case 2:
        view->reload();
        ++counts_.loads;
        break;
      case 3:
        view->terminateWebContentProcess();
        ++counts_.terminations;
        break;
      case 4:
        view->evaluateJavaScript(pick(2) ? "for (;;) {}" : "(function f() { Promise.resolve().then(f); })()",
                                 nullptr);
        ++counts_.evaluations;
        break;
      default:
        view.reset();
        ++counts_.releases;
        break;
    }
  }

  void stepContext(std::shared_ptr<OMIDQuilbrnLightJSExecutor>& context) {
    if (!context || pick(5) == 0) {
      if (context) ++counts_.releases;
      context = OMIDQuilbrnJSExecutorFactory::JSExecutorWithResources({}, std::string(kScripts[pick(std::size(kScripts))]));
      ++counts_.contexts;
      return;
    }
    context->injectJavaScriptFromString(kScripts[pick(std::size(kScripts))]);
    ++counts_.scripts;
  }

  std::mt19937 random_;
  std::shared_ptr<Handler> handler_;
  std::vector<std::shared_ptr<platform::WebView>> views_;
  std::vector<std::shared_ptr<OMIDQuilbrnLightJSExecutor>> contexts_;
  Counts counts_;
};

int intOption(int argc, char** argv, const char* name, int fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return std::atoi(argv[i + 1]);
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = intOption(argc, argv, "--seconds", 60);
  const int views = intOption(argc, argv, "--views", 6);
  const int contexts = intOption(argc, argv, "--contexts", 4);
  const unsigned seed = static_cast<unsigned>(intOption(argc, argv, "--seed", 1));
  // The pages' and scripts' own lines would drown the progress lines.
  QBLoggerManager::sharedInstance().setConsoleWriterForTesting([](const std::string&) {});
  platform::setWebLogSink([](platform::WebLogLevel, const std::string&) {});

  Churn churn(views, contexts, seed);
  std::mt19937 random(seed);
  bool over = false;
  auto end = platform::Timer::once(platform::mainQueue(), seconds * 1000.0, [&over] { over = true; });
  std::shared_ptr<platform::Timer> steps;
  steps = platform::Timer::repeating(platform::mainQueue(), 5, [&] {
    const int count = std::uniform_int_distribution<int>(0, 3)(random);
    for (int i = 0; i < count; ++i) churn.step();
  });
  int reported = 0;
  auto progress = platform::Timer::repeating(platform::mainQueue(), 10'000, [&] {
    const Counts& c = churn.counts();
    std::printf("%3d s: %ld loads, %ld terminations, %ld evaluations, %ld releases, %ld contexts, %ld scripts\n",
                reported += 10, c.loads, c.terminations, c.evaluations, c.releases, c.contexts, c.scripts);
    std::fflush(stdout);
  });
  platform::runMainUntil([&] { return over; }, (seconds + 60) * 1000);
  steps->cancel();
  progress->cancel();
  churn.releaseAll();
  bool drained = false;
  platform::afterWebContentForTesting([&drained] { platform::mainQueue()->async([&drained] { drained = true; }); });
  platform::runMainUntil([&] { return drained; }, 30'000);
  std::printf("done: %d s without an abort\n", seconds);
  std::fflush(stdout);
  return drained ? 0 : 1;
}
