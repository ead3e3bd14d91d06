#pragma once
// Loading modes of the object-per-waterfall managers and the one-shot reload
// timer that turns a manager's life events into its next load.
//
// QBAdUnitLoadingData holds the mode and its intervals. QBAdUnitLoadingModeManager
// schedules the reload: each trigger hops to the main queue, drops the pending
// timer and schedules a new one, so at most one reload is ever pending and a
// later trigger replaces an earlier one. When the timer fires the manager's
// QBLoadingModeDelegate::onLoadTriggered runs on the main queue, unless the
// delegate (held weakly) or the loading-mode manager is gone by then.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/dispatch.h"

// Who starts loads: the application (manual modes) or the manager itself
// (automatic modes).
enum class QBAdUnitLoadingMode : int64_t {
  MANUAL = 0,
  MANUAL_WITH_AUTOMATIC_RELOAD = 1,
  AUTOMATIC_LOAD_AFTER_CLOSE = 2,
  AUTOMATIC_LOAD_WHILE_SHOW = 3,
};

// "MANUAL", "MANUAL_WITH_AUTOMATIC_RELOAD", "AUTOMATIC_LOAD_AFTER_CLOSE",
// "AUTOMATIC_LOAD_WHILE_SHOW"; "UNKNOWN" for any other value.
const char* QBAdUnitLoadingModeName(QBAdUnitLoadingMode mode);

// The loading mode of one manager and its intervals (milliseconds). Immutable;
// safe to share between threads.
class QBAdUnitLoadingData {
 public:
  QBAdUnitLoadingData(QBAdUnitLoadingMode loadingMode, int64_t timeToWaitBeforeTrigger, int64_t retryInterval,
                      int64_t reloadInterval);
  static std::shared_ptr<const QBAdUnitLoadingData> initWithQBLoadingMode(QBAdUnitLoadingMode loadingMode,
                                                                          int64_t timeToWaitBeforeTrigger,
                                                                          int64_t retryInterval,
                                                                          int64_t reloadInterval);

  QBAdUnitLoadingMode loadingMode() const { return loadingMode_; }
  // Delay of the reload after a show starts or ends.
  int64_t timeToWaitBeforeTrigger() const { return timeToWaitBeforeTrigger_; }
  // Delay of the reload after a whole-waterfall load failure.
  int64_t retryInterval() const { return retryInterval_; }
  // Kept for the record; no trigger uses it.
  int64_t reloadInterval() const { return reloadInterval_; }

  // Modes 0 and 1.
  bool isManualMode() const;
  // Modes 2 and 3.
  bool isAutomaticMode() const;

 private:
  QBAdUnitLoadingMode loadingMode_;
  int64_t timeToWaitBeforeTrigger_;
  int64_t retryInterval_;
  int64_t reloadInterval_;
};

// Implemented by the manager: a reload is due. Called on the main queue.
class QBLoadingModeDelegate {
 public:
  virtual ~QBLoadingModeDelegate() = default;
  virtual void onLoadTriggered() = 0;
};

class QBAdUnitLoadingModeManager : public std::enable_shared_from_this<QBAdUnitLoadingModeManager> {
 public:
  static std::shared_ptr<QBAdUnitLoadingModeManager> initWithAdUnitLoadingData(
      std::shared_ptr<const QBAdUnitLoadingData> adUnitLoadingData,
      std::weak_ptr<QBLoadingModeDelegate> loadingModeDelegate);
  ~QBAdUnitLoadingModeManager();
  QBAdUnitLoadingModeManager(const QBAdUnitLoadingModeManager&) = delete;
  QBAdUnitLoadingModeManager& operator=(const QBAdUnitLoadingModeManager&) = delete;

  // Life events of the manager; each may come from any thread and returns at
  // once. loadError: modes 1-3, after retryInterval. showError: modes 1-3, at
  // the next main-queue turn. showStarted: mode 3 only, after
  // timeToWaitBeforeTrigger. showEnded: mode 2 only, after
  // timeToWaitBeforeTrigger. Outside those modes they do nothing.
  void loadError();
  void showError();
  void showStarted();
  void showEnded();

  // Schedules the reload `ms` milliseconds after the main queue takes the
  // request, replacing any pending one. Any thread.
  void trigger(int64_t ms);
  // Drops the pending reload, if any. Any thread.
  void stopTimer();
  // The timer fired: tells the delegate when it still exists.
  void onLoadTriggered();

  const std::shared_ptr<const QBAdUnitLoadingData>& adUnitLoadingData() const { return adUnitLoadingData_; }
  std::weak_ptr<QBLoadingModeDelegate> loadingModeDelegate() const { return loadingModeDelegate_; }
  // Whether a reload is scheduled (a trigger still on its way to the main
  // queue does not count yet).
  bool hasPendingTimer() const;

 private:
  QBAdUnitLoadingModeManager(std::shared_ptr<const QBAdUnitLoadingData> adUnitLoadingData,
                             std::weak_ptr<QBLoadingModeDelegate> loadingModeDelegate);
  void triggerInModes(const char* event, int64_t ms, bool applies);

  const std::shared_ptr<const QBAdUnitLoadingData> adUnitLoadingData_;
  const std::weak_ptr<QBLoadingModeDelegate> loadingModeDelegate_;
  // Touched on the main queue, and by stopTimer() from any thread.
  mutable std::mutex timerMutex_;
  std::shared_ptr<platform::Timer> timer_;
};
