#include "presentation/QBNPresentationStrategies.h"

#include "ownnetwork/interfaces/QBNControllerManagerP.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "platform/ui/view_controller.h"
#include "presentation/QBNAppOrientationHolder.h"

namespace {

void logInfo(const char* method, const char* info) {
  PlovermarkLogManager::sharedManager().log(
      std::string("class: QBNPresentationStrategyStandAloneView | method: ") + method + " | info: " + info, 1, 5);
}

}  // namespace

QBNPresentationStrategyStandAloneView::QBNPresentationStrategyStandAloneView(
    std::shared_ptr<QBNStandaloneViewPresentationConfiguration> configuration,
    std::weak_ptr<QBNPublisherAgent> publisherAgent)
    : configuration_(configuration ? std::move(configuration)
                                   : QBNStandaloneViewPresentationConfiguration::defaultConfiguration()),
      publisherAgent_(std::move(publisherAgent)) {}

void QBNPresentationStrategyStandAloneView::presentProductFromViewController(
    const std::shared_ptr<platform::ViewController>& viewController, const std::shared_ptr<platform::View>& adUnitView,
    QBNPresentationCompletion completion) {
  constexpr char kMethod[] = "presentProductFromViewController:adUnitView:completionHandler:";
  if (!adUnitView) {
    if (completion) completion(QBNPresentationError(kQBNNoViewToPresent));
    return;
  }
  adUnitView_ = adUnitView;
  std::shared_ptr<platform::ViewController> presenting;
  if (!configuration_->calcTopViewController() && viewController) {
    logInfo(kMethod, "using publisher's view controller for standalone");
    presenting = viewController;
  } else {
    logInfo(kMethod, "calculating view controller for standalone");
    presenting = PMAHelperMethods::topMostController();
  }
  if (!presenting) {
    // Nowhere to put the container: the ad is not on screen, so the page
    // hears a failure and no viewability.
    if (completion) completion(QBNPresentationError(kQBNNoViewControllerToPresentFrom));
    return;
  }
  presentingViewController_ = presenting;
  QBNAppOrientationHolder::sharedInstance().setPresentingViewController(presenting);

  containerView_ = std::make_shared<QBNFullScreenBaseView>();
  containerView_->setAlpha(0.0);
  containerView_->setAdviewToPresent(adUnitView_);
  containerView_->willShowView();
  presenting->view()->addSubview(containerView_);
  if (configuration_->supportsForceClose()) startForceCloseTimer();

  if (containerView_->alpha() == 0.0) {
    if (configuration_->fadeTime() > 0) {
      std::weak_ptr<QBNFullScreenBaseView> container = containerView_;
      platform::View::animateWithDuration(configuration_->fadeTime(), [container] {
        if (auto view = container.lock()) view->setAlpha(1.0);
      });
    } else {
      containerView_->setAlpha(1.0);
    }
  }
  sendViewableChange(true);
  if (completion) completion(std::nullopt);
}

void QBNPresentationStrategyStandAloneView::dismissWithCompletionHandler(QBNPresentationCompletion completion) {
  if (forceCloseHandler_) forceCloseHandler_->stopHandlingTouchEvents();
  if (containerView_) {
    containerView_->willHideView();
    if (configuration_->returnPresentedViewToHirrachyWhenDone()) {
      containerView_->setHidden(true);
      const auto window = PMAHelperMethods::applicationKeyWindow();
      if (window && adUnitView_) window->insertSubview(adUnitView_, 0);
    }
    containerView_->removeFromSuperview();
  }
  sendViewableChange(false);
  if (completion) completion(std::nullopt);
}

bool QBNPresentationStrategyStandAloneView::isPresented() const {
  return containerView_ && containerView_->isPresented();
}

std::shared_ptr<platform::ViewController> QBNPresentationStrategyStandAloneView::presentedViewController() const {
  return isPresented() ? presentingViewController_.lock() : nullptr;
}

void QBNPresentationStrategyStandAloneView::startForceCloseTimer() {
  std::weak_ptr<QBNPresentationStrategyStandAloneView> weak = weak_from_this();
  forceCloseHandler_ = QBNForceCloseHandler::armForPresenter(
      adUnitView_,
      [weak] {
        const auto strategy = weak.lock();
        return strategy && strategy->isPresented();
      },
      publisherAgent_);
}

void QBNPresentationStrategyStandAloneView::stopForceCloseTimer() {
  if (forceCloseHandler_) forceCloseHandler_->stopHandlingTouchEvents();
}

void QBNPresentationStrategyStandAloneView::sendViewableChange(bool viewable) const {
  const auto agent = publisherAgent_.lock();
  const auto manager = agent ? agent->controllerManager() : nullptr;
  if (manager) {
    manager->runCommand("viewableChange", platform::Json{{"isViewable", viewable}}, std::nullopt, std::nullopt, true);
  }
}
