#pragma once
// Base of the events engines: records analytics events from the start of the
// process, keeps them in memory and backs them up in the key-value store named
// by the engine's identifier, and uploads them in batches once the engine has
// been configured with the server configuration's QBEventsSettings.
//
// Threads: logEvent() and configure() may be called from any thread and
// return at once; everything else happens on the engine's serial queue
// "com.quilbrn.<identifier>_queue", which also receives the upload answers.
//
// Life of an event (docs/events.md has the details):
//  * logEvent stamps the offline id (id + 90000) on an offline-sensitive event
//    while the reachability monitor reports no connectivity, then queues it;
//  * on the queue it is enriched with the general properties, kept and backed
//    up: changes are written to the store at most kBackupDelayMs after they
//    happen, and before the background and terminate notices return. After an
//    accepted upload whose batch the backup may hold, the backup is written at
//    once without flushing it to the disk (so a restart, even after a kill,
//    never sends the batch again), and flushed with the next write, at most
//    kBackupDelayMs later; a batch sent before any write held it needs none;
//  * before configure() nothing is sent; a disabled configuration drops every
//    kept event and the ones that follow; opted-out ids are not kept;
//  * an upload starts when maxNumberOfEvents events are kept, a trigger event
//    arrives, the engine is configured with that many restored events, or the
//    application enters the background; it then sends the events kept at that
//    moment, one batch of at most maxEventsPerBatch at a time (a batch with
//    room takes newer ones too). Events recorded meanwhile wait for the next
//    reason; a trigger event recorded meanwhile adds itself and every event
//    before it to the upload under way;
//  * a batch is removed only after a 2xx answer; a failed upload keeps it and
//    retries after a back-off (5 s doubling up to 5 min) on the platform clock;
//  * the kept events are bounded by maxNumberOfEventsToBackup (5000 before
//    the configuration arrives, never more than kMaxEventsToBackup); past the
//    bound the oldest are dropped and the number dropped is logged. The
//    backup holds the newest of them that fit in kMaxBackupBytes.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/QBEventsSettings.h"
#include "events/QBEventData.h"
#include "events/QBEventsFormat.h"
#include "foundation/QBKeyValueStorageProvider.h"
#include "platform/dispatch.h"
#include "platform/net.h"

enum class QBEventsEngineState {
  NotConfigured,   // recording and backing up, sending nothing
  Ready,           // configured and enabled, no upload under way
  Uploading,       // one batch on the wire
  WaitingToRetry,  // the last upload failed; the back-off timer runs
  Disabled,        // configured off: events are dropped
};
const char* QBEventsEngineStateName(QBEventsEngineState state);

class QBEventsEngine : public std::enable_shared_from_this<QBEventsEngine> {
 public:
  // Key of the backup inside the engine's store.
  static constexpr const char* kBackupKey = "backup";
  // Added to the id of an offline-sensitive event logged without connectivity.
  static constexpr int kOfflineEventIdOffset = 90000;
  static constexpr double kUploadTimeoutSeconds = 15;
  static constexpr int64_t kFirstRetryDelayMs = 5'000;
  static constexpr int64_t kMaxRetryDelayMs = 300'000;
  // Longest time a change waits before the backup is written.
  static constexpr int64_t kBackupDelayMs = 1'000;
  // Ceiling of the configured "maxNumberOfEventsToBackup".
  static constexpr int64_t kMaxEventsToBackup = 10'000;
  // Most bytes of events in one backup, well under the largest store file
  // that loads (platform::UserDefaults::kMaxFileBytes).
  static constexpr size_t kMaxBackupBytes = size_t{8} * 1024 * 1024;

  // Ids that are offline-sensitive in every engine (load, no-fill, token and
  // auction failures of rewarded video and interstitial); the configured
  // "nonConnectivityEvents" are added to them.
  static const std::vector<int>& defaultNonConnectivityEvents();

  virtual ~QBEventsEngine();
  QBEventsEngine(const QBEventsEngine&) = delete;
  QBEventsEngine& operator=(const QBEventsEngine&) = delete;

  // "events", "InterstitialEvents" or "pixelEvents".
  const std::string& identifier() const { return identifier_; }
  // "com.quilbrn.<identifier>_queue".
  const std::string& queueLabel() const { return queue_->label(); }

  // Records `event`. Returns at once; the work runs on the engine's queue.
  void logEvent(QBEventData event);
  // The same; a null event is ignored.
  void logEvent(const std::shared_ptr<QBEventData>& event);

  // Applies the configuration's settings of this engine (from now on uploads
  // may start). Returns at once. A null settings record is ignored.
  void configure(std::shared_ptr<const QBEventsSettings> settings);

  // Kept events and state as last seen on the queue.
  size_t storedEventCountForTesting() const { return storedCount_.load(); }
  QBEventsEngineState stateForTesting() const { return stateSnapshot_.load(); }
  // Runs `block` on the engine's queue after the work queued so far.
  void runOnQueueForTesting(platform::Block block) { queue_->async(std::move(block)); }

 protected:
  explicit QBEventsEngine(std::string identifier);

  // Two-phase construction: restores the backup and starts listening to the
  // application's life cycle.
  template <class Engine>
  static std::shared_ptr<Engine> create() {
    std::shared_ptr<Engine> engine(new Engine());
    engine->start();
    return engine;
  }

 private:
  void start();
  bool isNonConnectivityEvent(int eventId) const;

  // Queue-only from here on.
  void restoreBackup();
  void handleEvent(const QBEventData& event);
  void applySettings(std::shared_ptr<const QBEventsSettings> settings);
  void requestFlush();
  void persistNow();
  void maybeUpload();
  void startUpload();
  void onUploadFinished(uint64_t sequence, const platform::DataTaskResult& result);
  void onRetryTimer();
  void enforceBound();
  size_t keptBound() const;
  size_t backupBound() const;
  void markDirty();
  void scheduleWrite();
  void persist(platform::WriteDurability durability = platform::WriteDurability::Flushed);
  void setState(QBEventsEngineState state);
  void publishCount();

  const std::string identifier_;
  // A background queue: an event logged from a worker is handled once that
  // worker's block has ended, on the same worker, rather than on a second
  // one woken beside the work that logged it.
  const platform::QueueRef queue_;
  const std::shared_ptr<QBKeyValueStorage> storage_;

  // Read by logEvent on the callers' threads.
  mutable std::mutex settingsMutex_;
  std::shared_ptr<const QBEventsSettings> callerSettings_;

  // Owned by the queue.
  std::unique_ptr<QBEventsGeneralProperties> general_;
  std::shared_ptr<const QBEventsSettings> settings_;
  QBEventsEngineState state_ = QBEventsEngineState::NotConfigured;
  std::deque<QBKeptEvent> events_;  // oldest first
  size_t inFlightCount_ = 0;  // the first inFlightCount_ kept events are on the wire
  uint64_t uploadSequence_ = 0;
  int failedUploads_ = 0;
  // The first owed_ kept events are owed by the upload asked for (a trigger
  // event, the threshold, the background, a retry); newer ones wait for the
  // next reason, unless a batch has room for them.
  size_t owed_ = 0;
  bool dirty_ = false;
  bool unflushed_ = false;  // the backup's last write has not been flushed to the disk
  size_t unwritten_ = 0;    // the newest kept events, added after the last backup write
  std::shared_ptr<platform::Timer> retryTimer_;
  std::shared_ptr<platform::Timer> persistTimer_;

  std::atomic<size_t> storedCount_{0};
  std::atomic<QBEventsEngineState> stateSnapshot_{QBEventsEngineState::NotConfigured};
};
