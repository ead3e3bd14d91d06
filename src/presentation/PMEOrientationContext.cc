#include "presentation/PMEOrientationContext.h"

#include <limits>

#include "platform/storage.h"
#include "platform/ui/application.h"
#include "platform/ui/orientation.h"
#include "platform/ui/ui_device.h"
#include "platform/ui/view_controller.h"
#include "presentation/QBViewUtils.h"

namespace {

std::shared_ptr<platform::ViewController> rootViewController() {
  auto window = platform::Application::shared().keyWindow();
  return window ? window->rootViewController() : nullptr;
}

}  // namespace

// --------------------------------------------------------- QBOrientationData

platform::Json QBOrientationData::dictionaryRepresentation() const {
  auto text = [](int64_t v) { return std::to_string(v); };
  auto flag = [](bool v) { return std::string(v ? "true" : "false"); };
  platform::Json out = platform::Json::object();
  out["currentDeviceOrientation"] = text(currentDeviceOrientation_);
  if (plistOrientation_) out["plistOrientation"] = *plistOrientation_;
  out["windowOrientation"] = text(static_cast<int64_t>(windowOrientation_));
  out["topMostViewControllerOrientation"] = text(static_cast<int64_t>(topMostViewControllerOrientation_));
  out["topMostViewControllerShouldAutorotate"] = flag(topMostViewControllerShouldAutorotate_);
  out["preferredInterfaceOrientationForPresentation"] = text(preferredInterfaceOrientationForPresentation_);
  out["statusBarOrientation"] = text(statusBarOrientation_);
  out["isWindowOrientationOverrided"] = flag(isWindowOrientationOverrided_);
  return out;
}

// ----------------------------------------------------- PMEOrientationContext

int64_t PMEOrientationContext::deviceOrientation() {
  return static_cast<int64_t>(platform::Device::current().orientation());
}

std::optional<platform::Json> PMEOrientationContext::supportedInterfaceOrientations() {
  auto value = platform::appInfoValue(platform::kUISupportedInterfaceOrientationsKey);
  if (!value || !value->is_array()) return std::nullopt;
  return value;
}

uint64_t PMEOrientationContext::topMostViewControllerOrientation() {
  auto root = rootViewController();
  return root ? root->supportedInterfaceOrientations() : 0;
}

bool PMEOrientationContext::topMostViewControlleShouldAutorotate() {
  auto root = rootViewController();
  return root && root->shouldAutorotate();
}

int64_t PMEOrientationContext::preferredInterfaceOrientationForPresentation() {
  auto root = rootViewController();
  return root ? static_cast<int64_t>(root->preferredInterfaceOrientationForPresentation()) : 0;
}

int64_t PMEOrientationContext::statusBarOrientation() {
  return static_cast<int64_t>(platform::Application::shared().statusBarOrientation());
}

uint64_t PMEOrientationContext::windowOrientation() {
  auto& app = platform::Application::shared();
  return app.supportedInterfaceOrientationsForWindow(app.keyWindow());
}

bool PMEOrientationContext::isWindowOrientationOverrided() {
  return platform::Application::shared().delegateOrientations() != nullptr;
}

std::shared_ptr<QBOrientationData> PMEOrientationContext::applicationOrientationData() {
  auto data = std::make_shared<QBOrientationData>();
  data->setCurrentDeviceOrientation(deviceOrientation());
  data->setPlistOrientation(supportedInterfaceOrientations());
  data->setWindowOrientation(windowOrientation());
  data->setTopMostViewControllerOrientation(topMostViewControllerOrientation());
  data->setTopMostViewControllerShouldAutorotate(topMostViewControlleShouldAutorotate());
  data->setPreferredInterfaceOrientationForPresentation(preferredInterfaceOrientationForPresentation());
  data->setStatusBarOrientation(statusBarOrientation());
  data->setIsWindowOrientationOverrided(isWindowOrientationOverrided());
  return data;
}

uint64_t PMEOrientationContext::supportedOrientationForViewController(
    const std::shared_ptr<platform::ViewController>& controller) {
  return controller ? controller->supportedInterfaceOrientations() : std::numeric_limits<uint64_t>::max();
}

std::shared_ptr<QBOrientationData> PMEOrientationContext::applicationOrientationDataWithAppDelegateDataIfAllowed(
    bool allowed) {
  auto data = applicationOrientationData();
  if (!allowed || !data->isWindowOrientationOverrided()) return data;
  auto& app = platform::Application::shared();
  // Held for the call: the application keeps its delegate weakly.
  const auto delegate = app.delegate();
  if (auto* hook = dynamic_cast<platform::ApplicationDelegateOrientations*>(delegate.get())) {
    data->setWindowOrientation(hook->supportedInterfaceOrientationsForWindow(app, app.keyWindow()));
  }
  return data;
}

double PMEScreenContext::scale() { return platform::Screen::main().scale(); }

// ---------------------------------------------------------------- view utils

std::shared_ptr<platform::ViewController> QBViewUtils::parentViewController(const platform::View& view) {
  for (auto responder = view.nextResponder(); responder; responder = responder->nextResponder()) {
    if (auto controller = std::dynamic_pointer_cast<platform::ViewController>(responder)) return controller;
  }
  return nullptr;
}
