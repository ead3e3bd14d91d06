#pragma once
// Shared state of the two Tulvo ad adapters (internal to this folder).
#include <memory>
#include <mutex>
#include <utility>

#include "adapters/QBAdapterDelegates.h"

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
