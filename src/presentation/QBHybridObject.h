#pragma once
// One part of a hybrid ad: a view and the fraction of the screen height it
// takes. A part may have no view (a layout type this library does not know, or
// a store page that was never prepared); it then keeps its place as an empty
// black container.
#include <memory>
#include <string>

namespace platform {
class View;
}

class QBHybridObject {
 public:
  static std::shared_ptr<QBHybridObject> initWithView(std::shared_ptr<platform::View> view, double viewRatio) {
    return std::make_shared<QBHybridObject>(std::move(view), viewRatio);
  }
  QBHybridObject(std::shared_ptr<platform::View> view, double viewRatio)
      : view_(std::move(view)), viewRatio_(viewRatio) {}

  const std::shared_ptr<platform::View>& view() const { return view_; }
  void setView(std::shared_ptr<platform::View> view) { view_ = std::move(view); }
  double viewRatio() const { return viewRatio_; }
  void setViewRatio(double ratio) { viewRatio_ = ratio; }

 private:
  std::shared_ptr<platform::View> view_;
  double viewRatio_;
};

// What the split view tells its owner: it is on screen (its presentation has
// completed) or gone (its dismissal has completed). Main queue.
class QBSplitViewDelegate {
 public:
  virtual ~QBSplitViewDelegate() = default;
  virtual void didDisplaySplitViewCtrlWithViewUniqueId(const std::string& /*viewUniqueId*/) {}
  virtual void didHideSplitViewCtrlWithViewUniqueId(const std::string& /*viewUniqueId*/) {}
};
