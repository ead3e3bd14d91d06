// The scan that bounds every markup parse (src/platform/web/markup_scan.h)
// and the worst parse it lets through. For each kind of markup the parser
// (gumbo) is slow on, and for plain and ad-like markup, the largest size the
// scan accepts is found by bisection; then the scan, the whole parse
// (gumbo, the element tree and its JSON, the script list) and a load of that
// markup in a web view (the page's document built from the tree, its load
// events) are timed, in processor time of the thread that runs them (the load:
// real time, on a fresh web view). The worst of `parse_ms` is what one parse
// may hold a content queue for.
#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <memory>
#include <string>

#include "platform/dispatch.h"
#include "platform/web/html.h"
#include "platform/web/markup_scan.h"
#include "platform/web/parse_watch.h"
#include "platform/web/web_view.h"
#include "support/sandbox_controller.h"
#include "support/sandbox_test_suite.h"

namespace {

using platform::web_internal::markupRefusal;
using platform::web_internal::MarkupRefusal;
using platform::web_internal::parseHtml;
using platform::web_internal::scanMarkup;
using platform::web_internal::setMarkupBoundsForTesting;
using platform::web_internal::setParseWatchForTesting;

double threadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

std::string repeat(const std::string& s, size_t n) {
  std::string out;
  out.reserve(s.size() * n);
  for (size_t i = 0; i < n; ++i) out += s;
  return out;
}

std::string attributes(size_t n, const std::string& prefix = "a") {
  std::string out;
  for (size_t i = 0; i < n; ++i) out += " " + prefix + std::to_string(i);
  return out;
}

struct Kind {
  const char* name;
  std::string (*make)(size_t n);
};

const Kind kKinds[] = {
    {"one element, n attributes", [](size_t n) { return "<div" + attributes(n) + ">"; }},
    {"one element, n attributes of 100-byte names",
     [](size_t n) { return "<div" + attributes(n, std::string(100, 'x')) + ">"; }},
    {"n body tags of 10 attributes",
     [](size_t n) {
       std::string out;
       for (size_t i = 0; i < n; ++i) out += "<body" + attributes(10, "b" + std::to_string(i) + "_") + ">";
       return out;
     }},
    {"n nested div", [](size_t n) { return repeat("<div>", n); }},
    {"n blocks 4,000 div deep", [](size_t n) { return repeat(repeat("<div>", 4000) + repeat("</div>", 4000), n); }},
    {"n stray end tags under 4,000 open elements",
     [](size_t n) { return repeat("<span>", 4000) + repeat("</x>", n); }},
    {"n p elements under 4,000 open elements", [](size_t n) { return repeat("<span>", 4000) + repeat("<p></p>", n); }},
    {"n bytes of text under a formatting element 4,000 deep",
     [](size_t n) { return repeat("<span>", 4000) + "<b>" + std::string(n, 'x'); }},
    {"1,000 formatting elements made again at each of n texts",
     [](size_t n) {
       std::string out = "<div>";
       for (size_t i = 0; i < 1000; ++i) out += "<b id=" + std::to_string(i) + ">";
       return out + "</div>" + repeat("<div>x</div>", n);
     }},
    {"n formatting elements of 100 alike attributes",
     [](size_t n) {
       const std::string alike = attributes(100);
       std::string out;
       for (size_t i = 0; i < n; ++i) out += "<b" + alike + " z=" + std::to_string(i) + ">";
       return out;
     }},
    {"n distinct open formatting elements",
     [](size_t n) {
       std::string out;
       for (size_t i = 0; i < n; ++i) out += "<b id=" + std::to_string(i) + ">";
       return out;
     }},
    {"n misnested formatting elements", [](size_t n) { return repeat("<b><div></b>", n); }},
    {"n bytes of text foster-parented out of a table", [](size_t n) { return "<table>" + std::string(n, 'x'); }},
    {"n empty elements", [](size_t n) { return repeat("<i></i>", n); }},
    {"n comments", [](size_t n) { return repeat("<!--x-->", n); }},
    {"n bytes of text", [](size_t n) { return std::string(n, 'x'); }},
    {"n bytes of script", [](size_t n) { return "<script>" + std::string(n, 'x') + "</script>"; }},
    {"n unknown character references", [](size_t n) { return repeat("&notanentityxxxxxxxxxxxxx", n); }},
    {"n paragraphs of text", [](size_t n) { return repeat("<p>hello world ", n); }},
    {"n ad-like blocks",
     [](size_t n) {
       return repeat(
           "<div class=\"ad-slot\" id=\"x\" data-a=\"1\" style=\"width:300px\"><a href=\"https://example.com/click?x=1\" "
           "target=\"_blank\"><img src=\"a.png\" width=300 height=250></a><span>Sponsored text here</span></div>\n",
           n);
     }},
};

bool accepted(const Kind& kind, size_t n) { return markupRefusal(scanMarkup(kind.make(n))) == MarkupRefusal::None; }

// Loads `html` in a fresh web view; real milliseconds to its end (finished or
// failed).
double loadMs(const std::string& html) {
  struct Ends : platform::NavigationDelegate {
    bool ended = false;
    void didFinishNavigation(platform::WebView&) override { ended = true; }
    void didFailNavigation(platform::WebView&, const platform::Error&) override { ended = true; }
  };
  auto ends = std::make_shared<Ends>();
  auto view = std::make_shared<platform::WebView>(platform::Rect{}, platform::WebViewConfiguration{});
  view->setNavigationDelegate(ends);
  const auto start = std::chrono::steady_clock::now();
  view->loadHTMLString(html, "");
  platform::runMainUntil([&] { return ends->ended; }, 60'000);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  view.reset();
  bool drained = false;
  platform::afterWebContentForTesting([&drained] { platform::mainQueue()->async([&drained] { drained = true; }); });
  platform::runMainUntil([&] { return drained; }, 60'000);
  return ms;
}

void BM_MarkupScanAndWorstParse(benchmark::State& state) {
  const Kind& kind = kKinds[state.range(0)];
  // The largest n accepted, to within 2%.
  size_t low = 1;
  size_t high = 2;
  while (accepted(kind, high) && high < (size_t{1} << 26)) {
    low = high;
    high *= 2;
  }
  while (high - low > 1 && (high - low) * 50 > low) {
    const size_t mid = low + (high - low) / 2;
    (accepted(kind, mid) ? low : high) = mid;
  }
  const std::string html = kind.make(low);
  for (auto _ : state) {
    double start = threadCpuMs();
    const auto scan = scanMarkup(html);
    const double scanMs = threadCpuMs() - start;
    start = threadCpuMs();
    const auto parsed = parseHtml(html);
    const double parseMs = threadCpuMs() - start;
    state.counters["n"] = static_cast<double>(low);
    state.counters["bytes"] = static_cast<double>(html.size());
    state.counters["estimate_ms"] = scan.workMs;
    state.counters["depth"] = scan.depth;
    state.counters["scan_ms"] = scanMs;
    state.counters["parse_ms"] = parseMs;
    state.counters["parsed"] = parsed.document ? 1 : 0;
    state.counters["load_ms"] = loadMs(html);
    std::string why;
    markupRefusal(scanMarkup(kind.make(high)), &why);
    state.SetLabel(std::string(kind.name) + "; past it: " + why);
  }
}
BENCHMARK(BM_MarkupScanAndWorstParse)
    ->DenseRange(0, static_cast<int>(std::size(kKinds)) - 1)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Markup whose parse walks a deep tree of open elements at every character
// of a long text without allocating: where a bound kept only in the parse's
// allocator never looked. With the scan (which may read them right and
// refuse them) and without (the parse's own bound ends them), processor time
// to the end of `parseHtml`.
struct Walk {
  const char* name;
  std::string (*make)();
};

const Walk kWalks[] = {
    {"textarea text in a template read as a comment, 200,000 elements, 1.8 MB of text",
     [] { return "<template><textarea><!--</textarea>" + repeat("<x>", 200'000) + "<b>" + std::string(1'800'000, 'a'); }},
    {"the same in foreign content, 5,000 elements",
     [] {
       return "<svg><foreignObject><textarea><!--</textarea>" + repeat("<x>", 5'000) + "<b>" +
              std::string(1'800'000, 'a');
     }},
    {"a CDATA section in HTML content, 2,400 units 16,800 deep, 1.85 MB of text",
     [] {
       return repeat("<li><p><![CDATA[z]]><details><mi><div><ol><mo><rb>]]>", 2'400) + "<b>" +
              std::string(1'850'000, 'a');
     }},
    // Not a walk: gumbo compares each element with the (at most three)
    // earlier ones alike by looking up each of its attributes among theirs,
    // in the C library's strcasecmp, which takes three quarters of the parse
    // or more from the third element on.
    {"six formatting elements of 700 attributes of 4,000 characters alike but for the end, 16.8 MB",
     [] {
       std::vector<std::string> names;
       for (int i = 0; i < 700; ++i) names.push_back(std::string(3'994, 'a') + std::to_string(100'000 + i));
       std::string html;
       for (int element = 0; element < 6; ++element) {
         html += "<b";
         if (element % 2 == 0)
           for (const auto& name : names) html += " " + name;
         else
           for (auto name = names.rbegin(); name != names.rend(); ++name) html += " " + *name;
         html += ">";
       }
       return html + "x";
     }},
};

void BM_ParseWalkingADeepTree(benchmark::State& state) {
  const Walk& walk = kWalks[state.range(0)];
  const bool scan = state.range(1) != 0;
  const std::string html = walk.make();
  setMarkupBoundsForTesting(scan);
  for (auto _ : state) {
    const double start = threadCpuMs();
    const auto parsed = parseHtml(html);
    state.counters["ms"] = threadCpuMs() - start;
    state.counters["parse_ms"] = parsed.processorMs;
    state.counters["parsed"] = parsed.document ? 1 : 0;
    state.SetLabel(std::string(walk.name) + (scan ? "; scan: " : "; no scan: ") +
                   (parsed.document ? "parsed" : parsed.reason));
  }
  setMarkupBoundsForTesting(true);
}
BENCHMARK(BM_ParseWalkingADeepTree)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// What the parse's ticks (a timer of the thread's processor time armed and
// deleted for every parse, a signal every 10 ms of it) cost a normal parse:
// the project's pages and the largest ordinary documents the scan accepts,
// with the ticks and without.
struct Document {
  const char* name;
  std::string (*make)();
};

const Document kDocuments[] = {
    {"the controller page", [] { return qbtest::controllerPageHtml(); }},
    {"the test console's page", [] { return qbtest::testSuitePageHtml(); }},
    {"a small ad page", [] { return std::string("<html><body><div id=ad><a href=x><img src=a.png></a></div></body></html>"); }},
    {"1.8 MB of ad-like blocks",
     [] {
       return repeat(
           "<div class=\"ad-slot\" id=\"x\" data-a=\"1\" style=\"width:300px\"><a href=\"https://example.com/click?x=1\" "
           "target=\"_blank\"><img src=\"a.png\" width=300 height=250></a><span>Sponsored text here</span></div>\n",
           9'000);
     }},
    {"2.4 MB of text", [] { return std::string(2'400'000, 'x'); }},
};

void BM_ParseTicksCost(benchmark::State& state) {
  const Document& document = kDocuments[state.range(0)];
  const bool ticks = state.range(1) != 0;
  const std::string html = document.make();
  setParseWatchForTesting({.ticks = ticks});
  double cpuMs = 0;
  for (auto _ : state) {
    const double start = threadCpuMs();
    benchmark::DoNotOptimize(parseHtml(html));
    cpuMs += threadCpuMs() - start;
  }
  setParseWatchForTesting({});
  state.counters["cpu_ms"] = cpuMs / static_cast<double>(state.iterations());
  state.counters["bytes"] = static_cast<double>(html.size());
  state.SetLabel(std::string(document.name) + (ticks ? ", ticks" : ", no ticks"));
}
// The ticks' fixed cost alone: a timer of the thread's processor time armed
// and deleted (with the looks at the signal's handler and the thread's mask).
void BM_ParseTickerArmAndDelete(benchmark::State& state) {
  parseHtml("<p>");  // the signal is chosen at the first parse
  for (auto _ : state) {
    const platform::web_internal::ParseTicker ticker(platform::web_internal::kParseTickMs);
    benchmark::DoNotOptimize(ticker.armed());
  }
}
BENCHMARK(BM_ParseTickerArmAndDelete);

BENCHMARK(BM_ParseTicksCost)->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1}})->Unit(benchmark::kMicrosecond);

}  // namespace
