#pragma once
// How visible a view is, as the ad pages and the controller page learn it.
// Main queue only.
#include <memory>

#include "platform/json.h"

namespace platform {
class View;
}

class QBNViewVisibilityParameters {
 public:
  // Five booleans: "isViewVisible" (not hidden, in a window, and that window
  // is the key window), "isHidden", "isOpaque", "isKeyWindow" (the view's
  // window is the key window; NO without one) and "isOffScreenView" (inside
  // the ad-unit web views' shared off-screen container). All NO for no view.
  static platform::Json collectViewVisibilityParametersIntoDictionary(const std::shared_ptr<platform::View>& view);
  // Not hidden, opaque, and in the key window.
  static bool isViewVisible(const std::shared_ptr<platform::View>& view);
  // YES for a view without a superview; otherwise NO when the view or any
  // ancestor below the topmost one is hidden.
  static bool isViewHierarchyVisible(const std::shared_ptr<platform::View>& view);
  // Whether the view lies inside one of the subviews of the key window's root
  // view controller's view.
  static bool isViewFoundInHierarchy(const std::shared_ptr<platform::View>& view);
};
