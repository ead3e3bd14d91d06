#pragma once
// A view around an ad-unit web view (the banner's view): it tells the
// controller page whenever it enters or leaves a window, and when it is
// removed. Main queue only.
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/view.h"
#include "presentation/QBNAdViewDelegate.h"
#include "presentation/QBNAdViewWebPresenter.h"

class QBNAdContainer : public platform::View, public QBNPresentableAdView {
 public:
  // The size of the presenter's ad (zero without one), with the presenter's
  // web view as its subview; with `shouldUseOffScreenView` it goes into the
  // shared off-screen container.
  static std::shared_ptr<QBNAdContainer> create(std::shared_ptr<QBNAdViewWebPresenter> presenter,
                                                bool shouldUseOffScreenView);

  std::shared_ptr<QBNAdViewWebPresenter> presenter() const { return presenter_; }
  std::shared_ptr<QBNAdSize> getAdSize() const { return presenter_ ? presenter_->adSize() : nullptr; }

  // ---- QBNPresentableAdView: forwarded to the presenter (an action only
  // while there is one; otherwise its completion is not called).
  void loadAdWithURL(const std::optional<std::string>& url, QBNAdViewCompletion completion) override;
  void sendMessage(const std::optional<std::string>& message) override;
  void sendHandleGetViewVisibility() override;
  // With a presenter that still has its logic and web view: "containerWasRemoved"
  // to the delegate at once; then, on the main queue, the container leaves its
  // superview and the presenter is cleaned up and let go.
  void performCleanup() override;
  void performWebViewActionWithActionName(const std::optional<std::string>& actionName,
                                          QBNAdViewCompletion completion) override;
  // The presenter's web view, not the container.
  std::shared_ptr<platform::View> getViewToPresent() override;
  bool hasPageFailed() const override { return presenter_ && presenter_->hasPageFailed(); }

  // "containerIsVisible" with the container's visibility, on every change of
  // window.
  void didMoveToWindow() override;
  // "destroyBanner" with the ad view id ("noIdentifierId" without a
  // presenter) and the container's visibility.
  void destroy();

 private:
  explicit QBNAdContainer(std::shared_ptr<QBNAdViewWebPresenter> presenter);
  std::string adViewId() const;

  std::shared_ptr<QBNAdViewWebPresenter> presenter_;
};
