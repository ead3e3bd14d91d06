#include "ownnetwork/services/PMADemandSource.h"

#include "ownnetwork/services/QBNProductType.h"

PMADemandSource::PMADemandSource(std::string identifier, std::string name, std::optional<platform::Json> extraParams,
                                 std::weak_ptr<QBNProductDelegate> delegate)
    : identifier_(std::move(identifier)),
      name_(std::move(name)),
      extraParams_(std::move(extraParams)),
      delegate_(std::move(delegate)) {}

std::shared_ptr<PMADemandSource> PMADemandSource::createDemandSourceWithName(
    const std::string& name, std::optional<platform::Json> extraParams, std::weak_ptr<QBNProductDelegate> delegate) {
  return std::make_shared<PMADemandSource>(name, name, std::move(extraParams), std::move(delegate));
}

std::string PMADemandSource::identifier() const {
  std::lock_guard lock(mutex_);
  return identifier_;
}

void PMADemandSource::setIdentifier(std::string identifier) {
  std::lock_guard lock(mutex_);
  identifier_ = std::move(identifier);
}

std::string PMADemandSource::name() const {
  std::lock_guard lock(mutex_);
  return name_;
}

void PMADemandSource::setName(std::string name) {
  std::lock_guard lock(mutex_);
  name_ = std::move(name);
}

std::optional<platform::Json> PMADemandSource::extraParams() const {
  std::lock_guard lock(mutex_);
  return extraParams_;
}

void PMADemandSource::setExtraParams(std::optional<platform::Json> extraParams) {
  std::lock_guard lock(mutex_);
  extraParams_.swap(extraParams);
}

std::shared_ptr<QBNProductDelegate> PMADemandSource::delegate() const {
  std::lock_guard lock(mutex_);
  return delegate_.lock();
}

void PMADemandSource::setDelegate(std::weak_ptr<QBNProductDelegate> delegate) {
  std::lock_guard lock(mutex_);
  delegate_ = std::move(delegate);
}

int64_t PMADemandSource::mediationState() const {
  std::lock_guard lock(mutex_);
  return mediationState_;
}

void PMADemandSource::setMediationState(int64_t state) {
  std::lock_guard lock(mutex_);
  mediationState_ = state;
}

bool PMADemandSource::isAdAvailable() const {
  std::lock_guard lock(mutex_);
  return adAvailable_;
}

void PMADemandSource::setAdAvailable(bool available) {
  std::lock_guard lock(mutex_);
  adAvailable_ = available;
}

int64_t PMADemandSource::initState() const {
  std::lock_guard lock(mutex_);
  return initState_;
}

void PMADemandSource::setInitState(int64_t state) {
  std::lock_guard lock(mutex_);
  initState_ = state;
}

std::shared_ptr<QuillborneAdInstance> PMADemandSource::adInstance() const {
  std::lock_guard lock(mutex_);
  return adInstance_;
}

void PMADemandSource::setAdInstance(std::shared_ptr<QuillborneAdInstance> adInstance) {
  std::lock_guard lock(mutex_);
  adInstance_.swap(adInstance);  // the old instance is released outside the lock
}

// ---------------------------------------------------------------- collection

PMADemandSourcesCollection& PMADemandSourcesCollection::sharedInstance() {
  static PMADemandSourcesCollection& collection = *new PMADemandSourcesCollection();  // lives for the process
  return collection;
}

PMADemandSourcesCollection::DemandSources* PMADemandSourcesCollection::demandSourcesForProductType(
    int64_t productType) {
  switch (productType) {
    case QBNProductType::RewardedVideo:
      return &rewardedVideo_;
    case QBNProductType::Interstitial:
      return &interstitial_;
    case QBNProductType::Banner:
      return &banner_;
    default:
      return nullptr;
  }
}

std::shared_ptr<PMADemandSource> PMADemandSourcesCollection::demandSourceForProductType(
    int64_t productType, const std::optional<std::string>& demandSourceId) {
  DemandSources* sources = demandSourcesForProductType(productType);
  if (!sources || !demandSourceId) return nullptr;
  return sources->objectForKey(*demandSourceId);
}

void PMADemandSourcesCollection::addDemandSourceWithProductType(int64_t productType,
                                                                const std::shared_ptr<PMADemandSource>& demandSource) {
  DemandSources* sources = demandSourcesForProductType(productType);
  if (!sources || !demandSource) return;
  const std::string identifier = demandSource->identifier();
  if (identifier.empty()) return;
  sources->setObject(demandSource, identifier);
}

void PMADemandSourcesCollection::removeDemandSourceWithProductType(int64_t productType,
                                                                   const std::string& demandSourceId) {
  if (DemandSources* sources = demandSourcesForProductType(productType)) sources->removeObjectForKey(demandSourceId);
}

void PMADemandSourcesCollection::resetForTesting() {
  rewardedVideo_.removeAllObjectsForTesting();
  interstitial_.removeAllObjectsForTesting();
  banner_.removeAllObjectsForTesting();
}
