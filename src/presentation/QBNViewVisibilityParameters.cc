#include "presentation/QBNViewVisibilityParameters.h"

#include "platform/ui/application.h"
#include "platform/ui/view_controller.h"
#include "presentation/QBNAdViewWebPresenter.h"

namespace {

bool inKeyWindow(const platform::View& view) {
  const auto window = view.window();
  return window && window->isKeyWindow();
}

}  // namespace

platform::Json QBNViewVisibilityParameters::collectViewVisibilityParametersIntoDictionary(
    const std::shared_ptr<platform::View>& view) {
  bool visible = false, hidden = false, opaque = false, keyWindow = false, offScreen = false;
  if (view) {
    keyWindow = inKeyWindow(*view);
    visible = !view->isHidden() && keyWindow;
    hidden = view->isHidden();
    opaque = view->isOpaque();
    const auto container = QBNAdViewWebPresenter::getOffScreenView();
    offScreen = container && view->isDescendantOfView(container.get());
  }
  return platform::Json{{"isViewVisible", visible},
                        {"isHidden", hidden},
                        {"isOpaque", opaque},
                        {"isKeyWindow", keyWindow},
                        {"isOffScreenView", offScreen}};
}

bool QBNViewVisibilityParameters::isViewVisible(const std::shared_ptr<platform::View>& view) {
  return view && !view->isHidden() && view->isOpaque() && inKeyWindow(*view);
}

bool QBNViewVisibilityParameters::isViewHierarchyVisible(const std::shared_ptr<platform::View>& view) {
  if (!view) return false;
  auto v = view;
  for (auto parent = v->superview(); parent; parent = v->superview()) {
    if (v->isHidden()) return false;
    v = parent;
  }
  return true;
}

bool QBNViewVisibilityParameters::isViewFoundInHierarchy(const std::shared_ptr<platform::View>& view) {
  if (!view) return false;
  const auto window = platform::Application::shared().keyWindow();
  const auto root = window ? window->rootViewController() : nullptr;
  if (!root || !root->isViewLoaded()) return false;
  for (const auto& subview : root->view()->subviews()) {
    if (view->isDescendantOfView(subview.get())) return true;
  }
  return false;
}
