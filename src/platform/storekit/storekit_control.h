#pragma once
// Controls of the store stand-in: how product loads answer (success or
// failure, after how long, on which thread, or held until the test answers),
// the user's closing of a page, and a record of every load; how the ad
// network's impression calls answer and a record of them; the overlays' load
// failures and a record of their steps. Thread-safe except closeByUser (main
// queue).
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/storekit/ad_impression.h"
#include "platform/storekit/overlay.h"
#include "platform/storekit/store_product_view_controller.h"

namespace platform {

// Where an answer arrives.
enum class StoreLoadThread {
  GlobalQueue,  // a block on the default-priority global queue
  MainQueue,    // a block on the main queue
  Inline,       // on the loading thread, before the load call returns (the delay is ignored)
};

struct StoreLoadAnswer {
  bool success = true;
  std::optional<Error> error = std::nullopt;
  double delayMs = 0;
  StoreLoadThread thread = StoreLoadThread::GlobalQueue;
};

// One load the store received.
struct StoreLoadRecord {
  std::weak_ptr<StoreProductViewController> controller;
  StoreProductParameters parameters;
  bool onMainThread = false;  // whether the load was asked on the main thread
  bool answered = false;
};

// How the network's impression calls answer.
struct SKAdNetworkAnswer {
  std::optional<Error> error = std::nullopt;
  double delayMs = 0;
  StoreLoadThread thread = StoreLoadThread::GlobalQueue;
};

// One impression call the network received.
struct SKAdNetworkCallRecord {
  std::string method;  // "startImpression" or "endImpression"
  std::shared_ptr<SKAdImpression> impression;
  Json properties;         // the impression's properties when called
  std::string queueLabel;  // the queue the call came from (currentQueueLabel)
  std::optional<Error> error;  // what it answers
  bool answered = false;
};

// The steps of an overlay's life, as the stand-in records them.
enum class SKOverlayStep { PresentAsked, DismissAsked, WillPresent, Presented, FailedToLoad, WillDismiss, Dismissed };
const char* overlayStepName(SKOverlayStep step);

struct SKOverlayRecord {
  SKOverlayStep step;
  std::weak_ptr<SKOverlay> overlay;  // none for a dismissal that found nothing
  std::weak_ptr<WindowScene> scene;
  std::string appIdentifier;  // of the overlay's configuration; "" without an overlay
};

class StoreKitControl {
 public:
  static StoreKitControl& shared();

  // How loads answer from now on (by default: success at once, on a global
  // queue).
  void setLoadAnswer(StoreLoadAnswer answer);
  // While holding, loads wait until completeLoad answers them.
  void setHoldLoads(bool hold);

  // Every load received since the last reset, in order.
  std::vector<StoreLoadRecord> loads() const;
  // Answers held load `index` (of loads()) on the calling thread, which may
  // be any thread. False when that load is not waiting.
  bool completeLoad(size_t index, bool success, std::optional<Error> error = std::nullopt);

  // The user closes the page: its delegate is told
  // productViewControllerDidFinish. False when it has no delegate. Main queue.
  static bool closeByUser(const std::shared_ptr<StoreProductViewController>& controller);

  // How impression calls answer from now on (by default: no error, at once,
  // on a global queue).
  void setImpressionAnswer(SKAdNetworkAnswer answer);
  // The next impression call (start or end) answers `error`, then the
  // answers are as before.
  void failNextImpressionCall(Error error);
  // The next impression call throws std::invalid_argument(reason) instead.
  void throwOnNextImpressionCall(std::string reason);
  // Every impression call received since the last reset, in order.
  std::vector<SKAdNetworkCallRecord> impressionCalls() const;

  // The next overlay presented fails to load with `error`.
  void failNextOverlayLoad(Error error);
  // Every overlay step since the last reset, in order.
  std::vector<SKOverlayRecord> overlayRecords() const;

  // Default answers, no holding, no records, no overlay on screen; held and
  // scheduled answers are dropped (their completions and overlay steps never
  // run).
  void resetForTesting();

  // Used by StoreProductViewController.
  void receiveLoad(const std::shared_ptr<StoreProductViewController>& controller,
                   const StoreProductParameters& parameters, StoreLoadCompletion completion);
  // Used by SKAdNetwork (ad_impression.cc).
  void receiveImpressionCall(const char* method, const std::shared_ptr<SKAdImpression>& impression,
                             SKAdNetworkCompletion completion);
  // Used by SKOverlay (overlay.cc): the count of resets, so that steps
  // scheduled before a reset are dropped, and the record of one step.
  uint64_t generationForOverlays() const;
  void record(SKOverlayStep step, const std::shared_ptr<SKOverlay>& overlay, const std::shared_ptr<WindowScene>& scene);
  friend class SKOverlay;

 private:
  StoreKitControl() = default;

  mutable std::mutex m_;
  uint64_t generation_ = 0;
  StoreLoadAnswer answer_;
  bool hold_ = false;
  std::vector<StoreLoadRecord> loads_;
  std::vector<StoreLoadCompletion> held_;  // by index of loads_; empty once answered

  SKAdNetworkAnswer impressionAnswer_;
  std::optional<Error> nextImpressionError_;
  std::optional<std::string> nextImpressionThrow_;
  std::vector<SKAdNetworkCallRecord> impressionCalls_;
  std::vector<std::shared_ptr<SKAdImpression>> startedImpressions_;

  std::optional<Error> nextOverlayLoadError_;
  std::vector<SKOverlayRecord> overlayRecords_;
  // The overlay each scene shows (or is bringing on screen); the system keeps
  // it while it is there.
  std::vector<std::pair<std::weak_ptr<WindowScene>, std::shared_ptr<SKOverlay>>> shownOverlays_;
};

}  // namespace platform
