#pragma once
// The modal, full-screen view controller in which the view-controller
// strategy shows an own-network ad, inside a QBNFullScreenBaseView. It tells
// the controller page "viewableChange" {"isViewable": true} once its view has
// appeared and {"isViewable": false} when it has gone (no callbacks,
// decodeFirst YES). Main queue only.
#include <memory>

#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "platform/notifications.h"
#include "presentation/QBAbstractViewController.h"
#include "presentation/QBNForceCloseHandler.h"
#include "presentation/QBNFullScreenBaseView.h"
#include "presentation/QBNPresentationConfigurations.h"
#include "presentation/QBNPresentationStrategyP.h"

class QBNProductViewController : public QBAbstractViewController {
 public:
  // With the default configuration when none is given. Replies go through
  // the publisher's controller manager (held weakly).
  static std::shared_ptr<QBNProductViewController> create(
      std::shared_ptr<QBNViewControllerPresentationConfiguration> configuration,
      std::weak_ptr<QBNPublisherAgent> publisherAgent);
  ~QBNProductViewController() override;

  const std::shared_ptr<QBNViewControllerPresentationConfiguration>& configuration() const { return configuration_; }
  const std::shared_ptr<QBNFullScreenBaseView>& containerView() const { return containerView_; }
  const std::shared_ptr<platform::View>& adUnitView() const { return adUnitView_; }
  const std::shared_ptr<QBNForceCloseHandler>& forceCloseHandler() const { return forceCloseHandler_; }

  // Shows `adUnitView` from `viewController`, or from the top-most view
  // controller when the configuration says so or none is given. The
  // completion runs once the presentation has finished (after
  // "viewableChange" true), or with an error: no view ("did not receive view
  // to present"), nothing to present from, or a presentation the platform
  // refused (the views are then put back as after a dismissal).
  void presentProductFromViewController(const std::shared_ptr<platform::ViewController>& viewController,
                                        const std::shared_ptr<platform::View>& adUnitView,
                                        QBNPresentationCompletion completion);
  void presentFromViewController(const std::shared_ptr<platform::ViewController>& viewController,
                                 QBNPresentationCompletion completion);
  // Disarms force close, then dismisses this controller (with anything it
  // presents); the completion runs with no error once the dismissal has
  // finished (after "viewableChange" false).
  void dismissWithCompletionHandler(QBNPresentationCompletion completion);
  // Presented by some controller, or on the presented chain of the key
  // window's root controller.
  bool isPresented() const;
  std::shared_ptr<platform::View> presentedView() const { return adUnitView_; }

  void startForceCloseTimer();
  void stopForceCloseTimer();

  // ---- Platform overrides.
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewDidDisappear(bool animated) override;
  bool prefersStatusBarHidden() const override { return configuration_->hideStatusBar(); }
  bool shouldAutorotate() const override;

  // The device-orientation observation is active.
  bool isObservingDeviceOrientationForTesting() const { return orientationObservation_ != 0; }

 protected:
  void viewDidLoad() override;

 private:
  QBNProductViewController(std::shared_ptr<QBNViewControllerPresentationConfiguration> configuration,
                           std::weak_ptr<QBNPublisherAgent> publisherAgent);
  std::shared_ptr<QBNProductViewController> self();
  void prepareViewsForPresentation();
  void hideStatusBarIfNeeded();
  void prepareViewsForClose();
  // After dismissal (or a refused presentation): the container hidden and the
  // shown view back in the key window, when the configuration asks for it.
  void returnViewToHierarchyIfNeeded();
  void animateView();
  void stopObservingDeviceOrientation();
  void sendViewableChange(bool viewable) const;

  std::shared_ptr<QBNViewControllerPresentationConfiguration> configuration_;
  std::weak_ptr<QBNPublisherAgent> publisherAgent_;
  std::shared_ptr<QBNFullScreenBaseView> containerView_;
  std::shared_ptr<platform::View> adUnitView_;
  std::shared_ptr<QBNForceCloseHandler> forceCloseHandler_;
  platform::ObserverToken orientationObservation_ = 0;
};
