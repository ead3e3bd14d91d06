#pragma once
// The hybrid ad: the controller page's web view and a prepared store page on
// one screen, stacked as the page's layout ("hybridJson") says, in a
// QBSplitViewController. Serves "displayWebView" with "hybridView" true and
// "hybridChangeRatio", and tells the page "appStoreInsideDisplayHybrid" once
// the split view is on screen and "appStoreInsideHideHybrid" once it is gone
// ({"viewUniqueId"}, decodeFirst YES, no callbacks). Made once by the
// publisher through the handler factories; main queue only.
//
// "hybridJson" is percent-escaped JSON text of an array of {"viewType":
// "controller" | "store", "screenRatio": number}, top to bottom. Text that
// does not parse, or a value that is no array, is logged and shows or
// changes nothing.
#include <memory>
#include <string>

#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/interfaces/QBNScriptHandlers.h"
#include "presentation/QBHybridObject.h"
#include "presentation/QBSplitViewController.h"

class QBNHybridAdPresenter : public QBNHybridAdPresenterP,
                             public QBSplitViewDelegate,
                             public std::enable_shared_from_this<QBNHybridAdPresenter> {
 public:
  // initWithPublisherAgent: keeps the publisher weakly.
  static std::shared_ptr<QBNHybridAdPresenter> create(std::weak_ptr<QBNPublisherAgent> publisherAgent);

  std::shared_ptr<QBNPublisherAgent> publisherAgent() const { return publisherAgent_.lock(); }
  // The split view of the last show.
  const std::shared_ptr<QBSplitViewController>& splitViewCtrl() const { return splitViewCtrl_; }

  // "viewUniqueId", "hybridJson": builds the parts and shows a new split view.
  // While the previous split view is still presented (or hiding), the show is
  // refused with the page's "fail" {"errMsg": "some product is already
  // presented on screen"}; when the platform refuses to present, the "fail"
  // is "did not find view controller to present from".
  void showHybridViewControllerWithDictionary(const platform::Json& params, uint32_t productType) override;
  // "hybridJson": new height ratios for the shown parts (nothing without a
  // split view).
  void handleHybridViewRatioConstrains(const platform::Json& params) override;
  void hideHybridAd() override;
  bool isPresented() const override;
  std::shared_ptr<platform::ViewController> presentedViewController() const override;

  // "controller": a new QBNFullScreenBaseView; "store": the view of the store
  // page prepared for the id (none without one); anything else: none.
  std::shared_ptr<platform::View> getViewFromStringViewType(const std::string& viewType,
                                                            const std::string& viewUniqueId) const;

  void didDisplaySplitViewCtrlWithViewUniqueId(const std::string& viewUniqueId) override;
  void didHideSplitViewCtrlWithViewUniqueId(const std::string& viewUniqueId) override;

 private:
  explicit QBNHybridAdPresenter(std::weak_ptr<QBNPublisherAgent> publisherAgent)
      : publisherAgent_(std::move(publisherAgent)) {}
  // The layout of "hybridJson", or none (logged at `decodedLogLevel` and, on
  // failure, at level 3).
  static std::optional<platform::Json> layoutFrom(const platform::Json& params, uint64_t decodedLogLevel);
  void runCommand(const std::string& name, const platform::Json& params) const;
  void sendFail(const platform::Json& params, const std::string& message) const;

  std::weak_ptr<QBNPublisherAgent> publisherAgent_;
  std::shared_ptr<QBSplitViewController> splitViewCtrl_;
};
