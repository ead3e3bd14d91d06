#pragma once
// Puts one product at a time on screen through a presentation strategy, and
// keeps, per product type, the view controller the application showed it
// from (held weakly: an entry whose controller is freed reads as none). Main
// queue only.
//
// Present and dismiss hop to the main queue: their completions always run
// after the caller has returned, on the main queue.
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/interfaces/QBNScriptHandlers.h"
#include "presentation/QBNPresentationStrategyP.h"

class QBNProductPresenter : public QBNProductPresenterP, public std::enable_shared_from_this<QBNProductPresenter> {
 public:
  // The publisher gives the controller web view, shown when a present names
  // no ad view.
  static std::shared_ptr<QBNProductPresenter> create(std::weak_ptr<QBNPublisherAgent> publisherAgent);

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
  // a strategy; otherwise that strategy becomes the current one and shows
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

  std::weak_ptr<QBNPublisherAgent> publisherAgent_;
  std::shared_ptr<QBNPresentationStrategyP> strategy_;
  std::map<uint32_t, std::weak_ptr<platform::ViewController>> viewControllersToPresentFrom_;
};
