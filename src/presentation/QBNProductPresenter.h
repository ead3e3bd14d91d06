#pragma once
// Puts one product at a time on screen through a presentation strategy, and
// keeps, per product type, the view controller the application showed it
// from (held weakly: an entry whose controller is freed reads as none). Main
// queue only.
//
// Present and dismiss hop to the main queue: their completions always run
// after the caller has returned, on the main queue.
//
// An ad view whose page failed (kQBNAdViewPageFailedNotification) is taken off
// screen at once when it is the one presented, and is never presented: the
// show ends, and the controller page, which hears "adViewFailed" from the ad
// view, reports it to the application.
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/interfaces/QBNScriptHandlers.h"
#include "platform/notifications.h"
#include "presentation/QBNPresentationStrategyP.h"

class QBNProductPresenter : public QBNProductPresenterP, public std::enable_shared_from_this<QBNProductPresenter> {
 public:
  // The publisher gives the controller web view, shown when a present names
  // no ad view.
  static std::shared_ptr<QBNProductPresenter> create(std::weak_ptr<QBNPublisherAgent> publisherAgent);
  ~QBNProductPresenter();

  // ---- QBNProductPresenterP.
  void setViewControllerForProductType(uint32_t productType,
                                       const std::shared_ptr<platform::ViewController>& viewController) override;
  std::shared_ptr<platform::ViewController> viewControllerForProductType(uint32_t productType) const override;
  // When the strategy shows something it is dismissed; once that has
  // succeeded the presenter drops the strategy and the type's view
  // controller. Otherwise: "no product presented on screen".
  void dismissProduct(uint32_t productType, QBNPresentationCompletion completion) override;
  // A strategy is set and it is presented.
  bool isCurrentlyPresented() const override;
  std::shared_ptr<platform::ViewController> presentedViewController() const override;

  void unSetViewControllerForProductType(uint32_t productType);
  std::shared_ptr<QBNPresentationStrategyP> strategy() const { return strategy_; }
  // Ignored while the current strategy is presented.
  void setStrategy(std::shared_ptr<QBNPresentationStrategyP> strategy);
  // Presents with the strategy set when this is called: on the main queue,
  // refused ("some product is already presented on screen") while the
  // current strategy is presented, "did not receive view to present" without
  // a strategy, kQBNAdViewPageFailed when the ad view's page failed;
  // otherwise that strategy becomes the current one and shows
  // adViewToPresent(adViewId) from the type's view controller (may be none).
  void presentProduct(uint32_t productType, const std::optional<std::string>& adViewId,
                      QBNPresentationCompletion completion);
  std::shared_ptr<platform::View> presentedView() const;
  // With an id: the view of the ad view registered under it (none when none
  // is); without: the publisher's controller web view.
  std::shared_ptr<platform::View> adViewToPresent(const std::optional<std::string>& adViewId) const;
  void stopForceCloseTimer();

 private:
  explicit QBNProductPresenter(std::weak_ptr<QBNPublisherAgent> publisherAgent)
      : publisherAgent_(std::move(publisherAgent)) {}
  void adViewPageFailed(const std::string& adViewId);

  std::weak_ptr<QBNPublisherAgent> publisherAgent_;
  platform::ObserverToken failureObservation_ = 0;
  // What the current strategy was asked to show.
  std::optional<std::string> presentedAdViewId_;
  uint32_t presentedProductType_ = 0;
  std::shared_ptr<QBNPresentationStrategyP> strategy_;
  std::map<uint32_t, std::weak_ptr<platform::ViewController>> viewControllersToPresentFrom_;
};
