#include "presentation/QBNProductViewController.h"

#include "ownnetwork/interfaces/QBNControllerManagerP.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "platform/ui/application.h"
#include "platform/ui/ui_device.h"
#include "presentation/QBNAppOrientationHolder.h"
#include "presentation/QBOrientationManager.h"

QBNProductViewController::QBNProductViewController(
    std::shared_ptr<QBNViewControllerPresentationConfiguration> configuration,
    std::weak_ptr<QBNPublisherAgent> publisherAgent)
    : configuration_(configuration ? std::move(configuration)
                                   : QBNViewControllerPresentationConfiguration::defaultConfiguration()),
      publisherAgent_(std::move(publisherAgent)) {}

std::shared_ptr<QBNProductViewController> QBNProductViewController::create(
    std::shared_ptr<QBNViewControllerPresentationConfiguration> configuration,
    std::weak_ptr<QBNPublisherAgent> publisherAgent) {
  return std::shared_ptr<QBNProductViewController>(
      new QBNProductViewController(std::move(configuration), std::move(publisherAgent)));
}

QBNProductViewController::~QBNProductViewController() { stopObservingDeviceOrientation(); }

std::shared_ptr<QBNProductViewController> QBNProductViewController::self() {
  return std::static_pointer_cast<QBNProductViewController>(shared_from_this());
}

void QBNProductViewController::viewDidLoad() {
  QBAbstractViewController::viewDidLoad();
  std::weak_ptr<QBNProductViewController> weak = self();
  orientationObservation_ = platform::NotificationCenter::defaultCenter().addObserver(
      platform::kUIDeviceOrientationDidChangeNotification, nullptr, [weak](const platform::Notification&) {
        // PloverMarkViewControllerDidChangeOrientation
        if (auto controller = weak.lock()) controller->setNeedsStatusBarAppearanceUpdate();
      });
}

void QBNProductViewController::stopObservingDeviceOrientation() {
  if (orientationObservation_) platform::NotificationCenter::defaultCenter().removeObserver(orientationObservation_);
  orientationObservation_ = 0;
}

void QBNProductViewController::presentProductFromViewController(
    const std::shared_ptr<platform::ViewController>& viewController, const std::shared_ptr<platform::View>& adUnitView,
    QBNPresentationCompletion completion) {
  if (!adUnitView) {
    if (completion) completion(QBNPresentationError(kQBNNoViewToPresent));
    return;
  }
  adUnitView_ = adUnitView;
  const bool useGiven = !configuration_->calcTopViewController() && viewController;
  presentFromViewController(useGiven ? viewController : PMAHelperMethods::topMostController(), std::move(completion));
}

void QBNProductViewController::presentFromViewController(const std::shared_ptr<platform::ViewController>& presenting,
                                                         QBNPresentationCompletion completion) {
  if (!presenting) {
    // Without a key window or root controller there is nothing to present
    // from: the platform would never answer, so the page hears the failure.
    if (completion) completion(QBNPresentationError(kQBNNoViewControllerToPresentFrom));
    return;
  }
  QBNAppOrientationHolder::sharedInstance().setPresentingViewController(presenting);
  prepareViewsForPresentation();
  std::weak_ptr<QBNProductViewController> weak = self();
  auto done = std::make_shared<QBNPresentationCompletion>(std::move(completion));
  const bool started = presenting->presentViewController(self(), configuration_->animateIn(), [done] {
    QBOrientationManager::sharedManager().updateViewsOrientation();
    if (*done) (*done)(std::nullopt);
  });
  if (started) return;
  // The platform refused (the controller already presents another, or is not
  // in a window): undo what was prepared and say so.
  prepareViewsForClose();
  returnViewToHierarchyIfNeeded();
  if (containerView_) containerView_->removeFromSuperview();
  if (*done) (*done)(QBNPresentationError(kQBNPresentationRefused));
}

void QBNProductViewController::prepareViewsForPresentation() {
  hideStatusBarIfNeeded();
  containerView_ = std::make_shared<QBNFullScreenBaseView>();
  containerView_->setAlpha(0.0);
  containerView_->setAdviewToPresent(adUnitView_);
  containerView_->willShowView();
  view()->addSubview(containerView_);
  if (configuration_->supportsForceClose()) startForceCloseTimer();
}

void QBNProductViewController::hideStatusBarIfNeeded() {
  if (configuration_->ModalPresentationStyle() != -1) {
    setModalPresentationStyle(static_cast<int>(configuration_->ModalPresentationStyle()));
  }
  setModalPresentationCapturesStatusBarAppearance(true);
  setNeedsStatusBarAppearanceUpdate();
}

void QBNProductViewController::viewWillAppear(bool animated) {
  QBAbstractViewController::viewWillAppear(animated);
  animateView();
}

void QBNProductViewController::viewDidAppear(bool animated) {
  QBAbstractViewController::viewDidAppear(animated);
  sendViewableChange(true);
}

void QBNProductViewController::viewDidDisappear(bool animated) {
  sendViewableChange(false);
  QBAbstractViewController::viewDidDisappear(animated);
}

bool QBNProductViewController::shouldAutorotate() const {
  if (const auto& value = configuration_->shouldAutorotateVC()) return *value != 0;
  return QBAbstractViewController::shouldAutorotate();
}

void QBNProductViewController::animateView() {
  if (!containerView_ || containerView_->alpha() != 0.0) return;
  const double fade = configuration_->fadeTime();
  if (fade > 0) {
    std::weak_ptr<QBNFullScreenBaseView> container = containerView_;
    platform::View::animateWithDuration(fade, [container] {
      if (auto view = container.lock()) view->setAlpha(1.0);
    });
  } else {
    containerView_->setAlpha(1.0);
  }
}

void QBNProductViewController::dismissWithCompletionHandler(QBNPresentationCompletion completion) {
  prepareViewsForClose();
  std::weak_ptr<QBNProductViewController> weak = self();
  auto finished = [weak, completion = std::move(completion)] {
    if (auto controller = weak.lock()) controller->returnViewToHierarchyIfNeeded();
    if (completion) completion(std::nullopt);
  };
  // From the presenter, so that a store page this controller shows goes with
  // it: dismissing a controller that presents another dismisses only that
  // other one.
  if (auto presenting = presentingViewController()) {
    presenting->dismissViewControllerAnimated(configuration_->animateOut(), std::move(finished));
  } else {
    dismissViewControllerAnimated(configuration_->animateOut(), std::move(finished));
  }
}

void QBNProductViewController::prepareViewsForClose() {
  stopForceCloseTimer();
  if (platform::Device::current().userInterfaceIdiom() != platform::UserInterfaceIdiom::Pad) {
    view()->setFrame(platform::Screen::main().bounds());
  }
  stopObservingDeviceOrientation();
  if (containerView_) containerView_->willHideView();
  setNeedsStatusBarAppearanceUpdate();
}

void QBNProductViewController::returnViewToHierarchyIfNeeded() {
  if (!configuration_->returnPresentedViewToHirrachyWhenDone()) return;
  if (containerView_) containerView_->setHidden(true);
  const auto window = PMAHelperMethods::applicationKeyWindow();
  if (window && adUnitView_) window->insertSubview(adUnitView_, 0);
}

bool QBNProductViewController::isPresented() const {
  PlovermarkLogManager::sharedManager().log("QBNProductViewController | isPresented | checking if view controller presented",
                                            1, 5);
  if (presentingViewController()) return true;
  const auto window = platform::Application::shared().keyWindow();
  for (auto controller = window ? window->rootViewController() : nullptr; controller;
       controller = controller->presentedViewController()) {
    if (controller.get() == this) return true;
  }
  return false;
}

void QBNProductViewController::startForceCloseTimer() {
  std::weak_ptr<QBNProductViewController> weak = self();
  forceCloseHandler_ = QBNForceCloseHandler::armForPresenter(
      adUnitView_,
      [weak] {
        const auto controller = weak.lock();
        return controller && controller->isPresented();
      },
      publisherAgent_);
}

void QBNProductViewController::stopForceCloseTimer() {
  if (forceCloseHandler_) forceCloseHandler_->stopHandlingTouchEvents();
}

void QBNProductViewController::sendViewableChange(bool viewable) const {
  const auto agent = publisherAgent_.lock();
  const auto manager = agent ? agent->controllerManager() : nullptr;
  if (manager) {
    manager->runCommand("viewableChange", platform::Json{{"isViewable", viewable}}, std::nullopt, std::nullopt, true);
  }
}
