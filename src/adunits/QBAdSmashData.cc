#include "adunits/QBAdSmashData.h"

#include <utility>

QBAdSmashData::QBAdSmashData(QBAdUnit adUnit, std::string userId, std::shared_ptr<QBAdapterConfig> adapterConfig,
                             int64_t loadTimeoutInSeconds, int64_t sessionDepth, platform::Json genericParams,
                             std::string auctionId, int64_t auctionTrial, std::string auctionFallback)
    : adUnit_(std::move(adUnit)),
      userId_(std::move(userId)),
      adapterConfig_(std::move(adapterConfig)),
      loadTimeoutInSeconds_(loadTimeoutInSeconds),
      sessionDepth_(sessionDepth),
      genericParams_(genericParams.is_object() ? std::move(genericParams) : platform::Json::object()),
      auctionId_(std::move(auctionId)),
      auctionTrial_(auctionTrial),
      auctionFallback_(std::move(auctionFallback)) {}

std::shared_ptr<const QBAdSmashData> QBAdSmashData::initWithAdUnit(QBAdUnit adUnit, std::string userId,
                                                                   std::shared_ptr<QBAdapterConfig> adapterConfig,
                                                                   int64_t loadTimeoutInSeconds,
                                                                   int64_t sessionDepth, platform::Json genericParams,
                                                                   std::string auctionId, int64_t auctionTrial,
                                                                   std::string auctionFallback) {
  return std::make_shared<const QBAdSmashData>(std::move(adUnit), std::move(userId), std::move(adapterConfig),
                                               loadTimeoutInSeconds, sessionDepth, std::move(genericParams),
                                               std::move(auctionId), auctionTrial, std::move(auctionFallback));
}
