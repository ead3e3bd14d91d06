#include "adapters/QBAdData.h"

#include <utility>

#include "core/QBAdapterConfig.h"
#include "quillborne/QBAdUnit.h"
#include "quillborne/QBBannerSize.h"

QBAdData::QBAdData(std::string serverData, platform::Json configuration, platform::Json adUnitData,
                   std::shared_ptr<QBAdapterConfig> adapterConfig)
    : serverData_(std::move(serverData)),
      configuration_(configuration.is_object() ? std::move(configuration) : platform::Json::object()),
      adUnitData_(adUnitData.is_object() ? std::move(adUnitData) : platform::Json::object()),
      adapterConfig_(std::move(adapterConfig)) {}

std::shared_ptr<QBAdData> QBAdData::initWithServerData(std::string serverData, platform::Json configuration,
                                                       platform::Json adUnitData,
                                                       std::shared_ptr<QBAdapterConfig> adapterConfig) {
  return std::make_shared<QBAdData>(std::move(serverData), std::move(configuration), std::move(adUnitData),
                                    std::move(adapterConfig));
}

std::optional<std::string> QBAdData::getString(const std::string& key) const {
  auto it = configuration_.find(key);
  if (it == configuration_.end()) return std::nullopt;
  if (it->is_string()) return it->get<std::string>();
  if (it->is_number_integer()) return it->dump();
  return std::nullopt;
}

std::shared_ptr<QBAdData> QBUtils::createAdDataForNetworkAdapterWithAdapterConfiguration(
    const std::shared_ptr<QBAdapterConfig>& adapterConfig, const QBAdUnit& adUnit,
    const std::optional<std::string>& userId, const QBBannerSize* bannerSize) {
  platform::Json adUnitData = platform::Json::object();
  adUnitData[QBDataKeys::AD_UNIT] = adUnit.value();
  if (userId && !userId->empty()) adUnitData[QBDataKeys::USER_ID] = *userId;
  if (bannerSize) {
    adUnitData[QBDataKeys::BANNER_SIZE] = {{"description", bannerSize->sizeDescription()},
                                           {"width", bannerSize->width()},
                                           {"height", bannerSize->height()},
                                           {"isAdaptive", bannerSize->isAdaptive()}};
  }
  platform::Json settings = adapterConfig ? adapterConfig->settings() : platform::Json::object();
  return QBAdData::initWithServerData("", std::move(settings), std::move(adUnitData), adapterConfig);
}
