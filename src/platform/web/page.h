#pragma once
// One page of a web view: a JavaScriptCore context (in a context group of its
// own, so the guard of its entries and the teardown concern this page only)
// with the page's window, document, timers and bridges. Internal to the web
// view. The engine section it shares with the script contexts outside web
// views is platform/script (engine.h: the entry guard; js_engine.h: strings,
// values and exception texts).
//
// A page lives on its web-content queue: it is made, driven and destroyed
// there, and its timers fire there. Only interrupt() may be called from
// another thread. A Page never calls back into its client's owner from inside
// a script: every PageClient method only records or posts.
//
// This header includes JavaScriptCore: include it only in the web view's own
// sources.
#include <JavaScriptCore/JavaScript.h>

#include <atomic>
#include <initializer_list>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dispatch.h"
#include "platform/repeated_line.h"
#include "platform/script/engine.h"
#include "platform/web/html.h"
#include "platform/web/web_view.h"

namespace platform::web_internal {

class PageClient {
 public:
  virtual ~PageClient() = default;
  // `url` is absolute (resolved against the page).
  virtual void pageNavigates(const std::string& url, NavigationType type) = 0;
  // `url` is absolute, or "" when the page gave none.
  virtual void pageOpensWindow(const std::string& url, NavigationType type) = 0;
  // The names of the script message handlers, and a number that changes
  // whenever they do.
  virtual uint64_t messageHandlersVersion() = 0;
  virtual std::vector<std::string> messageHandlerNames() = 0;
  // False when the message would pass the bound of what waits for delivery
  // (the page is then stopped).
  virtual bool pagePostsMessage(const std::string& name, Json body) = 0;
  // `url` as the page gave it; the answer comes back through Page::settleFetch.
  // False (refused, logged; no answer comes) when the fetches waiting for
  // their answer would pass kMaxPageFetchesInFlight or
  // kMaxPageFetchBytesInFlight.
  virtual bool pageFetches(int fetchId, const std::string& url) = 0;
  // navigator.sendBeacon: `url` is an absolute http(s) URL, `body` none or
  // at most kMaxBeaconBodyBytes. True when the beacon is on its way; false
  // (nothing sent) when it would pass the bounds of the beacons in flight.
  virtual bool pageSendsBeacon(const std::string& url, std::optional<std::string> body) = 0;
  // document.write wrote markup whose script elements are `scripts`: true
  // when a script element of a document being run wrote it (its scripts run
  // next, before that document's following ones), false when it replaces the
  // document (its scripts run after the entry under way).
  virtual bool pageWritesDocument(std::vector<HtmlScript> scripts) = 0;
  // The page's guard stopped a script (time limit, a bound, an interruption);
  // the page is stopped for good.
  virtual void pageStopped(engine::StopReason reason) = 0;
};

// Writes a line to the web log sink.
void webLog(WebLogLevel level, const std::string& line);
// Writes a line one web view's pages caused, within that web view's bound of
// lines (held back and counted beyond it). `always`: a page's stop, written
// whatever the rate.
void webLog(LineRateLimit& limit, WebLogLevel level, const std::string& line, bool always = false);
// A URL a page gave, as a log line shows it: at most 256 bytes (cut at a
// character's start, "..." added), since a page may make one of megabytes.
std::string shownURL(std::string_view url);

class Page : public std::enable_shared_from_this<Page> {
 public:
  struct Setup {
    std::string url;
    engine::EntryLimits limits;
    QueueRef queue;  // the web view's content queue: the page's timers fire there
    // What the work the page causes may take of the processor (the web
    // view's, WebViewConfiguration); its timer ticks are charged to it.
    std::shared_ptr<ProcessorBudget> budget;
    // The bound of the web view's log lines; every line the page causes
    // goes through it.
    std::shared_ptr<LineRateLimit> logLimit;
    // The web view's generation (platform/script/engine_objects.h).
    uint64_t generation = 0;
  };
  static std::shared_ptr<Page> create(PageClient& client, const Setup& setup);
  ~Page();
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;

  const std::string& url() const { return url_; }
  // The guard stopped a script: nothing of the page runs any more.
  bool isStopped() const { return guard_ && guard_->isStopped(); }
  engine::StopReason stopReason() const { return guard_ ? guard_->stopReason() : engine::StopReason::None; }
  // Any thread: the script under way stops at the engine's next check and
  // nothing of the page runs any more; no stop is reported.
  void interrupt() {
    interrupted_.store(true);
    if (guard_) guard_->interrupt();
  }
  // Any thread: interrupt() was called (the parse of written markup asks).
  bool isInterrupted() const { return interrupted_.load(); }
  // Between entries: the work the page caused passed the budget; it is
  // stopped as one past its time limit.
  void stopOverBudget();

  // A run: the entries made until endRun (a document's script elements,
  // what they write, the load's events) count together against the time
  // limit, as one task of the web-content queue (engine::EntryGuard).
  void beginRun() { guard_->beginRun(); }
  void endRun() { guard_->endRun(); }

  // The absolute URL a reference names relative to the page, if any.
  std::optional<std::string> resolve(const std::string& reference) const;

  // Gives the document its element tree (HtmlDocument::treeJson).
  void buildDocument(const std::string& treeJson);
  // Runs a script element's source; an uncaught exception is logged.
  void runScript(const std::string& source, const std::string& sourceURL, int line);
  // Sets document.readyState and dispatches readystatechange on the document.
  void setReadyState(const char* state);
  // Dispatches a plain event on "window" or "document".
  void dispatchEvent(const char* target, const char* type);
  // Native evaluation (evaluateJavaScript).
  ScriptEvaluation evaluate(const std::string& script);
  // What an evaluation answers in a page stopped for `reason`.
  static Error stoppedError(engine::StopReason reason);
  // Answers fetch `fetchId`: the file's text, or none (the promise rejects).
  void settleFetch(int fetchId, const std::optional<std::string>& text, const std::string& url);

  // Used by the native functions of page.cc.
  struct Natives;

 private:
  Page(PageClient& client, std::string url, uint64_t generation);
  bool setUp(const Setup& setup);
  // Calls a hook of the bootstrap at top level; logs an uncaught exception.
  void callHook(JSObjectRef hook, std::initializer_list<JSValueRef> args);
  void fireTimer(int id);
  // Before each entry into the page's script: false when the page may not
  // run; brings window.webkit.messageHandlers up to date.
  bool enter();
  // After each entry: when the guard stopped it, the page stops for good,
  // logs why once and tells its client (report).
  void leave();
  void report();
  // A line the page caused, within the web view's bound of lines.
  void log(WebLogLevel level, const std::string& line, bool always = false);
  // A line logged at most once a second for each kind (a refusal, the text
  // of an exception the page did not catch), with the count held back.
  void logRepeated(const std::string& kind, const std::string& line, WebLogLevel level);
  void logUncaught(const std::string& line) { logRepeated(line, line, WebLogLevel::Error); }
  // "Uncaught <text> (<url>:<line>)" of an exception ("" for none, or once
  // stopped). Reading it may run the page's code (a getter of its line, a
  // toString) and the jobs that code queues: call it inside the entry.
  std::string uncaughtLine(JSValueRef exception);
  // A message would pass the bound of what waits for delivery.
  void overBound();
  // Written markup the parser does not take (`reason`: which bound it
  // passed): the page stops at the engine's next check.
  void refuseMarkup(const std::string& reason);
  // Before the host makes text of `utf8Bytes` for the page outside its
  // entries: counted against the memory bound as far as the process grows by
  // it (engine::EntryGuard::chargeHostBytes).
  void chargeHostText(size_t utf8Bytes);

  PageClient& client_;
  const std::string url_;
  const uint64_t generation_;
  JSContextGroupRef group_ = nullptr;
  JSGlobalContextRef context_ = nullptr;
  JSObjectRef hooks_ = nullptr;  // protected while the page lives
  JSObjectRef fireTimerHook_ = nullptr;
  JSObjectRef buildDocumentHook_ = nullptr;
  JSObjectRef setReadyStateHook_ = nullptr;
  JSObjectRef dispatchHook_ = nullptr;
  JSObjectRef settleFetchHook_ = nullptr;
  JSObjectRef setHandlersHook_ = nullptr;
  uint64_t handlersVersion_ = UINT64_MAX;
  std::map<int, std::shared_ptr<Timer>> timers_;
  bool timerCapLogged_ = false;
  RepeatedLines repeatedLines_;
  std::shared_ptr<LineRateLimit> logLimit_;
  std::shared_ptr<ProcessorBudget> budget_;
  bool overBudget_ = false;
  QueueRef queue_;
  std::unique_ptr<engine::EntryGuard> guard_;
  bool overBound_ = false;  // natives do nothing more
  std::string markupRefusal_;
  std::atomic<bool> interrupted_{false};
  bool reported_ = false;
};

// The bootstrap script of every page (page_script.cc).
extern const char kPageBootstrapScript[];

}  // namespace platform::web_internal
