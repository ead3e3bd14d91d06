#include "adapters/QBBiddingDataManager.h"

#include <algorithm>
#include <utility>

#include "foundation/DurationMeasurement.h"
#include "foundation/QBLoggerManager.h"
#include "platform/runtime.h"

// ============================================================ async operation

QBBiddingAsyncOperation::QBBiddingAsyncOperation(std::string instanceName, std::shared_ptr<QBAdapterConfig> config,
                                                 std::shared_ptr<QBAdData> adData,
                                                 std::weak_ptr<QBBiddingDataEventProtocol> eventDelegate,
                                                 std::weak_ptr<QBBiddingDataProtocol> biddingDataDelegate)
    : instanceName_(std::move(instanceName)),
      config_(std::move(config)),
      adData_(std::move(adData)),
      eventDelegate_(std::move(eventDelegate)),
      biddingDataDelegate_(std::move(biddingDataDelegate)) {
  response_.instanceName = instanceName_;
}

std::shared_ptr<QBBiddingAsyncOperation> QBBiddingAsyncOperation::initWithInstanceName(
    std::string instanceName, std::shared_ptr<QBAdapterConfig> config, std::shared_ptr<QBAdData> adData,
    std::weak_ptr<QBBiddingDataEventProtocol> eventDelegate, std::weak_ptr<QBBiddingDataProtocol> biddingDataDelegate) {
  return std::make_shared<QBBiddingAsyncOperation>(std::move(instanceName), std::move(config), std::move(adData),
                                                   std::move(eventDelegate), std::move(biddingDataDelegate));
}

QBBiddingResponse QBBiddingAsyncOperation::getBiddingResponse() const {
  std::lock_guard lock(mutex_);
  return response_;
}

bool QBBiddingAsyncOperation::isFinished() const {
  std::lock_guard lock(mutex_);
  return finished_;
}

void QBBiddingAsyncOperation::run() {
  {
    std::lock_guard lock(mutex_);
    if (started_) return;
    started_ = true;
  }
  if (auto events = eventDelegate_.lock()) events->sendCollectingBiddingDataEvent(config_);

  DurationMeasurement watch;
  QBBiddingResponse response;
  response.instanceName = instanceName_;
  if (auto adapter = biddingDataDelegate_.lock()) {
    std::optional<platform::Json> data;
    auto caught = platform::guard([&] { data = adapter->getBiddingDataWithAdData(adData_); });
    if (caught) {
      response.errorMessage = "Exception while calling network adapter getBiddingData from " + instanceName_ +
                              ", exception = " + caught->name + " " + caught->reason;
      QB_LOG(response.errorMessage, 3, 2);
    } else if (!data) {
      response.errorMessage = kMissingBiddingData;
    } else {
      response.biddingData = std::move(data);
    }
  } else {
    response.errorMessage = kAdapterNotAvailable;
  }
  response.totalDuration = watch.getMeasuredDuration();

  std::lock_guard lock(mutex_);
  response_ = std::move(response);
  finished_ = true;
}

// =============================================================== data manager

namespace {

// One collection. Lives until it has answered: the pending operations and
// the timeout timer hold it.
struct Collection {
  platform::QueueRef queue;
  QBBiddingDataManager::Operations operations;
  QBBiddingDataManager::SuccessBlock success;
  DurationMeasurement watch;

  // Touched only on `queue` (serial).
  std::vector<bool> done;
  size_t remaining = 0;
  bool answered = false;

  std::mutex timerMutex;
  std::shared_ptr<platform::Timer> timer;

  void operationDone(size_t index) {
    if (answered) return;  // late answer after the timeout
    if (!done[index]) {
      done[index] = true;
      --remaining;
    }
    if (remaining == 0) answer();
  }

  void answer() {
    if (answered) return;
    answered = true;
    std::shared_ptr<platform::Timer> t;
    {
      std::lock_guard lock(timerMutex);
      t = std::move(timer);
    }
    if (t) t->cancel();  // also breaks the timer -> collection cycle
    QBBiddingDataManager::Operations finished, unfinished;
    for (size_t i = 0; i < operations.size(); ++i) (done[i] ? finished : unfinished).push_back(operations[i]);
    const int64_t duration = watch.getMeasuredDuration();
    auto block = std::move(success);
    success = nullptr;
    if (block) block(finished, unfinished, duration);
  }
};

}  // namespace

QBBiddingDataManager::QBBiddingDataManager(const std::string& identifier)
    : queue_(platform::createSerialQueue(kQueueLabelPrefix + identifier)) {}

std::shared_ptr<QBBiddingDataManager> QBBiddingDataManager::initWithIdentifier(const std::string& identifier) {
  return std::make_shared<QBBiddingDataManager>(identifier);
}

void QBBiddingDataManager::collectAllBiddingDataWithOperations(const Operations& operations, double timeoutMs,
                                                               SuccessBlock success, FailureBlock failure) {
  Operations unique;
  for (const auto& op : operations) {
    if (op && std::find(unique.begin(), unique.end(), op) == unique.end()) unique.push_back(op);
  }
  if (unique.empty()) {
    queue_->async([failure = std::move(failure)] {
      if (failure) failure(kNoOperations);
    });
    return;
  }

  auto collection = std::make_shared<Collection>();
  collection->queue = queue_;
  collection->operations = unique;
  collection->success = std::move(success);
  collection->done.assign(unique.size(), false);
  collection->remaining = unique.size();
  {
    std::lock_guard lock(collection->timerMutex);
    collection->timer = platform::Timer::once(queue_, timeoutMs < 0 ? 0 : timeoutMs,
                                              [collection] { collection->answer(); });
  }
  for (size_t i = 0; i < unique.size(); ++i) {
    platform::globalQueue()->async([collection, i] {
      collection->operations[i]->run();
      collection->queue->async([collection, i] { collection->operationDone(i); });
    });
  }
}
