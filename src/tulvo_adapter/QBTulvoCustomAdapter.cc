#include "tulvo_adapter/QBTulvoCustomAdapter.h"

#include <algorithm>
#include <utility>

#include "platform/dispatch.h"

namespace {

bool sameOwner(const std::weak_ptr<QBNetworkInitializationDelegate>& a,
               const std::weak_ptr<QBNetworkInitializationDelegate>& b) {
  return !a.owner_before(b) && !b.owner_before(a);
}

}  // namespace

void QBTulvoCustomAdapter::init(const std::shared_ptr<QBAdData>& adData,
                                std::weak_ptr<QBNetworkInitializationDelegate> delegate) {
  auto tulvo = TulvoSDK::Tulvo::instance();
  if (tulvo->isSDKInitialized()) {
    if (!delegate.lock()) return;  // an early start without a delegate: nobody to tell
    platform::mainQueue()->async([delegate = std::move(delegate)] {
      if (auto d = delegate.lock()) d->onInitDidSucceed();
    });
    return;
  }

  std::optional<std::string> publisherId, token;
  if (adData) {
    publisherId = adData->getString(kPublisherIdKey);
    token = adData->getString(kTokenKey);
  }
  if (!publisherId || !token) {
    if (auto d = delegate.lock()) d->onInitDidFailWithErrorCode(kMissingParametersErrorCode, kMissingParametersMessage);
    return;
  }

  {
    std::lock_guard lock(mutex_);
    std::erase_if(mDelegate, [](const auto& w) { return w.expired(); });
    if (!delegate.expired() &&
        std::none_of(mDelegate.begin(), mDelegate.end(), [&](const auto& w) { return sameOwner(w, delegate); })) {
      mDelegate.push_back(delegate);
    }
  }
  // The SDK may answer inline, so it is called outside the lock.
  TulvoSDK::Tulvo::setMediation(kMediationName);
  std::weak_ptr<TulvoSDK::TulvoInitDelegate> self =
      std::static_pointer_cast<QBTulvoCustomAdapter>(weak_from_this().lock());
  tulvo->initializeWithPublisherID(*publisherId, *token, self);
}

std::vector<std::weak_ptr<QBNetworkInitializationDelegate>> QBTulvoCustomAdapter::takeWaiting() {
  std::lock_guard lock(mutex_);
  return std::exchange(mDelegate, {});
}

void QBTulvoCustomAdapter::onInitSuccess() {
  for (const auto& w : takeWaiting())
    if (auto d = w.lock()) d->onInitDidSucceed();
}

void QBTulvoCustomAdapter::onInitError(const std::optional<std::string>& message) {
  for (const auto& w : takeWaiting())
    if (auto d = w.lock()) d->onInitDidFailWithErrorCode(kInitFailedErrorCode, message);
}

std::string QBTulvoCustomAdapter::networkSDKVersion() { return TulvoSDK::DeviceUtils::getActualSDKVersion(); }

std::string QBTulvoCustomAdapter::adapterVersion() { return TulvoSDK::DeviceUtils::getActualSDKVersion(); }

size_t QBTulvoCustomAdapter::waitingDelegateCountForTesting() const {
  std::lock_guard lock(mutex_);
  return static_cast<size_t>(std::count_if(mDelegate.begin(), mDelegate.end(), [](const auto& w) { return !w.expired(); }));
}

std::string TulvoQuillborneSDKInfo::adapterSDKVersion() { return TulvoSDK::DeviceUtils::getActualSDKVersion(); }

std::string TulvoQuillborneSDKInfo::networkSDKVersion() { return adapterSDKVersion(); }

std::string TulvoQuillborneSDKInfo::getSdkVersion() { return adapterSDKVersion() + "::" + networkSDKVersion(); }
