#pragma once
// What holds a session's ad on screen: the shared application, or, in an
// application that shows its interface in several scenes (system 13 or later,
// multiple scenes supported), one window scene. The state watcher keeps an
// application state per container, and a container's sessions are the ones
// that hear its state.
#include <memory>

#include "measurement/state/OMIDQuilbrnObjectKey.h"

namespace platform {
class WindowScene;
}

class OMIDQuilbrnWindowContainer {
 public:
  // None.
  OMIDQuilbrnWindowContainer() = default;
  static OMIDQuilbrnWindowContainer application();
  // None for a null scene.
  static OMIDQuilbrnWindowContainer scene(std::shared_ptr<platform::WindowScene> scene);

  // Whether containers are window scenes: system version 13 or later, and the
  // application supports multiple scenes. Otherwise the application is the
  // one container.
  static bool usesScenes();

  bool isApplication() const { return application_; }
  const std::shared_ptr<platform::WindowScene>& windowScene() const { return scene_; }
  explicit operator bool() const { return application_ || scene_; }
  // The very same object.
  bool operator==(const OMIDQuilbrnWindowContainer& other) const {
    return application_ == other.application_ && scene_ == other.scene_;
  }
  OMIDQuilbrnObjectKey key() const;

 private:
  bool application_ = false;
  std::shared_ptr<platform::WindowScene> scene_;
};
