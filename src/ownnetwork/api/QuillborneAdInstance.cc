#include "ownnetwork/api/QuillborneAdInstance.h"

#include "ownnetwork/api/QuillborneNetworkAPIUtils.h"

namespace {

const char* boolText(bool value) { return value ? "true" : "false"; }

}  // namespace

QuillborneAdInstance::QuillborneAdInstance(std::string identifier, std::string name, bool rewarded, bool inAppBidding,
                                           std::optional<bool> isOneFlow, std::optional<platform::Json> extraParameters,
                                           std::weak_ptr<QBNProductDelegate> adListener,
                                           std::shared_ptr<QBNAdSize> size)
    : identifier_(std::move(identifier)),
      name_(std::move(name)),
      rewarded_(rewarded),
      inAppBidding_(inAppBidding),
      isOneFlow_(isOneFlow),
      extraParams_(std::move(extraParameters)),
      adListener_(std::move(adListener)),
      size_(std::move(size)) {}

std::shared_ptr<QBNProductDelegate> QuillborneAdInstance::adListener() const {
  std::lock_guard lock(mutex_);
  return adListener_.lock();
}

std::weak_ptr<QBNProductDelegate> QuillborneAdInstance::weakAdListener() const {
  std::lock_guard lock(mutex_);
  return adListener_;
}

void QuillborneAdInstance::setAdListener(std::weak_ptr<QBNProductDelegate> adListener) {
  std::lock_guard lock(mutex_);
  adListener_ = std::move(adListener);
}

std::shared_ptr<QBNAdSize> QuillborneAdInstance::size() const {
  std::lock_guard lock(mutex_);
  return size_;
}

void QuillborneAdInstance::setSize(std::shared_ptr<QBNAdSize> size) {
  std::lock_guard lock(mutex_);
  size_.swap(size);  // the old size is released outside the lock
}

bool QuillborneAdInstance::isBanner() const {
  const auto current = size();
  return current && current->isDrawable();
}

platform::Json QuillborneAdInstance::getAdInstanceConfigurationForController() const {
  const auto current = size();
  platform::Json configuration = {
      {"instanceId", identifier_},
      {"instanceName", name_},
      {"rewarded", boolText(rewarded_)},
      {"inAppBidding", boolText(inAppBidding_)},
      {"apiVersion", 2},
      {"width", current ? std::to_string(current->width()) : "0"},
      {"height", current ? std::to_string(current->height()) : "0"},
      {"label", current ? current->label() : ""},
      {"isBanner", boolText(current && current->isDrawable())},
  };
  if (isOneFlow_) configuration["isOneFlow"] = boolText(*isOneFlow_);
  if (extraParams_ && extraParams_->is_object()) {
    for (const auto& [key, value] : extraParams_->items()) configuration[key] = value;
  }
  return configuration;
}

// ------------------------------------------------------------------ builder

QuillborneAdInstanceBuilder::QuillborneAdInstanceBuilder(std::optional<std::string> name,
                                                         std::weak_ptr<QBNProductDelegate> adListener)
    : name_(std::move(name)), adListener_(std::move(adListener)) {}

QuillborneAdInstanceBuilder& QuillborneAdInstanceBuilder::setRewarded(bool rewarded) {
  mRewarded_ = rewarded;
  return *this;
}

QuillborneAdInstanceBuilder& QuillborneAdInstanceBuilder::setInAppBidding(bool inAppBidding) {
  mInAppBidding_ = inAppBidding;
  return *this;
}

QuillborneAdInstanceBuilder& QuillborneAdInstanceBuilder::setExtraParameters(std::optional<platform::Json> extraParams) {
  extraParams_ = std::move(extraParams);
  return *this;
}

QuillborneAdInstanceBuilder& QuillborneAdInstanceBuilder::setSize(std::shared_ptr<QBNAdSize> size) {
  mSize_ = std::move(size);
  return *this;
}

QuillborneAdInstanceBuilder& QuillborneAdInstanceBuilder::setIsOneFlow(std::optional<bool> isOneFlow) {
  mIsOneFlow_ = isOneFlow;
  return *this;
}

QuillborneAdInstanceBuilder& QuillborneAdInstanceBuilder::setName(std::optional<std::string> name) {
  name_ = std::move(name);
  return *this;
}

QuillborneAdInstanceBuilder& QuillborneAdInstanceBuilder::setAdListener(std::weak_ptr<QBNProductDelegate> adListener) {
  adListener_ = std::move(adListener);
  return *this;
}

bool QuillborneAdInstanceBuilder::isInstanceValid() const { return name_.has_value() && !adListener_.expired(); }

std::shared_ptr<QuillborneAdInstance> QuillborneAdInstanceBuilder::build() const {
  if (!isInstanceValid()) return nullptr;
  const platform::Json instanceData = {{"instanceName", *name_}, {"rewarded", mRewarded_}};
  const bool oneFlow = mIsOneFlow_.value_or(false);
  const std::string identifier = mInAppBidding_ || oneFlow ? QuillborneNetworkAPIUtils::generateUniqueInstanceId()
                                                           : QuillborneNetworkAPIUtils::generateInstanceId(instanceData);
  return std::make_shared<QuillborneAdInstance>(identifier, *name_, mRewarded_, mInAppBidding_, mIsOneFlow_,
                                                extraParams_, adListener_, mSize_);
}

PlovermarkAdsAdvertiser& PlovermarkAdsAdvertiser::sharedInstance() {
  static PlovermarkAdsAdvertiser& advertiser = *new PlovermarkAdsAdvertiser();  // lives for the process
  return advertiser;
}

// Declared with the demand sources; defined here beside the instance it reads.
std::shared_ptr<PMADemandSource> PMADemandSource::createDemandSourceWithAdInstance(
    const std::shared_ptr<QuillborneAdInstance>& adInstance) {
  if (!adInstance) return nullptr;
  auto demandSource = std::make_shared<PMADemandSource>(adInstance->identifier(), adInstance->name(),
                                                        adInstance->getAdInstanceConfigurationForController(),
                                                        adInstance->weakAdListener());
  demandSource->setAdInstance(adInstance);
  return demandSource;
}
