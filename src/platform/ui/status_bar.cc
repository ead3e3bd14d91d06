// The status bar: which of the key window's view controllers rule it, and
// what it shows (see application.h and docs/ui-layer.md).
#include "platform/ui/application.h"
#include "platform/ui/ui_device.h"
#include "platform/ui/view_controller.h"

namespace platform {
namespace {

// Whether a presented controller covers the whole screen: the full-screen
// styles, and the automatic style before system 13.0 (from 13.0 it is a
// sheet).
bool coversFullScreen(const ViewController& controller) {
  const int style = controller.modalPresentationStyle();
  if (style == ModalPresentationStyle::Automatic) return !Device::current().isSystemVersionAtLeast("13.0");
  return style == ModalPresentationStyle::FullScreen || style == ModalPresentationStyle::OverFullScreen;
}

// The last controller of the key window's presentation chain that `rules`,
// else the root controller.
template <class Rule>
std::shared_ptr<ViewController> rulingController(const std::shared_ptr<Window>& window, Rule rules) {
  auto ruling = window ? window->rootViewController() : nullptr;
  for (auto c = ruling ? ruling->presentedViewController() : nullptr; c; c = c->presentedViewController()) {
    if (rules(*c)) ruling = c;
  }
  return ruling;
}

bool holds(uint64_t mask, InterfaceOrientation orientation) {
  const int bit = static_cast<int>(orientation);
  return bit >= 1 && bit <= 4 && ((mask >> bit) & 1u) != 0;
}

}  // namespace

std::shared_ptr<ViewController> Application::interfaceOrientationController() const {
  return rulingController(keyWindow(), [](const ViewController& c) { return coversFullScreen(c); });
}

std::shared_ptr<ViewController> Application::statusBarAppearanceController() const {
  return rulingController(keyWindow(), [](const ViewController& c) {
    return coversFullScreen(c) || c.modalPresentationCapturesStatusBarAppearance();
  });
}

bool Application::isStatusBarHidden() const {
  if (statusBarHiddenOverride_) return *statusBarHiddenOverride_;
  const auto controller = statusBarAppearanceController();
  return controller && controller->prefersStatusBarHidden();
}

InterfaceOrientation Application::statusBarOrientation() const {
  if (statusBarOrientationOverride_) return *statusBarOrientationOverride_;
  // A controller's answers may read the status bar (the preferred orientation
  // defaults to it): they see the current one.
  if (workingOutOrientation_) return statusBarOrientation_;
  const auto controller = interfaceOrientationController();
  if (!controller) return statusBarOrientation_;
  workingOutOrientation_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{workingOutOrientation_};

  const auto window = keyWindow();
  auto& application = Application::shared();
  auto* hook = delegateOrientations();
  const uint64_t allowed = hook ? hook->supportedInterfaceOrientationsForWindow(application, window)
                                : supportedInterfaceOrientationsForWindow(window);
  uint64_t mask = controller->supportedInterfaceOrientations();
  // Nothing in common stops the platform's application; here the
  // controller's own orientations count.
  if (mask & allowed) mask &= allowed;
  if (!(mask & InterfaceOrientationMask::All)) return statusBarOrientation_;

  const auto device = static_cast<InterfaceOrientation>(static_cast<int>(Device::current().orientation()));
  InterfaceOrientation next = statusBarOrientation_;
  if (controller->shouldAutorotate() && holds(mask, device)) {
    next = device;
  } else if (holds(mask, statusBarOrientation_)) {
    next = statusBarOrientation_;
  } else if (const auto preferred = controller->preferredInterfaceOrientationForPresentation();
             holds(mask, preferred)) {
    next = preferred;
  } else {
    for (auto o : {InterfaceOrientation::Portrait, InterfaceOrientation::LandscapeLeft,
                   InterfaceOrientation::LandscapeRight, InterfaceOrientation::PortraitUpsideDown}) {
      if (holds(mask, o)) {
        next = o;
        break;
      }
    }
  }
  statusBarOrientation_ = next;
  return next;
}

}  // namespace platform
