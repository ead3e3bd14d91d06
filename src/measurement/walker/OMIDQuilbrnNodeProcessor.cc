#include "measurement/walker/OMIDQuilbrnNodeProcessor.h"

#include <cmath>
#include <cstring>
#include <map>

#include "measurement/bridge/OMIDQuilbrnDictionaryUtil.h"
#include "measurement/state/OMIDQuilbrnWindowContainer.h"
#include "platform/audio_session.h"
#include "platform/ui/application.h"
#include "platform/ui/view.h"
#include "platform/ui/window_scene.h"

namespace {

// zPositions in ascending order, NaN after every number: a plain < on doubles
// is no ordering once NaN is among the keys, and an ordered map keyed by it
// would file a NaN view under whatever key it met.
struct ZPositionOrder {
  bool operator()(double a, double b) const {
    if (std::isnan(a)) return false;
    if (std::isnan(b)) return true;
    return a < b;
  }
};
using ZPositionGroups = std::map<double, std::vector<std::shared_ptr<platform::View>>, ZPositionOrder>;

void addView(const std::shared_ptr<platform::View>& view, ZPositionGroups& groups) {
  groups[view->layer().zPosition].push_back(view);
}

std::vector<std::shared_ptr<platform::View>> buildChildrenFromDictionary(ZPositionGroups& groups) {
  std::vector<std::shared_ptr<platform::View>> out;
  for (auto& [z, views] : groups) {
    for (auto& view : views) out.push_back(std::move(view));
  }
  return out;
}

}  // namespace

platform::Json OMIDQuilbrnViewProcessor::stateForView(const std::shared_ptr<platform::View>& view) {
  if (!view) return OMIDQuilbrnDictionaryUtil::stateWithFrame({}, false);
  platform::Rect frame;
  if (auto window = windowForView(view)) {
    frame = window->convertRectToWindow(frameInWindowSystemForView(view), nullptr);
  }
  return OMIDQuilbrnDictionaryUtil::stateWithFrame(frame, view->clipsToBounds());
}

platform::Rect OMIDQuilbrnViewProcessor::frameInWindowSystemForView(const std::shared_ptr<platform::View>& view) {
  return view ? view->convertRect(view->bounds(), nullptr) : platform::Rect{};
}

std::shared_ptr<platform::Window> OMIDQuilbrnViewProcessor::windowForView(const std::shared_ptr<platform::View>& view) {
  return view ? view->window() : nullptr;
}

std::vector<std::shared_ptr<platform::View>> OMIDQuilbrnViewProcessor::childrenForView(
    const std::shared_ptr<platform::View>& view) {
  return view ? view->subviews() : std::vector<std::shared_ptr<platform::View>>{};
}

std::vector<std::shared_ptr<platform::View>> OMIDQuilbrnViewProcessor::orderedChildrenForView(
    const std::shared_ptr<platform::View>& view) {
  if (!view) return {};
  const auto& subviews = view->subviews();
  size_t firstMoved = 0;
  while (firstMoved < subviews.size() && subviews[firstMoved]->layer().zPosition == 0) ++firstMoved;
  if (firstMoved == subviews.size()) return subviews;
  ZPositionGroups groups;
  auto& flat = groups[0.0];
  flat.assign(subviews.begin(), subviews.begin() + static_cast<std::ptrdiff_t>(firstMoved));
  for (size_t i = firstMoved; i < subviews.size(); ++i) addView(subviews[i], groups);
  return buildChildrenFromDictionary(groups);
}

platform::Rect OMIDQuilbrnWindowProcessor::frameInWindowSystemForView(const std::shared_ptr<platform::View>& view) {
  return view ? view->bounds() : platform::Rect{};
}

std::shared_ptr<platform::Window> OMIDQuilbrnWindowProcessor::windowForView(const std::shared_ptr<platform::View>& view) {
  return std::dynamic_pointer_cast<platform::Window>(view);
}

platform::Json OMIDQuilbrnScreenProcessor::stateForContainer(const OMIDQuilbrnWindowContainer&) {
  auto state = OMIDQuilbrnDictionaryUtil::stateWithFrame(platform::Screen::main().bounds(), true);
  setOutputDeviceStatus(state);
  return state;
}

void OMIDQuilbrnScreenProcessor::setOutputDeviceStatus(platform::Json& state) {
  const bool noOutputs = platform::AudioSession::shared().currentRouteOutputs().empty();
  OMIDQuilbrnDictionaryUtil::addOutputDeviceStatus(state, noOutputs ? 1 : 0);
}

std::vector<std::shared_ptr<platform::Window>> OMIDQuilbrnScreenProcessor::windowsForContainer(
    const OMIDQuilbrnWindowContainer& container) {
  std::vector<std::shared_ptr<platform::Window>> windows;
  if (container.isApplication()) {
    windows = platform::Application::shared().windows();
  } else if (container.windowScene()) {
    windows = container.windowScene()->windows();
  }
  std::vector<std::shared_ptr<platform::Window>> out;
  const platform::Screen* mainScreen = &platform::Screen::main();
  for (auto& window : windows) {
    if (window && &window->screen() == mainScreen && !isInternalWindow(*window)) out.push_back(std::move(window));
  }
  return out;
}

bool OMIDQuilbrnScreenProcessor::isInternalWindow(const platform::Window& window) {
  const char* name = window.windowClassName();
  return std::strcmp(name, "UITextEffectsWindow") == 0 || std::strcmp(name, "UIRemoteKeyboardWindow") == 0;
}
