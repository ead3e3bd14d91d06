#include "quillborne/QBAdInfo.h"

#include <cmath>

#include "platform/json.h"
#include "quillborne/QBImpressionData.h"

QBAdInfo::QBAdInfo(const QBImpressionData* data) {
  if (data == nullptr) return;
  auctionId_ = data->auctionId();
  adUnit_ = data->adUnit();
  country_ = data->country();
  ab_ = data->ab();
  segmentName_ = data->segmentName();
  adNetwork_ = data->adNetwork();
  instanceName_ = data->instanceName();
  instanceId_ = data->instanceId();
  revenue_ = data->revenue();
  precision_ = data->precision();
  lifetimeRevenue_ = data->lifetimeRevenue();
  encryptedCPM_ = data->encryptedCPM();
}

std::shared_ptr<QBAdInfo> QBAdInfo::initWithImpressionData(const std::shared_ptr<QBImpressionData>& impressionData) {
  return std::make_shared<QBAdInfo>(impressionData.get());
}

std::string QBAdInfo::description() const {
  platform::Json object = platform::Json::object();
  bool serialisable = true;
  auto putString = [&](const char* key, const std::optional<std::string>& value) {
    if (value) object[key] = *value;
  };
  auto putNumber = [&](const char* key, const std::optional<double>& value) {
    if (!value) return;
    // JSON has no text for NaN or infinities; such a record is not serialisable.
    if (!std::isfinite(*value)) serialisable = false;
    object[key] = *value;
  };
  putString("auctionId", auctionId_);
  putString("adUnit", adUnit_);
  putString("country", country_);
  putString("ab", ab_);
  putString("segmentName", segmentName_);
  putString("adNetwork", adNetwork_);
  putString("instanceName", instanceName_);
  putString("instanceId", instanceId_);
  putNumber("revenue", revenue_);
  putString("precision", precision_);
  putNumber("lifetimeRevenue", lifetimeRevenue_);
  putString("encryptedCPM", encryptedCPM_);
  if (!serialisable) return "{}";
  std::string text = platform::dumpJson(object);
  return text.empty() ? "{}" : text;
}
