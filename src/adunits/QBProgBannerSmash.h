#pragma once
// One instance of a banner waterfall: the network's classic banner adapter
// for one configured instance, the load under the instance's load time-out,
// and the banner callbacks passed on to the banner manager.
//
// State machine (every change logged): NOT_LOADED -> LOADING (load started,
// time-out armed) -> LOADED or LOAD_FAILED (the adapter's answer or a throw
// from its load call); DESTROYED from any state, and after the time-out (the
// listener first hears the failure, then the adapter's banner is destroyed). The
// listener hears at most one load outcome per smash; answers that find the
// smash in another state than LOADING are logged and dropped, and the
// interaction callbacks (click, leave application, present and dismiss
// screen) pass only while LOADED.
//
// Threads: load and destroy may be called from any thread; the adapter may
// answer on any thread (the listener hears it there); the time-out fires on
// the main queue. The smash locks only around its state and never calls the
// adapter or the listener with its lock held.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "adapters/QBClassicAdapterProtocols.h"
#include "platform/dispatch.h"
#include "platform/ui.h"
#include "quillborne/QBBannerSize.h"
#include "quillborne/QBError.h"

class QBAdapterConfig;
class QBAuctionResponseItem;
class QBBaseAdapter;
class QBProgBannerSmash;

enum class QBProgBannerSmashState : int {
  BANNER_SMASH_NOT_LOADED = 0,
  BANNER_SMASH_LOADING = 1,
  BANNER_SMASH_LOADED = 2,
  BANNER_SMASH_LOAD_FAILED = 3,
  BANNER_SMASH_DESTROYED = 4,
};
const char* QBProgBannerSmashStateName(QBProgBannerSmashState state);

// What a banner instance tells its manager (on the adapter's thread, or the
// main queue for a time-out).
class QBProgBannerSmashListener {
 public:
  virtual ~QBProgBannerSmashListener() = default;
  virtual void onBannerLoadSuccess(const std::shared_ptr<QBProgBannerSmash>& smash,
                                   const platform::ViewRef& bannerView) = 0;
  virtual void onBannerLoadFail(const std::shared_ptr<QBProgBannerSmash>& smash, const QBError& error) = 0;
  virtual void onBannerClick(const std::shared_ptr<QBProgBannerSmash>& smash) = 0;
  virtual void onBannerLeaveApplication(const std::shared_ptr<QBProgBannerSmash>& smash) = 0;
  virtual void onBannerPresentScreen(const std::shared_ptr<QBProgBannerSmash>& smash) = 0;
  virtual void onBannerDismissScreen(const std::shared_ptr<QBProgBannerSmash>& smash) = 0;
};

class QBProgBannerSmash : public QBBannerAdapterDelegate, public std::enable_shared_from_this<QBProgBannerSmash> {
 public:
  static constexpr const char* kTimeOutMessage = "time out";

  // `adapter` must adopt QBBannerAdapterProtocol. `item`: the waterfall item
  // (server data, ad data, notification URLs); a fallback item has none.
  static std::shared_ptr<QBProgBannerSmash> create(std::shared_ptr<QBAdapterConfig> config,
                                                   std::shared_ptr<QBBaseAdapter> adapter,
                                                   std::shared_ptr<QBAuctionResponseItem> item,
                                                   std::weak_ptr<QBProgBannerSmashListener> listener);
  ~QBProgBannerSmash() override;

  // Starts the load: arms the time-out (the instance's loadTimeOutSec), then
  // the adapter's initBannerForBidding and loadBannerForBidding with the
  // item's server data. Only from NOT_LOADED (otherwise logged and ignored).
  // A throw from the adapter fails the load with 510 "loadBanner - exception
  // = ...". The outcome may reach the listener before this returns.
  void loadBanner(const platform::ViewControllerRef& viewController, const QBBannerSize& size,
                  const std::optional<std::string>& userId);
  // DESTROYED, the time-out cancelled, and (unless the smash never started a
  // load) the adapter's destroyBannerWithAdapterConfig; a throw there is
  // logged. Idempotent.
  void destroyBanner();

  QBProgBannerSmashState state() const;
  const std::shared_ptr<QBAdapterConfig>& config() const { return config_; }
  const std::shared_ptr<QBAuctionResponseItem>& item() const { return item_; }
  const std::string& instanceName() const;
  bool isBidder() const;
  // 2 for a bidder, 1 otherwise (the notification URLs' instance type).
  int instanceType() const { return isBidder() ? 2 : 1; }

  // ---- QBBannerAdapterDelegate (any thread)
  void adapterBannerInitSuccess() override;
  void adapterBannerDidLoad(const platform::ViewRef& bannerView) override;
  void adapterBannerDidFailToLoadWithError(const QBError& error) override;
  void adapterBannerDidClick() override;
  void adapterBannerDidShow() override;
  void adapterBannerWillLeaveApplication() override;
  void adapterBannerWillPresentScreen() override;
  void adapterBannerDidDismissScreen() override;

 private:
  QBProgBannerSmash(std::shared_ptr<QBAdapterConfig> config, std::shared_ptr<QBBaseAdapter> adapter,
                    std::shared_ptr<QBAuctionResponseItem> item, std::weak_ptr<QBProgBannerSmashListener> listener);

  // LOADING -> `to` (the time-out cancelled); false in any other state.
  bool finishLoadLocked(QBProgBannerSmashState to);
  void setStateLocked(QBProgBannerSmashState state);
  void onTimeout();
  void failLoad(const QBError& error);
  // Calls `call` on the listener when the smash is LOADED.
  template <class Call>
  void forwardWhileLoaded(const char* method, Call call);
  void log(const char* method, const std::string& message, int level = 0) const;

  const std::shared_ptr<QBAdapterConfig> config_;
  const std::shared_ptr<QBBaseAdapter> adapter_;
  QBBannerAdapterProtocol* const bannerAdapter_;  // adapter_ as a banner adapter
  const std::shared_ptr<QBAuctionResponseItem> item_;
  const std::weak_ptr<QBProgBannerSmashListener> listener_;

  mutable std::mutex mutex_;
  QBProgBannerSmashState state_ = QBProgBannerSmashState::BANNER_SMASH_NOT_LOADED;
  bool loadStarted_ = false;
  std::shared_ptr<platform::Timer> timeout_;
};
