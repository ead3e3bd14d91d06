#include "presentation/QBNAdContainer.h"

#include "ownnetwork/services/PlovermarkLogManager.h"
#include "platform/dispatch.h"
#include "presentation/QBNViewVisibilityParameters.h"

namespace {

platform::Rect frameOf(const std::shared_ptr<QBNAdViewWebPresenter>& presenter) {
  const auto size = presenter ? presenter->adSize() : nullptr;
  return size ? platform::Rect::make(0, 0, size->width(), size->height()) : platform::Rect{};
}

}  // namespace

QBNAdContainer::QBNAdContainer(std::shared_ptr<QBNAdViewWebPresenter> presenter)
    : platform::View(frameOf(presenter)), presenter_(std::move(presenter)) {}

std::shared_ptr<QBNAdContainer> QBNAdContainer::create(std::shared_ptr<QBNAdViewWebPresenter> presenter,
                                                       bool shouldUseOffScreenView) {
  std::shared_ptr<QBNAdContainer> container(new QBNAdContainer(std::move(presenter)));
  if (container->presenter_) container->addSubview(container->presenter_->getViewToPresent());
  if (shouldUseOffScreenView) QBNAdViewWebPresenter::retainViewOffscreen(container);
  return container;
}

std::string QBNAdContainer::adViewId() const { return presenter_ ? presenter_->identifier() : "noIdentifierId"; }

void QBNAdContainer::loadAdWithURL(const std::optional<std::string>& url, QBNAdViewCompletion completion) {
  if (presenter_) presenter_->loadAdWithURL(url, std::move(completion));
}

void QBNAdContainer::sendMessage(const std::optional<std::string>& message) {
  if (presenter_) presenter_->sendMessage(message);
}

void QBNAdContainer::sendHandleGetViewVisibility() {
  if (presenter_) presenter_->sendHandleGetViewVisibility();
}

void QBNAdContainer::performWebViewActionWithActionName(const std::optional<std::string>& actionName,
                                                        QBNAdViewCompletion completion) {
  if (presenter_) presenter_->performWebViewActionWithActionName(actionName, std::move(completion));
}

std::shared_ptr<platform::View> QBNAdContainer::getViewToPresent() {
  return presenter_ ? presenter_->getViewToPresent() : nullptr;
}

void QBNAdContainer::didMoveToWindow() {
  PlovermarkLogManager::sharedManager().log("QBNAdContainer | visibility changed, attached or detached from view", 1, 5);
  if (!presenter_ || !presenter_->adViewLogic()) return;
  presenter_->adViewLogic()->reportAdContainerIsVisible(
      QBNViewVisibilityParameters::collectViewVisibilityParametersIntoDictionary(sharedView()),
      presenter_->communicatorDelegate(), presenter_->identifier());
}

void QBNAdContainer::performCleanup() {
  if (!presenter_ || !presenter_->adViewLogic() || !presenter_->getViewToPresent()) return;
  presenter_->adViewLogic()->reportAdContainerWasRemovedWithDelegate(presenter_->communicatorDelegate(),
                                                                     presenter_->identifier());
  // The registry has already let go of the container: the block keeps it
  // until its clean-up has run.
  platform::mainQueue()->async([self = std::static_pointer_cast<QBNAdContainer>(sharedView())] {
    self->removeFromSuperview();
    if (self->presenter_) self->presenter_->performCleanup();
    self->presenter_.reset();
  });
}

void QBNAdContainer::destroy() {
  auto params = QBNViewVisibilityParameters::collectViewVisibilityParametersIntoDictionary(sharedView());
  params["adViewId"] = adViewId();
  if (presenter_ && presenter_->adViewLogic()) {
    presenter_->adViewLogic()->reportDestroyWithParam(params, presenter_->communicatorDelegate());
  }
}
