#include "presentation/QBSplitViewController.h"

#include <cmath>
#include <charconv>

#include "ownnetwork/interfaces/QBNControllerManagerP.h"
#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/web/PMWVWKWebView.h"
#include "platform/ui/application.h"
#include "platform/ui/orientation.h"
#include "presentation/QBAppStoreViewController.h"
#include "presentation/QBConstrainsHelper.h"
#include "presentation/QBNFullScreenBaseView.h"

namespace {

std::shared_ptr<platform::View> controllerPageView() {
  const auto publisher = QBNPublisherAgent::sharedInstance();
  const auto webView = publisher ? publisher->webViewController() : nullptr;
  return webView ? webView->view() : nullptr;
}

// Hidden, at the back of the key window, as the publisher keeps it while no
// ad shows it.
void returnControllerPageView() {
  const auto view = controllerPageView();
  const auto window = PMAHelperMethods::applicationKeyWindow();
  if (!view || !window) return;
  view->setHidden(true);
  window->insertSubview(view, 0);
}

}  // namespace

std::shared_ptr<QBSplitViewController> QBSplitViewController::initWithViewJsonArray(
    std::vector<std::shared_ptr<QBHybridObject>> hybridObjects, const std::string&) {
  return std::make_shared<QBSplitViewController>(std::move(hybridObjects));
}

QBSplitViewController::QBSplitViewController(std::vector<std::shared_ptr<QBHybridObject>> hybridObjects)
    : hybridObjectsArray_(std::move(hybridObjects)), baseViewContainer_(std::make_shared<QBAbstractView>()) {}

QBSplitViewController::~QBSplitViewController() { stopObserving(); }

bool QBSplitViewController::show(uint32_t productType, const std::string& viewUniqueId) {
  productType_ = productType;
  viewUniqueId_ = viewUniqueId;
  const auto webView = controllerPageView();
  for (const auto& part : hybridObjectsArray_) {
    if (auto base = std::dynamic_pointer_cast<QBNFullScreenBaseView>(part->view())) {
      base->setAdviewToPresent(webView);
      base->willShowView();
      base->setOrientationUpdates(false);
    }
  }
  handleStatusBar();
  const auto presenter = PMAHelperMethods::topMostController();
  std::weak_ptr<QBSplitViewController> weak = std::static_pointer_cast<QBSplitViewController>(sharedController());
  const bool presented = presenter && presenter->presentViewController(sharedController(), false, [weak] {
    const auto self = weak.lock();
    if (!self) return;
    if (auto delegate = self->delegate()) delegate->didDisplaySplitViewCtrlWithViewUniqueId(self->viewUniqueId_);
  });
  if (!presented) {
    for (const auto& part : hybridObjectsArray_) {
      if (auto base = std::dynamic_pointer_cast<QBNFullScreenBaseView>(part->view())) base->willHideView();
    }
    returnControllerPageView();
  }
  return presented;
}

void QBSplitViewController::hide() {
  if (hiding_) return;
  hiding_ = true;
  baseViewContainer_->setOrientationUpdates(false);
  for (const auto& part : hybridObjectsArray_) {
    if (auto base = std::dynamic_pointer_cast<QBNFullScreenBaseView>(part->view())) base->willHideView();
  }
  returnControllerPageView();
  const auto root = view();
  stopObserving();
  std::weak_ptr<QBSplitViewController> weak = std::static_pointer_cast<QBSplitViewController>(sharedController());
  platform::View::animateWithDuration(
      0.3, [root] { root->setAlpha(0.0); },
      [weak](bool) {
        const auto self = weak.lock();
        if (!self) return;
        auto done = [weak] {
          const auto self = weak.lock();
          if (!self) return;
          self->hiding_ = false;
          if (auto delegate = self->delegate()) delegate->didHideSplitViewCtrlWithViewUniqueId(self->viewUniqueId_);
        };
        const auto presenter = self->presentingViewController();
        (presenter ? presenter : self)->dismissViewControllerAnimated(false, std::move(done));
      });
}

double QBSplitViewController::screenRatioOf(const platform::Json& element) {
  if (!element.is_object() || !element.contains("screenRatio")) return 0;
  const auto& value = element["screenRatio"];
  if (value.is_number()) return value.get<double>();
  if (!value.is_string()) return 0;
  const auto& text = value.get_ref<const std::string&>();
  size_t at = text.find_first_not_of(" \t\n\r\f\v");
  if (at == std::string::npos) return 0;
  if (text[at] == '+') ++at;
  double ratio = 0;
  if (std::from_chars(text.data() + at, text.data() + text.size(), ratio).ec != std::errc()) return 0;
  return std::isfinite(ratio) ? ratio : 0;
}

bool QBSplitViewController::isPresented() const {
  const auto window = PMAHelperMethods::applicationKeyWindow();
  auto controller = window ? window->rootViewController() : nullptr;
  while (controller) {
    controller = controller->presentedViewController();
    if (controller.get() == this) return true;
  }
  return false;
}

bool QBSplitViewController::updateConstraintsForViews(const platform::Json& layout) {
  if (!layout.is_array() || layout.size() != viewHeightConstraintArray_.size()) return false;
  std::vector<std::shared_ptr<platform::LayoutConstraint>> made;
  for (size_t i = 0; i < layout.size(); ++i) {
    const auto& old = viewHeightConstraintArray_[i];
    const double ratio = screenRatioOf(layout[i]);
    made.push_back(platform::LayoutConstraint::constraintWithItem(old->firstItem(), old->firstAttribute(),
                                                                  old->relation(), old->secondItem(),
                                                                  old->secondAttribute(), ratio, 0));
  }
  platform::LayoutConstraint::deactivateConstraints(viewHeightConstraintArray_);
  platform::LayoutConstraint::activateConstraints(made);
  viewHeightConstraintArray_ = std::move(made);
  return true;
}

void QBSplitViewController::createViews() {
  const auto root = view();
  if (viewsCreated_) {
    // A later appearance: the parts go back into the containers made first.
    for (size_t i = 0; i < viewsArray_.size() && i < hybridObjectsArray_.size(); ++i) {
      const auto& part = hybridObjectsArray_[i]->view();
      if (part && part->superview() != viewsArray_[i]) addSubviewWithFullScreenConstrains(part, viewsArray_[i]);
    }
    return;
  }
  viewsCreated_ = true;
  root->setBackgroundColor(platform::Color::black());
  for (size_t i = 0; i < hybridObjectsArray_.size(); ++i) {
    const auto& part = hybridObjectsArray_[i];
    auto container = std::make_shared<platform::View>();
    container->setBackgroundColor(platform::Color::black());
    viewsArray_.push_back(container);
    root->addSubview(container);
    const bool first = i == 0;
    auto height = QBConstrainsHelper::setView(container, first ? root : viewsArray_[i - 1], part->viewRatio(), first);
    std::shared_ptr<QBAppStoreViewController> store;
    if (part->view()) store = std::dynamic_pointer_cast<QBAppStoreViewController>(part->view()->nextResponder());
    if (store) addChildViewController(store);
    viewHeightConstraintArray_.push_back(std::move(height));
    if (part->view()) addSubviewWithFullScreenConstrains(part->view(), container);
    if (store) store->didMoveToParentViewController(sharedController());
  }
}

void QBSplitViewController::addSubviewWithFullScreenConstrains(const std::shared_ptr<platform::View>& view,
                                                               const std::shared_ptr<platform::View>& toView) {
  if (!view || !toView) return;
  toView->addSubview(view);
  view->setTranslatesAutoresizingMaskIntoConstraints(false);
  QBConstrainsHelper::setFullScreenConstraintsForViewAccordingToSuperView(view);
}

void QBSplitViewController::handleStatusBar() {
  setModalPresentationCapturesStatusBarAppearance(true);
  setNeedsStatusBarAppearanceUpdate();
}

void QBSplitViewController::QBSplitViewControllerDidChangeOrientation(const platform::Notification&) {
  setNeedsStatusBarAppearanceUpdate();
}

void QBSplitViewController::viewDidLoad() {
  QBAbstractViewController::viewDidLoad();
  setView(baseViewContainer_);
  baseViewContainer_->setOrientationUpdates(true);
  std::weak_ptr<QBSplitViewController> weak = std::static_pointer_cast<QBSplitViewController>(sharedController());
  orientationObservation_ = platform::NotificationCenter::defaultCenter().addObserver(
      weak, platform::kUIDeviceOrientationDidChangeNotification, nullptr,
      [weak](const platform::Notification& notification) {
        if (auto self = weak.lock()) self->QBSplitViewControllerDidChangeOrientation(notification);
      });
}

void QBSplitViewController::viewWillAppear(bool animated) {
  QBAbstractViewController::viewWillAppear(animated);
  createViews();
}

void QBSplitViewController::viewDidAppear(bool animated) {
  QBAbstractViewController::viewDidAppear(animated);
  sendViewableChange(true);
}

void QBSplitViewController::viewWillDisappear(bool animated) {
  QBAbstractViewController::viewWillDisappear(animated);
  for (const auto& part : hybridObjectsArray_) {
    if (part->view()) part->view()->setTranslatesAutoresizingMaskIntoConstraints(true);
  }
  sendViewableChange(false);
}

void QBSplitViewController::sendViewableChange(bool viewable) const {
  const auto publisher = QBNPublisherAgent::sharedInstance();
  const auto manager = publisher ? publisher->controllerManager() : nullptr;
  if (!manager) return;
  manager->runCommand("viewableChange", platform::Json{{"isViewable", viewable}}, std::nullopt, std::nullopt, true);
}

void QBSplitViewController::stopObserving() {
  if (orientationObservation_ == 0) return;
  platform::NotificationCenter::defaultCenter().removeObserver(orientationObservation_);
  orientationObservation_ = 0;
}
