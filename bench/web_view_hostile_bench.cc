// Hostile pages against the host (real mode: each web view's pages run on a
// content queue of its own, on a worker thread; this thread runs the main
// queue). Each kind of page is loaded in a fresh web view with the default
// limits while a 20 ms heartbeat ticks on the main queue, and while it runs
// another web view loads a trivial page again and again; the page is watched
// for 10 s of real time (30 s for the kinds that say so) or until it is
// stopped. The benchmark reports the
// longest gap between two heartbeats, the process's peak resident memory, the
// processor time of the whole process, of the main thread and of the worker
// threads (the busiest one: the page's, while it holds one), how long the
// other view's loads took, and how the page ended. Some kinds are measurement
// script contexts (timers, request chains) instead of pages.
// BM_OtherViewLoadAlone gives the other view's loads with nothing else
// running. And the page round trip in real mode, where the two hops cross
// threads.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "foundation/QBLoggerManager.h"
#include "measurement/executor/OMIDQuilbrnJSExecutorFactory.h"
#include "measurement/executor/OMIDQuilbrnLoadTask.h"
#include "platform/dispatch.h"
#include "platform/web/url.h"
#include "platform/web/web_view.h"
#include "process_usage.h"
#include "support/sandbox_server.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Where the hostile source runs.
enum class Host {
  Page,         // a page loaded with loadHTMLString
  FilePage,     // a page file in a temporary folder, beside a file it may read
  Measurement,  // a measurement script context (a native session's)
  Answered,     // a page whose every message the host answers with an evaluation of PMA.onAnswer()
  Loopback,     // a page of a loopback server whose external script ("source") is served beside it
  MeasurementLoopback,  // a measurement script context whose "URL" is a loopback server's large text
};

// The large text beside a file page (beside.txt) and behind a loopback URL.
constexpr size_t kLargeTextBytes = size_t{16} << 20;

// How long a kind is watched unless it says otherwise.
constexpr int64_t kWatchMs = 10'000;

struct Page {
  const char* name;
  const char* source;
  Host host = Host::Page;
  bool largeBeside = false;  // FilePage: beside.txt is kLargeTextBytes of text
  int64_t watchMs = kWatchMs;
  // Host::Page: the document, made when the page is loaded, instead of the
  // source.
  std::string (*document)() = nullptr;
};

// Markup the HTML parser is slow on, written by a page with document.write
// again and again (a refusal it could catch would be written again), or
// loaded as the document itself. Each is one parse the engine cannot
// interrupt; the figures before the scan (docs/benchmarks.md) are per parse.
#define QB_WRITE_AGAIN(markup) "<script>var m = " markup "; for (;;) { try { document.write(m); } catch (e) {} }</script>"

std::string oneElementWith100000Attributes() {
  std::string html = "<div";
  for (int i = 0; i < 100'000; ++i) html += " a" + std::to_string(i);
  return html + ">";
}

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
    // Work the engine sees only in short pieces: promise jobs, script
    // elements written by the one before, its own regular expressions,
    // events dispatched from their own listeners.
    {"await loop", "<script>(async function () { for (;;) await 0; })();</script>"},
    {"promise-then chain", "<script>function f() { Promise.resolve().then(f); } f();</script>"},
    {"self-writing script", "<script>function w() { document.write('<script>w()<\\/script>'); } w();</script>"},
    {"backtracking expression in a loop", "<script>for (;;) /(a+)+b/.test('a'.repeat(30));</script>"},
    {"event recursion",
     "<script>addEventListener('x', function () { dispatchEvent(new Event('x')); dispatchEvent(new Event('x')); });"
     "dispatchEvent(new Event('x'));</script>"},
    // Pages that re-arm themselves through anything but a timer.
    {"reload loop (in a script)", "<script>location.reload()</script>"},
    {"reload loop (in onload)", "<script>onload = function () { location.reload(); };</script>"},
    {"fetch chain of a file beside the page",
     "<script>function f() { fetch('beside.txt').then(function (r) { return r.text(); }).then(f); } f();</script>",
     Host::FilePage},
    // Text the host makes for the page: a 16 MiB file fetched every 300 ms,
    // each text kept, or dropped.
    {"keeps a 16 MiB file fetched every 300 ms",
     "<script>var kept = []; setInterval(function () {"
     " fetch('beside.txt').then(function (r) { return r.text(); }).then(function (t) { kept.push(t); }); }, 300);"
     "</script>",
     Host::FilePage, true},
    {"drops a 16 MiB file fetched every 300 ms",
     "<script>var length = 0; setInterval(function () {"
     " fetch('beside.txt').then(function (r) { return r.text(); }).then(function (t) { length = t.length; }); }, 300);"
     "</script>",
     Host::FilePage, true},
    // One native call the engine cannot interrupt allocates 800 MB: the
    // page passes the bound by it before the check that follows stops it.
    {"one native call allocates 800 MB", "<script>var a = new Float64Array(1e8).fill(1.5);</script>"},
    // Code the engine runs outside the page's scripts: WebAssembly (not
    // offered: the page fails at once), and the getter of an exception's line
    // that the host reads to log it.
    {"WebAssembly loop",
     "<script>var bytes = new Uint8Array([0, 97, 115, 109, 1, 0, 0, 0, 1, 4, 1, 96, 0, 0, 3, 2, 1, 0, 7, 5, 1, 1, 102,"
     " 0, 0, 10, 9, 1, 7, 0, 3, 64, 12, 0, 11, 11]);"
     "new WebAssembly.Instance(new WebAssembly.Module(bytes)).exports.f();</script>"},
    {"exception whose line getter starts a promise chain",
     "<script>var e = new Error('x'); Object.defineProperty(e, 'line', {get: function () {"
     " (function f() { Promise.resolve().then(f); })(); return 1; }}); throw e;</script>"},
    {"measurement script context with 1,000 zero-delay intervals",
     "for (var i = 0; i < 1000; i++) omidNative.setInterval(function () {}, 0);", Host::Measurement},
    // Requests whose answers call the script again: one chain, and 100 at
    // once (past the bound of requests in flight).
    {"measurement script context with a sendUrl chain (a refused port)",
     "function f() { omidNative.sendUrl('http://127.0.0.1:1/x', f, f); } f();", Host::Measurement},
    {"measurement script context with 100 sendUrl chains (a refused port)",
     "function f() { omidNative.sendUrl('http://127.0.0.1:1/x', f, f); } for (var i = 0; i < 100; i++) f();",
     Host::Measurement},
    {"measurement script context whose interval throws on every tick",
     "var n = 0; omidNative.setInterval(function () { throw new Error('tick ' + n++); }, 0);", Host::Measurement},
    // A callback that is no function: the host reads its text for the error
    // it answers, which runs its toString.
    {"measurement script context whose interval callback is an object whose text spins",
     "omidNative.setInterval({toString: function () { for (;;) {} }}, 0);", Host::Measurement},
    {"measurement script context whose interval callback is an object whose text allocates without end",
     "omidNative.setInterval({toString: function () { var keep = []; for (;;) keep.push(new Array(4096).fill(1)); }}, 0);",
     Host::Measurement},
    {"measurement script context whose interval callback is an object whose text starts a promise chain",
     "omidNative.setInterval({toString: function () { (function f() { Promise.resolve().then(f); })(); return 'x'; }}, 0);",
     Host::Measurement},
    // The parser's worst cases.
    {"writes one element with 100,000 attributes",
     QB_WRITE_AGAIN("'<b'; for (var i = 0; i < 100000; i++) m += ' a' + i; m += '>'")},
    {"a document of one element with 100,000 attributes (889 KB)", "", Host::Page, false, kWatchMs,
     oneElementWith100000Attributes},
    {"writes 2,000 body tags of 10 attributes each (merged into one element)",
     QB_WRITE_AGAIN("''; for (var i = 0; i < 2000; i++) { m += '<body'; for (var j = 0; j < 10; j++)"
                    " m += ' b' + i + '_' + j; m += '>'; }")},
    {"writes 15 MB of blocks 4,000 elements deep",
     QB_WRITE_AGAIN("('<div>'.repeat(4000) + '</div>'.repeat(4000)).repeat(375)")},
    {"writes 100,000 stray end tags under 4,000 open elements",
     QB_WRITE_AGAIN("'<span>'.repeat(4000) + '</x>'.repeat(100000)")},
    {"writes 1 MB of text under a formatting element 4,000 deep",
     QB_WRITE_AGAIN("'<span>'.repeat(4000) + '<b>' + 'x'.repeat(1000000)")},
    {"writes 1,000 formatting elements made again at each of 2,000 texts",
     QB_WRITE_AGAIN("'<div>'; for (var i = 0; i < 1000; i++) m += '<b id=' + i + '>';"
                    " m += '</div>' + '<div>x</div>'.repeat(2000)")},
    {"writes 1,000 formatting elements of 100 alike attributes",
     QB_WRITE_AGAIN("''; var a = ''; for (var i = 0; i < 100; i++) a += ' a' + i;"
                    " for (var i = 0; i < 1000; i++) m += '<b' + a + ' z=' + i + '>'")},
    // Text the host makes for the script: a 16 MiB download every second
    // (each costs the context's queue some 0.2 s, within its budget's
    // quarter), each text kept, or dropped; watched for 30 s.
    {"measurement script context keeping a 16 MiB download every second",
     "var kept = []; omidNative.setInterval(function () {"
     " omidNative.downloadJavaScriptResource(URL, function (t) { kept.push(t); }, function () {}); }, 1000);",
     Host::MeasurementLoopback, false, 30'000},
    {"measurement script context dropping a 16 MiB download every second",
     "var length = 0; omidNative.setInterval(function () {"
     " omidNative.downloadJavaScriptResource(URL, function (t) { length = t.length; }, function () {}); }, 1000);",
     Host::MeasurementLoopback, false, 30'000},
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

// The processor time of each thread of the process over a watch, from the
// scheduler's count (/proc/self/task/<id>/schedstat, nanoseconds). Sampled
// now and then, so a thread that ends between two samples loses what it ran
// since the last one; one that starts during the watch counts from 0.
class ThreadTimes {
 public:
  ThreadTimes() { sample(true); }
  void sample() { sample(false); }
  // Milliseconds of the threads named `name` together, and of the busiest.
  double totalMs(const std::string& name) const {
    double total = 0;
    for (const auto& [id, t] : threads_)
      if (t.name == name) total += t.ms();
    return total;
  }
  double busiestMs(const std::string& name) const {
    double most = 0;
    for (const auto& [id, t] : threads_)
      if (t.name == name) most = std::max(most, t.ms());
    return most;
  }

 private:
  struct Thread {
    std::string name;
    int64_t firstNs = 0;
    int64_t lastNs = 0;
    double ms() const { return static_cast<double>(lastNs - firstNs) / 1e6; }
  };

  void sample(bool first) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", error)) {
      const std::string id = entry.path().filename().string();
      int64_t ns = 0;
      if (std::ifstream in(entry.path() / "schedstat"); !(in >> ns)) continue;
      auto [it, added] = threads_.try_emplace(id);
      if (added) {
        std::ifstream comm(entry.path() / "comm");
        std::getline(comm, it->second.name);
        it->second.firstNs = first ? ns : 0;
      }
      it->second.lastNs = ns;
    }
  }

  std::map<std::string, Thread> threads_;
};

// The web log while a page runs: counts the lines and keeps which limit
// stopped the page first.
struct WebLogWatch {
  std::atomic<int64_t> lines{0};
  std::mutex m;
  std::string stop;

  void line(const std::string& text) {
    ++lines;
    const char* why = nullptr;
    if (text.find("past its budget") != std::string::npos) why = "processor budget";
    else if (text.find("ran longer than") != std::string::npos) why = "time limit";
    else if (text.find("bytes of memory and were stopped") != std::string::npos) why = "memory bound";
    else if (text.find("posted more messages than wait") != std::string::npos) why = "messages waiting";
    else if (text.find("wrote markup the parser does not take") != std::string::npos) why = "markup refused";
    else if (text.find(" was refused (") != std::string::npos) why = "document refused";
    if (!why) return;
    std::lock_guard lock(m);
    if (stop.empty()) stop = why;
  }
  std::string stopReason() {
    std::lock_guard lock(m);
    return stop;
  }
};

struct Ending : platform::NavigationDelegate, platform::ScriptMessageHandler {
  std::string how;
  int64_t messages = 0;
  int64_t finishedLoads = 0;
  std::function<void()> onMessage;
  void didFinishNavigation(platform::WebView&) override { ++finishedLoads; }
  void didFailNavigation(platform::WebView&, const platform::Error& error) override {
    how = "load failed (" + std::to_string(error.code) + ")";
  }
  void webContentProcessDidTerminate(platform::WebView&) override { how = "torn down"; }
  void didReceiveScriptMessage(platform::UserContentController&, const platform::ScriptMessage&) override {
    ++messages;
    if (onMessage) onMessage();
  }
};

// Another web view's loads: a trivial page in a fresh web view, timed from
// loadHTMLString to didFinishNavigation, then again kGapMs after it finished,
// while `wanted`. Main queue only.
class OtherLoads : public platform::NavigationDelegate, public std::enable_shared_from_this<OtherLoads> {
 public:
  static constexpr double kFirstAfterMs = 50;
  static constexpr double kGapMs = 450;

  std::vector<double> loadsMs;
  int failures = 0;
  bool wanted = true;

  void startLater(double afterMs) {
    std::weak_ptr<OtherLoads> weak = weak_from_this();
    next_ = platform::Timer::once(platform::mainQueue(), afterMs, [weak] {
      if (auto self = weak.lock(); self && self->wanted) self->start();
    });
  }
  bool inFlight() const { return view_ != nullptr; }
  // Milliseconds the load under way has taken so far.
  double inFlightMs() const { return msSince(started_); }
  void stop() {
    wanted = false;
    if (next_) next_->cancel();
  }
  // Drops the web view of a load that did not finish.
  void abandon() {
    stop();
    view_.reset();
  }

  double medianMs() const {
    if (loadsMs.empty()) return 0;
    auto sorted = loadsMs;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
  }
  double maxMs() const { return loadsMs.empty() ? 0 : *std::max_element(loadsMs.begin(), loadsMs.end()); }

  void didFinishNavigation(platform::WebView&) override {
    loadsMs.push_back(msSince(started_));
    ended();
  }
  void didFailNavigation(platform::WebView&, const platform::Error&) override {
    ++failures;
    ended();
  }

 private:
  void start() {
    view_ = std::make_shared<platform::WebView>(platform::Rect{}, platform::WebViewConfiguration{});
    view_->setNavigationDelegate(weak_from_this());
    started_ = Clock::now();
    view_->loadHTMLString("<p>another view</p>", "");
  }
  void ended() {
    // Released after its delegate call, not inside it.
    platform::mainQueue()->async([view = std::move(view_)] {});
    if (wanted) startLater(kGapMs);
  }

  std::shared_ptr<platform::WebView> view_;
  std::shared_ptr<platform::Timer> next_;
  Clock::time_point started_;
};

// A temporary folder with the page file and the file beside it.
struct PageFolder {
  std::filesystem::path path;
  PageFolder(const std::string& html, bool largeBeside) {
    char pattern[] = "/tmp/qb-hostile-XXXXXX";
    if (!mkdtemp(pattern)) return;
    path = pattern;
    std::ofstream(path / "page.html") << html;
    std::ofstream(path / "beside.txt") << (largeBeside ? std::string(kLargeTextBytes, 'x') : "beside the page");
  }
  ~PageFolder() {
    std::error_code error;
    if (!path.empty()) std::filesystem::remove_all(path, error);
  }
};

// ---- Work a page causes beyond its own queue ----

// The host answers each message of the page with an evaluation of
// PMA.onAnswer(), as the own network answers its controller page.
void answerMessages(Ending& ending, const std::shared_ptr<platform::WebView>& view) {
  ending.onMessage = [weak = std::weak_ptr<platform::WebView>(view)] {
    if (auto v = weak.lock()) v->evaluateJavaScript("PMA.onAnswer()", nullptr);
  };
}

// A loopback server with "/page.html", whose only script element is
// "script.js", served with `script`.
std::unique_ptr<qbtest::SandboxServer> serveLoopbackPage(const std::string& script) {
  auto server = std::make_unique<qbtest::SandboxServer>();
  server->answer("/page.html", 200, "<script src=\"script.js\"></script>", {{"Content-Type", "text/html"}});
  server->answer("/script.js", 200, script, {{"Content-Type", "application/javascript"}});
  server->start();
  return server;
}

// What runs the hostile source: a web view, or a measurement script context.
struct Hostile {
  std::shared_ptr<Ending> ending = std::make_shared<Ending>();
  std::shared_ptr<platform::WebView> view;
  std::unique_ptr<PageFolder> folder;
  std::unique_ptr<qbtest::SandboxServer> server;
  std::shared_ptr<OMIDQuilbrnLightJSExecutor> executor;
  // The measurement context's end, as its log tells it (any thread).
  std::mutex m;
  std::string measurementEnd;
  std::atomic<int64_t> measurementLines{0};

  void start(const Page& page) {
    if (page.host == Host::Measurement || page.host == Host::MeasurementLoopback) {
      QBLoggerManager::sharedInstance().setConsoleWriterForTesting([this](const std::string& line) {
        ++measurementLines;
        std::string how;
        if (line.find("past their budget") != std::string::npos) how = "torn down (processor budget)";
        else if (line.find("context was torn down (the scripts held more than") != std::string::npos) {
          how = "torn down (memory bound)";
        } else if (line.find("context was torn down (") != std::string::npos) {
          how = "torn down";
        }
        if (how.empty()) return;
        std::lock_guard lock(m);
        if (measurementEnd.empty()) measurementEnd = how;
      });
      std::string source = page.source;
      if (page.host == Host::MeasurementLoopback) {
        server = std::make_unique<qbtest::SandboxServer>();
        server->answer("/large.txt", 200, std::string(kLargeTextBytes, 'x'), {{"Content-Type", "text/plain"}});
        server->start();
        const std::string url = "'" + server->url("/large.txt") + "'";
        source.replace(source.find("URL"), 3, url);
      }
      executor = OMIDQuilbrnJSExecutorFactory::JSExecutorWithResources({}, source);
      return;
    }
    platform::WebViewConfiguration configuration;
    configuration.userContentController->addScriptMessageHandler(ending, "host");
    if (page.host == Host::FilePage) {
      configuration.preferences->setValue(platform::Preferences::kAllowFileAccessFromFileURLs, true);
      folder = std::make_unique<PageFolder>(page.source, page.largeBeside);
    }
    view = std::make_shared<platform::WebView>(platform::Rect{}, configuration);
    view->setNavigationDelegate(ending);
    if (page.host == Host::Answered) answerMessages(*ending, view);
    if (page.host == Host::Loopback) {
      server = serveLoopbackPage(page.source);
      view->loadRequest(platform::URLRequest{.url = server->url("/page.html")});
    } else if (folder) {
      view->loadFileURL(platform::fileURLFromPath((folder->path / "page.html").string()),
                        platform::fileURLFromPath(folder->path.string(), true));
    } else {
      view->loadHTMLString(page.document ? page.document() : std::string(page.source), "");
    }
  }

  // How it ended; empty while it runs.
  std::string how() {
    if (executor) {
      std::lock_guard lock(m);
      return measurementEnd;
    }
    return ending->how;
  }

  // Releases it and waits until what its queue holds has run.
  void release() {
    bool drained = false;
    if (executor) {
      auto queue = executor->dispatchQueue();
      executor.reset();
      queue->async([&drained] { platform::mainQueue()->async([&drained] { drained = true; }); });
    } else {
      view.reset();
      platform::afterWebContentForTesting(
          [&drained] { platform::mainQueue()->async([&drained] { drained = true; }); });
    }
    platform::runMainUntil([&] { return drained; }, 20'000);
    QBLoggerManager::sharedInstance().setConsoleWriterForTesting(nullptr);
  }
};

void setLoadCounters(benchmark::State& state, const OtherLoads& loads, double unfinishedMs) {
  state.counters["other_loads"] = static_cast<double>(loads.loadsMs.size());
  state.counters["other_load_median_ms"] = loads.medianMs();
  state.counters["other_load_max_ms"] = std::max(loads.maxMs(), unfinishedMs);
  state.counters["other_load_unfinished_ms"] = unfinishedMs;
  state.counters["other_load_failures"] = loads.failures;
}

// The other view's loads with nothing else running, for 10 s.
void BM_OtherViewLoadAlone(benchmark::State& state) {
  for (auto _ : state) {
    auto loads = std::make_shared<OtherLoads>();
    loads->startLater(OtherLoads::kFirstAfterMs);
    bool over = false;
    auto watch = platform::Timer::once(platform::mainQueue(), kWatchMs, [&over] { over = true; });
    platform::runMainUntil([&] { return over; }, kWatchMs + 1000);
    loads->stop();
    platform::runMainUntil([&] { return !loads->inFlight(); }, 10'000);
    const double unfinishedMs = loads->inFlight() ? loads->inFlightMs() : 0;
    loads->abandon();
    setLoadCounters(state, *loads, unfinishedMs);
    bool drained = false;
    platform::afterWebContentForTesting([&drained] { platform::mainQueue()->async([&drained] { drained = true; }); });
    platform::runMainUntil([&] { return drained; }, 10'000);
  }
}
BENCHMARK(BM_OtherViewLoadAlone)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// Watches the hostile page for 10 s of real time, or until it was stopped.
void watchHostile(benchmark::State& state, const Page& page) {
  QBLoggerManager::sharedInstance();  // takes the web log first, so the sink below holds
  for (auto _ : state) {
    WebLogWatch webLog;
    auto previousSink = platform::setWebLogSink([&webLog](platform::WebLogLevel, const std::string& line) {
      webLog.line(line);
    });
    Hostile hostile;
    resetPeakResident();
    const long residentBefore = statusKiB("VmRSS");

    ThreadTimes threads;
    double longestGapMs = 0;
    int beats = 0;
    auto last = Clock::now();
    auto heartbeat = platform::Timer::repeating(platform::mainQueue(), 20, [&] {
      const auto now = Clock::now();
      longestGapMs = std::max(longestGapMs, std::chrono::duration<double, std::milli>(now - last).count());
      last = now;
      if (++beats % 5 == 0) threads.sample();
    });
    const auto usageBefore = qbbench::ProcessUsage::now();
    const double mainCpuBefore = threadCpuMs();
    hostile.start(page);
    const auto start = Clock::now();
    auto loads = std::make_shared<OtherLoads>();
    loads->startLater(OtherLoads::kFirstAfterMs);
    platform::runMainUntil([&] { return !hostile.how().empty(); }, page.watchMs);
    const double ranMs = msSince(start);
    loads->stop();
    threads.sample();
    const auto usage = qbbench::ProcessUsage::now() - usageBefore;
    const double mainCpuMs = threadCpuMs() - mainCpuBefore;
    // The last gap, up to now, counts too.
    longestGapMs = std::max(longestGapMs, msSince(last));
    const long peak = statusKiB("VmHWM");
    const std::string how = hostile.how();

    // A load of the other view still under way is waited for (it started
    // while the page ran), up to 10 s more.
    platform::runMainUntil([&] { return !loads->inFlight(); }, 10'000);
    const double unfinishedMs = loads->inFlight() ? loads->inFlightMs() : 0;
    heartbeat->cancel();
    loads->abandon();
    // Let the page's queue and the main queue settle before the next kind.
    const auto releasing = Clock::now();
    hostile.release();
    const double releaseMs = msSince(releasing);
    platform::setWebLogSink(previousSink);
    if (hostile.server) state.counters["transfers"] = static_cast<double>(hostile.server->requestCount());
    state.counters["net_io_cpu_ms"] = threads.totalMs("qb-net-io");

    state.counters["longest_gap_ms"] = longestGapMs;
    state.counters["peak_rss_MiB"] = static_cast<double>(peak) / 1024.0;
    state.counters["rss_growth_MiB"] = static_cast<double>(peak - residentBefore) / 1024.0;
    state.counters["ran_ms"] = ranMs;
    state.counters["cpu_ms"] = static_cast<double>(usage.cpuNs) / 1e6;
    state.counters["main_cpu_ms"] = mainCpuMs;
    state.counters["workers_cpu_ms"] = threads.totalMs("qb-worker");
    state.counters["page_thread_cpu_ms"] = threads.busiestMs("qb-worker");
    state.counters["release_ms"] = releaseMs;
    std::string label = std::string(page.name) + ": " + (how.empty() ? "ran on" : how);
    if (const std::string reason = webLog.stopReason(); !reason.empty() && !how.empty()) label += ", " + reason;
    state.SetLabel(label);
    state.counters["messages"] = static_cast<double>(hostile.ending->messages);
    state.counters["finished_loads"] = static_cast<double>(hostile.ending->finishedLoads);
    state.counters["web_log_lines"] = static_cast<double>(webLog.lines.load());
    state.counters["measurement_log_lines"] = static_cast<double>(hostile.measurementLines.load());
    state.counters["net_io_cpu_ms"] = threads.totalMs("qb-net-io");
    state.counters["stopped"] = how.empty() ? 0 : 1;
    setLoadCounters(state, *loads, unfinishedMs);
  }
}

void BM_HostilePage(benchmark::State& state) { watchHostile(state, kPages[state.range(0)]); }
BENCHMARK(BM_HostilePage)->DenseRange(0, static_cast<int>(std::size(kPages)) - 1)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// What one request of a measurement script context costs the URL session's
// I/O thread ("qb-net-io"), where no task of the context runs: requests one
// after the other (the next once the previous one answered, on a serial
// queue as the context's), as a chain of sendUrl makes them, to a refused
// loopback port (0) and to a loopback server answering 204 (1). Reports the
// I/O thread's and the calling queue's processor time per request; the
// context charges the first (OMIDQuilbrnJSNetworkBridge::kRequestNetworkCostMs).
void BM_MeasurementRequestNetworkCost(benchmark::State& state) {
  constexpr int kRequests = 3000;
  qbtest::SandboxServer server;
  std::string url = "http://127.0.0.1:1/x";
  if (state.range(0) == 1) {
    if (!server.start()) {
      state.SkipWithError("no sandbox");
      return;
    }
    server.answer("/ping", 204, "");
    url = server.url("/ping");
  }
  auto queue = platform::createSerialQueue("bench.measurement.requests");
  for (auto _ : state) {
    ThreadTimes threads;
    std::atomic<int> answered{0};
    double callerMs = 0;  // the queue only
    std::function<void()> next = [&] {
      const double before = threadCpuMs();
      OMIDQuilbrnLoadTask::taskToSendPingToURL(url, queue,
                                               [&](const std::optional<std::string>&,
                                                   const std::optional<platform::Error>&) {
                                                 if (++answered < kRequests) next();
                                                 else platform::mainQueue()->async([] {});  // wakes the wait
                                               })
          ->start();
      callerMs += threadCpuMs() - before;
    };
    const auto start = Clock::now();
    queue->async(next);
    platform::runMainUntil([&] { return answered.load() == kRequests; }, 120'000);
    const double ranMs = msSince(start);
    threads.sample();
    double queueMs = 0;
    bool read = false;
    queue->async([&] { platform::mainQueue()->async([&] { queueMs = callerMs; read = true; }); });
    platform::runMainUntil([&] { return read; }, 10'000);
    state.counters["requests"] = answered.load();
    state.counters["requests_per_s"] = answered.load() / (ranMs / 1000.0);
    state.counters["net_io_ms_per_request"] = threads.totalMs("qb-net-io") / kRequests;
    state.counters["caller_ms_per_request"] = queueMs / kRequests;
  }
  state.SetLabel(state.range(0) == 1 ? "loopback server, 204" : "refused loopback port");
}
BENCHMARK(BM_MeasurementRequestNetworkCost)->DenseRange(0, 1)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// Pages whose work goes on outside their own queue's tasks: answers the host
// evaluates, a log flood, an external script fetched again and again.
const Page kCausedWorkPages[] = {
    {"answered by an evaluation, 1 ms of work an answer",
     "<script>var PMA = {onAnswer: function () { var t = Date.now(); while (Date.now() - t < 1) {}"
     "  webkit.messageHandlers.host.postMessage('again'); }}; PMA.onAnswer();</script>",
     Host::Answered},
    {"answered by an evaluation, 50 ms of work an answer",
     "<script>var PMA = {onAnswer: function () { var t = Date.now(); while (Date.now() - t < 50) {}"
     "  webkit.messageHandlers.host.postMessage('again'); }}; PMA.onAnswer();</script>",
     Host::Answered},
    {"console flood (40 lines every 4 ms)",
     "<script>setInterval(function () { for (var i = 0; i < 40; i++) console.log('x'); }, 4);</script>"},
    {"external script that writes itself again (loopback)",
     "document.write('<script src=\"script.js?' + Math.random() + '\"><\\/script>');", Host::Loopback},
};

void BM_HostilePageCausedWork(benchmark::State& state) { watchHostile(state, kCausedWorkPages[state.range(0)]); }
BENCHMARK(BM_HostilePageCausedWork)
    ->DenseRange(0, static_cast<int>(std::size(kCausedWorkPages)) - 1)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// What the host spends for a page besides the page's tasks, per round, with
// the processor budget off (real mode): an external script that writes
// itself again (`transfer`: the network thread's processor time per
// transfer, the server's threads left out) and a page that reloads itself
// (`navigation`: the main thread's processor time per navigation, nothing
// else running on it). The figures behind kPageTransferChargeMs and
// kPageNavigationChargeMs.
void BM_PageCausedHostWork(benchmark::State& state) {
  const bool transfers = state.range(0) == 0;
  constexpr int64_t kRounds = 2000;
  for (auto _ : state) {
    auto ending = std::make_shared<Ending>();
    platform::WebViewConfiguration configuration;
    configuration.processorBudgetMs = 0;
    configuration.userContentController->addScriptMessageHandler(ending, "host");
    auto view = std::make_shared<platform::WebView>(platform::Rect{}, configuration);
    view->setNavigationDelegate(ending);
    std::unique_ptr<qbtest::SandboxServer> server;
    ThreadTimes threads;
    const double mainBefore = threadCpuMs();
    const auto usageBefore = qbbench::ProcessUsage::now();
    const auto start = Clock::now();
    if (transfers) {
      server = serveLoopbackPage("var n = (window.n || 0) + 1; window.n = n; webkit.messageHandlers.host.postMessage(n);"
                                 "if (n < " + std::to_string(kRounds) +
                                 ") document.write('<script src=\"script.js?' + n + '\"><\\/script>');");
      view->loadRequest(platform::URLRequest{.url = server->url("/page.html")});
    } else {
      view->loadHTMLString("<script>webkit.messageHandlers.host.postMessage(1); location.reload();</script>", "");
    }
    const auto rounds = [&] { return ending->messages; };
    platform::runMainUntil([&] { return rounds() >= kRounds || !ending->how.empty(); }, 60'000);
    const double wallMs = msSince(start);
    const double mainMs = threadCpuMs() - mainBefore;
    const auto usage = qbbench::ProcessUsage::now() - usageBefore;
    threads.sample();
    const auto made = static_cast<double>(rounds());
    view.reset();
    bool drained = false;
    platform::afterWebContentForTesting([&drained] { platform::mainQueue()->async([&drained] { drained = true; }); });
    platform::runMainUntil([&] { return drained; }, 10'000);
    state.counters["rounds"] = made;
    state.counters["wall_us_per_round"] = wallMs * 1000 / made;
    state.counters["content_us_per_round"] = threads.totalMs("qb-worker") * 1000 / made;
    state.counters["net_io_us_per_round"] = threads.totalMs("qb-net-io") * 1000 / made;
    state.counters["main_us_per_round"] = mainMs * 1000 / made;
    state.counters["process_us_per_round"] = static_cast<double>(usage.cpuNs) / 1000 / made;
    state.counters["server_us_per_round"] =
        (threads.totalMs("sandbox-srv") + threads.totalMs("sandbox-listen")) * 1000 / made;
    state.SetLabel(transfers ? "external script that writes itself again" : "page that reloads itself");
  }
}
BENCHMARK(BM_PageCausedHostWork)->DenseRange(0, 1)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

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
