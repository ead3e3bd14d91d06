#include "platform/ui/gesture.h"

#include "platform/ui/controls.h"

namespace platform {

void GestureRecognizer::addTarget(Action action) {
  if (action) actions_.push_back(std::move(action));
}

Point GestureRecognizer::locationInView(const View* view) const {
  if (!view) return lastLocationInRoot_;
  auto root = lastRoot_.lock();
  return view->convertPointFromView(lastLocationInRoot_, root.get());
}

void GestureRecognizer::recognize(Point locationInRoot, const std::shared_ptr<View>& root) {
  lastLocationInRoot_ = locationInRoot;
  lastRoot_ = root;
  auto keep = shared_from_this();
  const auto actions = actions_;  // an action may add or remove targets
  for (const auto& action : actions) action(*this);
}

std::shared_ptr<TapGestureRecognizer> TapGestureRecognizer::create(Action action) {
  auto recognizer = std::make_shared<TapGestureRecognizer>();
  recognizer->addTarget(std::move(action));
  return recognizer;
}

namespace {

bool maySucceedTogether(GestureRecognizer& a, GestureRecognizer& b) {
  if (auto d = a.delegate(); d && d->shouldRecognizeSimultaneouslyWithGestureRecognizer(a, b)) return true;
  if (auto d = b.delegate(); d && d->shouldRecognizeSimultaneouslyWithGestureRecognizer(b, a)) return true;
  return false;
}

}  // namespace

std::shared_ptr<View> TouchDriver::tap(const std::shared_ptr<View>& view, Point point, int tapCount) {
  if (!view) return nullptr;
  std::shared_ptr<View> root = view;
  while (auto parent = root->superview()) root = parent;
  const Point inRoot = view->convertPoint(point, nullptr);
  auto hit = root->hitTest(inRoot);
  if (!hit) return nullptr;

  hit->touchesBegan({Touch{hit, inRoot, tapCount}}, Event{0});

  auto control = std::dynamic_pointer_cast<Control>(hit);
  if (control && !control->isEnabled()) control = nullptr;
  // Everyone who may see the tap, deepest view first.
  std::vector<std::shared_ptr<GestureRecognizer>> candidates;
  for (auto v = hit; v; v = v->superview()) {
    for (const auto& r : v->gestureRecognizers()) candidates.push_back(r);
    if (control) break;
  }
  std::vector<std::shared_ptr<GestureRecognizer>> recognized;
  for (const auto& r : candidates) {
    if (!r->isEnabled() || !r->accepts(tapCount) || !r->view()) continue;
    bool allowed = true;
    for (const auto& other : recognized) allowed = allowed && maySucceedTogether(*r, *other);
    if (!allowed) continue;
    recognized.push_back(r);
  }
  for (const auto& r : recognized) r->recognize(inRoot, root);
  if (control && recognized.empty()) control->sendActionsForControlEvents(ControlEvents::TouchUpInside);
  return hit;
}

}  // namespace platform
