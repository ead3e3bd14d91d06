#pragma once
// The content side of a web view: its page and everything that runs in it,
// on the web view's content queue (a serial queue of its own). The web view (the main side, web_view.cc) asks it
// to load a document, evaluate a script or tear the page down; it tells the
// main side what happened through ContentClient, always by posting to the
// main queue. Internal to the web view.
//
// Main side -> content side: the public methods below, called on the main
// queue; each posts its work to the web-content queue (FIFO), except
// interruptThrough and setWantedNavigation, which act at once.
// Content side -> main side: ContentClient calls, posted to the main queue in
// the order things happen on the content side, so a message a page posts
// while it loads arrives before the notice that the load finished.
#include <atomic>
#include <map>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/script/engine.h"
#include "platform/repeated_line.h"
#include "platform/script/processor_budget.h"
#include "platform/web/html.h"
#include "platform/web/page.h"
#include "platform/web/web_view.h"

namespace platform::web_internal {

// Where a page comes from; the main side keeps it in the history so that
// reload and back load the same thing again.
struct PageSource {
  enum class Kind { Request, HTML, File };
  Kind kind = Kind::Request;
  std::string url;             // the page's URL
  URLRequest request;          // Request
  std::string html;            // HTML
  std::string readAccessPath;  // File, HTML with a file base URL: the folder (or file) the page may read
};

// A document to commit as the page.
struct ContentLoad {
  uint64_t navigationId = 0;
  uint64_t serial = 0;  // the page's number, chosen by the main side
  std::string html;
  std::string url;             // the page's URL
  std::string readAccessPath;  // what its file reads may reach ("": nothing)
  // Carried back untouched in ContentClient::committed.
  std::shared_ptr<const PageSource> source;
  std::optional<size_t> historyIndex;
};

// The main side; every call is made on the main queue.
class ContentClient {
 public:
  virtual ~ContentClient() = default;
  // The load's page is the page now (serial load.serial); its scripts run.
  // A blank page made for an evaluation comes with navigationId 0.
  virtual void committed(const ContentLoad& load) = 0;
  // The document was refused before it became the page (the page shown stays).
  virtual void loadFailed(uint64_t navigationId, const Error& error) = 0;
  // The page's scripts ran and the load event was dispatched.
  virtual void finished(uint64_t navigationId, uint64_t serial) = 0;
  virtual void navigates(uint64_t serial, const std::string& url, NavigationType type) = 0;
  virtual void opensWindow(uint64_t serial, const std::string& url, NavigationType type) = 0;
  // The page's guard stopped it; the content side dropped it.
  virtual void stopped(uint64_t serial, engine::StopReason reason) = 0;
  // The content was torn down as asked (terminate with notify).
  virtual void contentTerminated() = 0;
  // A message the page posted; it stays the caller's, which releases a large
  // body off the main queue afterwards.
  virtual void received(ScriptMessage& message) = 0;
};

// The web-content queue's blocks of one web view.
class WebContent : public PageClient, public std::enable_shared_from_this<WebContent> {
 public:
  // `configuration`: the web view's (its preferences and handlers are read
  // here, on the web-content queue).
  static std::shared_ptr<WebContent> create(std::weak_ptr<ContentClient> client, WebViewConfiguration configuration);
  ~WebContent() override;

  // ---- main queue ----
  // Only this navigation may commit or run its scripts (0: none). A load whose
  // navigation is no longer wanted when the content side reaches it is
  // dropped silently; the scripts of one that committed stop running.
  void setWantedNavigation(uint64_t navigationId) { wanted_.store(navigationId); }
  // Parses the document and, unless it is refused (loadFailed), makes it the
  // page: the previous page goes, committed() follows, the scripts run in
  // document order, then finished().
  void load(ContentLoad load);
  // Evaluates in the page; without one (nothing ever loaded and not torn
  // down) a blank page numbered `blankSerial` is made first. The completion is
  // called once, on the main queue (WebViewGone when the main side is gone by
  // then). `charged`: it answers the page, and is charged to the budget as a
  // task the page causes.
  void evaluate(std::string script, uint64_t blankSerial, EvaluationCompletion completion, bool charged);
  // Charges `ms` of work the page caused elsewhere (the main queue's part of
  // a navigation, a transfer) to the budget, in a task of the content queue
  // (a page past the budget is stopped there).
  void chargePageWork(double ms);
  // Tears the page down (a terminated content process), and every page
  // numbered up to `throughSerial` that loads posted before will make:
  // nothing of them runs any more and evaluations answer ContentTerminated
  // until the next commit. With `notify`, contentTerminated() follows, after the
  // answers of what ran before.
  void terminate(uint64_t throughSerial, bool notify);
  // Any thread: stops at once the script under way of every page numbered up
  // to `serial` (made or still to be made), without a report.
  void interruptThrough(uint64_t serial);
  // Any thread: stops at once the script under way of the page, when it is
  // numbered below `serial`.
  void interruptCurrentBelow(uint64_t serial);

  // What the messages not yet delivered hold.
  const std::shared_ptr<engine::DeliveryBudget>& budget() const { return budget_; }
  // What the beacons in flight hold.
  const std::shared_ptr<engine::DeliveryBudget>& beacons() const { return beacons_; }
  // Any thread: writes a line the web view's pages caused, within the web
  // view's bound of lines.
  void log(WebLogLevel level, const std::string& line) { webLog(*logLimit_, level, line); }
  // The queue the pages run on.
  const QueueRef& queue() const { return queue_; }

  // ---- PageClient (web-content queue, from inside the page's scripts) ----
  void pageNavigates(const std::string& url, NavigationType type) override;
  void pageOpensWindow(const std::string& url, NavigationType type) override;
  uint64_t messageHandlersVersion() override;
  std::vector<std::string> messageHandlerNames() override;
  bool pagePostsMessage(const std::string& name, Json body) override;
  bool pageWritesDocument(std::vector<HtmlScript> scripts) override;
  bool pageFetches(int fetchId, const std::string& url) override;
  bool pageSendsBeacon(const std::string& url, std::optional<std::string> body) override;
  void pageStopped(engine::StopReason reason) override;

 private:
  // A run of a document's script elements in order: the load's, or a
  // document that document.write put in place of the page's.
  struct Loading {
    uint64_t navigationId = 0;  // the load's; 0 for a written document
    uint64_t runId = 0;
    uint64_t serial = 0;        // the page a written document belongs to
    std::vector<HtmlScript> scripts;
    size_t next = 0;
    std::shared_ptr<DataTask> task;
  };

  WebContent(std::weak_ptr<ContentClient> client, WebViewConfiguration configuration);

  // Runs `work` on the content queue while this lives; with `charged`, its
  // processor time is charged to the pages' budget (what the page causes, not
  // what the host asks of it).
  template <class F>
  void run(F work, bool charged = true);
  // Runs `work` here, now, as a task the page causes: its processor time and
  // `extraMs` (work it caused elsewhere) are charged to the budget, and a
  // page past it stops.
  template <class F>
  void charged(F work, double extraMs = 0);
  // Posts `call` to the main side.
  template <class F>
  void tell(F call);

  // ---- web-content queue ----
  void commit(const ContentLoad& load);
  bool makePage(uint64_t serial, const std::string& url);
  void dropPage();
  // Runs the scripts of the run `runId` (the load's, or the written one's)
  // from where it stopped; the load's run ends with finish().
  void runScripts(bool written, uint64_t runId);
  void finish();
  bool isLoadWanted() const;
  bool isRunWanted(bool written, uint64_t runId) const;
  std::optional<std::string> readPageFile(const std::string& url, const char* what);
  // A refusal of what a page asked for (`kind`: what and why), logged at
  // most once a second for each kind with the count of the others (a page
  // may ask again at once, without end).
  void logRefusal(const std::string& kind, const std::string& text);

  std::weak_ptr<ContentClient> client_;
  WebViewConfiguration configuration_;
  QueueRef queue_;
  // What the work the pages cause may take of the processor; shared with the
  // pages, whose timers charge it.
  std::shared_ptr<ProcessorBudget> processorBudget_;
  std::shared_ptr<engine::DeliveryBudget> budget_;
  // What the page's beacons still in flight hold; their completions, which
  // may outlive this, give it back.
  std::shared_ptr<engine::DeliveryBudget> beacons_;
  // What the page's fetches waiting for their answer hold (their URLs).
  std::shared_ptr<engine::DeliveryBudget> fetches_;
  // The bound of every line the pages cause; shared with the pages and the
  // beacons' completions, which may outlive this.
  std::shared_ptr<LineRateLimit> logLimit_;
  RepeatedLines refusals_;
  std::atomic<uint64_t> wanted_{0};
  std::atomic<uint64_t> interruptThrough_{0};
  // The generation current when the web view was made, its pages' (platform/
  // script/engine_objects.h).
  const uint64_t generation_;

  // The page's interruption, reachable from the main side.
  std::mutex pageMutex_;
  std::shared_ptr<Page> page_;  // written on the web-content queue under pageMutex_
  uint64_t serial_ = 0;         // likewise

  // Web-content queue only.
  std::optional<Loading> loading_;
  std::optional<Loading> writing_;  // the scripts of a document a page wrote
  Loading* running_ = nullptr;      // the run whose script element runs now
  uint64_t nextRunId_ = 0;
  std::string pageURL_;
  std::string readAccessPath_;
  bool terminated_ = false;
  engine::StopReason stoppedReason_ = engine::StopReason::None;  // of the page dropped last
};

}  // namespace platform::web_internal
