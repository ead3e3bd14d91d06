#include "platform/ui/controls.h"

#include <map>
#include <mutex>

#include "platform/dispatch.h"

namespace platform {

// ------------------------------------------------------------------ control

void Control::addTarget(Action action, uint64_t events) {
  if (action && events) actions_.emplace_back(events, std::move(action));
}

void Control::sendActionsForControlEvents(uint64_t events) {
  auto keep = sharedView();
  const auto actions = actions_;  // an action may add more
  for (const auto& [mask, action] : actions) {
    if (mask & events) action(*this);
  }
}

// ------------------------------------------------------------------- images

namespace {

struct ImageRegistry {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<Image>> images;
};

ImageRegistry& imageRegistry() {
  static auto& registry = *new ImageRegistry();
  return registry;
}

}  // namespace

std::shared_ptr<Image> Image::imageNamed(const std::string& name) {
  auto& r = imageRegistry();
  std::lock_guard lock(r.mutex);
  auto it = r.images.find(name);
  return it == r.images.end() ? nullptr : it->second;
}

void Image::registerImage(const std::string& name, Size size) {
  auto& r = imageRegistry();
  std::lock_guard lock(r.mutex);
  r.images[name] = std::make_shared<Image>(name, size);
}

void Image::resetRegistryForTesting() {
  auto& r = imageRegistry();
  std::lock_guard lock(r.mutex);
  r.images.clear();
}

// ------------------------------------------------------- activity indicator

ActivityIndicator::ActivityIndicator(ActivityIndicatorStyle style) : style_(style) {
  const double side = (style == ActivityIndicatorStyle::WhiteLarge || style == ActivityIndicatorStyle::Large) ? 37 : 20;
  setFrame(Rect::make(0, 0, side, side));
  setHidden(true);
}

void ActivityIndicator::setHidesWhenStopped(bool hides) {
  hidesWhenStopped_ = hides;
  if (!animating_) setHidden(hides);
}

void ActivityIndicator::startAnimating() {
  animating_ = true;
  if (hidesWhenStopped_) setHidden(false);
}

void ActivityIndicator::stopAnimating() {
  animating_ = false;
  if (hidesWhenStopped_) setHidden(true);
}

// ---------------------------------------------------------------- animation

namespace {

struct AnimationRecord {
  std::mutex mutex;
  std::vector<double> durations;
};

AnimationRecord& animationRecord() {
  static auto& record = *new AnimationRecord();
  return record;
}

}  // namespace

void View::animateWithDuration(double durationSeconds, const std::function<void()>& animations,
                               std::function<void(bool)> completion) {
  {
    auto& r = animationRecord();
    std::lock_guard lock(r.mutex);
    r.durations.push_back(durationSeconds);
  }
  if (animations) animations();
  if (!completion) return;
  auto done = [completion = std::move(completion)] { completion(true); };
  if (durationSeconds > 0) {
    mainQueue()->after(durationSeconds * 1000.0, std::move(done));
  } else {
    mainQueue()->async(std::move(done));
  }
}

std::vector<double> View::animationDurationsForTesting() {
  auto& r = animationRecord();
  std::lock_guard lock(r.mutex);
  return r.durations;
}

void View::resetAnimationsForTesting() {
  auto& r = animationRecord();
  std::lock_guard lock(r.mutex);
  r.durations.clear();
}

}  // namespace platform
