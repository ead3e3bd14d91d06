#pragma once
// The load data of one waterfall instance: what the manager knew about the
// instance and its waterfall when it made the instance. Immutable; safe to
// share between threads.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/json.h"
#include "quillborne/QBAdUnit.h"

class QBAdapterConfig;

class QBAdSmashData {
 public:
  QBAdSmashData(QBAdUnit adUnit, std::string userId, std::shared_ptr<QBAdapterConfig> adapterConfig,
                int64_t loadTimeoutInSeconds, int64_t sessionDepth, platform::Json genericParams,
                std::string auctionId, int64_t auctionTrial, std::string auctionFallback);

  static std::shared_ptr<const QBAdSmashData> initWithAdUnit(QBAdUnit adUnit, std::string userId,
                                                             std::shared_ptr<QBAdapterConfig> adapterConfig,
                                                             int64_t loadTimeoutInSeconds, int64_t sessionDepth,
                                                             platform::Json genericParams, std::string auctionId,
                                                             int64_t auctionTrial, std::string auctionFallback);

  const QBAdUnit& adUnit() const { return adUnit_; }
  // The user id for networks; "" when there is none.
  const std::string& userId() const { return userId_; }
  const std::shared_ptr<QBAdapterConfig>& adapterConfig() const { return adapterConfig_; }
  // Whole seconds, for the record: the instance's timer uses the
  // configuration's own (fractional) load timeout.
  int64_t loadTimeoutInSeconds() const { return loadTimeoutInSeconds_; }
  int64_t sessionDepth() const { return sessionDepth_; }
  // A JSON object; {} when the auction gave none.
  const platform::Json& genericParams() const { return genericParams_; }
  // Id of the waterfall (auction id or fallback id).
  const std::string& auctionId() const { return auctionId_; }
  int64_t auctionTrial() const { return auctionTrial_; }
  // "" when the auction reported none.
  const std::string& auctionFallback() const { return auctionFallback_; }

 private:
  QBAdUnit adUnit_;
  std::string userId_;
  std::shared_ptr<QBAdapterConfig> adapterConfig_;
  int64_t loadTimeoutInSeconds_;
  int64_t sessionDepth_;
  platform::Json genericParams_;
  std::string auctionId_;
  int64_t auctionTrial_;
  std::string auctionFallback_;
};
