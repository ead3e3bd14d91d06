#include "platform/web/web_content.h"

#include <utility>

#include "platform/web/url.h"
#include "platform/web/web_files.h"

namespace platform {

QueueRef webContentQueue() {
  // Never destroyed: blocks may still reach it while the process exits.
  static const QueueRef& queue = *new QueueRef(createSerialQueue("com.quillborne.web-content"));
  return queue;
}

}  // namespace platform

namespace platform::web_internal {

namespace {

bool isWebScheme(const std::string& scheme) { return scheme == "http" || scheme == "https"; }

// Bytes a queued message holds besides its body: the envelope, its strings'
// objects, the delivery block and its place in the main queue.
constexpr size_t kMessageOverheadBytes = 256;

}  // namespace

std::shared_ptr<WebContent> WebContent::create(std::weak_ptr<ContentClient> client, WebViewConfiguration configuration) {
  return std::shared_ptr<WebContent>(new WebContent(std::move(client), std::move(configuration)));
}

WebContent::WebContent(std::weak_ptr<ContentClient> client, WebViewConfiguration configuration)
    : client_(std::move(client)),
      configuration_(std::move(configuration)),
      budget_(std::make_shared<engine::DeliveryBudget>(kMaxPendingScriptMessages, kMaxPendingScriptMessageBytes)) {}

WebContent::~WebContent() {
  if (loading_ && loading_->task) loading_->task->cancel();
}

template <class F>
void WebContent::run(F work) {
  webContentQueue()->async([self = shared_from_this(), work = std::move(work)]() mutable { work(*self); });
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

void WebContent::evaluate(std::string script, uint64_t blankSerial, EvaluationCompletion completion) {
  run([script = std::move(script), blankSerial, completion = std::move(completion)](WebContent& self) mutable {
    if (!self.page_ && !self.terminated_ && blankSerial != 0 && self.makePage(blankSerial, "about:blank")) {
      self.page_->buildDocument(parseHtml("")->treeJson);
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
  });
}

void WebContent::terminate(uint64_t throughSerial, bool notify) {
  interruptThrough(throughSerial);
  run([notify](WebContent& self) {
    self.dropPage();
    self.terminated_ = true;
    self.stoppedReason_ = engine::StopReason::None;
    if (notify) self.tell([](ContentClient& client) { client.contentTerminated(); });
  });
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
  setup.queue = webContentQueue();
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
  std::shared_ptr<Page> dropped;  // released outside the lock
  std::lock_guard lock(pageMutex_);
  dropped = std::move(page_);
}

void WebContent::commit(const ContentLoad& load) {
  if (wanted_.load() != load.navigationId) return;  // stopped or replaced before it got here
  auto document = parseHtml(load.html);
  if (!document) {
    const uint64_t id = load.navigationId;
    const Error error{kWebErrorDomain, WebErrorCode::DocumentTooDeep,
                      "the document nests elements deeper than " + std::to_string(kMaxHtmlDepth)};
    tell([id, error](ContentClient& client) { client.loadFailed(id, error); });
    return;
  }
  if (!makePage(load.serial, load.url)) {
    const uint64_t id = load.navigationId;
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
  loading_->scripts = std::move(document->scripts);
  page_->buildDocument(document->treeJson);
  runScripts();
}

// Runs the document's scripts in order from where it stopped; an external
// script over the network suspends the run until it arrives.
void WebContent::runScripts() {
  while (isLoadWanted() && page_ && !page_->isStopped() && loading_->next < loading_->scripts.size()) {
    const auto script = loading_->scripts[loading_->next++];
    if (!script.hasSrc) {
      page_->runScript(script.text, pageURL_, script.line);
      continue;
    }
    auto url = page_->resolve(script.src);
    const std::string scheme = url ? urlScheme(*url) : "";
    if (scheme == "file") {
      auto source = readPageFile(*url, "Script");
      if (source && page_) page_->runScript(*source, *url, 1);
      continue;
    }
    if (!isWebScheme(scheme)) {
      webLog(WebLogLevel::Warning, "Script " + script.src + " not loaded: unsupported URL");
      continue;
    }
    URLRequest request;
    request.url = *url;
    std::weak_ptr<WebContent> weak = weak_from_this();
    const uint64_t id = loading_->navigationId;
    loading_->task = URLSession::shared()->dataTask(request, webContentQueue(), [weak, id, u = *url](DataTaskResult r) {
      auto self = weak.lock();
      if (!self || !self->loading_ || self->loading_->navigationId != id || !self->page_) return;
      self->loading_->task.reset();
      const int status = r.response ? r.response->statusCode : 0;
      if (!r.error && status >= 200 && status < 300) {
        if (self->isLoadWanted()) self->page_->runScript(r.body, u, 1);
      } else {
        webLog(WebLogLevel::Warning, "Script " + u + " not loaded: " + (r.error ? r.error->message : std::to_string(status)));
      }
      self->runScripts();
    });
    loading_->task->resume();
    return;
  }
  if (isLoadWanted() && page_ && !page_->isStopped()) finish();
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
  webLog(WebLogLevel::Warning, std::string(what) + " " + url + " not read: " + refusal);
  return std::nullopt;
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
  mainQueue()->async([client = client_, budget = budget_, bytes, message = std::move(message)]() mutable {
    budget->remove(bytes);
    if (auto c = client.lock()) c->received(std::move(message));
  });
  return true;
}

void WebContent::pageFetches(int fetchId, const std::string& url) {
  const uint64_t serial = serial_;
  // Answered later, as an entry of its own.
  run([serial, fetchId, url](WebContent& self) {
    if (!self.page_ || self.serial_ != serial) return;
    auto resolved = self.page_->resolve(url).value_or(url);
    std::optional<std::string> text;
    const auto& preferences = self.configuration_.preferences;
    if (!preferences || !preferences->value(Preferences::kAllowFileAccessFromFileURLs).value_or(false)) {
      webLog(WebLogLevel::Warning, "Fetch " + resolved + " refused: file access from file URLs is off");
    } else {
      text = self.readPageFile(resolved, "Fetch");
    }
    if (self.page_ && self.serial_ == serial) self.page_->settleFetch(fetchId, text, resolved);
  });
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
  });
}

}  // namespace platform::web_internal
