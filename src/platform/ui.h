#pragma once
// The headless UI layer: views, layout constraints, gestures, controls,
// windows, view controllers, the application, the device and the main screen
// (see docs/ui-layer.md). A view controller or view is also what the library passes
// through unchanged to an ad network's show call or a banner delegate.
#include <memory>

#include "platform/ui/application.h"
#include "platform/ui/controls.h"
#include "platform/ui/geometry.h"
#include "platform/ui/gesture.h"
#include "platform/ui/layout_constraint.h"
#include "platform/ui/orientation.h"
#include "platform/ui/ui_device.h"
#include "platform/ui/view.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window_scene.h"

namespace platform {

using ViewControllerRef = std::shared_ptr<ViewController>;
using ViewRef = std::shared_ptr<View>;

}  // namespace platform
