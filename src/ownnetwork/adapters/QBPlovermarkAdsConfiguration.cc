#include "ownnetwork/adapters/QBPlovermarkAdsConfiguration.h"

#include <utility>

QBPlovermarkAdsConfiguration& QBPlovermarkAdsConfiguration::configurations() {
  static QBPlovermarkAdsConfiguration& c = *new QBPlovermarkAdsConfiguration();  // lives for the process
  return c;
}

std::optional<platform::Json> QBPlovermarkAdsConfiguration::useClientSideCallbacks() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return useClientSideCallbacks_;
}

void QBPlovermarkAdsConfiguration::setUseClientSideCallbacks(std::optional<platform::Json> value) {
  std::lock_guard<std::mutex> lock(mutex_);
  useClientSideCallbacks_ = std::move(value);
}

std::optional<platform::Json> QBPlovermarkAdsConfiguration::language() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return language_;
}

void QBPlovermarkAdsConfiguration::setLanguage(std::optional<platform::Json> value) {
  std::lock_guard<std::mutex> lock(mutex_);
  language_ = std::move(value);
}

std::optional<std::string> QBPlovermarkAdsConfiguration::minimumOfferCommission() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return minimumOfferCommission_;
}

void QBPlovermarkAdsConfiguration::setMinimumOfferCommission(std::optional<std::string> value) {
  std::lock_guard<std::mutex> lock(mutex_);
  minimumOfferCommission_ = std::move(value);
}

std::optional<platform::Json> QBPlovermarkAdsConfiguration::controllerConfig() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return controllerConfig_;
}

void QBPlovermarkAdsConfiguration::setControllerConfig(std::optional<platform::Json> value) {
  std::lock_guard<std::mutex> lock(mutex_);
  controllerConfig_ = std::move(value);
}

std::optional<platform::Json> QBPlovermarkAdsConfiguration::itemName() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return itemName_;
}

void QBPlovermarkAdsConfiguration::setItemName(std::optional<platform::Json> value) {
  std::lock_guard<std::mutex> lock(mutex_);
  itemName_ = std::move(value);
}

std::optional<std::string> QBPlovermarkAdsConfiguration::controllerUrl() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return controllerUrl_;
}

void QBPlovermarkAdsConfiguration::setControllerUrl(std::optional<std::string> value) {
  std::lock_guard<std::mutex> lock(mutex_);
  controllerUrl_ = std::move(value);
}

std::optional<platform::Json> QBPlovermarkAdsConfiguration::itemCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return itemCount_;
}

void QBPlovermarkAdsConfiguration::setItemCount(std::optional<platform::Json> value) {
  std::lock_guard<std::mutex> lock(mutex_);
  itemCount_ = std::move(value);
}

std::optional<platform::Json> QBPlovermarkAdsConfiguration::privateKey() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return privateKey_;
}

void QBPlovermarkAdsConfiguration::setPrivateKey(std::optional<platform::Json> value) {
  std::lock_guard<std::mutex> lock(mutex_);
  privateKey_ = std::move(value);
}

int64_t QBPlovermarkAdsConfiguration::debugLevel() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return debugLevel_;
}

void QBPlovermarkAdsConfiguration::setDebugLevel(int64_t value) {
  std::lock_guard<std::mutex> lock(mutex_);
  debugLevel_ = value;
}

void QBPlovermarkAdsConfiguration::resetForTesting() {
  std::lock_guard<std::mutex> lock(mutex_);
  useClientSideCallbacks_ = {};
  language_ = {};
  minimumOfferCommission_ = {};
  controllerConfig_ = {};
  itemName_ = {};
  controllerUrl_ = {};
  itemCount_ = {};
  privateKey_ = {};
  debugLevel_ = 0;
}
