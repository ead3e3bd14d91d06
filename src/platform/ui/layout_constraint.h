#pragma once
// Layout constraints of the headless UI layer: records of
//   firstItem.firstAttribute = secondItem.secondAttribute * multiplier + constant
// that the layout pass turns into frames for the shapes this library uses
// (see View::layoutSubviews and docs/ui-layer.md). Main queue only.
#include <memory>
#include <vector>

namespace platform {

class View;

// NSLayoutAttribute, with the platform's values.
enum class LayoutAttribute : int {
  NotAnAttribute = 0,
  Left = 1,
  Right = 2,
  Top = 3,
  Bottom = 4,
  Leading = 5,
  Trailing = 6,
  Width = 7,
  Height = 8,
  CenterX = 9,
  CenterY = 10,
};

// NSLayoutRelation: only equality is used here.
enum class LayoutRelation : int { Equal = 0 };

class LayoutConstraint : public std::enable_shared_from_this<LayoutConstraint> {
 public:
  // A new, inactive constraint. The items are held weakly; `second` may be
  // null for a constant (then secondAttribute is NotAnAttribute).
  static std::shared_ptr<LayoutConstraint> constraintWithItem(const std::shared_ptr<View>& first,
                                                              LayoutAttribute firstAttribute, LayoutRelation relation,
                                                              const std::shared_ptr<View>& second,
                                                              LayoutAttribute secondAttribute, double multiplier,
                                                              double constant);

  std::shared_ptr<View> firstItem() const { return first_.lock(); }
  LayoutAttribute firstAttribute() const { return firstAttribute_; }
  LayoutRelation relation() const { return relation_; }
  std::shared_ptr<View> secondItem() const { return second_.lock(); }
  LayoutAttribute secondAttribute() const { return secondAttribute_; }
  double multiplier() const { return multiplier_; }
  double constant() const { return constant_; }
  // Marks the constrained views for layout.
  void setConstant(double constant);

  bool isActive() const { return !holder_.expired(); }
  // Activating hands the constraint to the nearest common ancestor of its
  // items (the first item itself without a second) and marks that view for
  // layout. Items without a common ancestor (different trees, or an item
  // already gone) leave the constraint inactive. Deactivating removes it.
  void setActive(bool active);
  static void activateConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints);
  static void deactivateConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints);

  // True when `view` is one of the items.
  bool involves(const View* view) const;

 private:
  friend class View;
  LayoutConstraint() = default;

  std::weak_ptr<View> first_;
  LayoutAttribute firstAttribute_ = LayoutAttribute::NotAnAttribute;
  LayoutRelation relation_ = LayoutRelation::Equal;
  std::weak_ptr<View> second_;
  bool hasSecond_ = false;
  LayoutAttribute secondAttribute_ = LayoutAttribute::NotAnAttribute;
  double multiplier_ = 1;
  double constant_ = 0;
  std::weak_ptr<View> holder_;  // set while active
};

// The end-of-turn layout pass (see docs/ui-layer.md). Views call request()
// when a view of `window`'s tree is marked; the pass lays out each requested
// window (layoutIfNeeded) at the end of the current main-queue turn, repeating
// while the layout marks more views (at most a few rounds per turn).
class LayoutPass {
 public:
  static void request(const std::shared_ptr<View>& window);
  // Runs the pass now.
  static void run();
};

}  // namespace platform
