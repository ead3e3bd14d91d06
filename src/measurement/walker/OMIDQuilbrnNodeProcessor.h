#pragma once
// How the tree walker reads the UI layer: the processors turn a view (or a
// window, or the screen of a container) into its state and name the children
// the walk visits next. Main thread.
#include <memory>
#include <vector>

#include "platform/json.h"
#include "platform/ui/geometry.h"

namespace platform {
class View;
class Window;
}
class OMIDQuilbrnWindowContainer;

class OMIDQuilbrnNodeProcessor {
 public:
  virtual ~OMIDQuilbrnNodeProcessor() = default;
  // The view's state: its frame on the screen and whether it clips.
  virtual platform::Json stateForView(const std::shared_ptr<platform::View>& view) = 0;
  // The subviews as they are, bottom first.
  virtual std::vector<std::shared_ptr<platform::View>> childrenForView(const std::shared_ptr<platform::View>& view) = 0;
  // The subviews in drawing order (their layers' zPosition).
  virtual std::vector<std::shared_ptr<platform::View>> orderedChildrenForView(
      const std::shared_ptr<platform::View>& view) = 0;
  // The processor of the children.
  virtual OMIDQuilbrnNodeProcessor& processorForChildren() = 0;
};

class OMIDQuilbrnViewProcessor : public OMIDQuilbrnNodeProcessor {
 public:
  // A zero frame that does not clip for null; otherwise the view's bounds in
  // screen coordinates (zero when the view has no window).
  platform::Json stateForView(const std::shared_ptr<platform::View>& view) override;
  std::vector<std::shared_ptr<platform::View>> childrenForView(const std::shared_ptr<platform::View>& view) override;
  // Subviews with zPosition 0 keep their order; otherwise the groups of equal
  // zPosition in ascending order, each in subview order, with NaN after every
  // number.
  std::vector<std::shared_ptr<platform::View>> orderedChildrenForView(
      const std::shared_ptr<platform::View>& view) override;
  OMIDQuilbrnNodeProcessor& processorForChildren() override { return *this; }

  // The view's bounds in its window's coordinates (zero for null).
  virtual platform::Rect frameInWindowSystemForView(const std::shared_ptr<platform::View>& view);
  virtual std::shared_ptr<platform::Window> windowForView(const std::shared_ptr<platform::View>& view);
};

// The windows of a container: their frame is their bounds on their screen;
// their children are views.
class OMIDQuilbrnWindowProcessor : public OMIDQuilbrnViewProcessor {
 public:
  explicit OMIDQuilbrnWindowProcessor(std::shared_ptr<OMIDQuilbrnViewProcessor> viewProcessor)
      : viewProcessor_(std::move(viewProcessor)) {}
  OMIDQuilbrnNodeProcessor& processorForChildren() override { return *viewProcessor_; }
  platform::Rect frameInWindowSystemForView(const std::shared_ptr<platform::View>& view) override;
  std::shared_ptr<platform::Window> windowForView(const std::shared_ptr<platform::View>& view) override;

 private:
  std::shared_ptr<OMIDQuilbrnViewProcessor> viewProcessor_;
};

class OMIDQuilbrnScreenProcessor {
 public:
  // The root state: the main screen's bounds, clipping, and whether the
  // audio route has an output ("noOutputDevice"). The container does not
  // change the frame.
  platform::Json stateForContainer(const OMIDQuilbrnWindowContainer& container);
  void setOutputDeviceStatus(platform::Json& state);
  // The container's windows (the application's or the scene's), in its
  // order, that are on the main screen and are not the system's own.
  std::vector<std::shared_ptr<platform::Window>> windowsForContainer(const OMIDQuilbrnWindowContainer& container);
  // "UITextEffectsWindow" and "UIRemoteKeyboardWindow".
  static bool isInternalWindow(const platform::Window& window);
};
