#pragma once
// The headless web view: a View whose pages run their scripts in a real
// JavaScriptCore context. Nothing is drawn; a page has a small window and
// document (see docs/web-view.md for the whole list), timers on the platform
// clock, script message handlers, navigation and UI delegates.
//
// Threading: a web view, its configuration objects and its delegates belong to
// the main queue. Every method must be called there (a call from another
// thread is a programming error that asserts in debug builds); every delegate,
// handler and completion is called there, always later than the call that
// caused it (never inline). Pages run elsewhere: every page's scripts, timers
// and the engine's work run on the web view's content queue (contentQueue(),
// one serial queue per web view), so a page never holds the main queue nor
// another web view's pages; what a page does reaches the main queue only as
// the calls above.
//
// A page is outside input:
//  * each run of the page's script (a script element and what it writes, a
//    load's scripts and events, a timer, an event handler, a fetch answer,
//    evaluateJavaScript), with the promise jobs it queues and the engine's
//    native calls, may take WebViewConfiguration::scriptTimeLimitMs of
//    processor time; a run that takes longer is stopped and the page is torn
//    down: a load under way fails (kWebErrorDomain, ScriptTimeLimit),
//    otherwise the navigation delegate hears webContentProcessDidTerminate;
//  * every task a page causes on its queue (timer ticks, loads it starts,
//    written documents, fetch answers, external scripts, evaluations that
//    answer it) is charged to the web view's processor-time budget
//    (processorBudgetMs, given back at processorBudgetShare of the time
//    passing), and so is what it causes elsewhere (kPageTransferChargeMs a
//    transfer, kPageNavigationChargeMs a navigation); a page past it is
//    stopped as one past its time limit.
//  * a page whose scripts make the process hold more than
//    WebViewConfiguration::memoryLimitBytes, or whose posted messages not yet
//    delivered pass kMaxPendingScriptMessages or kMaxPendingScriptMessageBytes
//    (the memory they really take), is stopped and torn down the same way,
//    with ResourceLimit; each stop is logged once;
//  * an exception that a page script does not catch is logged (web log,
//    Error) and goes no further; what a web view's pages log is bounded
//    (setWebLogSink);
//  * a posted message larger than kMaxScriptMessageBytes is dropped and
//    logged.
//
// JavaScriptCore stays out of this header.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch.h"
#include "platform/json.h"
#include "platform/net.h"
#include "platform/result.h"
#include "platform/ui/view.h"

namespace platform {

class WebView;

inline constexpr char kWebErrorDomain[] = "platform.web";

// Codes of errors in kWebErrorDomain. Loads that cannot be read or fetched
// fail with URLError codes instead (URLError::kDomain).
namespace WebErrorCode {
inline constexpr int JavaScriptException = 1;    // the script threw; message: its text
inline constexpr int UnsupportedResultType = 2;  // the value has no JSON form (a function)
inline constexpr int ScriptTimeLimit = 3;        // a script ran past the time limit
inline constexpr int ContentTerminated = 4;      // the page was torn down first
inline constexpr int WebViewGone = 5;            // the web view was destroyed first
inline constexpr int DocumentTooDeep = 6;        // the HTML nests deeper than the parser takes
inline constexpr int ResourceLimit = 7;          // the page held more memory or waiting messages than it may,
                                                 // or wrote markup the parser does not take
inline constexpr int DocumentTooComplex = 8;     // the HTML has more attributes on one element, or more work for
                                                 // the parser, than the parser takes
}  // namespace WebErrorCode

// Live timers a page may hold at once (set and neither fired, for a timeout,
// nor cleared); setTimeout and setInterval answer 0 beyond it.
inline constexpr size_t kMaxPageLiveTimers = 1'000;
// Cap on one message a page posts (UTF-8 JSON bytes of the body).
inline constexpr size_t kMaxScriptMessageBytes = size_t{1} << 20;
// Bounds of the messages a page posted that wait for delivery on the main
// queue: how many, and the memory they take (body, envelope, page URL and the
// queued delivery), per web view.
inline constexpr size_t kMaxPendingScriptMessages = 5'000;
inline constexpr size_t kMaxPendingScriptMessageBytes = size_t{16} << 20;
// Cap on a page, a script file or a file a page fetches.
inline constexpr size_t kMaxWebResourceBytes = size_t{16} << 20;
// Bounds of navigator.sendBeacon: the body of one beacon, and what the
// beacons of one web view still in flight hold together (their URLs and
// bodies) and how many they are.
inline constexpr size_t kMaxBeaconBodyBytes = size_t{64} << 10;
inline constexpr size_t kMaxBeaconBytesInFlight = size_t{64} << 10;
inline constexpr size_t kMaxBeaconsInFlight = 256;
// Bounds of the fetches of one web view's pages that wait for their answer
// (queued on the content queue): how many, and the bytes of their URLs.
// fetch() rejects at once beyond them.
inline constexpr size_t kMaxPageFetchesInFlight = 1'000;
inline constexpr size_t kMaxPageFetchBytesInFlight = size_t{1} << 20;

// What the work a page causes on other threads than its content queue is
// charged to the web view's processor budget, in milliseconds of processor
// time, besides the tasks it causes on its queue (docs/web-view.md, "Processor
// budget"; docs/benchmarks.md gives how they were measured):
//  * a network transfer it causes (an external script, the document of a
//    navigation it starts): the URL session's work on its network thread and
//    the hand-over of the answer;
//  * a navigation it causes (location changes, reloads, window.open, link
//    clicks): the main queue's part (the policy decision, the navigation's
//    set-up, the document handed to the content queue).
inline constexpr double kPageTransferChargeMs = 0.15;
inline constexpr double kPageNavigationChargeMs = 0.05;

// ---------------------------------------------------------------------------
// Log of the web layer: console output of pages and the faults the web view
// contains (uncaught exceptions, stopped scripts, dropped messages, refused
// reads). The host routes it to its own log.

enum class WebLogLevel { Debug = 0, Info = 1, Warning = 2, Error = 3 };
using WebLogSink = std::function<void(WebLogLevel level, const std::string& line)>;
// Replaces the sink (nullptr: standard error) and returns the previous one.
// The sink is called on the web-content queue (from inside page scripts) and
// on the main queue: it must be safe to call from any thread and must not call
// back into a web view.
//
// What one web view's pages make it log (console output, uncaught
// exceptions, failed loads, refusals, stops, ...) is bounded as a whole: at
// most kWebLogLinesPerSecond lines a second on average and kWebLogBurstLines
// at once (a page's start-up and a test console's plan log dozens at once);
// the rest are held back and counted, and the next line written says how
// many. A page's stop is always written (at most one per page), taking its
// place in the bound.
WebLogSink setWebLogSink(WebLogSink sink);
inline constexpr double kWebLogLinesPerSecond = 10;
inline constexpr double kWebLogBurstLines = 50;

// Told, where each script message's body is freed once its handler has run,
// the memory the message held and whether that is the main queue (null: no
// one). A body of more than 64 KiB is freed off the main queue.
void setScriptMessageReleaseObserverForTesting(std::function<void(size_t bytes, bool onMainQueue)> observer);

// ---------------------------------------------------------------------------
// Configuration.

// Bits of WebViewConfiguration::mediaTypesRequiringUserActionForPlayback.
namespace MediaTypes {
inline constexpr uint32_t None = 0;
inline constexpr uint32_t Audio = 1u << 0;
inline constexpr uint32_t Video = 1u << 1;
inline constexpr uint32_t All = ~0u;
}  // namespace MediaTypes

// Named switches of the web view, shared by the configuration's copies. Set
// on the main queue; pages read them on the web-content queue (any thread may
// read).
class Preferences {
 public:
  // Whether a page loaded from a file URL may read other file URLs with
  // fetch() (inside the read-access folder it was loaded with). Off unless set.
  static constexpr const char* kAllowFileAccessFromFileURLs = "allowFileAccessFromFileURLs";

  void setValue(const std::string& key, bool value);
  std::optional<bool> value(const std::string& key) const;

 private:
  mutable std::mutex m_;
  std::map<std::string, bool> values_;
};

struct ScriptMessage {
  std::string name;             // the handler's name
  Json body;                    // the posted value, as JSON (undefined -> null)
  std::string frameURL;         // URL of the page that posted it
  std::weak_ptr<WebView> webView;
};

class UserContentController;

class ScriptMessageHandler {
 public:
  virtual ~ScriptMessageHandler() = default;
  virtual void didReceiveScriptMessage(UserContentController& controller, const ScriptMessage& message) = 0;
};

// The script message handlers pages may post to, by name. A handler is held
// strongly until removed. Pages see the names at once:
// window.webkit.messageHandlers.<name> exists exactly while a handler of that
// name is added, and a message reaches the handler registered when it is
// delivered (none: dropped). Changed on the main queue; pages read the names
// on the web-content queue (any thread may read).
class UserContentController {
 public:
  // False (nothing changes) when the name is empty or already taken.
  bool addScriptMessageHandler(std::shared_ptr<ScriptMessageHandler> handler, const std::string& name);
  void removeScriptMessageHandler(const std::string& name);
  void removeAllScriptMessageHandlers();
  std::shared_ptr<ScriptMessageHandler> handler(const std::string& name) const;
  std::vector<std::string> handlerNames() const;
  // Changes whenever a handler is added or removed.
  uint64_t version() const;

 private:
  mutable std::mutex m_;
  std::map<std::string, std::shared_ptr<ScriptMessageHandler>> handlers_;
  uint64_t version_ = 0;
};

struct WebViewConfiguration {
  bool allowsInlineMediaPlayback = false;
  uint32_t mediaTypesRequiringUserActionForPlayback = MediaTypes::All;
  std::shared_ptr<Preferences> preferences = std::make_shared<Preferences>();
  std::shared_ptr<UserContentController> userContentController = std::make_shared<UserContentController>();
  // Longest run of one entry into a page's script, in milliseconds of the
  // processor time of the thread that runs it.
  double scriptTimeLimitMs = 2000;
  // Bound of the memory a page's scripts make the process hold (the growth of
  // the process's resident memory while they run, see docs/web-view.md); 0:
  // none.
  size_t memoryLimitBytes = size_t{512} << 20;
  // What the work a web view's pages cause may take of the processor, in
  // processor time of the thread that runs it: processorBudgetMs at once,
  // given back at processorBudgetShare of the time that passes on the
  // platform clock. Each task a page causes on its content queue (a timer
  // tick, a load, a written document, a fetch answer, an external script, an
  // evaluation that answers it; not the host's own evaluateJavaScript) is
  // charged its processor time and ProcessorBudget::kTaskOverheadMs, each
  // transfer and navigation it causes kPageTransferChargeMs and
  // kPageNavigationChargeMs. A page past it is stopped as one past its time
  // limit. The budget is the web view's: the pages it shows one after the
  // other share it. 0: no bound.
  double processorBudgetMs = 1000;
  double processorBudgetShare = 0.25;
};

// Web pages alive now (made and not yet destroyed on their content queues,
// their engine context and group released), in every web view of the process.
size_t liveWebPagesForTesting();
// Runs `done` once the content queue of every web view alive now (or whose
// content still runs) has run what it holds at this call: on the last of
// those queues to get there, or on a global queue when there are none.
void afterWebContentForTesting(Block done);

// ---------------------------------------------------------------------------
// Navigation.

// With the platform's values.
enum class NavigationType : int {
  LinkActivated = 0,
  FormSubmitted = 1,
  BackForward = 2,
  Reload = 3,
  FormResubmitted = 4,
  Other = -1,
};

struct FrameInfo {
  bool isMainFrame = true;
};

struct NavigationAction {
  // The URL to load, with mainDocumentURL set to it for a main-frame load.
  URLRequest request;
  NavigationType navigationType = NavigationType::Other;
  // None for a navigation that opens a new window.
  std::optional<FrameInfo> targetFrame;
};

enum class NavigationActionPolicy { Cancel, Allow };
using PolicyDecisionHandler = std::function<void(NavigationActionPolicy)>;

class NavigationDelegate {
 public:
  virtual ~NavigationDelegate() = default;
  // Asked before every main-frame navigation (native loads with type Other,
  // `location` changes with Other, link clicks with LinkActivated, reload and
  // history moves). Nothing is fetched before the handler is called; calling
  // it more than once does nothing more. Without a delegate: allowed.
  virtual void decidePolicyForNavigationAction(WebView& webView, const NavigationAction& action,
                                               PolicyDecisionHandler decisionHandler) {
    (void)webView;
    (void)action;
    decisionHandler(NavigationActionPolicy::Allow);
  }
  // The document and its scripts ran and the load event was dispatched.
  virtual void didFinishNavigation(WebView& webView) { (void)webView; }
  // The navigation failed: the page could not be read or fetched (URL-loading
  // errors), its HTML was refused, or its scripts ran past the time limit.
  virtual void didFailNavigation(WebView& webView, const Error& error) {
    (void)webView;
    (void)error;
  }
  // The page's content was torn down (terminateWebContentProcess, or a script
  // that ran past the time limit outside a load). reload() loads it again.
  virtual void webContentProcessDidTerminate(WebView& webView) { (void)webView; }
};

struct WindowFeatures {};

class UIDelegate {
 public:
  virtual ~UIDelegate() = default;
  // A page asks for a new window (window.open, a link with a target other
  // than the page itself). A web view returned here loads the action's
  // request; null opens nothing.
  virtual std::shared_ptr<WebView> createWebView(WebView& webView, const WebViewConfiguration& configuration,
                                                 const NavigationAction& action, const WindowFeatures& features) {
    (void)webView;
    (void)configuration;
    (void)action;
    (void)features;
    return nullptr;
  }
};

// What evaluateJavaScript answers: the script's value as JSON (null for
// undefined), or an error in kWebErrorDomain (for a thrown exception: code
// JavaScriptException, message the exception's text, line where it was thrown).
struct ScriptEvaluation {
  Json value;
  std::optional<Error> error;
  int line = 0;
  bool ok() const { return !error.has_value(); }
};
using EvaluationCompletion = std::function<void(const ScriptEvaluation&)>;

// Whom an evaluation answers (docs/web-view.md, "Evaluation").
enum class EvaluationCause {
  // The host's own script (its set-up, what it reads of the page): the
  // page's work in it is not charged to the processor budget, unless the
  // evaluation is made on the main queue while the web view delivers one of
  // its page's script messages to a handler, or while the completion of an
  // evaluation that answered the page runs: it then answers the page.
  Host,
  // It answers the page (a reply to what the page asked, a message another
  // page sends it): the page's work in it is charged to the web view's
  // processor budget like every task the page causes, and a page past the
  // budget is stopped.
  AnswersPage,
};

// ---------------------------------------------------------------------------

class WebView : public View {
 public:
  // Create web views with std::make_shared (they hand out weak references of
  // themselves).
  explicit WebView(Rect frame = {}, WebViewConfiguration configuration = {});
  ~WebView() override;
  WebView(const WebView&) = delete;
  WebView& operator=(const WebView&) = delete;

  // A copy of the configuration made at creation; the preferences and the user
  // content controller are shared with it, so changing them takes effect.
  const WebViewConfiguration& configuration() const;
  // The serial queue this web view's pages run on (their scripts, timers,
  // fetches, the parsing of their HTML). Under a TestEnvironment it is an
  // ordinary serial queue of the environment: its blocks run on the test
  // thread when the test pumps.
  QueueRef contentQueue() const;

  void setNavigationDelegate(std::weak_ptr<NavigationDelegate> delegate);
  std::shared_ptr<NavigationDelegate> navigationDelegate() const;
  void setUIDelegate(std::weak_ptr<UIDelegate> delegate);
  std::shared_ptr<UIDelegate> uiDelegate() const;

  // Whether a long press on a link previews it (the platform's default: on).
  // Kept only: nothing is drawn.
  bool allowsLinkPreview() const { return allowsLinkPreview_; }
  void setAllowsLinkPreview(bool allows) { allowsLinkPreview_ = allows; }

  // Its frame follows the web view's bounds. Not a subview: nothing is drawn.
  std::shared_ptr<ScrollView> scrollView() const;
  void setFrame(const Rect& frame) override;

  // Loads an http(s) page through URLSession::shared(), a file URL (read
  // access to that file only) or "about:blank". Any HTTP status is a page;
  // transport errors and other schemes fail (URLError codes).
  void loadRequest(const URLRequest& request);
  // Loads the HTML with the base URL as the page's URL ("about:blank" when
  // empty). With a file base URL the page may read inside the base URL's
  // folder.
  void loadHTMLString(const std::string& html, const std::string& baseURL);
  // Loads a file page; the page may read files inside readAccessURL (a folder,
  // or the file itself). False, and nothing happens, when either URL is not a
  // file URL or the file is not inside the read-access folder.
  bool loadFileURL(const std::string& fileURL, const std::string& readAccessURL);
  // Stops the navigation under way, silently (no delegate call); the page
  // already shown stays.
  void stopLoading();
  // Loads the current history entry again (type Reload); nothing without one.
  void reload();

  // The URL of the navigation under way, else of the page shown; "" before any.
  std::string url() const;
  // True from a load call until the navigation finishes, fails, is cancelled
  // by the policy decision or is stopped.
  bool isLoading() const;

  // A history of the main-frame pages shown; a new page drops the entries
  // ahead of the current one.
  bool canGoBack() const;
  bool canGoForward() const;
  void goBack();
  void goForward();

  // Runs the script in the page shown (an empty page when nothing was ever
  // loaded) and calls the completion (may be empty) once, later, on the main
  // queue: with the value, or with an error (JavaScriptException,
  // UnsupportedResultType, ScriptTimeLimit, ContentTerminated when the page was
  // torn down, WebViewGone when the web view was destroyed first). `cause`
  // says whether the page's work in it is charged to the processor budget
  // (EvaluationCause).
  void evaluateJavaScript(const std::string& script, EvaluationCompletion completion,
                          EvaluationCause cause = EvaluationCause::Host);

  // Whether the calling thread is the main queue's and it is delivering a
  // script message of a page (any web view's) to its handler, or calling the
  // completion of an evaluation that answered a page: what the host sends a
  // page now answers a page. Any thread (false off the main queue).
  static bool isAnsweringPage();

  // Tears the page's content down as a crashed content process would: its
  // scripts and timers stop, a navigation under way is dropped, and the
  // navigation delegate hears webContentProcessDidTerminate (later). The URL
  // and the history stay; reload() brings the page back. Nothing happens when
  // no page has been loaded.
  void terminateWebContentProcess();

  // The beacons its pages sent that are still in flight (queued or not yet
  // answered; each gives its place back when its transfer ends). Any thread.
  size_t beaconsInFlightForTesting() const;

  struct Impl;

 private:
  std::shared_ptr<Impl> impl_;
  std::shared_ptr<ScrollView> scrollView_;
  bool allowsLinkPreview_ = true;
};

}  // namespace platform
