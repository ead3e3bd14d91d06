#include "core/QuillborneObjectPublisherDataHolder.h"

#include "core/QBMetaDataUtils.h"

QuillborneObjectPublisherDataHolder::QuillborneObjectPublisherDataHolder()
    : conversionValue_(std::make_shared<QBConversionValue>()),
      impressionDataDelegates_(std::make_shared<QBImpressionDataDelegates>()) {}

QuillborneObjectPublisherDataHolder& QuillborneObjectPublisherDataHolder::sharedInstance() {
  // Never destroyed: managers may still reach it while the process exits.
  static QuillborneObjectPublisherDataHolder* instance = new QuillborneObjectPublisherDataHolder();
  return *instance;
}

void QuillborneObjectPublisherDataHolder::resetForTesting() {
  MetaData oldMetaData;
  std::shared_ptr<QBConversionValue> oldConversionValue = std::make_shared<QBConversionValue>();
  std::shared_ptr<QBImpressionDataDelegates> oldDelegates = std::make_shared<QBImpressionDataDelegates>();
  std::shared_ptr<const QBSKAdNetworkSettings> oldSettings;
  // Swap under the lock, release the old objects after it.
  std::lock_guard lock(mutex_);
  oldMetaData.swap(mediationMetaData_);
  oldConversionValue.swap(conversionValue_);
  oldDelegates.swap(impressionDataDelegates_);
  oldSettings.swap(skAdNetworkSettings_);
}

void QuillborneObjectPublisherDataHolder::setMediationMetaData(const std::string& key,
                                                                std::vector<std::string> values) {
  const std::string lower = QBMetaDataUtils::lowercase(key);
  std::lock_guard lock(mutex_);
  mediationMetaData_[lower] = std::move(values);
}

QuillborneObjectPublisherDataHolder::MetaData QuillborneObjectPublisherDataHolder::getMediationMetaData() const {
  std::lock_guard lock(mutex_);
  return mediationMetaData_;
}

std::shared_ptr<QBConversionValue> QuillborneObjectPublisherDataHolder::getConversionValueObject() const {
  std::lock_guard lock(mutex_);
  return conversionValue_;
}

std::shared_ptr<QBImpressionDataDelegates> QuillborneObjectPublisherDataHolder::getImpressionDataDelegates() const {
  std::lock_guard lock(mutex_);
  return impressionDataDelegates_;
}

void QuillborneObjectPublisherDataHolder::setSKAdNetworkSettings(
    std::shared_ptr<const QBSKAdNetworkSettings> settings) {
  std::lock_guard lock(mutex_);
  skAdNetworkSettings_.swap(settings);
}

std::shared_ptr<const QBSKAdNetworkSettings> QuillborneObjectPublisherDataHolder::getSKAdNetworkSettings() const {
  std::lock_guard lock(mutex_);
  return skAdNetworkSettings_;
}
