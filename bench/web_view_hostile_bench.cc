// Hostile pages against the host (real mode: the page runs on the
// web-content queue's worker thread, this thread runs the main queue). Each
// kind of page is loaded in a fresh web view with the default limits while a
// 20 ms heartbeat ticks on the main queue; the benchmark reports the longest
// gap between two heartbeats, the process's peak resident memory and the
// processor time of the whole process while the page ran, and how the page
// ended. And the page round trip in real mode, where the two hops cross
// threads.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "platform/dispatch.h"
#include "platform/web/web_view.h"
#include "process_usage.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Page {
  const char* name;
  const char* html;
};

const Page kPages[] = {
    {"a quiet page (the machine's own gaps)", "<p>quiet</p>"},
    {"loops while it loads", "<script>for (;;) {}</script>"},
    {"loops in a timer", "<script>setTimeout(function () { for (;;) {} }, 0)</script>"},
    {"allocates without end", "<script>var keep = []; for (;;) keep.push(new Array(4096).fill(keep.length));</script>"},
    {"allocates a little per timer tick",
     "<script>var kept = []; setInterval(function () { kept.push(new Array(1 << 16).fill(1)); }, 0);</script>"},
    {"posts empty messages without end", "<script>for (;;) webkit.messageHandlers.host.postMessage('');</script>"},
    {"10,000 zero-delay intervals",
     "<script>for (var i = 0; i < 10000; i++) setInterval(function () {}, 0);</script>"},
    // Each message is just under the 1 MiB cap of JSON (0.97 and 0.95 MiB): a
    // tree of 60,000 small objects, or of 200,000 numbers.
    {"posts 0.97 MiB messages of 60,000 objects without end",
     "<script>var list = []; for (var i = 0; i < 60000; i++) list.push({a: 1000 + i % 9000, b: 1});"
     "for (;;) webkit.messageHandlers.host.postMessage({list: list});</script>"},
    {"posts 0.95 MiB messages of 200,000 numbers without end",
     "<script>var list = []; for (var i = 0; i < 200000; i++) list.push(1000 + i % 9000);"
     "for (;;) webkit.messageHandlers.host.postMessage(list);</script>"},
};

// Processor time the calling thread has used, in milliseconds.
double threadCpuMs() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// Kilobytes of a line of /proc/self/status ("VmHWM", "VmRSS").
long statusKiB(const char* key) {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return 0;
  char line[256];
  long value = 0;
  const size_t length = std::strlen(key);
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, key, length) == 0 && line[length] == ':') value = std::atol(line + length + 1);
  }
  std::fclose(f);
  return value;
}

// Starts the peak resident size over from the current one.
void resetPeakResident() {
  if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", f);
    std::fclose(f);
  }
}

struct Ending : platform::NavigationDelegate, platform::ScriptMessageHandler {
  std::string how;
  int64_t messages = 0;
  void didFinishNavigation(platform::WebView&) override {}
  void didFailNavigation(platform::WebView&, const platform::Error& error) override {
    how = "load failed (" + std::to_string(error.code) + ")";
  }
  void webContentProcessDidTerminate(platform::WebView&) override { how = "torn down"; }
  void didReceiveScriptMessage(platform::UserContentController&, const platform::ScriptMessage&) override {
    ++messages;
  }
};

// Watches the page for 5 s of real time, or until the web view stopped it.
void BM_HostilePage(benchmark::State& state) {
  const Page& page = kPages[state.range(0)];
  for (auto _ : state) {
    auto ending = std::make_shared<Ending>();
    platform::WebViewConfiguration configuration;
    configuration.userContentController->addScriptMessageHandler(ending, "host");
    auto view = std::make_shared<platform::WebView>(platform::Rect{}, configuration);
    view->setNavigationDelegate(ending);
    resetPeakResident();
    const long residentBefore = statusKiB("VmRSS");

    double longestGapMs = 0;
    auto last = Clock::now();
    auto heartbeat = platform::Timer::repeating(platform::mainQueue(), 20, [&] {
      const auto now = Clock::now();
      longestGapMs = std::max(longestGapMs, std::chrono::duration<double, std::milli>(now - last).count());
      last = now;
    });
    const auto usageBefore = qbbench::ProcessUsage::now();
    const double mainCpuBefore = threadCpuMs();
    view->loadHTMLString(page.html, "");
    const auto start = Clock::now();
    platform::runMainUntil([&] { return !ending->how.empty(); }, 5000);
    const double ranMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const auto usage = qbbench::ProcessUsage::now() - usageBefore;
    const double mainCpuMs = threadCpuMs() - mainCpuBefore;
    // The last gap, up to now, counts too.
    longestGapMs = std::max(longestGapMs, std::chrono::duration<double, std::milli>(Clock::now() - last).count());
    heartbeat->cancel();
    const long peak = statusKiB("VmHWM");

    view.reset();
    // Let the page's queue and the main queue settle before the next kind.
    bool drained = false;
    platform::afterWebContentForTesting([&drained] { platform::mainQueue()->async([&drained] { drained = true; }); });
    platform::runMainUntil([&] { return drained; }, 10'000);

    state.counters["longest_gap_ms"] = longestGapMs;
    state.counters["peak_rss_MiB"] = static_cast<double>(peak) / 1024.0;
    state.counters["rss_growth_MiB"] = static_cast<double>(peak - residentBefore) / 1024.0;
    state.counters["ran_ms"] = ranMs;
    state.counters["cpu_ms"] = static_cast<double>(usage.cpuNs) / 1e6;
    state.counters["main_cpu_ms"] = mainCpuMs;
    state.SetLabel(std::string(page.name) + ": " + (ending->how.empty() ? "ran on" : ending->how));
    state.counters["messages"] = static_cast<double>(ending->messages);
    state.counters["stopped"] = ending->how.empty() ? 0 : 1;
  }
}
BENCHMARK(BM_HostilePage)->DenseRange(0, static_cast<int>(std::size(kPages)) - 1)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

struct Counter : platform::ScriptMessageHandler {
  std::atomic<int64_t> received{0};
  void didReceiveScriptMessage(platform::UserContentController&, const platform::ScriptMessage&) override { ++received; }
};

// evaluateJavaScript -> the page on the web-content queue's thread -> its
// message back on the main queue, run by this thread: two thread hand-overs.
void BM_WebViewRoundTripRealMode(benchmark::State& state) {
  auto counter = std::make_shared<Counter>();
  platform::WebViewConfiguration configuration;
  configuration.userContentController->addScriptMessageHandler(counter, "bench");
  auto view = std::make_shared<platform::WebView>(platform::Rect{}, configuration);
  bool loaded = false;
  view->loadHTMLString("<script>var ready = true;</script>", "");
  view->evaluateJavaScript("ready", [&loaded](const platform::ScriptEvaluation&) { loaded = true; });
  platform::runMainUntil([&] { return loaded; }, 10'000);
  for (auto _ : state) {
    const int64_t before = counter->received.load();
    view->evaluateJavaScript("window.webkit.messageHandlers.bench.postMessage('ping')", nullptr);
    if (!platform::runMainUntil([&] { return counter->received.load() == before + 1; }, 10'000)) {
      state.SkipWithError("the message did not come back");
      break;
    }
  }
}
BENCHMARK(BM_WebViewRoundTripRealMode)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();

}  // namespace
