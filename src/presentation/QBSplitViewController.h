#pragma once
// The hybrid ad's full-screen controller: its parts (the controller page's
// web view, a store page) stacked top to bottom, each in a black container
// whose height is its ratio of the screen's. A store page embedded in it is
// its child, not presented, so closing that page dismisses nothing. Main
// queue only.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/json.h"
#include "platform/notifications.h"
#include "platform/ui/layout_constraint.h"
#include "presentation/QBAbstractView.h"
#include "presentation/QBAbstractViewController.h"
#include "presentation/QBHybridObject.h"

class QBSplitViewController : public QBAbstractViewController {
 public:
  // initWithViewJsonArray:andViewUniqueId: (the id is kept by show, not here).
  static std::shared_ptr<QBSplitViewController> initWithViewJsonArray(
      std::vector<std::shared_ptr<QBHybridObject>> hybridObjects, const std::string& viewUniqueId);
  explicit QBSplitViewController(std::vector<std::shared_ptr<QBHybridObject>> hybridObjects = {});
  // Stops observing notifications.
  ~QBSplitViewController() override;

  std::shared_ptr<QBSplitViewDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<QBSplitViewDelegate> delegate) { delegate_ = std::move(delegate); }
  uint32_t productType() const { return productType_; }
  const std::string& viewUniqueId() const { return viewUniqueId_; }
  const std::vector<std::shared_ptr<QBHybridObject>>& hybridObjectsArray() const { return hybridObjectsArray_; }
  const std::vector<std::shared_ptr<platform::View>>& viewsArray() const { return viewsArray_; }
  const std::vector<std::shared_ptr<platform::LayoutConstraint>>& viewHeightConstraintArray() const {
    return viewHeightConstraintArray_;
  }
  const std::shared_ptr<QBAbstractView>& baseViewContainer() const { return baseViewContainer_; }

  // Keeps the type and the id, gives every controller part the controller
  // page's web view, captures the status bar, and presents itself without
  // animation from the top-most view controller; once that presentation has
  // completed the delegate hears didDisplay. False when the platform refuses
  // the presentation (nothing to present from, or it already presents one):
  // the controller page's web view then goes back hidden to the bottom of the
  // key window and nothing is reported.
  bool show(uint32_t productType, const std::string& viewUniqueId);
  // Orientation updates off, the controller page's web view back hidden at
  // the bottom of the key window, then a 0.3 s fade out, then the dismissal
  // (through the presenting controller, so that a store page shown over the
  // split view goes too), then the delegate hears didHide. A hide while one
  // runs does nothing.
  void hide();
  // Whether this controller is on the chain of presented controllers from
  // the key window's root view controller.
  bool isPresented() const;
  // New height constraints with multipliers from the layout's "screenRatio"
  // values, one element per part in order; the old ones are deactivated. A
  // layout of another length changes nothing (false).
  bool updateConstraintsForViews(const platform::Json& layout);
  // The containers, their height constraints and the parts in them (once:
  // a later appearance puts the parts back into the containers made first).
  void createViews();
  // A layout element's "screenRatio" (a number, or a text read as one); 0
  // without one.
  static double screenRatioOf(const platform::Json& element);
  static void addSubviewWithFullScreenConstrains(const std::shared_ptr<platform::View>& view,
                                                 const std::shared_ptr<platform::View>& toView);
  void handleStatusBar();
  void QBSplitViewControllerDidChangeOrientation(const platform::Notification& notification);

  // "viewableChange" {"isViewable": true} once on screen, false as it goes.
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

 protected:
  // The base view becomes the root view and follows orientation; device
  // rotations ask for a status-bar update.
  void viewDidLoad() override;

 private:
  void sendViewableChange(bool viewable) const;
  void stopObserving();

  std::weak_ptr<QBSplitViewDelegate> delegate_;
  uint32_t productType_ = 0;
  std::vector<std::shared_ptr<QBHybridObject>> hybridObjectsArray_;
  std::vector<std::shared_ptr<platform::View>> viewsArray_;
  std::vector<std::shared_ptr<platform::LayoutConstraint>> viewHeightConstraintArray_;
  std::string viewUniqueId_;
  std::shared_ptr<QBAbstractView> baseViewContainer_;
  platform::ObserverToken orientationObservation_ = 0;
  bool hiding_ = false;
  bool viewsCreated_ = false;
};
