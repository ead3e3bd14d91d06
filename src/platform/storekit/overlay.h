#pragma once
// The store's overlay: a small banner at the bottom of a window scene that
// offers an app (SKOverlay), with its app configuration and its delegate.
// Presenting and dismissing take kTransitionDurationSeconds on the platform
// clock; load failures come from StoreKitControl, which also records every
// step. Main queue only; every delegate call comes on the main queue, later,
// never inside the call that caused it.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/result.h"
#include "platform/storekit/store_product_parameters.h"
#include "platform/ui/geometry.h"

namespace platform {

class WindowScene;

// SKOverlayPosition, with the platform's values.
namespace SKOverlayPosition {
constexpr int64_t Bottom = 0;
constexpr int64_t BottomRaised = 1;
}  // namespace SKOverlayPosition

// What an overlay offers and how.
class SKOverlayAppConfiguration {
 public:
  SKOverlayAppConfiguration(std::string appIdentifier, int64_t position)
      : appIdentifier_(std::move(appIdentifier)), position_(position) {}

  const std::string& appIdentifier() const { return appIdentifier_; }
  int64_t position() const { return position_; }
  void setPosition(int64_t position) { position_ = position; }
  // Whether the user may swipe the overlay away; YES unless set.
  bool userDismissible() const { return userDismissible_; }
  void setUserDismissible(bool dismissible) { userDismissible_ = dismissible; }
  const std::optional<std::string>& campaignToken() const { return campaignToken_; }
  void setCampaignToken(std::optional<std::string> token) { campaignToken_ = std::move(token); }
  const std::optional<std::string>& providerToken() const { return providerToken_; }
  void setProviderToken(std::optional<std::string> token) { providerToken_ = std::move(token); }
  const std::optional<std::string>& customProductPageIdentifier() const { return customProductPageIdentifier_; }
  void setCustomProductPageIdentifier(std::optional<std::string> id) { customProductPageIdentifier_ = std::move(id); }
  const std::optional<std::string>& latestReleaseID() const { return latestReleaseID_; }
  void setLatestReleaseID(std::optional<std::string> id) { latestReleaseID_ = std::move(id); }

  // Further product parameters (the attribution values), by key; a key set
  // again keeps its place.
  void setAdditionalValue(StoreParameterValue value, const std::string& key) { additional_.set(key, std::move(value)); }
  const StoreParameterValue* additionalValueForKey(const std::string& key) const { return additional_.find(key); }
  const StoreProductParameters& additionalValues() const { return additional_; }

  // Everything set, as JSON (a UUID as its text); for records and logs.
  Json toJson() const;

 private:
  std::string appIdentifier_;
  int64_t position_;
  bool userDismissible_ = true;
  std::optional<std::string> campaignToken_;
  std::optional<std::string> providerToken_;
  std::optional<std::string> customProductPageIdentifier_;
  std::optional<std::string> latestReleaseID_;
  StoreProductParameters additional_;
};

class SKOverlay;

// Where the overlay stands on screen at the start and the end of a
// transition.
struct SKOverlayTransitionContext {
  Rect startFrame;
  Rect endFrame;
};

// Told of an overlay's life, on the main queue. Every call is optional.
class SKOverlayDelegate {
 public:
  virtual ~SKOverlayDelegate() = default;
  virtual void storeOverlayDidFailToLoadWithError(const std::shared_ptr<SKOverlay>& /*overlay*/,
                                                  const Error& /*error*/) {}
  virtual void storeOverlayWillStartPresentation(const std::shared_ptr<SKOverlay>& /*overlay*/,
                                                 const SKOverlayTransitionContext& /*context*/) {}
  virtual void storeOverlayDidFinishPresentation(const std::shared_ptr<SKOverlay>& /*overlay*/,
                                                 const SKOverlayTransitionContext& /*context*/) {}
  virtual void storeOverlayWillStartDismissal(const std::shared_ptr<SKOverlay>& /*overlay*/,
                                              const SKOverlayTransitionContext& /*context*/) {}
  virtual void storeOverlayDidFinishDismissal(const std::shared_ptr<SKOverlay>& /*overlay*/,
                                              const SKOverlayTransitionContext& /*context*/) {}
};

class SKOverlay : public std::enable_shared_from_this<SKOverlay> {
 public:
  static constexpr double kTransitionDurationSeconds = 0.3;

  // A new overlay; null when the class "SKOverlay" is not in the class
  // registry (a system without overlays) or there is no configuration.
  static std::shared_ptr<SKOverlay> initWithConfiguration(std::shared_ptr<SKOverlayAppConfiguration> configuration);

  const std::shared_ptr<SKOverlayAppConfiguration>& configuration() const { return configuration_; }
  // Held weakly.
  std::shared_ptr<SKOverlayDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<SKOverlayDelegate> delegate) { delegate_ = std::move(delegate); }

  // Shows the overlay at the bottom of `scene`, replacing (dismissing) the
  // one it shows. On the next main-queue turn the delegate hears either the
  // load failure StoreKitControl holds for the next presentation, or
  // storeOverlayWillStartPresentation and, after the transition,
  // storeOverlayDidFinishPresentation. Presenting the overlay the scene
  // already shows does nothing; a null scene does nothing.
  void presentInScene(const std::shared_ptr<WindowScene>& scene);
  // Dismisses whatever overlay `scene` shows: its delegate hears
  // storeOverlayWillStartDismissal on the next main-queue turn and
  // storeOverlayDidFinishDismissal after the transition. Nothing when the
  // scene shows none.
  static void dismissOverlayInScene(const std::shared_ptr<WindowScene>& scene);

  // The overlay `scene` shows (or is bringing on screen), or null.
  static std::shared_ptr<SKOverlay> overlayInScene(const std::shared_ptr<WindowScene>& scene);

 private:
  explicit SKOverlay(std::shared_ptr<SKOverlayAppConfiguration> configuration)
      : configuration_(std::move(configuration)) {}

  std::shared_ptr<SKOverlayAppConfiguration> configuration_;
  std::weak_ptr<SKOverlayDelegate> delegate_;
};

}  // namespace platform
