#include "quillborne/QBImpressionData.h"

#include <limits>

#include "core/QBImpressionDataJson.h"

struct QBImpressionData::Dictionary {
  platform::Json value;
};

namespace {

std::optional<std::string> stringField(const platform::Json& dict, const char* key) {
  return platform::getString(dict, key);
}

}  // namespace

std::shared_ptr<QBImpressionData> QBImpressionDataJson::initWithDictionary(const platform::Json& dictionary) {
  if (!dictionary.is_object()) return nullptr;
  std::shared_ptr<QBImpressionData> data(new QBImpressionData());
  data->auctionId_ = stringField(dictionary, QBImpressionData::kAuctionId);
  data->adUnit_ = stringField(dictionary, QBImpressionData::kAdUnit);
  data->adNetwork_ = stringField(dictionary, QBImpressionData::kAdNetwork);
  data->instanceName_ = stringField(dictionary, QBImpressionData::kInstanceName);
  data->instanceId_ = stringField(dictionary, QBImpressionData::kInstanceId);
  if (!data->instanceId_) {
    if (auto id = platform::getInt(dictionary, QBImpressionData::kInstanceId);
        id && dictionary.at(QBImpressionData::kInstanceId).is_number_integer()) {
      data->instanceId_ = std::to_string(*id);
    }
  }
  data->country_ = stringField(dictionary, QBImpressionData::kCountry);
  data->placement_ = stringField(dictionary, QBImpressionData::kPlacement);
  data->revenue_ = platform::getDouble(dictionary, QBImpressionData::kRevenue);
  data->precision_ = stringField(dictionary, QBImpressionData::kPrecision);
  data->ab_ = stringField(dictionary, QBImpressionData::kAb);
  data->segmentName_ = stringField(dictionary, QBImpressionData::kSegmentName);
  data->lifetimeRevenue_ = platform::getDouble(dictionary, QBImpressionData::kLifetimeRevenue);
  data->encryptedCPM_ = stringField(dictionary, QBImpressionData::kEncryptedCPM);
  if (auto cv = platform::getInt(dictionary, QBImpressionData::kConversionValue);
      cv && *cv >= std::numeric_limits<int>::min() && *cv <= std::numeric_limits<int>::max()) {
    data->conversionValue_ = static_cast<int>(*cv);
  }
  data->dictionary_ = std::make_shared<const QBImpressionData::Dictionary>(QBImpressionData::Dictionary{dictionary});
  return data;
}

platform::Json QBImpressionDataJson::allData(const QBImpressionData& data) {
  return data.dictionary_ ? data.dictionary_->value : platform::Json::object();
}

std::shared_ptr<QBImpressionData> QBImpressionData::initWithJsonText(const std::string& text) {
  auto parsed = platform::parseJson(text);
  if (!parsed.ok()) return nullptr;
  return QBImpressionDataJson::initWithDictionary(parsed.value());
}

std::shared_ptr<QBImpressionData> QBImpressionData::copyWithPlacement(const std::string& placementName) const {
  std::shared_ptr<QBImpressionData> copy(new QBImpressionData(*this));
  copy->placement_ = placementName;
  platform::Json dict = QBImpressionDataJson::allData(*this);
  dict[kPlacement] = placementName;
  copy->dictionary_ = std::make_shared<const Dictionary>(Dictionary{std::move(dict)});
  return copy;
}

std::string QBImpressionData::allDataJsonText() const {
  return platform::dumpJson(QBImpressionDataJson::allData(*this));
}
