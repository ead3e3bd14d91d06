#pragma once
// Collection of bidder tokens before an auction: one QBBiddingAsyncOperation
// per bidding instance, all run side by side by a QBBiddingDataManager under
// one timeout.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "adapters/QBAdData.h"
#include "platform/dispatch.h"
#include "platform/json.h"

class QBAdapterConfig;

// A network adapter that gives bidder tokens.
class QBBiddingDataProtocol {
 public:
  virtual ~QBBiddingDataProtocol() = default;
  // The instance's bidder token dictionary, or none. Called on a global
  // queue. May throw (outside code).
  virtual std::optional<platform::Json> getBiddingDataWithAdData(const std::shared_ptr<QBAdData>& adData) = 0;
};

// Told when an operation starts collecting (for the token events).
class QBBiddingDataEventProtocol {
 public:
  virtual ~QBBiddingDataEventProtocol() = default;
  // Called on the operation's thread (a global queue), before the adapter is
  // asked.
  virtual void sendCollectingBiddingDataEvent(const std::shared_ptr<QBAdapterConfig>& adapterConfig) = 0;
};

// The result of one token collection.
struct QBBiddingResponse {
  std::string instanceName;
  std::optional<platform::Json> biddingData;  // none when the adapter gave none or failed
  int64_t totalDuration = 0;                  // ms the adapter took
  std::string errorMessage;                   // "" on success
};

// One token collection. The adapter and the event delegate are held weakly.
class QBBiddingAsyncOperation {
 public:
  // Error texts of the response.
  static constexpr const char* kMissingBiddingData = "Missing bidding data";
  static constexpr const char* kAdapterNotAvailable = "bidding data adapter is not available";

  QBBiddingAsyncOperation(std::string instanceName, std::shared_ptr<QBAdapterConfig> config,
                          std::shared_ptr<QBAdData> adData, std::weak_ptr<QBBiddingDataEventProtocol> eventDelegate,
                          std::weak_ptr<QBBiddingDataProtocol> biddingDataDelegate);
  static std::shared_ptr<QBBiddingAsyncOperation> initWithInstanceName(
      std::string instanceName, std::shared_ptr<QBAdapterConfig> config, std::shared_ptr<QBAdData> adData,
      std::weak_ptr<QBBiddingDataEventProtocol> eventDelegate,
      std::weak_ptr<QBBiddingDataProtocol> biddingDataDelegate);

  const std::string& instanceName() const { return instanceName_; }
  const std::shared_ptr<QBAdapterConfig>& config() const { return config_; }
  // The response so far: the instance name only until the run has finished.
  QBBiddingResponse getBiddingResponse() const;
  bool isFinished() const;

  // Collects on the calling thread: tells the event delegate, then asks the
  // adapter through platform::guard. A throw becomes the response's error
  // message ("Exception while calling network adapter getBiddingData from
  // <instance>, exception = <type> <message>", also logged), an empty answer
  // kMissingBiddingData. Runs once; later calls return at once.
  void run();

 private:
  const std::string instanceName_;
  const std::shared_ptr<QBAdapterConfig> config_;
  const std::shared_ptr<QBAdData> adData_;
  const std::weak_ptr<QBBiddingDataEventProtocol> eventDelegate_;
  const std::weak_ptr<QBBiddingDataProtocol> biddingDataDelegate_;

  mutable std::mutex mutex_;
  bool started_ = false;
  bool finished_ = false;
  QBBiddingResponse response_;
};

// Runs token collections. Thread-safe; one manager may run several
// collections, each independent of the others.
class QBBiddingDataManager {
 public:
  using Operations = std::vector<std::shared_ptr<QBBiddingAsyncOperation>>;
  // finished and unfinished keep the order of the operations given.
  using SuccessBlock =
      std::function<void(const Operations& finished, const Operations& unfinished, int64_t totalDurationMs)>;
  using FailureBlock = std::function<void(const std::string& reason)>;

  static constexpr const char* kQueueLabelPrefix = "com.quillborne.biddingbackgroundQueue.";
  static constexpr const char* kNoOperations = "no bidding data operations";

  // identifier: the owner's class name; names the private serial queue
  // "com.quillborne.biddingbackgroundQueue.<identifier>".
  explicit QBBiddingDataManager(const std::string& identifier);
  static std::shared_ptr<QBBiddingDataManager> initWithIdentifier(const std::string& identifier);

  const std::string& queueLabel() const { return queue_->label(); }

  // Runs every operation side by side on a global queue and calls exactly one
  // block, on the private queue, never inline:
  //  * success as soon as every operation has finished, or when timeoutMs (on
  //    the platform clock, from this call) has passed, with the operations
  //    still running as unfinished; answers arriving later are ignored;
  //  * failure(kNoOperations) when `operations` is empty.
  // A null operation is skipped; an operation listed twice runs once. The
  // collection keeps itself alive until it has answered, also when the manager
  // is destroyed first.
  void collectAllBiddingDataWithOperations(const Operations& operations, double timeoutMs, SuccessBlock success,
                                           FailureBlock failure);

 private:
  platform::QueueRef queue_;
};
