#include "events/QBEventsEngine.h"

#include <algorithm>
#include <utility>

#include "foundation/PMEReachability.h"
#include "foundation/QBHttpService.h"
#include "foundation/QBLoggerManager.h"
#include "platform/clock.h"
#include "platform/json.h"
#include "platform/notifications.h"

namespace {

constexpr int kTagEvent = 7;

void logLine(const std::string& identifier, const std::string& message, int level = 0) {
  QBLoggerManager::sharedInstance().log(identifier + " - " + message, level, kTagEvent);
}

}  // namespace

const char* QBEventsEngineStateName(QBEventsEngineState state) {
  switch (state) {
    case QBEventsEngineState::NotConfigured: return "NOT_CONFIGURED";
    case QBEventsEngineState::Ready: return "READY";
    case QBEventsEngineState::Uploading: return "UPLOADING";
    case QBEventsEngineState::WaitingToRetry: return "WAITING_TO_RETRY";
    case QBEventsEngineState::Disabled: return "DISABLED";
  }
  return "UNKNOWN";
}

const std::vector<int>& QBEventsEngine::defaultNonConnectivityEvents() {
  // Kept sorted for the binary search on the callers' threads.
  static const std::vector<int>& ids = *new std::vector<int>{1220, 1221, 1222, 1301, 1322, 2110, 2111, 2112, 2300, 2322};
  return ids;
}

QBEventsEngine::QBEventsEngine(std::string identifier)
    : identifier_(std::move(identifier)),
      queue_(platform::createBackgroundSerialQueue("com.quilbrn." + identifier_ + "_queue")),
      storage_(QBKeyValueStorageProvider::storageWithIdentifier(identifier_)) {}

QBEventsEngine::~QBEventsEngine() = default;

void QBEventsEngine::start() {
  std::weak_ptr<QBEventsEngine> weak = weak_from_this();
  queue_->async([weak] {
    if (auto self = weak.lock()) self->restoreBackup();
  });
  // The application may be suspended or ended as soon as these notices
  // return, so their handlers run on the poster's thread and wait for the
  // backup to be written on the engine's queue (after the work queued before).
  platform::NotificationCenter::defaultCenter().addObserver(
      std::weak_ptr<const void>(weak), platform::kUIApplicationDidEnterBackgroundNotification, nullptr,
      [weak](const platform::Notification&) {
        auto self = weak.lock();
        if (!self) return;
        self->queue_->sync([&self] { self->requestFlush(); });
      });
  platform::NotificationCenter::defaultCenter().addObserver(
      std::weak_ptr<const void>(weak), platform::kUIApplicationWillTerminateNotification, nullptr,
      [weak](const platform::Notification&) {
        auto self = weak.lock();
        if (!self) return;
        self->queue_->sync([&self] { self->persistNow(); });
      });
}

bool QBEventsEngine::isNonConnectivityEvent(int eventId) const {
  const auto& defaults = defaultNonConnectivityEvents();
  if (std::binary_search(defaults.begin(), defaults.end(), eventId)) return true;
  std::lock_guard lock(settingsMutex_);
  return callerSettings_ && callerSettings_->isNonConnectivityEvent(eventId);
}

void QBEventsEngine::logEvent(QBEventData event) {
  if (isNonConnectivityEvent(event.eventId()) &&
      !PMEReachabilityManager::sharedManager()->getReachabilityObject()->hasConnectivity()) {
    event.setEventId(event.eventId() + kOfflineEventIdOffset);
  }
  std::weak_ptr<QBEventsEngine> weak = weak_from_this();
  queue_->async([weak, event = std::move(event)] {
    if (auto self = weak.lock()) self->handleEvent(event);
  });
}

void QBEventsEngine::logEvent(const std::shared_ptr<QBEventData>& event) {
  if (event) logEvent(*event);
}

void QBEventsEngine::configure(std::shared_ptr<const QBEventsSettings> settings) {
  if (!settings) {
    logLine(identifier_, "configure called without settings", 3);
    return;
  }
  {
    std::lock_guard lock(settingsMutex_);
    callerSettings_ = settings;
  }
  std::weak_ptr<QBEventsEngine> weak = weak_from_this();
  queue_->async([weak, settings = std::move(settings)] {
    if (auto self = weak.lock()) self->applySettings(settings);
  });
}

// ---------------------------------------------------------------- on the queue

void QBEventsEngine::restoreBackup() {
  auto stored = storage_->getValue(kBackupKey);
  if (!stored) return;
  size_t malformed = 0;
  std::deque<QBKeptEvent> restored;
  for (const auto& event : QBEventsFormat::eventsFromBackup(*stored, &malformed)) {
    restored.push_back(QBEventsFormat::keptEvent(event));
  }
  if (malformed > 0) {
    logLine(identifier_, "backup: skipped " + std::to_string(malformed) + " malformed entries", 3);
    dirty_ = true;
  }
  // Events logged before this block ran cannot exist (it is the first block),
  // but keep them after the restored ones all the same.
  for (auto& event : events_) restored.push_back(std::move(event));
  events_ = std::move(restored);
  logLine(identifier_, "restored " + std::to_string(events_.size()) + " events from the backup");
  enforceBound();
  if (dirty_) markDirty();
  publishCount();
  maybeUpload();
}

void QBEventsEngine::handleEvent(const QBEventData& event) {
  if (state_ == QBEventsEngineState::Disabled) return;
  if (settings_ && settings_->isOptOut(event.eventId())) return;
  if (!general_) general_ = std::make_unique<QBEventsGeneralProperties>();
  events_.push_back(QBKeptEvent{event.eventId(), general_->enrichedText(event)});
  ++unwritten_;
  enforceBound();
  markDirty();
  publishCount();
  if (settings_ && settings_->isTriggerEvent(event.eventId())) owed_ = events_.size();
  maybeUpload();
}

void QBEventsEngine::applySettings(std::shared_ptr<const QBEventsSettings> settings) {
  settings_ = std::move(settings);
  if (!settings_->isEnabled()) {
    const size_t dropped = events_.size();
    events_.clear();
    unwritten_ = 0;
    inFlightCount_ = 0;
    owed_ = 0;
    retryTimer_.reset();
    setState(QBEventsEngineState::Disabled);
    if (dropped > 0) logLine(identifier_, "events are disabled - dropped " + std::to_string(dropped) + " events");
    markDirty();
    publishCount();
    return;
  }
  // Opted-out ids leave the store; a batch already on the wire is left alone.
  const size_t before = events_.size();
  const size_t firstOpen = std::min(inFlightCount_, events_.size());
  size_t kept = firstOpen;
  size_t owedKept = std::min(owed_, firstOpen);
  for (size_t i = firstOpen; i < events_.size(); ++i) {
    if (settings_->isOptOut(events_[i].eventId)) continue;
    if (i < owed_) ++owedKept;
    if (kept != i) events_[kept] = std::move(events_[i]);
    ++kept;
  }
  events_.resize(kept);
  owed_ = owedKept;
  if (events_.size() != before) {
    unwritten_ = 0;  // which of the removed ones were written is not known: assume all were
    logLine(identifier_, "removed " + std::to_string(before - events_.size()) + " opted-out events");
  }
  if (state_ == QBEventsEngineState::NotConfigured || state_ == QBEventsEngineState::Disabled) {
    setState(QBEventsEngineState::Ready);
  }
  enforceBound();
  markDirty();
  publishCount();
  maybeUpload();
}

void QBEventsEngine::requestFlush() {
  if (events_.empty()) {
    persistNow();
    return;
  }
  owed_ = events_.size();
  maybeUpload();
  persistNow();
}

void QBEventsEngine::persistNow() {
  if (dirty_ || unflushed_) persist();
}

void QBEventsEngine::maybeUpload() {
  if (state_ != QBEventsEngineState::Ready) return;
  if (events_.empty()) {
    owed_ = 0;
    return;
  }
  if (static_cast<int64_t>(events_.size()) >= settings_->maxNumberOfEvents()) owed_ = events_.size();
  if (owed_ == 0) return;
  startUpload();
}

void QBEventsEngine::startUpload() {
  const size_t count =
      std::min(events_.size(), static_cast<size_t>(std::max<int64_t>(1, settings_->maxEventsPerBatch())));
  inFlightCount_ = count;
  const uint64_t sequence = ++uploadSequence_;
  std::string body = QBEventsFormat::uploadBodyText(settings_->isMarrowjetFormat(), events_, 0, count,
                                                    platform::nowWallMs());
  setState(QBEventsEngineState::Uploading);
  logLine(identifier_, "sending " + std::to_string(count) + " events to " + settings_->serverEventsURL());
  std::weak_ptr<QBEventsEngine> weak = weak_from_this();
  QBHttpService::sendPostRequest(
      settings_->serverEventsURL(), body, settings_->compressEvents(), kUploadTimeoutSeconds,
      [weak, sequence](platform::DataTaskResult result) {
        if (auto self = weak.lock()) self->onUploadFinished(sequence, result);
      },
      queue_);
}

void QBEventsEngine::onUploadFinished(uint64_t sequence, const platform::DataTaskResult& result) {
  if (state_ != QBEventsEngineState::Uploading || sequence != uploadSequence_) {
    logLine(identifier_, "ignoring the answer of an upload that no longer counts");
    return;
  }
  const bool accepted = !result.error && result.response && result.response->statusCode >= 200 &&
                        result.response->statusCode < 300;
  if (accepted) {
    const size_t sent = std::min(inFlightCount_, events_.size());
    // The batch is the oldest events; the backup on disk may hold some of
    // them unless every kept event came after the last write.
    const bool batchMayBeWritten = unwritten_ < events_.size();
    events_.erase(events_.begin(), events_.begin() + static_cast<std::ptrdiff_t>(sent));
    unwritten_ = std::min(unwritten_, events_.size());
    owed_ -= std::min(owed_, sent);
    inFlightCount_ = 0;
    failedUploads_ = 0;
    logLine(identifier_, "upload accepted - " + std::to_string(sent) + " events sent");
    if (batchMayBeWritten) {
      // At once: a backup that still held accepted events would send them
      // again after a restart. Not flushed now: the next write (or the
      // timer) does, so a run of uploads costs one flush.
      dirty_ = true;
      persist(platform::WriteDurability::Unflushed);
      scheduleWrite();
    }
    // Otherwise the batch never reached the disk; the write already
    // scheduled for the events kept since leaves it out.
    publishCount();
    setState(QBEventsEngineState::Ready);
    maybeUpload();
    return;
  }
  inFlightCount_ = 0;
  ++failedUploads_;
  int64_t delay = kFirstRetryDelayMs;
  for (int i = 1; i < failedUploads_ && delay < kMaxRetryDelayMs; ++i) delay *= 2;
  delay = std::min(delay, kMaxRetryDelayMs);
  const std::string why = result.error ? result.error->message
                                       : "status " + std::to_string(result.response ? result.response->statusCode : 0);
  logLine(identifier_, "upload failed (" + why + ") - keeping the batch, retry in " + std::to_string(delay) + " ms",
          3);
  setState(QBEventsEngineState::WaitingToRetry);
  std::weak_ptr<QBEventsEngine> weak = weak_from_this();
  retryTimer_ = platform::Timer::once(queue_, static_cast<double>(delay), [weak] {
    if (auto self = weak.lock()) self->onRetryTimer();
  });
}

void QBEventsEngine::onRetryTimer() {
  if (state_ != QBEventsEngineState::WaitingToRetry) return;
  retryTimer_.reset();
  setState(QBEventsEngineState::Ready);
  owed_ = events_.size();
  maybeUpload();
}

size_t QBEventsEngine::backupBound() const {
  const int64_t bound =
      settings_ ? settings_->maxNumberOfEventsToBackup() : QBEventsSettings::kDefaultMaxNumberOfEventsToBackup;
  return static_cast<size_t>(std::clamp<int64_t>(bound, 0, kMaxEventsToBackup));
}

size_t QBEventsEngine::keptBound() const {
  // Without a backup the events still wait in memory for their upload, under
  // the default bound.
  const size_t bound = backupBound();
  return bound > 0 ? bound : static_cast<size_t>(QBEventsSettings::kDefaultMaxNumberOfEventsToBackup);
}

void QBEventsEngine::enforceBound() {
  const size_t bound = keptBound();
  if (events_.size() <= bound) return;
  const size_t dropped = events_.size() - bound;
  events_.erase(events_.begin(), events_.begin() + static_cast<std::ptrdiff_t>(dropped));
  unwritten_ = std::min(unwritten_, events_.size());
  inFlightCount_ -= std::min(inFlightCount_, dropped);
  owed_ -= std::min(owed_, dropped);
  logLine(identifier_, "event store is full - dropped the " + std::to_string(dropped) + " oldest events", 3);
  dirty_ = true;
}

void QBEventsEngine::markDirty() {
  dirty_ = true;
  scheduleWrite();
}

void QBEventsEngine::scheduleWrite() {
  if (persistTimer_) return;
  // Each write replaces the whole backup, so changes are gathered for a while
  // instead of writing once per event.
  std::weak_ptr<QBEventsEngine> weak = weak_from_this();
  persistTimer_ = platform::Timer::once(queue_, static_cast<double>(kBackupDelayMs), [weak] {
    if (auto self = weak.lock()) self->persist();
  });
}

void QBEventsEngine::persist(platform::WriteDurability durability) {
  const bool flush = durability == platform::WriteDurability::Flushed;
  if (flush) persistTimer_.reset();
  if (!dirty_) {
    if (flush && unflushed_) unflushed_ = !storage_->synchronize();
    return;
  }
  dirty_ = false;
  unflushed_ = !flush;
  unwritten_ = 0;  // also when the write fails: then the disk may hold anything
  const size_t bound = backupBound();
  if (bound == 0 || events_.empty()) {
    storage_->removeValue(kBackupKey, durability);
    return;
  }
  // The newest events, as many as the bound and the byte budget allow.
  const size_t oldest = events_.size() > bound ? events_.size() - bound : 0;
  size_t first = events_.size();
  size_t bytes = 0;
  while (first > oldest) {
    const size_t size = events_[first - 1].text.size() + 1;
    if (bytes + size > kMaxBackupBytes) break;
    bytes += size;
    --first;
  }
  if (first > oldest) {
    logLine(identifier_, "backup is full - left out the " + std::to_string(first - oldest) + " oldest events", 3);
  }
  // The store keeps values, not texts: each event is read back from its
  // text (written by this engine or restored from a backup, always JSON).
  platform::Json backup = platform::Json::array();
  auto& entries = backup.get_ref<platform::Json::array_t&>();
  entries.reserve(events_.size() - first);
  for (size_t i = first; i < events_.size(); ++i) {
    auto value = platform::parseJson(events_[i].text);
    if (value.ok()) entries.push_back(std::move(value).value());
  }
  storage_->setValue(kBackupKey, std::move(backup), durability);
}

void QBEventsEngine::setState(QBEventsEngineState state) {
  if (state == state_) return;
  logLine(identifier_, std::string("state from ") + QBEventsEngineStateName(state_) + " to " +
                           QBEventsEngineStateName(state));
  state_ = state;
  stateSnapshot_.store(state);
}

void QBEventsEngine::publishCount() { storedCount_.store(events_.size()); }
