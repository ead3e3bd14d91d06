#pragma once
// The shared body of the two Tulvo ad adapters (internal to this folder).
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "adapters/QBAdapterDelegates.h"
#include "adapters/QBBaseAdAdapter.h"
#include "platform/tulvo/tulvo_sdk.h"

// The mediation delegate of a Tulvo ad adapter ("quillborneDelegate"): one
// object, seen through each callback protocol it adopts, replaced as a whole
// by a load or a successful show start. Held weakly.
struct TulvoMediationDelegate {
  std::weak_ptr<QBAdapterAdDelegate> ad;
  std::weak_ptr<QBAdapterAdInteractionDelegate> interaction;
  std::weak_ptr<QBAdapterAdRewardedDelegate> rewarded;

  template <class Delegate>
  static TulvoMediationDelegate of(const std::weak_ptr<Delegate>& delegate) {
    TulvoMediationDelegate out;
    if (auto strong = delegate.lock()) {
      out.ad = std::dynamic_pointer_cast<QBAdapterAdDelegate>(strong);
      out.interaction = std::dynamic_pointer_cast<QBAdapterAdInteractionDelegate>(strong);
      out.rewarded = std::dynamic_pointer_cast<QBAdapterAdRewardedDelegate>(strong);
    }
    return out;
  }
};

// quillborneDelegate and ad of one adapter. Written on the caller's thread
// and read on the SDK's threads, so both live behind one mutex; callers copy
// them out and call delegates after the lock is released.
template <class Ad>
class TulvoAdAdapterState {
 public:
  void reset() {
    std::shared_ptr<Ad> dropped;
    std::lock_guard lock(mutex_);
    delegate_ = {};
    dropped = std::move(ad_);
  }
  void setDelegate(TulvoMediationDelegate delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
  }
  TulvoMediationDelegate delegate() const {
    std::lock_guard lock(mutex_);
    return delegate_;
  }
  // Stores the ad and gives the delegate to tell.
  TulvoMediationDelegate setAd(std::shared_ptr<Ad> ad) {
    std::shared_ptr<Ad> dropped;
    std::lock_guard lock(mutex_);
    dropped = std::exchange(ad_, std::move(ad));
    return delegate_;
  }
  std::shared_ptr<Ad> ad() const {
    std::lock_guard lock(mutex_);
    return ad_;
  }

 private:
  mutable std::mutex mutex_;
  TulvoMediationDelegate delegate_;
  std::shared_ptr<Ad> ad_;
};

// Load, availability and show of a Tulvo ad adapter, and the bodies of the SDK
// callbacks both ad kinds share; the rewarded and the interstitial adapter
// differ only in the SDK ad type and delegate, their base class and their
// names. Derived supplies the names as public constants: kClassName (the log
// tag) and kCallbackName ("Rewarded" or "Interstitial", the word the SDK puts
// in its callbacks, so the shared bodies log "on<kCallbackName>AdLoaded" and
// the like).
//
// Thread-safe: load, availability and show may run on any thread while the
// SDK calls back on its own; the delegate and the loaded ad are guarded by a
// mutex and delegates are called outside it, on the SDK's thread.
template <class Derived, class Base, class Ad, class SdkDelegate>
class TulvoAdAdapter : public Base, public SdkDelegate {
 public:
  static constexpr int kAdNotLoadedErrorCode = 2;
  static constexpr const char* kAdNotLoadedMessage = "Ad is not loaded";

  // Empties the delegate and the ad, then keeps ad unit and configuration.
  void initWithAdUnit(const QBAdUnit& adUnit, const std::shared_ptr<QBAdapterConfig>& adapterConfig) override {
    state_.reset();
    Base::initWithAdUnit(adUnit, adapterConfig);
  }

  // Logs "loadAd", keeps the delegate and starts Ad::load with this adapter
  // as the SDK delegate. adData is not read. The outcome comes later:
  // adDidLoad, or adDidFailToLoadWithErrorType(2, the SDK's code and message).
  void loadAdWithAdData(const std::shared_ptr<QBAdData>& adData,
                        std::weak_ptr<QBAdapterAdDelegate> delegate) override {
    (void)adData;
    log("loadAd");
    state_.setDelegate(TulvoMediationDelegate::of(delegate));
    std::weak_ptr<SdkDelegate> self = std::static_pointer_cast<Derived>(this->weak_from_this().lock());
    Ad::load(std::move(self));
  }

  // Whether an ad was loaded and the SDK says it still is.
  bool isAdAvailableWithAdData(const std::shared_ptr<QBAdData>& adData) override {
    (void)adData;
    auto ad = state_.ad();
    return ad && ad->isLoaded();
  }

  // Logs "showAd". With a loaded ad: keeps the delegate and shows the ad from
  // viewController. Otherwise logs "showAd Ad is not loaded" and calls this
  // call's delegate with adDidFailToShowWithErrorCode(2, "Ad is not loaded")
  // at once; the kept delegate stays.
  void showAdWithViewController(const QBViewController& viewController, const std::shared_ptr<QBAdData>& adData,
                                std::weak_ptr<QBAdapterAdInteractionDelegate> delegate) override {
    (void)adData;
    log("showAd");
    auto ad = state_.ad();
    if (ad && ad->isLoaded()) {
      state_.setDelegate(TulvoMediationDelegate::of(delegate));
      ad->show(viewController);
      return;
    }
    log("showAd Ad is not loaded");
    if (auto d = delegate.lock()) d->adDidFailToShowWithErrorCode(kAdNotLoadedErrorCode, kAdNotLoadedMessage);
  }

  // The stored ad (the last one loaded), or null.
  std::shared_ptr<Ad> ad() const { return state_.ad(); }

  // The log tag: the class name.
  static const std::string& tag() {
    static const std::string* tag = new std::string(Derived::kClassName);
    return *tag;
  }

 protected:
  // Bodies of the SDK callbacks: each logs, then tells the kept delegate
  // (nothing when there is none).
  void adLoaded(const std::shared_ptr<Ad>& ad) {
    logCallback("AdLoaded");
    auto delegate = state_.setAd(ad);
    if (auto d = delegate.ad.lock()) d->adDidLoad();
  }
  void adFailedToLoad(const TulvoSDK::TulvoError& error) {
    const std::string message = error.message.value_or("");
    logCallback("AdFailedToLoad::" + message);
    if (auto d = state_.delegate().ad.lock())
      d->adDidFailToLoadWithErrorType(QBAdapterErrorTypeOther, error.errorCode, message);
  }
  void adShown() {
    logCallback("AdShown");
    if (auto d = state_.delegate().interaction.lock()) d->adDidOpen();
  }
  void adFailedToShow(const TulvoSDK::TulvoError& error) {
    const std::string message = error.message.value_or("");
    logCallback("AdFailedToShow::" + message);
    if (auto d = state_.delegate().interaction.lock()) d->adDidFailToShowWithErrorCode(error.errorCode, message);
  }
  void impression() { logCallback("Impression"); }
  void adClosed() {
    logCallback("AdClosed");
    if (auto d = state_.delegate().interaction.lock()) d->adDidClose();
  }

  static void log(const std::string& message) { TulvoSDK::Logger::d(tag(), message); }

  TulvoAdAdapterState<Ad> state_;

 private:
  static void logCallback(const std::string& event) {
    log(std::string("on") + Derived::kCallbackName + event);
  }
};
