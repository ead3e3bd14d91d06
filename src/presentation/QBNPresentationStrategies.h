#pragma once
// The two ways of putting a product on screen: as the modal
// QBNProductViewController, or as a full-screen view inserted into the
// presenting view controller's view. Main queue only.
#include <memory>

#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "presentation/QBNForceCloseHandler.h"
#include "presentation/QBNFullScreenBaseView.h"
#include "presentation/QBNPresentationConfigurations.h"
#include "presentation/QBNPresentationStrategyP.h"
#include "presentation/QBNProductViewController.h"

// Everything goes to its product view controller, which is also what it
// presents.
class QBNPresentationStrategyViewController : public QBNPresentationStrategyP {
 public:
  QBNPresentationStrategyViewController(std::shared_ptr<QBNViewControllerPresentationConfiguration> configuration,
                                        std::weak_ptr<QBNPublisherAgent> publisherAgent)
      : productViewController_(QBNProductViewController::create(std::move(configuration), std::move(publisherAgent))) {}

  const std::shared_ptr<QBNProductViewController>& productViewController() const { return productViewController_; }

  void presentProductFromViewController(const std::shared_ptr<platform::ViewController>& viewController,
                                        const std::shared_ptr<platform::View>& adUnitView,
                                        QBNPresentationCompletion completion) override {
    productViewController_->presentProductFromViewController(viewController, adUnitView, std::move(completion));
  }
  void dismissWithCompletionHandler(QBNPresentationCompletion completion) override {
    productViewController_->dismissWithCompletionHandler(std::move(completion));
  }
  bool isPresented() const override { return productViewController_->isPresented(); }
  std::shared_ptr<platform::View> presentedView() const override { return productViewController_->presentedView(); }
  std::shared_ptr<platform::ViewController> presentedViewController() const override { return productViewController_; }
  void stopForceCloseTimer() override { productViewController_->stopForceCloseTimer(); }

 private:
  std::shared_ptr<QBNProductViewController> productViewController_;
};

// The ad goes into a new QBNFullScreenBaseView added on top of the presenting
// controller's view; "viewableChange" true is sent before the present's
// completion and false before the dismissal's (no callbacks, decodeFirst
// YES).
class QBNPresentationStrategyStandAloneView : public QBNPresentationStrategyP,
                                              public std::enable_shared_from_this<QBNPresentationStrategyStandAloneView> {
 public:
  QBNPresentationStrategyStandAloneView(std::shared_ptr<QBNStandaloneViewPresentationConfiguration> configuration,
                                        std::weak_ptr<QBNPublisherAgent> publisherAgent);

  const std::shared_ptr<QBNStandaloneViewPresentationConfiguration>& configuration() const { return configuration_; }
  const std::shared_ptr<QBNFullScreenBaseView>& containerView() const { return containerView_; }
  const std::shared_ptr<QBNForceCloseHandler>& forceCloseHandler() const { return forceCloseHandler_; }

  // From `viewController` unless the configuration asks for the top-most
  // controller or none is given. Fails without a view, or with nothing to
  // present from (no "viewableChange" then). Completes before returning.
  void presentProductFromViewController(const std::shared_ptr<platform::ViewController>& viewController,
                                        const std::shared_ptr<platform::View>& adUnitView,
                                        QBNPresentationCompletion completion) override;
  // Completes before returning, with no error.
  void dismissWithCompletionHandler(QBNPresentationCompletion completion) override;
  // The container is in a superview and not hidden.
  bool isPresented() const override;
  std::shared_ptr<platform::View> presentedView() const override { return adUnitView_; }
  // The controller the container was added to, while presented.
  std::shared_ptr<platform::ViewController> presentedViewController() const override;
  void stopForceCloseTimer() override;
  void startForceCloseTimer();

 private:
  void sendViewableChange(bool viewable) const;

  std::shared_ptr<QBNStandaloneViewPresentationConfiguration> configuration_;
  std::weak_ptr<QBNPublisherAgent> publisherAgent_;
  std::shared_ptr<QBNFullScreenBaseView> containerView_;
  std::shared_ptr<platform::View> adUnitView_;
  std::shared_ptr<QBNForceCloseHandler> forceCloseHandler_;
  std::weak_ptr<platform::ViewController> presentingViewController_;
};
