#include "presentation/QBNForceCloseHandler.h"

#include "ownnetwork/interfaces/QBNControllerManagerP.h"

std::shared_ptr<QBNForceCloseHandler> QBNForceCloseHandler::create(const std::shared_ptr<platform::View>& view,
                                                                   double timeoutSeconds) {
  return std::shared_ptr<QBNForceCloseHandler>(new QBNForceCloseHandler(view, timeoutSeconds));
}

QBNForceCloseHandler::~QBNForceCloseHandler() {
  if (forceCloseTimer_) forceCloseTimer_->cancel();
  if (tap_) {
    tap_->removeAllTargets();
    tap_->setDelegate({});
    if (auto view = tap_->view()) view->removeGestureRecognizer(tap_);
  }
}

platform::Rect QBNForceCloseHandler::frameForCloseButton() const {
  const auto view = observedView();
  if (!view) return {};
  // Taken at tap time, not when the handler was made: arming happens before
  // the shown view is laid out to fill the screen.
  return platform::Rect::make(view->bounds().size.width - kCloseButtonSide, 0, kCloseButtonSide, kCloseButtonSide);
}

void QBNForceCloseHandler::startHandlingTouchEvents() {
  const auto view = observedView();
  if (isCountingDown() || !view || forceCloseTimeout_ == 0) return;
  if (tap_) {
    if (auto attached = tap_->view()) attached->removeGestureRecognizer(tap_);
  }
  std::weak_ptr<QBNForceCloseHandler> weak = weak_from_this();
  tap_ = platform::TapGestureRecognizer::create([weak](platform::GestureRecognizer& recognizer) {
    if (auto self = weak.lock()) self->qbnViewTapped(recognizer);
  });
  tap_->setNumberOfTapsRequired(1);
  tap_->setDelegate(weak);
  view->addGestureRecognizer(tap_);
}

void QBNForceCloseHandler::stopHandlingTouchEvents() {
  if (tap_) {
    if (auto view = tap_->view()) view->removeGestureRecognizer(tap_);
    tap_.reset();
  }
  if (forceCloseTimer_) forceCloseTimer_->cancel();
  forceCloseTimer_.reset();
}

void QBNForceCloseHandler::qbnViewTapped(platform::GestureRecognizer& recognizer) {
  const auto view = observedView();
  if (!view) return;
  if (!frameForCloseButton().contains(recognizer.locationInView(view.get()))) return;
  if (forceCloseTimer_) forceCloseTimer_->cancel();
  std::weak_ptr<QBNForceCloseHandler> weak = weak_from_this();
  forceCloseTimer_ = platform::Timer::once(platform::mainQueue(), forceCloseTimeout_ * 1000, [weak] {
    if (auto self = weak.lock()) self->closeWebviewWithForce();
  });
}

void QBNForceCloseHandler::closeWebviewWithForce() {
  if (reachedTimeoutBlock_) reachedTimeoutBlock_();
}

std::shared_ptr<QBNForceCloseHandler> QBNForceCloseHandler::armForPresenter(
    const std::shared_ptr<platform::View>& view, std::function<bool()> isPresented,
    std::weak_ptr<QBNPublisherAgent> publisherAgent) {
  auto handler = create(view, kForceCloseTimeoutSeconds);
  handler->setReachedTimeoutBlock([isPresented = std::move(isPresented), publisherAgent = std::move(publisherAgent)] {
    if (!isPresented || !isPresented()) return;
    const auto agent = publisherAgent.lock();
    const auto manager = agent ? agent->controllerManager() : nullptr;
    if (manager) {
      manager->runCommand("engageEnd", platform::Json{{"action", "forceClose"}}, std::nullopt, std::nullopt, false);
    }
  });
  handler->startHandlingTouchEvents();
  return handler;
}
