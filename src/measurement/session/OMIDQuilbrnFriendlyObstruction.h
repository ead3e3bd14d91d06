#pragma once
// A friendly obstruction: a view over the ad (a close button, a video's
// controls) that the measurement must not count as hiding it.
#include <memory>
#include <optional>
#include <string>

namespace platform {
class View;
}

// Why the view covers the ad.
using OMIDQuilbrnFriendlyObstructionType = unsigned;
inline constexpr OMIDQuilbrnFriendlyObstructionType OMIDQuilbrnFriendlyObstructionMediaControls = 0;
inline constexpr OMIDQuilbrnFriendlyObstructionType OMIDQuilbrnFriendlyObstructionCloseAd = 1;
inline constexpr OMIDQuilbrnFriendlyObstructionType OMIDQuilbrnFriendlyObstructionNotVisible = 2;
inline constexpr OMIDQuilbrnFriendlyObstructionType OMIDQuilbrnFriendlyObstructionOther = 3;

class OMIDQuilbrnFriendlyObstruction {
 public:
  // The view is held weakly; its class name is taken now.
  static std::shared_ptr<OMIDQuilbrnFriendlyObstruction> initWithObstructionView(
      const std::shared_ptr<platform::View>& obstructionView, OMIDQuilbrnFriendlyObstructionType purpose,
      const std::optional<std::string>& detailedReason);

  // Null once the view is gone.
  std::shared_ptr<platform::View> obstructionView() const { return obstructionView_.lock(); }
  const std::string& obstructionViewClass() const { return obstructionViewClass_; }
  OMIDQuilbrnFriendlyObstructionType purpose() const { return purpose_; }
  const std::optional<std::string>& detailedReason() const { return detailedReason_; }

 private:
  OMIDQuilbrnFriendlyObstruction() = default;
  std::weak_ptr<platform::View> obstructionView_;
  std::string obstructionViewClass_;
  OMIDQuilbrnFriendlyObstructionType purpose_ = 0;
  std::optional<std::string> detailedReason_;
};
