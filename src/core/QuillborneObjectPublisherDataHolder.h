#pragma once
// Holder of the data the application sets that several parts of the library
// share: the mediation-only metadata, the conversion-value object, the
// impression-data listeners and the SKAdNetwork settings of the last
// configuration.
//
// Process-wide (sharedInstance); every call is thread-safe and answers on the
// calling thread.
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/QBConversionValue.h"
#include "core/QBImpressionDataDelegates.h"
#include "core/QBSKAdNetworkSettings.h"

class QuillborneObjectPublisherDataHolder {
 public:
  // Metadata key (lower case) -> values.
  using MetaData = std::map<std::string, std::vector<std::string>>;

  static QuillborneObjectPublisherDataHolder& sharedInstance();
  // Clears the metadata, the listeners and the SKAdNetwork settings and makes
  // a new conversion-value object (the stored value itself stays in the user
  // defaults of the current data root).
  void resetForTesting();

  // Sets the values of a mediation-only metadata key (see QBMetaDataUtils);
  // the key is stored in lower case and replaces earlier values.
  void setMediationMetaData(const std::string& key, std::vector<std::string> values);
  // A copy of the mediation-only metadata.
  MetaData getMediationMetaData() const;

  // The process-wide conversion-value object.
  std::shared_ptr<QBConversionValue> getConversionValueObject() const;

  // The impression-data listener set that the SDK object fills and the
  // ad-unit managers tell (the same object for the life of the process, until
  // resetForTesting).
  std::shared_ptr<QBImpressionDataDelegates> getImpressionDataDelegates() const;

  // SKAdNetwork settings of the last configuration; none before one arrived.
  void setSKAdNetworkSettings(std::shared_ptr<const QBSKAdNetworkSettings> settings);
  std::shared_ptr<const QBSKAdNetworkSettings> getSKAdNetworkSettings() const;

 private:
  QuillborneObjectPublisherDataHolder();

  mutable std::mutex mutex_;
  MetaData mediationMetaData_;
  std::shared_ptr<QBConversionValue> conversionValue_;
  std::shared_ptr<QBImpressionDataDelegates> impressionDataDelegates_;
  std::shared_ptr<const QBSKAdNetworkSettings> skAdNetworkSettings_;
};
