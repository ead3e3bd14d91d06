#include "platform/web/web_content.h"

#include <utility>

#include "platform/script/engine_objects.h"
#include "platform/web/url.h"
#include "platform/web/web_files.h"

namespace platform::web_internal {

namespace {

bool isWebScheme(const std::string& scheme) { return scheme == "http" || scheme == "https"; }

// Bytes a queued message holds besides its body: the envelope, its strings'
// objects, the delivery block and its place in the main queue.
constexpr size_t kMessageOverheadBytes = 256;

// A message body whose memory passes this is released off the main queue:
// freeing a tree of tens of thousands of values takes milliseconds.
constexpr size_t kReleasedOffMainBytes = size_t{64} << 10;

// Where large message bodies are freed once their handler has run.
const QueueRef& releaseQueue() {
  static const QueueRef& queue = *new QueueRef(createSerialQueue("com.quillborne.web-message-release"));
  return queue;
}

struct ReleaseObserver {
  std::mutex mutex;
  std::function<void(size_t, bool)> observe;
};
ReleaseObserver& releaseObserver() {
  static ReleaseObserver& observer = *new ReleaseObserver();
  return observer;
}

// A message's body of `bytes` is freed now, where this runs.
void released(engine::DeliveryBudget& budget, size_t bytes) {
  budget.remove(bytes);
  std::function<void(size_t, bool)> observe;
  {
    std::lock_guard lock(releaseObserver().mutex);
    observe = releaseObserver().observe;
  }
  if (observe) observe(bytes, isMainThread());
}

// Nobody reads a beacon's answer: a larger one ends the transfer.
constexpr size_t kMaxBeaconAnswerBytes = size_t{64} << 10;

// The content queues of the process, for afterWebContentForTesting.
struct ContentQueues {
  std::mutex mutex;
  std::vector<std::weak_ptr<Queue>> queues;
};
ContentQueues& contentQueues() {
  static ContentQueues& registry = *new ContentQueues();
  return registry;
}

}  // namespace

std::shared_ptr<WebContent> WebContent::create(std::weak_ptr<ContentClient> client, WebViewConfiguration configuration) {
  return std::shared_ptr<WebContent>(new WebContent(std::move(client), std::move(configuration)));
}

WebContent::WebContent(std::weak_ptr<ContentClient> client, WebViewConfiguration configuration)
    : client_(std::move(client)),
      configuration_(std::move(configuration)),
      queue_(createSerialQueue("com.quillborne.web-content")),
      processorBudget_(std::make_shared<ProcessorBudget>(configuration_.processorBudgetMs,
                                                         configuration_.processorBudgetShare)),
      budget_(std::make_shared<engine::DeliveryBudget>(kMaxPendingScriptMessages, kMaxPendingScriptMessageBytes)),
      beacons_(std::make_shared<engine::DeliveryBudget>(kMaxBeaconsInFlight, kMaxBeaconBytesInFlight)),
      fetches_(std::make_shared<engine::DeliveryBudget>(kMaxPageFetchesInFlight, kMaxPageFetchBytesInFlight)),
      logLimit_(std::make_shared<LineRateLimit>(kWebLogLinesPerSecond, kWebLogBurstLines)),
      generation_(engineGenerationForTesting()) {
  auto& registry = contentQueues();
  std::lock_guard lock(registry.mutex);
  std::erase_if(registry.queues, [](const std::weak_ptr<Queue>& q) { return q.expired(); });
  registry.queues.push_back(queue_);
}

WebContent::~WebContent() {
  if (loading_ && loading_->task) loading_->task->cancel();
}

template <class F>
void WebContent::charged(F work, double extraMs) {
  ProcessorBudget::Task task(processorBudget_.get());
  work();
  if (!task.finish(extraMs) && page_) page_->stopOverBudget();
}

template <class F>
void WebContent::run(F work, bool charged) {
  queue_->async([self = shared_from_this(), work = std::move(work), charged]() mutable {
    if (charged) self->charged([&] { work(*self); });
    else work(*self);
  });
}

template <class F>
void WebContent::tell(F call) {
  mainQueue()->async([client = client_, call = std::move(call)]() mutable {
    if (auto c = client.lock()) call(*c);
  });
}

// ---------------------------------------------------------------------------
// Main queue.

void WebContent::load(ContentLoad load) {
  // The page shown goes when this one commits: what it runs now is moot.
  interruptCurrentBelow(load.serial);
  run([load = std::move(load)](WebContent& self) { self.commit(load); });
}

void WebContent::evaluate(std::string script, uint64_t blankSerial, EvaluationCompletion completion, bool charged) {
  run([script = std::move(script), blankSerial, completion = std::move(completion)](WebContent& self) mutable {
    if (!self.page_ && !self.terminated_ && blankSerial != 0 && self.makePage(blankSerial, "about:blank")) {
      self.page_->buildDocument(parseHtml("").document->treeJson);
      ContentLoad blank;
      blank.serial = blankSerial;
      blank.url = "about:blank";
      self.tell([blank](ContentClient& client) { client.committed(blank); });
    }
    ScriptEvaluation result;
    if (self.page_) {
      result = self.page_->evaluate(script);
    } else if (self.stoppedReason_ != engine::StopReason::None) {
      result.error = Page::stoppedError(self.stoppedReason_);
    } else {
      result.error = Error{kWebErrorDomain, WebErrorCode::ContentTerminated, "the page's content was torn down"};
    }
    mainQueue()->async([client = self.client_, result = std::move(result), completion = std::move(completion)]() mutable {
      if (!client.lock()) {
        result = ScriptEvaluation{};
        result.error = Error{kWebErrorDomain, WebErrorCode::WebViewGone, "the web view is gone"};
      }
      if (completion) completion(result);
    });
  }, charged);
}

void WebContent::chargePageWork(double ms) {
  queue_->async([self = shared_from_this(), ms] { self->charged([] {}, ms); });
}

void WebContent::terminate(uint64_t throughSerial, bool notify) {
  interruptThrough(throughSerial);
  run([notify](WebContent& self) {
    self.dropPage();
    self.terminated_ = true;
    self.stoppedReason_ = engine::StopReason::None;
    if (notify) self.tell([](ContentClient& client) { client.contentTerminated(); });
  }, false);
}

void WebContent::interruptThrough(uint64_t serial) {
  uint64_t through = interruptThrough_.load();
  while (through < serial && !interruptThrough_.compare_exchange_weak(through, serial)) {
  }
  interruptCurrentBelow(serial == UINT64_MAX ? serial : serial + 1);
}

void WebContent::interruptCurrentBelow(uint64_t serial) {
  std::lock_guard lock(pageMutex_);
  if (page_ && serial_ < serial) page_->interrupt();
}

// ---------------------------------------------------------------------------
// Web-content queue.

bool WebContent::isLoadWanted() const { return loading_ && wanted_.load() == loading_->navigationId; }

bool WebContent::makePage(uint64_t serial, const std::string& url) {
  Page::Setup setup;
  setup.url = url;
  setup.limits.timeLimitMs = configuration_.scriptTimeLimitMs;
  setup.limits.memoryLimitBytes = configuration_.memoryLimitBytes;
  setup.budget = processorBudget_;
  setup.logLimit = logLimit_;
  setup.queue = queue_;
  setup.generation = generation_;
  auto page = Page::create(*this, setup);
  if (!page) return false;
  dropPage();
  {
    std::lock_guard lock(pageMutex_);
    page_ = std::move(page);
    serial_ = serial;
    if (serial <= interruptThrough_.load()) page_->interrupt();  // torn down before it was made
  }
  terminated_ = false;
  stoppedReason_ = engine::StopReason::None;
  pageURL_ = url;
  readAccessPath_.clear();
  return true;
}

void WebContent::dropPage() {
  if (loading_ && loading_->task) loading_->task->cancel();
  loading_.reset();
  if (writing_ && writing_->task) writing_->task->cancel();
  writing_.reset();
  std::shared_ptr<Page> dropped;  // released outside the lock
  std::lock_guard lock(pageMutex_);
  dropped = std::move(page_);
}

void WebContent::commit(const ContentLoad& load) {
  if (wanted_.load() != load.navigationId) return;  // stopped or replaced before it got here
  const uint64_t id = load.navigationId;
  // A navigation stopped or replaced, or the web view released, ends the
  // parse.
  auto parsed = parseHtml(load.html, [this, id] { return wanted_.load() != id; });
  if (!parsed.document) {
    if (parsed.interrupted) return;
    const Error error{kWebErrorDomain,
                      parsed.refusal == MarkupRefusal::TooDeep ? WebErrorCode::DocumentTooDeep
                                                                : WebErrorCode::DocumentTooComplex,
                      "the document was refused: " + parsed.reason};
    webLog(*logLimit_, WebLogLevel::Error, "The document " + shownURL(load.url) + " was refused (" + parsed.reason + ")",
           true);
    tell([id, error](ContentClient& client) { client.loadFailed(id, error); });
    return;
  }
  auto& document = parsed.document;
  if (!makePage(load.serial, load.url)) {
    tell([id](ContentClient& client) {
      client.loadFailed(id, Error{kWebErrorDomain, WebErrorCode::ContentTerminated, "the page could not be set up"});
    });
    return;
  }
  readAccessPath_ = load.readAccessPath;
  ContentLoad notice = load;
  notice.html.clear();
  tell([notice = std::move(notice)](ContentClient& client) { client.committed(notice); });
  loading_ = Loading{};
  loading_->navigationId = load.navigationId;
  loading_->runId = ++nextRunId_;
  loading_->scripts = std::move(document->scripts);
  page_->buildDocument(document->treeJson);
  runScripts(false, loading_->runId);
}

// Runs a document's scripts in order from where it stopped; an external
// script over the network suspends the run until it arrives. Everything this
// task runs in the page is one run of its guard: scripts that write scripts
// that run next cannot hold the queue past the time limit in short entries.
void WebContent::runScripts(bool written, uint64_t runId) {
  struct PageRun {
    std::shared_ptr<Page> page;
    explicit PageRun(std::shared_ptr<Page> p) : page(std::move(p)) {
      if (page) page->beginRun();
    }
    ~PageRun() {
      if (page) page->endRun();
    }
  } pageRun(page_);
  auto& run = written ? writing_ : loading_;
  while (isRunWanted(written, runId) && page_ && !page_->isStopped() && run->next < run->scripts.size()) {
    const auto script = run->scripts[run->next++];
    if (!script.hasSrc) {
      running_ = &*run;
      page_->runScript(script.text, pageURL_, script.line);
      running_ = nullptr;
      continue;
    }
    auto url = page_->resolve(script.src);
    const std::string scheme = url ? urlScheme(*url) : "";
    if (scheme == "file") {
      auto source = readPageFile(*url, "Script");
      if (source && page_) {
        running_ = &*run;
        page_->runScript(*source, *url, 1);
        running_ = nullptr;
      }
      continue;
    }
    if (!isWebScheme(scheme)) {
      log(WebLogLevel::Warning, "Script " + shownURL(script.src) + " not loaded: unsupported URL");
      continue;
    }
    URLRequest request;
    request.url = *url;
    std::weak_ptr<WebContent> weak = weak_from_this();
    run->task = URLSession::shared()->dataTask(
        request, queue_, [weak, written, runId, u = *url](DataTaskResult r) {
          auto self = weak.lock();
          if (!self || !self->isRunWanted(written, runId) || !self->page_) return;
          // The transfer's work on the network thread is the page's too.
          self->charged([&] {
            auto& run = written ? self->writing_ : self->loading_;
            run->task.reset();
            const int status = r.response ? r.response->statusCode : 0;
            if (!r.error && status >= 200 && status < 300) {
              self->running_ = &*run;
              self->page_->runScript(r.body, u, 1);
              self->running_ = nullptr;
            } else {
              self->log(WebLogLevel::Warning, "Script " + shownURL(u) + " not loaded: " +
                                                  (r.error ? r.error->message : std::to_string(status)));
            }
            self->runScripts(written, runId);
          }, kPageTransferChargeMs);
        });
    run->task->resume();
    return;
  }
  if (!isRunWanted(written, runId) || !page_ || page_->isStopped()) return;
  if (!written) {
    finish();
    return;
  }
  writing_.reset();
  page_->setReadyState("complete");
}

bool WebContent::isRunWanted(bool written, uint64_t runId) const {
  const auto& run = written ? writing_ : loading_;
  if (!run || run->runId != runId) return false;
  if (!written) return isLoadWanted();
  return page_ && serial_ == run->serial;  // the web-content queue writes both
}

void WebContent::finish() {
  page_->setReadyState("interactive");
  page_->dispatchEvent("document", "DOMContentLoaded");
  page_->setReadyState("complete");
  page_->dispatchEvent("window", "load");
  if (!isLoadWanted() || !page_ || page_->isStopped()) return;  // the stop notice fails the load
  const uint64_t id = loading_->navigationId;
  uint64_t serial;
  {
    std::lock_guard lock(pageMutex_);
    serial = serial_;
  }
  loading_.reset();
  tell([id, serial](ContentClient& client) { client.finished(id, serial); });
}

// A file the page shown reads (a script element, fetch): only inside the
// folder it may read. Refusals are logged.
std::optional<std::string> WebContent::readPageFile(const std::string& url, const char* what) {
  auto path = filePathFromURL(url);
  std::string refusal;
  if (!path) refusal = "not a local file";
  else if (urlScheme(pageURL_) != "file" || readAccessPath_.empty()) refusal = "the page is not a file page";
  else if (!isInside(readAccessPath_, *path)) refusal = "outside the folder the page may read";
  if (refusal.empty()) {
    auto data = readWebFile(*path);
    if (data) return std::move(data.value());
    refusal = data.error().message;
  }
  logRefusal(std::string(what) + ": " + refusal, std::string(what) + " " + shownURL(url) + " not read: " + refusal);
  return std::nullopt;
}

void WebContent::logRefusal(const std::string& kind, const std::string& text) {
  if (auto admitted = refusals_.admit(kind, text)) log(WebLogLevel::Warning, *admitted);
}

// ---------------------------------------------------------------------------
// PageClient: from inside the page's scripts; only records or posts.

void WebContent::pageNavigates(const std::string& url, NavigationType type) {
  const uint64_t serial = serial_;
  tell([serial, url, type](ContentClient& client) { client.navigates(serial, url, type); });
}

void WebContent::pageOpensWindow(const std::string& url, NavigationType type) {
  const uint64_t serial = serial_;
  tell([serial, url, type](ContentClient& client) { client.opensWindow(serial, url, type); });
}

uint64_t WebContent::messageHandlersVersion() {
  return configuration_.userContentController ? configuration_.userContentController->version() : 0;
}

std::vector<std::string> WebContent::messageHandlerNames() {
  return configuration_.userContentController ? configuration_.userContentController->handlerNames()
                                              : std::vector<std::string>{};
}

bool WebContent::pagePostsMessage(const std::string& name, Json body) {
  ScriptMessage message;
  message.name = name;
  message.body = std::move(body);
  message.frameURL = pageURL_;
  const size_t bytes = kMessageOverheadBytes + name.capacity() + message.frameURL.capacity() +
                       engine::jsonFootprintBytes(message.body);
  if (!budget_->tryAdd(bytes)) return false;
  // The main queue delivers the message and frees nothing large: a large
  // body goes on to the release queue, and counts as waiting until it is
  // freed there.
  mainQueue()->async([client = client_, budget = budget_, bytes, message = std::move(message)]() mutable {
    if (auto c = client.lock()) c->received(message);
    if (bytes <= kReleasedOffMainBytes) {
      message.body = Json();
      released(*budget, bytes);
      return;
    }
    releaseQueue()->async([budget, bytes, body = std::move(message.body)]() mutable {
      body = Json();
      released(*budget, bytes);
    });
  });
  return true;
}

bool WebContent::pageWritesDocument(std::vector<HtmlScript> scripts) {
  if (running_) {
    // A script element wrote it: its scripts run next, as a parser meets them.
    running_->scripts.insert(running_->scripts.begin() + static_cast<std::ptrdiff_t>(running_->next),
                             std::make_move_iterator(scripts.begin()), std::make_move_iterator(scripts.end()));
    return true;
  }
  // It replaces the document: a run of its own, after the entry under way.
  if (writing_ && writing_->task) writing_->task->cancel();
  writing_ = Loading{};
  writing_->runId = ++nextRunId_;
  writing_->serial = serial_;
  writing_->scripts = std::move(scripts);
  const uint64_t runId = writing_->runId;
  run([runId](WebContent& self) { self.runScripts(true, runId); });
  return false;
}

bool WebContent::pageFetches(int fetchId, const std::string& url) {
  const size_t bytes = url.size();
  if (!fetches_->tryAdd(bytes)) {
    logRefusal("Fetch: in flight", "Fetch " + shownURL(url) + " refused: the fetches waiting for their answer would pass " +
                                       std::to_string(kMaxPageFetchesInFlight) + " fetches or " +
                                       std::to_string(kMaxPageFetchBytesInFlight) + " bytes of URLs");
    return false;
  }
  const uint64_t serial = serial_;
  // Answered later, as an entry of its own.
  run([serial, fetchId, url, bytes](WebContent& self) {
    self.fetches_->remove(bytes);
    if (!self.page_ || self.serial_ != serial) return;
    auto resolved = self.page_->resolve(url).value_or(url);
    std::optional<std::string> text;
    const auto& preferences = self.configuration_.preferences;
    if (!preferences || !preferences->value(Preferences::kAllowFileAccessFromFileURLs).value_or(false)) {
      self.logRefusal("Fetch: off", "Fetch " + shownURL(resolved) + " refused: file access from file URLs is off");
    } else {
      text = self.readPageFile(resolved, "Fetch");
    }
    if (self.page_ && self.serial_ == serial) self.page_->settleFetch(fetchId, text, resolved);
  });
  return true;
}

// A beacon belongs to no page: it goes out as it was queued whatever becomes
// of the page or the web view, and nobody hears its answer but the web log.
bool WebContent::pageSendsBeacon(const std::string& url, std::optional<std::string> body) {
  const size_t bytes = url.size() + (body ? body->size() : 0);
  if (!beacons_->tryAdd(bytes)) {
    logRefusal("Beacon: in flight", "Beacon to " + shownURL(url) + " refused: the beacons in flight would pass " +
                                    std::to_string(kMaxBeaconsInFlight) + " beacons or " +
                                    std::to_string(kMaxBeaconBytesInFlight) + " bytes");
    return false;
  }
  URLRequest request;
  request.url = url;
  request.method = "POST";
  if (body) {
    request.headers.emplace_back("Content-Type", "text/plain;charset=UTF-8");
    request.body = std::move(*body);
  }
  request.maxResponseBytes = kMaxBeaconAnswerBytes;
  auto task = URLSession::shared()->dataTask(
      std::move(request), nullptr,
      [budget = beacons_, limit = logLimit_, bytes, url = shownURL(url)](DataTaskResult result) {
        budget->remove(bytes);
        if (result.error) {
          webLog(*limit, WebLogLevel::Warning, "Beacon to " + url + " not sent: " + result.error->message);
        } else {
          webLog(*limit, WebLogLevel::Debug, "Beacon to " + url + " answered " + std::to_string(result.response->statusCode));
        }
      });
  task->resume();
  return true;
}

void WebContent::pageStopped(engine::StopReason reason) {
  const uint64_t serial = serial_;
  // The page is still on the stack: it goes in a block of its own, and the
  // main side hears of it after what the block under way tells (an
  // evaluation's answer).
  run([serial, reason](WebContent& self) {
    if (self.page_ && self.serial_ == serial) {
      self.dropPage();
      self.terminated_ = true;
      self.stoppedReason_ = reason;
    }
    self.tell([serial, reason](ContentClient& client) { client.stopped(serial, reason); });
  }, false);
}

}  // namespace platform::web_internal

namespace platform {

void afterWebContentForTesting(Block done) {
  std::vector<QueueRef> queues;
  {
    auto& registry = web_internal::contentQueues();
    std::lock_guard lock(registry.mutex);
    for (const auto& weak : registry.queues)
      if (auto queue = weak.lock()) queues.push_back(std::move(queue));
  }
  if (queues.empty()) {
    globalQueue()->async(std::move(done));
    return;
  }
  auto left = std::make_shared<std::atomic<size_t>>(queues.size());
  auto shared = std::make_shared<Block>(std::move(done));
  for (const auto& queue : queues) {
    queue->async([left, shared] {
      if (left->fetch_sub(1) == 1) (*shared)();
    });
  }
}

void setScriptMessageReleaseObserverForTesting(std::function<void(size_t bytes, bool onMainQueue)> observer) {
  std::lock_guard lock(web_internal::releaseObserver().mutex);
  web_internal::releaseObserver().observe = std::move(observer);
}

}  // namespace platform
