#include "platform/web/web_view.h"

#include <cassert>
#include <filesystem>
#include <utility>

#include "platform/dispatch.h"
#include "platform/web/url.h"
#include "platform/web/web_content.h"
#include "platform/web/web_files.h"

namespace platform {

using web_internal::ContentLoad;
using web_internal::isInside;
using web_internal::PageSource;
using web_internal::readWebFile;
using web_internal::WebContent;

namespace {

void assertMainQueue() { assert(isMainThread() && "a web view is used from the main queue only"); }

// How deep the main queue is in delivering a page's script message, or in the
// completion of an evaluation that answered a page (thread-local: only the
// main queue's thread counts).
thread_local int answeringPages = 0;

bool isWebScheme(const std::string& scheme) { return scheme == "http" || scheme == "https"; }

Error stopError(engine::StopReason reason) {
  if (reason == engine::StopReason::TimeLimit) {
    return Error{kWebErrorDomain, WebErrorCode::ScriptTimeLimit, "a script of the page ran past the time limit"};
  }
  return Error{kWebErrorDomain, WebErrorCode::ResourceLimit,
               reason == engine::StopReason::MemoryLimit ? "the page held more memory than it may"
               : reason == engine::StopReason::WorkLimit ? "the page wrote markup the parser does not take"
                                                         : "the page posted more messages than may wait"};
}

}  // namespace

// ---------------------------------------------------------------------------
// The main side: navigation, history and the delegates. The page itself lives
// on the web-content queue (WebContent), which tells this side what happened.

struct WebView::Impl : web_internal::ContentClient, std::enable_shared_from_this<Impl> {
  struct Navigation {
    uint64_t id = 0;
    PageSource source;
    NavigationType type = NavigationType::Other;
    std::optional<size_t> historyIndex;  // set for reload and history moves
    bool pageCaused = false;             // the page asked for it (its transfer is the page's work)
    bool allowed = false;
    bool committed = false;
    uint64_t serial = 0;  // of the page it loads, once handed to the content side
    std::shared_ptr<DataTask> task;
  };

  WebView* owner = nullptr;
  WebViewConfiguration configuration;
  std::weak_ptr<NavigationDelegate> navigationDelegate;
  std::weak_ptr<UIDelegate> uiDelegate;
  std::shared_ptr<WebContent> content;

  // Pages are numbered here, in the order they are asked for.
  uint64_t serialCounter = 0;
  uint64_t pageSerial = 0;        // the page shown as the content side last told (0: none)
  uint64_t tornDownThrough = 0;   // pages numbered up to here were torn down before they could be shown
  uint64_t blankSerial = 0;       // kept for the blank page an evaluation may make
  bool everCommitted = false;
  bool terminated = false;  // torn down since the last commit
  std::string pageURL;
  // How deep this web view is in delivering its page's message or in the
  // completion of an evaluation that answered its page (main queue).
  int answering = 0;

  uint64_t navigationSerial = 0;
  std::optional<Navigation> navigation;
  std::vector<PageSource> history;
  size_t historyIndex = 0;

  std::weak_ptr<Impl> weak() { return weak_from_this(); }
  bool isCurrent(uint64_t id) const { return navigation && navigation->id == id; }

  // Runs `block` later on the main queue while this web view lives.
  template <class F>
  void post(F block) {
    mainQueue()->async([weak = weak(), block = std::move(block)]() mutable {
      auto self = weak.lock();
      if (self && self->owner) block(*self);
    });
  }

  // Calls the navigation delegate, keeping the web view alive through it.
  template <class F>
  void tellNavigationDelegate(F call) {
    auto delegate = navigationDelegate.lock();
    if (!delegate || !owner) return;
    auto keepAlive = owner->weak_from_this().lock();
    call(*delegate, *owner);
  }

  void dropNavigation() {
    if (navigation && navigation->task) navigation->task->cancel();
    navigation.reset();
    content->setWantedNavigation(0);
  }

  // ---- navigation ----

  void start(PageSource source, NavigationType type, std::optional<size_t> historyIndex = std::nullopt,
             bool pageCaused = false) {
    dropNavigation();
    navigation = Navigation{};
    navigation->id = ++navigationSerial;
    navigation->source = std::move(source);
    navigation->type = type;
    navigation->historyIndex = historyIndex;
    navigation->pageCaused = pageCaused;
    const uint64_t id = navigation->id;
    post([id](Impl& self) { self.decidePolicy(id); });
  }

  void decidePolicy(uint64_t id) {
    if (!isCurrent(id)) return;
    auto delegate = navigationDelegate.lock();
    if (!delegate) {
      proceed(id);
      return;
    }
    NavigationAction action;
    action.request = navigation->source.request;
    action.request.url = navigation->source.url;
    action.request.mainDocumentURL = navigation->source.url;
    action.navigationType = navigation->type;
    action.targetFrame = FrameInfo{true};
    auto decided = std::make_shared<std::atomic<bool>>(false);
    PolicyDecisionHandler handler = [weak = weak(), id, decided](NavigationActionPolicy policy) {
      if (decided->exchange(true)) return;
      mainQueue()->async([weak, id, policy] {
        auto self = weak.lock();
        if (!self || !self->owner || !self->isCurrent(id)) return;
        if (policy == NavigationActionPolicy::Allow) self->proceed(id);
        else self->dropNavigation();
      });
    };
    tellNavigationDelegate([&](NavigationDelegate& d, WebView& view) {
      d.decidePolicyForNavigationAction(view, action, std::move(handler));
    });
  }

  void proceed(uint64_t id) {
    navigation->allowed = true;
    const PageSource& source = navigation->source;
    if (source.kind == PageSource::Kind::HTML) {
      commit(id, source.html, source.readAccessPath);
      return;
    }
    const std::string scheme = urlScheme(source.url);
    if (source.kind == PageSource::Kind::File || scheme == "file") {
      auto path = filePathFromURL(source.url);
      const std::string root = source.kind == PageSource::Kind::File ? source.readAccessPath : path.value_or("");
      if (!path) return fail(id, URLError(URLErrorCode::BadURL));
      if (!isInside(root, *path)) return fail(id, URLError(URLErrorCode::NoPermissionsToReadFile));
      auto html = readWebFile(*path);
      if (!html) return fail(id, html.error());
      commit(id, html.value(), root);
      return;
    }
    if (source.url == "about:blank") {
      commit(id, "", "");
      return;
    }
    if (!isWebScheme(scheme)) return fail(id, URLError(URLErrorCode::UnsupportedURL));
    URLRequest request = source.request;
    request.url = source.url;
    if (navigation->pageCaused) content->chargePageWork(kPageTransferChargeMs);
    navigation->task = URLSession::shared()->dataTask(request, mainQueue(), [weak = weak(), id](DataTaskResult r) {
      auto self = weak.lock();
      if (!self || !self->owner || !self->isCurrent(id)) return;
      self->navigation->task.reset();
      if (r.error) return self->fail(id, *r.error);
      if (r.response && !r.response->url.empty()) self->navigation->source.url = r.response->url;
      self->commit(id, r.body, "");
    });
    navigation->task->resume();
  }

  void fail(uint64_t id, const Error& error) {
    if (!isCurrent(id)) return;
    dropNavigation();
    content->log(WebLogLevel::Warning, "Load failed: " + error.message + " (" + error.domain + " " +
                                           std::to_string(error.code) + ")");
    // Posted, as every delegate call, so that messages the page posted first
    // arrive first.
    post([error](Impl& self) {
      self.tellNavigationDelegate([&](NavigationDelegate& d, WebView& view) { d.didFailNavigation(view, error); });
    });
  }

  // Hands the document to the content side, which makes it the page and runs
  // its scripts (committed, then finished, come back).
  void commit(uint64_t id, std::string html, const std::string& readAccess) {
    ContentLoad load;
    load.navigationId = id;
    load.serial = ++serialCounter;
    load.html = std::move(html);
    load.url = navigation->source.url;
    load.readAccessPath = readAccess;
    load.source = std::make_shared<const PageSource>(navigation->source);
    load.historyIndex = navigation->historyIndex;
    navigation->serial = load.serial;
    content->setWantedNavigation(id);
    content->load(std::move(load));
  }

  void terminate(bool notify) {
    dropNavigation();
    tornDownThrough = serialCounter;
    pageSerial = 0;
    terminated = true;
    // The delegate hears of it once the content side has let the page go.
    content->terminate(serialCounter, notify);
  }

  void reloadCurrent(bool pageCaused = false) {
    if (history.empty()) return;
    start(history[historyIndex], NavigationType::Reload, historyIndex, pageCaused);
  }

  // ---- ContentClient: what the content side tells, on the main queue ----

  void committed(const ContentLoad& load) override {
    if (!owner || load.serial <= tornDownThrough) return;
    pageSerial = load.serial;
    terminated = false;
    if (load.navigationId == 0) return;  // a blank page made for an evaluation
    everCommitted = true;
    pageURL = load.url;
    if (load.historyIndex) {
      historyIndex = *load.historyIndex;
    } else if (load.source) {
      if (!history.empty()) history.resize(historyIndex + 1);
      history.push_back(*load.source);
      historyIndex = history.size() - 1;
    }
    if (isCurrent(load.navigationId)) navigation->committed = true;
  }

  void loadFailed(uint64_t navigationId, const Error& error) override {
    if (owner) fail(navigationId, error);
  }

  void finished(uint64_t navigationId, uint64_t serial) override {
    if (!owner || !isCurrent(navigationId) || !navigation->committed || pageSerial != serial) return;
    dropNavigation();
    tellNavigationDelegate([](NavigationDelegate& d, WebView& view) { d.didFinishNavigation(view); });
  }

  void navigates(uint64_t serial, const std::string& url, NavigationType type) override {
    if (!owner || pageSerial != serial) return;
    content->chargePageWork(kPageNavigationChargeMs);
    if (type == NavigationType::Reload) return reloadCurrent(true);
    PageSource source;
    source.url = url;
    source.request.url = url;
    start(std::move(source), type, std::nullopt, true);
  }

  void opensWindow(uint64_t serial, const std::string& url, NavigationType type) override {
    auto ui = uiDelegate.lock();
    if (!owner || pageSerial != serial || !ui) return;
    content->chargePageWork(kPageNavigationChargeMs);
    NavigationAction action;
    action.request.url = url;
    action.request.mainDocumentURL = url;
    action.navigationType = type;
    auto keepAlive = owner->weak_from_this().lock();
    auto opened = ui->createWebView(*owner, configuration, action, WindowFeatures{});
    if (opened && !url.empty()) opened->loadRequest(action.request);
  }

  void stopped(uint64_t serial, engine::StopReason reason) override {
    if (!owner || reason == engine::StopReason::Interrupted || pageSerial != serial) return;
    if (navigation && navigation->committed && navigation->serial == serial) {
      // The content side dropped the page already.
      const uint64_t id = navigation->id;
      pageSerial = 0;
      terminated = true;
      return fail(id, stopError(reason));
    }
    terminate(true);
  }

  void contentTerminated() override {
    tellNavigationDelegate([](NavigationDelegate& d, WebView& view) { d.webContentProcessDidTerminate(view); });
  }

  void received(ScriptMessage& message) override {
    if (!owner) return;
    auto controller = configuration.userContentController;
    auto handler = controller ? controller->handler(message.name) : nullptr;
    if (!handler) return;
    auto keepAlive = std::static_pointer_cast<WebView>(owner->weak_from_this().lock());
    message.webView = keepAlive;
    Answering answeringPage(*this);
    handler->didReceiveScriptMessage(*controller, message);
  }

  // While it lives, what the host evaluates in this web view answers its page.
  struct Answering {
    Impl& impl;
    explicit Answering(Impl& i) : impl(i) {
      ++impl.answering;
      ++answeringPages;
    }
    ~Answering() {
      --impl.answering;
      --answeringPages;
    }
    Answering(const Answering&) = delete;
    Answering& operator=(const Answering&) = delete;
  };
};

// ---------------------------------------------------------------------------

WebView::WebView(Rect frame, WebViewConfiguration configuration)
    : View(frame), impl_(std::make_shared<Impl>()),
      scrollView_(std::make_shared<ScrollView>(Rect{Point{}, frame.size})) {
  impl_->owner = this;
  impl_->configuration = std::move(configuration);
  impl_->content = WebContent::create(impl_, impl_->configuration);
}

WebView::~WebView() {
  impl_->owner = nullptr;
  impl_->dropNavigation();
  // The page goes on the web-content queue, after what was asked of it.
  impl_->content->terminate(UINT64_MAX, false);
}

const WebViewConfiguration& WebView::configuration() const { return impl_->configuration; }

QueueRef WebView::contentQueue() const { return impl_->content->queue(); }

void WebView::setNavigationDelegate(std::weak_ptr<NavigationDelegate> delegate) {
  assertMainQueue();
  impl_->navigationDelegate = std::move(delegate);
}
std::shared_ptr<NavigationDelegate> WebView::navigationDelegate() const { return impl_->navigationDelegate.lock(); }

void WebView::setUIDelegate(std::weak_ptr<UIDelegate> delegate) {
  assertMainQueue();
  impl_->uiDelegate = std::move(delegate);
}
std::shared_ptr<UIDelegate> WebView::uiDelegate() const { return impl_->uiDelegate.lock(); }

std::shared_ptr<ScrollView> WebView::scrollView() const { return scrollView_; }

void WebView::setFrame(const Rect& frame) {
  View::setFrame(frame);
  scrollView_->setFrame(Rect{Point{}, frame.size});
}

void WebView::loadRequest(const URLRequest& request) {
  assertMainQueue();
  PageSource source;
  source.url = request.url.empty() ? "about:blank" : request.url;
  source.request = request;
  impl_->start(std::move(source), NavigationType::Other);
}

void WebView::loadHTMLString(const std::string& html, const std::string& baseURL) {
  assertMainQueue();
  PageSource source;
  source.kind = PageSource::Kind::HTML;
  source.url = !urlScheme(baseURL).empty() ? baseURL : "about:blank";
  source.html = html;
  if (auto path = filePathFromURL(source.url)) {
    source.readAccessPath = baseURL.back() == '/' ? *path : std::filesystem::path(*path).parent_path().string();
  }
  impl_->start(std::move(source), NavigationType::Other);
}

bool WebView::loadFileURL(const std::string& fileURL, const std::string& readAccessURL) {
  assertMainQueue();
  auto path = filePathFromURL(fileURL);
  auto root = filePathFromURL(readAccessURL);
  if (!path || !root || !isInside(*root, *path)) return false;
  PageSource source;
  source.kind = PageSource::Kind::File;
  source.url = fileURL;
  source.request.url = fileURL;
  source.readAccessPath = *root;
  impl_->start(std::move(source), NavigationType::Other);
  return true;
}

void WebView::stopLoading() {
  assertMainQueue();
  impl_->dropNavigation();
}

void WebView::reload() {
  assertMainQueue();
  impl_->reloadCurrent();
}

std::string WebView::url() const {
  assertMainQueue();
  if (impl_->navigation && impl_->navigation->allowed) return impl_->navigation->source.url;
  return impl_->pageURL;
}

bool WebView::isLoading() const {
  assertMainQueue();
  return impl_->navigation.has_value();
}

bool WebView::canGoBack() const {
  assertMainQueue();
  return !impl_->history.empty() && impl_->historyIndex > 0;
}

bool WebView::canGoForward() const {
  assertMainQueue();
  return impl_->historyIndex + 1 < impl_->history.size();
}

void WebView::goBack() {
  assertMainQueue();
  if (!canGoBack()) return;
  const size_t index = impl_->historyIndex - 1;
  impl_->start(impl_->history[index], NavigationType::BackForward, index);
}

void WebView::goForward() {
  assertMainQueue();
  if (!canGoForward()) return;
  const size_t index = impl_->historyIndex + 1;
  impl_->start(impl_->history[index], NavigationType::BackForward, index);
}

void WebView::evaluateJavaScript(const std::string& script, EvaluationCompletion completion, EvaluationCause cause) {
  assertMainQueue();
  if (impl_->answering > 0) cause = EvaluationCause::AnswersPage;
  const bool answersPage = cause == EvaluationCause::AnswersPage;
  if (answersPage && completion) {
    // What the completion evaluates in turn answers the page too.
    completion = [weak = std::weak_ptr<Impl>(impl_), completion = std::move(completion)](const ScriptEvaluation& r) {
      auto impl = weak.lock();
      if (!impl) return completion(r);
      Impl::Answering answering(*impl);
      completion(r);
    };
  }
  // A blank page is made for it when nothing was ever shown.
  uint64_t blank = 0;
  if (!impl_->everCommitted && impl_->pageSerial == 0 && !impl_->terminated) {
    if (impl_->blankSerial == 0) impl_->blankSerial = ++impl_->serialCounter;
    blank = impl_->blankSerial;
  }
  impl_->content->evaluate(script, blank, std::move(completion), answersPage);
}

bool WebView::isAnsweringPage() { return answeringPages > 0; }

size_t WebView::beaconsInFlightForTesting() const { return impl_->content->beacons()->count(); }

void WebView::terminateWebContentProcess() {
  assertMainQueue();
  if (!impl_->everCommitted && impl_->pageSerial == 0 && !impl_->navigation) return;
  impl_->terminate(true);
}

}  // namespace platform
