#include "presentation/QBNProductPresenter.h"

#include "ownnetwork/web/PMWVWKWebView.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "platform/dispatch.h"
#include "platform/json.h"
#include "presentation/QBNAdViewsManager.h"

std::shared_ptr<QBNProductPresenter> QBNProductPresenter::create(std::weak_ptr<QBNPublisherAgent> publisherAgent) {
  std::shared_ptr<QBNProductPresenter> presenter(new QBNProductPresenter(std::move(publisherAgent)));
  std::weak_ptr<QBNProductPresenter> weak = presenter;
  presenter->failureObservation_ = platform::NotificationCenter::defaultCenter().addObserver(
      presenter, kQBNAdViewPageFailedNotification, nullptr, [weak](const platform::Notification& notice) {
        const auto self = weak.lock();
        const auto id = platform::getString(notice.userInfo(), "adViewId");
        if (self && id) self->adViewPageFailed(*id);
      });
  return presenter;
}

QBNProductPresenter::~QBNProductPresenter() {
  platform::NotificationCenter::defaultCenter().removeObserver(failureObservation_);
}

void QBNProductPresenter::adViewPageFailed(const std::string& adViewId) {
  if (!isCurrentlyPresented() || presentedAdViewId_ != adViewId) return;
  PlovermarkLogManager::sharedManager().log(
      "QBNProductPresenter | the page of the presented ad view " + adViewId + " failed: dismissing it", 3, 5);
  dismissProduct(presentedProductType_, [](const std::optional<platform::Error>& error) {
    if (error) PlovermarkLogManager::sharedManager().log("QBNProductPresenter | dismissal failed: " + error->message, 3, 5);
  });
}

void QBNProductPresenter::setViewControllerForProductType(
    uint32_t productType, const std::shared_ptr<platform::ViewController>& viewController) {
  viewControllersToPresentFrom_[productType] = viewController;
}

std::shared_ptr<platform::ViewController> QBNProductPresenter::viewControllerForProductType(
    uint32_t productType) const {
  const auto it = viewControllersToPresentFrom_.find(productType);
  return it == viewControllersToPresentFrom_.end() ? nullptr : it->second.lock();
}

void QBNProductPresenter::unSetViewControllerForProductType(uint32_t productType) {
  viewControllersToPresentFrom_.erase(productType);
}

void QBNProductPresenter::setStrategy(std::shared_ptr<QBNPresentationStrategyP> strategy) {
  if (isCurrentlyPresented()) return;
  strategy_ = std::move(strategy);
}

bool QBNProductPresenter::isCurrentlyPresented() const { return strategy_ && strategy_->isPresented(); }

std::shared_ptr<platform::View> QBNProductPresenter::presentedView() const {
  return isCurrentlyPresented() ? strategy_->presentedView() : nullptr;
}

std::shared_ptr<platform::ViewController> QBNProductPresenter::presentedViewController() const {
  return isCurrentlyPresented() ? strategy_->presentedViewController() : nullptr;
}

void QBNProductPresenter::presentProduct(uint32_t productType, const std::optional<std::string>& adViewId,
                                         QBNPresentationCompletion completion) {
  // Each request presents with the strategy built for it: two requests in
  // one turn must not both present with the later one's options.
  auto chosen = strategy_;
  std::weak_ptr<QBNProductPresenter> weak = weak_from_this();
  platform::mainQueue()->async([weak, chosen, productType, adViewId, completion = std::move(completion)] {
    const auto self = weak.lock();
    if (!self) return;
    if (!chosen) {
      if (completion) completion(QBNPresentationError(kQBNNoViewToPresent));
      return;
    }
    if (self->isCurrentlyPresented()) {
      if (completion) completion(QBNPresentationError(kQBNAlreadyPresented));
      return;
    }
    const auto adView = adViewId ? QBNAdViewsManager::sharedManager().getAdUnitWebViewById(adViewId) : nullptr;
    if (adView && adView->hasPageFailed()) {
      if (completion) completion(QBNPresentationError(kQBNAdViewPageFailed));
      return;
    }
    self->strategy_ = chosen;
    self->presentedAdViewId_ = adViewId;
    self->presentedProductType_ = productType;
    chosen->presentProductFromViewController(self->viewControllerForProductType(productType),
                                             self->adViewToPresent(adViewId), completion);
  });
}

void QBNProductPresenter::dismissProduct(uint32_t productType, QBNPresentationCompletion completion) {
  std::weak_ptr<QBNProductPresenter> weak = weak_from_this();
  platform::mainQueue()->async([weak, productType, completion = std::move(completion)] {
    const auto self = weak.lock();
    if (!self) return;
    const auto strategy = self->strategy_;
    if (!strategy || !strategy->isPresented()) {
      if (completion) completion(QBNPresentationError(kQBNNothingPresented));
      return;
    }
    strategy->dismissWithCompletionHandler([weak, strategy, productType,
                                            completion](const std::optional<platform::Error>& error) {
      const auto self = weak.lock();
      if (self && !error) {
        // A product presented while this one was leaving keeps its strategy.
        if (self->strategy_ == strategy) self->strategy_.reset();
        self->unSetViewControllerForProductType(productType);
      }
      if (completion) completion(error);
    });
  });
}

std::shared_ptr<platform::View> QBNProductPresenter::adViewToPresent(const std::optional<std::string>& adViewId) const {
  if (adViewId) {
    const auto adView = QBNAdViewsManager::sharedManager().getAdUnitWebViewById(adViewId);
    return adView ? adView->getViewToPresent() : nullptr;
  }
  const auto agent = publisherAgent_.lock();
  const auto webView = agent ? agent->webViewController() : nullptr;
  return webView ? webView->view() : nullptr;
}

void QBNProductPresenter::stopForceCloseTimer() {
  if (strategy_) strategy_->stopForceCloseTimer();
}
