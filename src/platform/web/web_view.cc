#include "platform/web/web_view.h"

#include <cassert>
#include <filesystem>
#include <utility>

#include "platform/dispatch.h"
#include "platform/web/html.h"
#include "platform/web/page.h"
#include "platform/web/url.h"
#include "platform/web/web_files.h"

namespace platform {

using web_internal::isInside;
using web_internal::Page;
using web_internal::readWebFile;
using web_internal::webLog;

namespace {

void assertMainQueue() { assert(isMainThread() && "a web view is used from the main queue only"); }

// Where a page comes from; kept in the history so that reload and back load
// the same thing again.
struct PageSource {
  enum class Kind { Request, HTML, File };
  Kind kind = Kind::Request;
  std::string url;             // the page's URL
  URLRequest request;          // Request
  std::string html;            // HTML
  std::string readAccessPath;  // File, HTML with a file base URL: the folder (or file) the page may read
};

bool isWebScheme(const std::string& scheme) { return scheme == "http" || scheme == "https"; }

}  // namespace

// ---------------------------------------------------------------------------

struct WebView::Impl : web_internal::PageClient, std::enable_shared_from_this<Impl> {
  struct Navigation {
    uint64_t id = 0;
    PageSource source;
    NavigationType type = NavigationType::Other;
    std::optional<size_t> historyIndex;  // set for reload and history moves
    bool allowed = false;
    bool committed = false;
    std::shared_ptr<DataTask> task;
    std::vector<web_internal::HtmlScript> scripts;
    size_t nextScript = 0;
  };

  WebView* owner = nullptr;
  WebViewConfiguration configuration;
  std::weak_ptr<NavigationDelegate> navigationDelegate;
  std::weak_ptr<UIDelegate> uiDelegate;

  std::shared_ptr<Page> page;
  uint64_t pageSerial = 0;  // which page a posted page request came from
  bool everCommitted = false;
  bool terminated = false;  // torn down since the last commit
  std::string pageURL;
  std::string readAccessPath;

  uint64_t navigationSerial = 0;
  std::optional<Navigation> navigation;
  std::vector<PageSource> history;
  size_t historyIndex = 0;
  size_t pendingMessageBytes = 0;

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
  }

  void tearDownPage() {
    page.reset();
    ++pageSerial;
  }

  // ---- navigation ----

  void start(PageSource source, NavigationType type, std::optional<size_t> historyIndex = std::nullopt) {
    dropNavigation();
    navigation = Navigation{};
    navigation->id = ++navigationSerial;
    navigation->source = std::move(source);
    navigation->type = type;
    navigation->historyIndex = historyIndex;
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
        else self->navigation.reset();
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
    navigation.reset();
    webLog(WebLogLevel::Warning, "Load failed: " + error.message + " (" + error.domain + " " +
                                     std::to_string(error.code) + ")");
    // Posted, as every delegate call, so that messages the page posted first
    // arrive first.
    post([error](Impl& self) {
      self.tellNavigationDelegate([&](NavigationDelegate& d, WebView& view) { d.didFailNavigation(view, error); });
    });
  }

  void commit(uint64_t id, const std::string& html, const std::string& readAccess) {
    auto document = web_internal::parseHtml(html);
    if (!document) {
      return fail(id, Error{kWebErrorDomain, WebErrorCode::DocumentTooDeep,
                            "the document nests elements deeper than " + std::to_string(web_internal::kMaxHtmlDepth)});
    }
    tearDownPage();
    const std::string url = navigation->source.url;
    page = Page::create(*this, url, configuration.scriptTimeLimitMs);
    if (!page) return fail(id, Error{kWebErrorDomain, WebErrorCode::ContentTerminated, "the page could not be set up"});
    everCommitted = true;
    terminated = false;
    pageURL = url;
    readAccessPath = readAccess;
    if (navigation->historyIndex) {
      historyIndex = *navigation->historyIndex;
    } else {
      if (!history.empty()) history.resize(historyIndex + 1);
      history.push_back(navigation->source);
      historyIndex = history.size() - 1;
    }
    navigation->committed = true;
    navigation->scripts = std::move(document->scripts);
    page->buildDocument(document->treeJson);
    runScripts(id);
  }

  // Runs the document's scripts in order from where it stopped; an external
  // script over the network suspends the run until it arrives.
  void runScripts(uint64_t id) {
    while (isCurrent(id) && !page->isStopped() && navigation->nextScript < navigation->scripts.size()) {
      const auto& script = navigation->scripts[navigation->nextScript++];
      if (!script.hasSrc) {
        page->runScript(script.text, pageURL, script.line);
        continue;
      }
      auto url = page->resolve(script.src);
      const std::string scheme = url ? urlScheme(*url) : "";
      if (scheme == "file") {
        auto source = readPageFile(*url, "Script");
        if (source) page->runScript(*source, *url, 1);
        continue;
      }
      if (!isWebScheme(scheme)) {
        webLog(WebLogLevel::Warning, "Script " + script.src + " not loaded: unsupported URL");
        continue;
      }
      URLRequest request;
      request.url = *url;
      navigation->task = URLSession::shared()->dataTask(request, mainQueue(), [weak = weak(), id, u = *url](DataTaskResult r) {
        auto self = weak.lock();
        if (!self || !self->owner || !self->isCurrent(id)) return;
        self->navigation->task.reset();
        const int status = r.response ? r.response->statusCode : 0;
        if (!r.error && status >= 200 && status < 300) self->page->runScript(r.body, u, 1);
        else webLog(WebLogLevel::Warning, "Script " + u + " not loaded: " + (r.error ? r.error->message : std::to_string(status)));
        self->runScripts(id);
      });
      navigation->task->resume();
      return;
    }
    if (isCurrent(id) && !page->isStopped()) finish(id);
  }

  void finish(uint64_t id) {
    page->setReadyState("interactive");
    page->dispatchEvent("document", "DOMContentLoaded");
    page->setReadyState("complete");
    page->dispatchEvent("window", "load");
    if (!isCurrent(id) || page->isStopped()) return;  // the stop notice fails the load
    navigation.reset();
    post([](Impl& self) {
      self.tellNavigationDelegate([](NavigationDelegate& d, WebView& view) { d.didFinishNavigation(view); });
    });
  }

  // A file the page shown reads (a script element, fetch): only inside the
  // folder it may read. Refusals are logged.
  std::optional<std::string> readPageFile(const std::string& url, const char* what) {
    auto path = filePathFromURL(url);
    std::string refusal;
    if (!path) refusal = "not a local file";
    else if (urlScheme(pageURL) != "file" || readAccessPath.empty()) refusal = "the page is not a file page";
    else if (!isInside(readAccessPath, *path)) refusal = "outside the folder the page may read";
    if (refusal.empty()) {
      auto data = readWebFile(*path);
      if (data) return std::move(data.value());
      refusal = data.error().message;
    }
    webLog(WebLogLevel::Warning, std::string(what) + " " + url + " not read: " + refusal);
    return std::nullopt;
  }

  void terminate(bool notify) {
    dropNavigation();
    tearDownPage();
    terminated = true;
    if (notify) {
      post([](Impl& self) {
        self.tellNavigationDelegate([](NavigationDelegate& d, WebView& view) { d.webContentProcessDidTerminate(view); });
      });
    }
  }

  Page* pageForEvaluation() {
    if (page) return page.get();
    if (terminated) return nullptr;
    page = Page::create(*this, "about:blank", configuration.scriptTimeLimitMs);
    if (page) page->buildDocument(web_internal::parseHtml("")->treeJson);
    return page.get();
  }

  // ---- PageClient: called from inside the page's scripts; only posts ----

  void pageNavigates(const std::string& url, NavigationType type) override {
    const uint64_t serial = pageSerial;
    post([serial, url, type](Impl& self) {
      if (self.pageSerial != serial) return;
      if (type == NavigationType::Reload) return self.reloadCurrent();
      PageSource source;
      source.url = url;
      source.request.url = url;
      self.start(std::move(source), type);
    });
  }

  void pageOpensWindow(const std::string& url, NavigationType type) override {
    const uint64_t serial = pageSerial;
    post([serial, url, type](Impl& self) {
      auto ui = self.uiDelegate.lock();
      if (self.pageSerial != serial || !ui) return;
      NavigationAction action;
      action.request.url = url;
      action.request.mainDocumentURL = url;
      action.navigationType = type;
      auto keepAlive = self.owner->weak_from_this().lock();
      auto opened = ui->createWebView(*self.owner, self.configuration, action, WindowFeatures{});
      if (opened && !url.empty()) opened->loadRequest(action.request);
    });
  }

  uint64_t messageHandlersVersion() override {
    return configuration.userContentController ? configuration.userContentController->version() : 0;
  }
  std::vector<std::string> messageHandlerNames() override {
    return configuration.userContentController ? configuration.userContentController->handlerNames()
                                               : std::vector<std::string>{};
  }

  void pagePostsMessage(const std::string& name, Json body, size_t bytes) override {
    if (pendingMessageBytes + bytes > kMaxPendingScriptMessageBytes) {
      webLog(WebLogLevel::Error, "Message to \"" + name + "\" dropped: messages not yet delivered hold more than " +
                                     std::to_string(kMaxPendingScriptMessageBytes) + " bytes");
      return;
    }
    pendingMessageBytes += bytes;
    auto message = std::make_shared<ScriptMessage>();
    message->name = name;
    message->body = std::move(body);
    message->frameURL = pageURL;
    post([message, bytes](Impl& self) {
      self.pendingMessageBytes -= bytes;
      auto controller = self.configuration.userContentController;
      auto handler = controller ? controller->handler(message->name) : nullptr;
      if (!handler) return;
      auto keepAlive = std::static_pointer_cast<WebView>(self.owner->weak_from_this().lock());
      message->webView = keepAlive;
      handler->didReceiveScriptMessage(*controller, *message);
    });
  }

  void pageFetches(int fetchId, const std::string& url) override {
    const uint64_t serial = pageSerial;
    post([serial, fetchId, url](Impl& self) {
      if (self.pageSerial != serial || !self.page) return;
      auto resolved = self.page->resolve(url).value_or(url);
      std::optional<std::string> text;
      if (!self.configuration.preferences ||
          !self.configuration.preferences->value(Preferences::kAllowFileAccessFromFileURLs).value_or(false)) {
        webLog(WebLogLevel::Warning, "Fetch " + resolved + " refused: file access from file URLs is off");
      } else {
        text = self.readPageFile(resolved, "Fetch");
      }
      self.page->settleFetch(fetchId, text, resolved);
    });
  }

  void pageStopped() override {
    const uint64_t serial = pageSerial;
    post([serial](Impl& self) {
      if (self.pageSerial != serial) return;
      if (self.navigation && self.navigation->committed) {
        const uint64_t id = self.navigation->id;
        self.tearDownPage();
        self.terminated = true;
        return self.fail(id, Error{kWebErrorDomain, WebErrorCode::ScriptTimeLimit,
                                   "a script of the page ran past the time limit"});
      }
      self.terminate(true);
    });
  }

  void reloadCurrent() {
    if (history.empty()) return;
    start(history[historyIndex], NavigationType::Reload, historyIndex);
  }
};

// ---------------------------------------------------------------------------

WebView::WebView(Rect frame, WebViewConfiguration configuration)
    : View(frame), impl_(std::make_shared<Impl>()),
      scrollView_(std::make_shared<ScrollView>(Rect{Point{}, frame.size})) {
  impl_->owner = this;
  impl_->configuration = std::move(configuration);
}

WebView::~WebView() {
  impl_->owner = nullptr;
  impl_->dropNavigation();
  impl_->tearDownPage();
}

const WebViewConfiguration& WebView::configuration() const { return impl_->configuration; }

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

void WebView::evaluateJavaScript(const std::string& script, EvaluationCompletion completion) {
  assertMainQueue();
  mainQueue()->async([weak = impl_->weak(), script, completion = std::move(completion)] {
    auto self = weak.lock();
    ScriptEvaluation result;
    if (!self || !self->owner) {
      result.error = Error{kWebErrorDomain, WebErrorCode::WebViewGone, "the web view is gone"};
    } else if (Page* page = self->pageForEvaluation()) {
      result = page->evaluate(script);
    } else {
      result.error = Error{kWebErrorDomain, WebErrorCode::ContentTerminated, "the page's content was torn down"};
    }
    if (completion) completion(result);
  });
}

void WebView::terminateWebContentProcess() {
  assertMainQueue();
  if (!impl_->everCommitted && !impl_->page && !impl_->navigation) return;
  impl_->terminate(true);
}

}  // namespace platform
