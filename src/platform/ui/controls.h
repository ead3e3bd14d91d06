#pragma once
// Controls, the activity indicator and the application's image registry of the
// headless UI layer. Main queue only, except the image registry (any thread).
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/view.h"

namespace platform {

// UIControlEvents bits, with the platform's values.
namespace ControlEvents {
constexpr uint64_t TouchUpInside = 1u << 6;
}  // namespace ControlEvents

class Control : public View {
 public:
  using View::View;
  using Action = std::function<void(Control&)>;

  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled) { enabled_ = enabled; }
  // Runs `action` for each of `events` (target-action).
  void addTarget(Action action, uint64_t events);
  // Runs the actions registered for any of `events`, in the order added (also
  // what a tap through TouchDriver does for TouchUpInside).
  void sendActionsForControlEvents(uint64_t events);

 private:
  bool enabled_ = true;
  std::vector<std::pair<uint64_t, Action>> actions_;
};

// A named image of the application's assets.
class Image {
 public:
  Image(std::string name, Size size) : name_(std::move(name)), size_(size) {}
  const std::string& name() const { return name_; }
  Size size() const { return size_; }

  // The image registered under `name`, or null: the registry starts empty.
  static std::shared_ptr<Image> imageNamed(const std::string& name);
  // Host and test controls.
  static void registerImage(const std::string& name, Size size);
  static void resetRegistryForTesting();

 private:
  std::string name_;
  Size size_;
};

struct Font {
  std::string name;
  double pointSize = 17;
  bool bold = false;
  static Font systemFontOfSize(double size) { return Font{".SFUI-Regular", size, false}; }
  static Font boldSystemFontOfSize(double size) { return Font{".SFUI-Semibold", size, true}; }
  bool operator==(const Font&) const = default;
};

// A push button: title and background image for the normal state.
class Button : public Control {
 public:
  using Control::Control;

  const std::string& title() const { return title_; }
  void setTitle(std::string title) { title_ = std::move(title); }
  const std::optional<Color>& titleColor() const { return titleColor_; }
  void setTitleColor(std::optional<Color> color) { titleColor_ = color; }
  const std::optional<Color>& titleShadowColor() const { return titleShadowColor_; }
  void setTitleShadowColor(std::optional<Color> color) { titleShadowColor_ = color; }
  Size titleShadowOffset() const { return titleShadowOffset_; }
  void setTitleShadowOffset(Size offset) { titleShadowOffset_ = offset; }
  const Font& font() const { return font_; }
  void setFont(Font font) { font_ = std::move(font); }
  const std::shared_ptr<Image>& backgroundImage() const { return backgroundImage_; }
  void setBackgroundImage(std::shared_ptr<Image> image) { backgroundImage_ = std::move(image); }

 private:
  std::string title_;
  std::optional<Color> titleColor_;
  std::optional<Color> titleShadowColor_;
  Size titleShadowOffset_;
  Font font_ = Font::systemFontOfSize(15);
  std::shared_ptr<Image> backgroundImage_;
};

// UIActivityIndicatorViewStyle, with the platform's values.
enum class ActivityIndicatorStyle : int { WhiteLarge = 0, White = 1, Gray = 2, Medium = 100, Large = 101 };

// A spinner. While it hides when stopped (the default), it is hidden exactly
// when it is not animating.
class ActivityIndicator : public View {
 public:
  explicit ActivityIndicator(ActivityIndicatorStyle style = ActivityIndicatorStyle::White);

  ActivityIndicatorStyle style() const { return style_; }
  void setStyle(ActivityIndicatorStyle style) { style_ = style; }
  const std::optional<Color>& color() const { return color_; }
  void setColor(std::optional<Color> color) { color_ = color; }
  bool hidesWhenStopped() const { return hidesWhenStopped_; }
  void setHidesWhenStopped(bool hides);
  void startAnimating();
  void stopAnimating();
  bool isAnimating() const { return animating_; }

 private:
  ActivityIndicatorStyle style_;
  std::optional<Color> color_;
  bool hidesWhenStopped_ = true;
  bool animating_ = false;
};

}  // namespace platform
