#pragma once
// The page's store overlays by the ids the page chose (one holder per
// process), built from the page's configuration, and the listener that turns
// each overlay's life into events for the page.
//
// Threading: the holder's map is guarded by its own lock (the overlays'
// delegate calls read it on the main queue while commands may come on
// another thread); building a configuration reads the device (any thread).
// The listener is called on the main queue.
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/json.h"
#include "platform/result.h"
#include "platform/storekit/overlay.h"

// Sends the overlay events to the page through the publisher's controller
// manager (QBNPublisherAgent::sharedInstance()):
//   load failure     "overlayLoadFailed", with "errCode" and "errMsg"
//                    (percent-encoded, so the native text arrives as is);
//   will present     "overlayWillStartPresentation" (unencoded);
//   presented        "overlayDidFinishPresentation" (unencoded, logged);
//   will dismiss     "overlayWillStartDismissal" (unencoded);
//   dismissed        "overlayDidFinishDismissal" (unencoded, logged).
// Each carries formatOverlayDataInMessageForControllerWithOverlay.
class QBNOverlaysListener : public platform::SKOverlayDelegate {
 public:
  void storeOverlayDidFailToLoadWithError(const std::shared_ptr<platform::SKOverlay>& overlay,
                                          const platform::Error& error) override;
  void storeOverlayWillStartPresentation(const std::shared_ptr<platform::SKOverlay>& overlay,
                                         const platform::SKOverlayTransitionContext& context) override;
  void storeOverlayDidFinishPresentation(const std::shared_ptr<platform::SKOverlay>& overlay,
                                         const platform::SKOverlayTransitionContext& context) override;
  void storeOverlayWillStartDismissal(const std::shared_ptr<platform::SKOverlay>& overlay,
                                      const platform::SKOverlayTransitionContext& context) override;
  void storeOverlayDidFinishDismissal(const std::shared_ptr<platform::SKOverlay>& overlay,
                                      const platform::SKOverlayTransitionContext& context) override;

  // "overlayId" (while the holder keeps the overlay under one),
  // "advertisedAppId", "userDismissible" (boolean), "position" (integer).
  static platform::Json formatOverlayDataInMessageForControllerWithOverlay(
      const std::shared_ptr<platform::SKOverlay>& overlay);
  // The same plus "errCode" (integer) and "errMsg".
  static platform::Json formatOverlayDataInMessageForControllerWithOverlay(
      const std::shared_ptr<platform::SKOverlay>& overlay, const platform::Error& error);
};

class QBNOverlaysHolder {
 public:
  // The most overlays held at once: a "createOverlay" under a new id beyond
  // it fails (one under a held id replaces that overlay and always passes).
  static constexpr size_t kMaxHeldOverlays = 64;

  static QBNOverlaysHolder& sharedHolder();

  // The overlay the configuration describes, with the listener as its
  // delegate; "Overlay is nil" when the system makes none.
  platform::Result<std::shared_ptr<platform::SKOverlay>> createOverlayWithConfigurations(const platform::Json& config);

  // Keeps `overlay` under `overlayId`, replacing an earlier one of that id.
  // Ignored for a missing id or overlay; false (nothing kept) when the id is
  // new and kMaxHeldOverlays are held.
  bool setOverlay(const std::shared_ptr<platform::SKOverlay>& overlay, const std::optional<std::string>& overlayId);
  // Whether setOverlay would keep an overlay under `overlayId`.
  bool canHoldOverlayForId(const std::string& overlayId) const;
  std::shared_ptr<platform::SKOverlay> overlayForOverlayId(const std::optional<std::string>& overlayId) const;
  // The last id the overlay is kept under, or none.
  std::optional<std::string> overlayIdForOverlay(const std::shared_ptr<platform::SKOverlay>& overlay) const;
  // Forgets the overlay of the id (it stays on screen when shown). Errors
  // (general domain, code 0): "Missing overlayId in config" for none,
  // "No Overlay exists for overlayId <id>" for an id with no overlay.
  platform::Status removeOverlayForOverlayId(const std::optional<std::string>& overlayId);
  size_t heldOverlaysCount() const;

  // The app configuration of "advertisedAppId" and the position, then the
  // six enrich steps in their order (see the .cc). Null without an
  // "advertisedAppId" text.
  std::shared_ptr<platform::SKOverlayAppConfiguration> createConfigurationInOverlayfromJSConfig(
      const platform::Json& config) const;
  // "position" as an integer; 0 when absent.
  static int64_t extractPositionFromJSConfig(const platform::Json& config);
  static void enrichCustomProductPage(platform::SKOverlayAppConfiguration& configuration, const platform::Json& config);
  static void enrichCampaignToken(platform::SKOverlayAppConfiguration& configuration, const platform::Json& config);
  static void enrichLatestReleaseID(platform::SKOverlayAppConfiguration& configuration, const platform::Json& config);
  static void enrichProviderToken(platform::SKOverlayAppConfiguration& configuration, const platform::Json& config);
  static void enrichSKANDataInOverlayConfig(platform::SKOverlayAppConfiguration& configuration,
                                            const platform::Json& config);
  static void enrichUserDismissibleInOverlayConfig(platform::SKOverlayAppConfiguration& configuration,
                                                   const platform::Json& config);

  const std::shared_ptr<QBNOverlaysListener>& overlaysListener() const { return overlaysListener_; }

  // Forgets every overlay.
  void resetForTesting();

 private:
  QBNOverlaysHolder() = default;

  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, std::shared_ptr<platform::SKOverlay>>> overlays_;  // in order of first keeping
  const std::shared_ptr<QBNOverlaysListener> overlaysListener_ = std::make_shared<QBNOverlaysListener>();
};
