#pragma once
// Controls of the store stand-in: how product loads answer (success or
// failure, after how long, on which thread, or held until the test answers),
// the user's closing of a page, and a record of every load. Thread-safe except
// closeByUser (main queue).
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

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

  // Default answers, no holding, no records; held and scheduled answers are
  // dropped (their completions never run).
  void resetForTesting();

  // Used by StoreProductViewController.
  void receiveLoad(const std::shared_ptr<StoreProductViewController>& controller,
                   const StoreProductParameters& parameters, StoreLoadCompletion completion);

 private:
  StoreKitControl() = default;

  mutable std::mutex m_;
  uint64_t generation_ = 0;
  StoreLoadAnswer answer_;
  bool hold_ = false;
  std::vector<StoreLoadRecord> loads_;
  std::vector<StoreLoadCompletion> held_;  // by index of loads_; empty once answered
};

}  // namespace platform
