#include "presentation/QBNSecondaryWebViewJSHandler.h"

#include "ownnetwork/interfaces/QBNControllerManagerP.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNFeaturesManager.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "ownnetwork/web/PMWVWebViewFactory.h"
#include "platform/ui/application.h"

namespace {

using platform::Rect;
using platform::View;

constexpr uint32_t kFlexibleSize = platform::AutoresizingMask::FlexibleWidth |
                                   platform::AutoresizingMask::FlexibleHeight;  // 18
constexpr uint32_t kAllFlexible = 63;
constexpr uint32_t kCloseButtonMask = platform::AutoresizingMask::FlexibleLeftMargin |
                                      platform::AutoresizingMask::FlexibleBottomMargin;  // 33

void log(const std::string& text, uint64_t level) {
  PlovermarkLogManager::sharedManager().log("class: QBNSecondaryWebViewJSHandler | " + text, level, 5);
}

}  // namespace

std::shared_ptr<QBNSecondaryWebViewJSHandler> QBNSecondaryWebViewJSHandler::create(
    std::weak_ptr<QBNPublisherAgent> publisherAgent) {
  return std::shared_ptr<QBNSecondaryWebViewJSHandler>(new QBNSecondaryWebViewJSHandler(std::move(publisherAgent)));
}

QBNSecondaryWebViewJSHandler::~QBNSecondaryWebViewJSHandler() { cancelCloseTimer(); }

std::shared_ptr<View> QBNSecondaryWebViewJSHandler::containerView() {
  const auto window = PMAHelperMethods::applicationKeyWindow();
  if (!window || window->subviews().empty()) return nullptr;
  return window->subviews().back();
}

std::shared_ptr<PMWVWKWebView> QBNSecondaryWebViewJSHandler::controllerWebView() const {
  const auto agent = publisherAgent();
  return agent ? agent->webViewController() : nullptr;
}

void QBNSecondaryWebViewJSHandler::openSecondaryWebviewWithUrl(const std::string& url,
                                                               const std::optional<platform::Json>& controlsFrames,
                                                               bool isHidden, std::function<void()> completion) {
  if (isClosePending()) {
    // The page has moved on from the close it asked for: finish that close
    // now and open afresh after it, answering every open that waited.
    std::vector<std::function<void()>> completions;
    if (pendingOpen_) completions = std::move(pendingOpen_->completions);
    if (completion) completions.push_back(std::move(completion));
    pendingOpen_ = PendingOpen{url, controlsFrames, isHidden, std::move(completions)};
    if (!isAnimating_) animateSecondaryClose();
    return;
  }
  if (hasSecondaryView()) {
    loadSecondaryWebviewWithUrl(url);
    secondaryViewContainer_->setHidden(isHidden);
    return;
  }
  PendingOpen request{url, controlsFrames, isHidden, {}};
  if (completion) request.completions.push_back(std::move(completion));
  open(std::move(request));
}

void QBNSecondaryWebViewJSHandler::open(PendingOpen request) {
  const auto controller = controllerWebView();
  const auto controllerView = controller ? controller->view() : nullptr;
  const Rect bounds = controllerView ? controllerView->bounds() : Rect{};
  const double width = bounds.width(), height = bounds.height();

  auto container = std::make_shared<View>(Rect::make(width, 0, width, height));
  container->setBackgroundColor(platform::Color::black());
  container->setAutoresizingMask(kFlexibleSize);
  container->setHidden(request.isHidden);

  auto browsing = std::make_shared<PMWVBrowsingConfiguration>();
  browsing->setMediaPlaybackRequiresUserAction(false);
  browsing->setMediaPlaybackAllowsInLine(true);
  auto webView = PMWVWebViewFactory::defaultWebViewWithFrame(Rect::make(0, 0, width, height), browsing);
  auto webViewView = webView->view();
  webViewView->setBackgroundColor(platform::Color::white());
  webViewView->setAutoresizingMask(kFlexibleSize);
  webViewView->setOpaque(false);
  webView->scrollView()->setBounces(false);
  webView->setWebViewDelegate(weak_from_this());
  container->addSubview(webViewView);
  if (auto into = containerView()) into->insertSubviewAboveSubview(container, controllerView);

  auto spinner = std::make_shared<platform::ActivityIndicator>(platform::ActivityIndicatorStyle::WhiteLarge);
  spinner->setHidesWhenStopped(true);
  spinner->setCenter(webViewView->center());
  spinner->setColor(platform::Color::black());
  spinner->setAutoresizingMask(kAllFlexible);
  container->addSubview(spinner);
  spinner->startAnimating();

  pmaSecondWebView_ = webView;
  secondaryViewContainer_ = container;
  secondarySpinner_ = spinner;
  platform::URLRequest load;
  load.url = request.url;
  webView->loadRequest(load);

  // Only a list of frame objects draws the page's own controls.
  std::vector<Rect> frames;
  bool withControlFrames = false;
  if (request.controlsFrames && request.controlsFrames->is_array() && !request.controlsFrames->empty()) {
    withControlFrames = true;
    const Rect controllerFrame = controllerView ? controllerView->frame() : Rect{};
    for (const auto& entry : *request.controlsFrames) {
      if (!entry.is_object()) continue;
      frames.push_back(PMAHelperMethods::frameForButtonFromParamsDictionary(entry, controllerFrame));
    }
  }
  if (!withControlFrames) container->addSubview(makeCloseButton(webViewView->frame().width()));

  std::weak_ptr<QBNSecondaryWebViewJSHandler> weak = weak_from_this();
  auto completions = std::make_shared<std::vector<std::function<void()>>>(std::move(request.completions));
  View::animateWithDuration(
      kAnimationSeconds, [container, width, height] { container->setFrame(Rect::make(0, 0, width, height)); },
      [weak, container, withControlFrames, frames = std::move(frames), completions](bool) mutable {
        if (auto self = weak.lock()) self->didSlideIn(container, withControlFrames, std::move(frames));
        for (auto& completion : *completions) completion();
      });
}

void QBNSecondaryWebViewJSHandler::didSlideIn(const std::shared_ptr<View>& container, bool withControlFrames,
                                              std::vector<Rect> frames) {
  if (container != secondaryViewContainer_) return;  // closed meanwhile
  if (auto controller = controllerWebView()) controller->setRespondingFrames(std::move(frames));
  if (!withControlFrames) return;
  std::weak_ptr<QBNSecondaryWebViewJSHandler> weak = weak_from_this();
  std::weak_ptr<View> weakContainer = container;
  platform::mainQueue()->after(kBelowControllerDelaySeconds * 1000, [weak, weakContainer] {
    const auto self = weak.lock();
    const auto container = weakContainer.lock();
    // A close asked meanwhile keeps the container above the controller page.
    if (!self || !container || container != self->secondaryViewContainer_ || self->isClosePending()) return;
    const auto controller = self->controllerWebView();
    const auto into = containerView();
    if (!controller || !into) return;
    container->removeFromSuperview();
    into->insertSubviewBelowSubview(container, controller->view());
  });
}

std::shared_ptr<platform::Button> QBNSecondaryWebViewJSHandler::makeCloseButton(double webViewWidth) {
  auto button = std::make_shared<platform::Button>(Rect::make(webViewWidth - 24, 4, 20, 20));
  button->setAutoresizingMask(kCloseButtonMask);
  std::weak_ptr<QBNSecondaryWebViewJSHandler> weak = weak_from_this();
  button->addTarget(
      [weak](platform::Control&) {
        if (auto self = weak.lock()) self->animateSecondaryClose();
      },
      platform::ControlEvents::TouchUpInside);
  if (auto image = platform::Image::imageNamed("X_Black.png")) {
    button->setBackgroundImage(image);
    return button;
  }
  button->setTitle("X");
  button->setFont(platform::Font::boldSystemFontOfSize(20));
  button->setTitleShadowColor(platform::Color::black());
  button->setTitleShadowOffset(platform::Size{1, 1});
  button->setTitleColor(platform::Color::white());
  button->setBackgroundColor(platform::Color::black());
  button->layer().cornerRadius = button->frame().width() / 2;
  button->layer().borderColor = platform::Color::white();
  button->layer().borderWidth = 1.5;
  return button;
}

void QBNSecondaryWebViewJSHandler::handleSecondaryWebViewCallbackWithAction(const std::string& action) {
  if (action == "close") {
    moveSecondaryToFrontAndSendCloseMessage();
  } else if (action == "reload") {
    refreshSecondaryWebView();
  } else if (action == "next") {
    makeWebViewGoForward();
  } else if (action == "back") {
    makeWebViewGoBack();
  }
}

void QBNSecondaryWebViewJSHandler::moveSecondaryToFrontAndSendCloseMessage() {
  const auto controller = controllerWebView();
  if (controller && !controller->respondingFrames().empty() && secondaryViewContainer_) {
    if (auto into = containerView()) into->insertSubviewAboveSubview(secondaryViewContainer_, controller->view());
  }
  runCommand("engageEnd", platform::Json{{"action", "secondaryClose"}}, true);
  cancelCloseTimer();
  std::weak_ptr<QBNSecondaryWebViewJSHandler> weak = weak_from_this();
  closeSecondaryTimer_ = platform::Timer::once(platform::mainQueue(), kCloseDelaySeconds * 1000, [weak] {
    if (auto self = weak.lock()) self->animateSecondaryClose();
  });
}

void QBNSecondaryWebViewJSHandler::animateSecondaryClose(bool) {
  cancelCloseTimer();
  if (isAnimating_) return;
  if (!secondaryViewContainer_) {
    openPending();
    return;
  }
  isAnimating_ = true;
  const auto container = secondaryViewContainer_;
  const Rect frame = container->frame();
  std::weak_ptr<QBNSecondaryWebViewJSHandler> weak = weak_from_this();
  View::animateWithDuration(
      kAnimationSeconds,
      [container, frame] { container->setFrame(Rect::make(frame.width(), 0, frame.width(), frame.height())); },
      [weak](bool) {
        const auto self = weak.lock();
        if (!self) return;
        self->isAnimating_ = false;
        self->tearDown();
        self->openPending();
      });
}

void QBNSecondaryWebViewJSHandler::openPending() {
  if (!pendingOpen_) return;
  PendingOpen request = std::move(*pendingOpen_);
  pendingOpen_.reset();
  open(std::move(request));
}

void QBNSecondaryWebViewJSHandler::tearDown() {
  if (pmaSecondWebView_) {
    pmaSecondWebView_->view()->removeFromSuperview();
    pmaSecondWebView_->setWebViewDelegate({});
    pmaSecondWebView_->stopLoading();
  }
  if (secondaryViewContainer_) secondaryViewContainer_->removeFromSuperview();
  pmaSecondWebView_.reset();
  secondaryViewContainer_.reset();
  secondarySpinner_.reset();
  if (auto controller = controllerWebView()) controller->setRespondingFrames({});
}

void QBNSecondaryWebViewJSHandler::loadSecondaryWebviewWithUrl(const std::string& url) {
  if (!pmaSecondWebView_ || url.empty()) return;
  platform::URLRequest request;
  request.url = url;
  pmaSecondWebView_->loadRequest(request);
}

void QBNSecondaryWebViewJSHandler::closeWebviewWithForce() {
  if (hasSecondaryView()) moveSecondaryToFrontAndSendCloseMessage();
}

void QBNSecondaryWebViewJSHandler::resizeSecondaryWebViewWithCompletion(
    std::function<void(bool, Rect)> completion) {
  const auto agent = publisherAgent();
  const platform::Json properties = agent ? agent->resizeProperties() : platform::Json::object();
  const Rect target = Rect::make(static_cast<double>(qbnjson::integerValue(properties, "offsetX")),
                                 static_cast<double>(qbnjson::integerValue(properties, "offsetY")),
                                 static_cast<double>(qbnjson::integerValue(properties, "width")),
                                 static_cast<double>(qbnjson::integerValue(properties, "height")));
  const auto view = pmaSecondWebView_ ? pmaSecondWebView_->view() : nullptr;
  View::animateWithDuration(
      kAnimationSeconds,
      [view, target] {
        if (view) view->setFrame(target);
      },
      [view, completion = std::move(completion)](bool finished) {
        if (completion) completion(finished, view ? view->frame() : Rect{});
      });
}

void QBNSecondaryWebViewJSHandler::refreshSecondaryWebView() {
  if (!pmaSecondWebView_) return;
  if (pmaSecondWebView_->isLoading()) pmaSecondWebView_->stopLoading();
  pmaSecondWebView_->reload();
}

void QBNSecondaryWebViewJSHandler::makeWebViewGoForward() {
  if (pmaSecondWebView_ && pmaSecondWebView_->canGoForward()) pmaSecondWebView_->goForward();
}

void QBNSecondaryWebViewJSHandler::makeWebViewGoBack() {
  if (pmaSecondWebView_ && pmaSecondWebView_->canGoBack()) {
    pmaSecondWebView_->goBack();
  } else {
    moveSecondaryToFrontAndSendCloseMessage();
  }
}

void QBNSecondaryWebViewJSHandler::loadSuccessfully(const std::shared_ptr<PMWVWebViewP>&) {
  if (secondarySpinner_) secondarySpinner_->stopAnimating();
}

void QBNSecondaryWebViewJSHandler::failedToLoadWithError(const platform::Error& error,
                                                         const std::shared_ptr<PMWVWebViewP>&) {
  log("secondaryWebView failed to load with error: " + error.message, 3);
}

void QBNSecondaryWebViewJSHandler::webViewWebContentProcessDidTerminate(const std::shared_ptr<PMWVWebViewP>&) {
  log("secondaryWebView failed with error: webViewWebContentProcessDidTerminate", 3);
  if (!QBNFeaturesManager::sharedManager().shouldHandleWebViewTerminated()) return;
  closeWebviewWithForce();
  runCommand("webViewTerminated", platform::Json{{"class", "secondaryWebView"}}, false);
}

void QBNSecondaryWebViewJSHandler::runCommand(const std::string& name, const platform::Json& params,
                                              bool decodeFirst) const {
  const auto agent = publisherAgent();
  const auto manager = agent ? agent->controllerManager() : nullptr;
  if (manager) manager->runCommand(name, params, std::nullopt, std::nullopt, decodeFirst);
}

void QBNSecondaryWebViewJSHandler::cancelCloseTimer() {
  if (closeSecondaryTimer_) closeSecondaryTimer_->cancel();
  closeSecondaryTimer_.reset();
}
