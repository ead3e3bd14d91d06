#include "measurement/state/OMIDQuilbrnWindowContainer.h"

#include "platform/ui/application.h"
#include "platform/ui/ui_device.h"

OMIDQuilbrnWindowContainer OMIDQuilbrnWindowContainer::application() {
  OMIDQuilbrnWindowContainer container;
  container.application_ = true;
  return container;
}

OMIDQuilbrnWindowContainer OMIDQuilbrnWindowContainer::scene(std::shared_ptr<platform::WindowScene> scene) {
  OMIDQuilbrnWindowContainer container;
  container.scene_ = std::move(scene);
  return container;
}

bool OMIDQuilbrnWindowContainer::usesScenes() {
  return platform::Device::current().isSystemVersionAtLeast("13.0") &&
         platform::Application::shared().supportsMultipleScenes();
}

OMIDQuilbrnObjectKey OMIDQuilbrnWindowContainer::key() const {
  if (application_) {
    // The application lives for the process: a key that does not own it.
    return OMIDQuilbrnObjectKey::objectKeyWithObject(
        std::shared_ptr<const void>(std::shared_ptr<const void>(), &platform::Application::shared()));
  }
  return OMIDQuilbrnObjectKey::objectKeyWithObject(scene_);
}
