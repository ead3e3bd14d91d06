// Layout: marking views, the end-of-turn layout pass, layout constraints and
// the small resolver that turns them into frames.
#include <algorithm>
#include <optional>

#include "platform/dispatch.h"
#include "platform/ui/layout_constraint.h"
#include "platform/ui/view.h"

namespace platform {

namespace {

// ---- The layout pass. Main queue only, like the views it lays out.

constexpr int kMaxPassRounds = 8;

std::vector<std::weak_ptr<View>>& requestedWindows() {
  static auto& windows = *new std::vector<std::weak_ptr<View>>();
  return windows;
}
bool g_passRunning = false;
// Alive while a block that guarantees a main-queue turn is queued. A block
// dropped unrun (a test environment ending) releases it too, so the next
// request queues a new one.
std::weak_ptr<int>& turnToken() {
  static auto& token = *new std::weak_ptr<int>();  // never destroyed, like the list above
  return token;
}

void onMainQueueTurnEnd() {
  if (!requestedWindows().empty()) LayoutPass::run();
}

}  // namespace

void LayoutPass::request(const std::shared_ptr<View>& window) {
  static OnceFlag hookInstalled;
  runOnce(hookInstalled, [] { setMainQueueTurnEndHook(&onMainQueueTurnEnd); });
  auto& windows = requestedWindows();
  const bool listed = std::any_of(windows.begin(), windows.end(),
                                  [&](const std::weak_ptr<View>& w) { return w.lock() == window; });
  if (!listed) windows.push_back(window);
  if (g_passRunning || !turnToken().expired()) return;
  auto token = std::make_shared<int>(0);
  turnToken() = token;
  mainQueue()->async([token] {});
}

void LayoutPass::run() {
  if (g_passRunning) return;
  g_passRunning = true;
  auto& windows = requestedWindows();
  for (int round = 0; round < kMaxPassRounds && !windows.empty(); ++round) {
    auto batch = std::move(windows);
    windows.clear();
    for (const auto& weak : batch) {
      if (auto window = weak.lock()) window->layoutIfNeeded();
    }
  }
  g_passRunning = false;
  // Views that keep marking each other wait for the next turn that comes
  // anyway; queueing one for them would spin the main queue.
}

// ------------------------------------------------------------ view layout

void View::setNeedsLayout() {
  needsLayout_ = true;
  markAncestorsForLayout();
  if (auto w = window()) LayoutPass::request(w);
}

void View::markAncestorsForLayout() {
  for (auto parent = superview_.lock(); parent; parent = parent->superview_.lock()) {
    parent->subtreeNeedsLayout_ = true;
  }
}

void View::layoutIfNeeded() {
  const auto keep = weak_from_this().lock();  // a layout may drop the last other owner
  if (needsLayout_) {
    needsLayout_ = false;
    ++layoutCount_;
    layoutSubviews();
  }
  if (!subtreeNeedsLayout_) return;
  subtreeNeedsLayout_ = false;
  const auto children = subviews_;
  for (const auto& child : children) {
    if (child->needsLayout_ || child->subtreeNeedsLayout_) child->layoutIfNeeded();
  }
}

void View::layoutSubviews() { placeConstrainedSubviews(); }

namespace {

bool isHorizontal(LayoutAttribute a) {
  switch (a) {
    case LayoutAttribute::Left:
    case LayoutAttribute::Right:
    case LayoutAttribute::Leading:
    case LayoutAttribute::Trailing:
    case LayoutAttribute::Width:
    case LayoutAttribute::CenterX:
      return true;
    default:
      return false;
  }
}

// The item's alignment rectangle (untransformed) in the coordinates of
// `parent`: the parent's own bounds, or a subview's centre and bounds size.
double attributeValue(const View& item, const View& parent, LayoutAttribute attribute) {
  Rect r;
  if (&item == &parent) {
    r = parent.bounds();
  } else {
    const Size s = item.bounds().size;
    r = Rect{Point{item.center().x - s.width / 2, item.center().y - s.height / 2}, s};
  }
  switch (attribute) {
    case LayoutAttribute::Left:
    case LayoutAttribute::Leading:
      return r.origin.x;
    case LayoutAttribute::Right:
    case LayoutAttribute::Trailing:
      return r.origin.x + r.size.width;
    case LayoutAttribute::Top:
      return r.origin.y;
    case LayoutAttribute::Bottom:
      return r.origin.y + r.size.height;
    case LayoutAttribute::Width:
      return r.size.width;
    case LayoutAttribute::Height:
      return r.size.height;
    case LayoutAttribute::CenterX:
      return r.origin.x + r.size.width / 2;
    case LayoutAttribute::CenterY:
      return r.origin.y + r.size.height / 2;
    case LayoutAttribute::NotAnAttribute:
      break;
  }
  return 0;
}

// What the constraints fix along one axis: the low edge (left or top), the
// high edge, the length and the centre.
struct Axis {
  std::optional<double> low, high, length, center;

  void set(LayoutAttribute a, double v) {
    switch (a) {
      case LayoutAttribute::Left:
      case LayoutAttribute::Leading:
      case LayoutAttribute::Top:
        low = v;
        break;
      case LayoutAttribute::Right:
      case LayoutAttribute::Trailing:
      case LayoutAttribute::Bottom:
        high = v;
        break;
      case LayoutAttribute::Width:
      case LayoutAttribute::Height:
        length = v;
        break;
      case LayoutAttribute::CenterX:
      case LayoutAttribute::CenterY:
        center = v;
        break;
      case LayoutAttribute::NotAnAttribute:
        break;
    }
  }
  bool any() const { return low || high || length || center; }
  // Length and centre, starting from the current ones.
  std::pair<double, double> solve(double length0, double center0) const {
    double len = length0;
    if (length) len = *length;
    else if (low && high) len = *high - *low;
    else if (low && center) len = 2 * (*center - *low);
    else if (high && center) len = 2 * (*high - *center);
    double mid = center0;
    if (center) mid = *center;
    else if (low) mid = *low + len / 2;
    else if (high) mid = *high - len / 2;
    return {len, mid};
  }
};

}  // namespace

void View::placeConstrainedSubviews() {
  // Siblings may depend on each other (one below another): a few rounds
  // settle the shapes this layer supports.
  for (int round = 0; round < 3; ++round) {
    bool changed = false;
    const auto children = subviews_;
    for (const auto& child : children) {
      if (child->translatesAutoresizingMask_) continue;
      const View* s = child.get();
      auto related = [&](const View* x) {
        return x == this || (x && x != s && x->superview_.lock().get() == this);
      };
      Axis h, v;
      auto consider = [&](const LayoutConstraint& c) {
        const auto first = c.firstItem();
        const auto second = c.secondItem();
        const double m = c.multiplier(), k = c.constant();
        if (first.get() == s) {
          if (second.get() == s) return;
          double value;
          if (!second) {
            if (c.secondAttribute() != LayoutAttribute::NotAnAttribute) return;
            value = k;
          } else if (related(second.get())) {
            value = attributeValue(*second, *this, c.secondAttribute()) * m + k;
          } else {
            return;
          }
          (isHorizontal(c.firstAttribute()) ? h : v).set(c.firstAttribute(), value);
        } else if (second.get() == s && first && related(first.get()) && m != 0) {
          const double value = (attributeValue(*first, *this, c.firstAttribute()) - k) / m;
          (isHorizontal(c.secondAttribute()) ? h : v).set(c.secondAttribute(), value);
        }
      };
      for (const auto& c : constraints_) consider(*c);
      for (const auto& c : child->constraints_) consider(*c);
      if (!h.any() && !v.any()) continue;
      const auto [width, cx] = h.solve(child->boundsSize_.width, child->center_.x);
      const auto [height, cy] = v.solve(child->boundsSize_.height, child->center_.y);
      if (child->center_ != Point{cx, cy} || child->boundsSize_ != Size{width, height}) changed = true;
      child->center_ = Point{cx, cy};
      child->applySize(Size{width, height});
    }
    if (!changed) break;
  }
}

// ------------------------------------------------------ layout constraints

std::shared_ptr<LayoutConstraint> LayoutConstraint::constraintWithItem(const std::shared_ptr<View>& first,
                                                                       LayoutAttribute firstAttribute,
                                                                       LayoutRelation relation,
                                                                       const std::shared_ptr<View>& second,
                                                                       LayoutAttribute secondAttribute,
                                                                       double multiplier, double constant) {
  std::shared_ptr<LayoutConstraint> c(new LayoutConstraint());
  c->first_ = first;
  c->firstAttribute_ = firstAttribute;
  c->relation_ = relation;
  c->second_ = second;
  c->hasSecond_ = second != nullptr;
  c->secondAttribute_ = second ? secondAttribute : LayoutAttribute::NotAnAttribute;
  c->multiplier_ = multiplier;
  c->constant_ = constant;
  return c;
}

namespace {

void markItems(const LayoutConstraint& c) {
  for (const auto& item : {c.firstItem(), c.secondItem()}) {
    if (!item) continue;
    if (auto parent = item->superview()) parent->setNeedsLayout();
  }
}

std::shared_ptr<View> commonAncestor(const std::shared_ptr<View>& a, const std::shared_ptr<View>& b) {
  for (auto x = a; x; x = x->superview()) {
    if (b->isDescendantOfView(x.get())) return x;
  }
  return nullptr;
}

}  // namespace

void LayoutConstraint::setConstant(double constant) {
  constant_ = constant;
  if (isActive()) markItems(*this);
}

void LayoutConstraint::setActive(bool active) {
  if (active == isActive()) return;
  if (!active) {
    if (auto holder = holder_.lock()) {
      auto& held = holder->constraints_;
      held.erase(std::remove(held.begin(), held.end(), shared_from_this()), held.end());
    }
    holder_.reset();
    markItems(*this);
    return;
  }
  const auto first = first_.lock();
  if (!first) return;
  const auto second = second_.lock();
  if (hasSecond_ && !second) return;
  const auto holder = second ? commonAncestor(first, second) : first;
  if (!holder) return;
  holder->constraints_.push_back(shared_from_this());
  holder_ = holder;
  holder->setNeedsLayout();
  markItems(*this);
}

void LayoutConstraint::activateConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints) {
  for (const auto& c : constraints) {
    if (c) c->setActive(true);
  }
}

void LayoutConstraint::deactivateConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints) {
  for (const auto& c : constraints) {
    if (c) c->setActive(false);
  }
}

bool LayoutConstraint::involves(const View* view) const {
  return view && (first_.lock().get() == view || second_.lock().get() == view);
}

}  // namespace platform
