#pragma once
// Per-instance custom ad adapters: one object per network instance and ad
// unit, made by the adapter registry (QBAdapterRepository::createAdAdapter)
// from its class name, then given its ad unit and configuration with
// initWithAdUnit.
//
// Methods a subclass overrides are outside code: the library calls them
// through platform::guard; a throw from load fails the load, a throw from show
// fails the show, a throw from isAdAvailableWithAdData counts as "not
// available", a throw from releaseMemory is logged and ignored.
#include <memory>
#include <mutex>
#include <optional>

#include "adapters/QBAdData.h"
#include "adapters/QBAdapterDelegates.h"
#include "platform/ui.h"
#include "quillborne/QBAdUnit.h"

class QBAdapterConfig;
class QBBaseAdInteractionAdapter;
class QBBaseNetworkAdapter;

// The screen an ad is shown from: an opaque handle passed through unchanged.
using QBViewController = platform::ViewControllerRef;

class QBBaseAdAdapter : public std::enable_shared_from_this<QBBaseAdAdapter> {
 public:
  QBBaseAdAdapter() = default;
  virtual ~QBBaseAdAdapter() = default;
  QBBaseAdAdapter(const QBBaseAdAdapter&) = delete;
  QBBaseAdAdapter& operator=(const QBBaseAdAdapter&) = delete;

  // Keeps the ad unit and the configuration. The registry calls it once,
  // before handing the adapter out. A subclass that overrides it calls the
  // base.
  virtual void initWithAdUnit(const QBAdUnit& adUnit, const std::shared_ptr<QBAdapterConfig>& adapterConfig);

  std::optional<QBAdUnit> adUnit() const;
  std::shared_ptr<QBAdapterConfig> adapterConfig() const;

  // This instance's network adapter from the registry (created on first use);
  // null when the registry cannot make it or no configuration was given.
  std::shared_ptr<QBBaseNetworkAdapter> getNetworkAdapter() const;

  // Starts a load; the outcome arrives later on the delegate (adDidLoad or
  // adDidFailToLoadWithErrorType), on any thread. May throw.
  virtual void loadAdWithAdData(const std::shared_ptr<QBAdData>& adData,
                                std::weak_ptr<QBAdapterAdDelegate> delegate) = 0;
  // Lets go of what the loaded ad holds. Default: nothing. May throw.
  virtual void releaseMemory() {}

  // This adapter as a full-screen adapter, or null: what dynamic_cast
  // answers (the default asks it), without searching the class graph of an
  // adapter that derives from QBBaseAdInteractionAdapter.
  virtual QBBaseAdInteractionAdapter* asInteractionAdapter();

 private:
  mutable std::mutex mutex_;
  std::optional<QBAdUnit> adUnit_;
  std::shared_ptr<QBAdapterConfig> adapterConfig_;
};

// An ad adapter whose ads are shown full screen.
class QBBaseAdInteractionAdapter : public QBBaseAdAdapter {
 public:
  QBBaseAdInteractionAdapter* asInteractionAdapter() override { return this; }
  // Shows the loaded ad from `viewController`; the outcome arrives later on
  // the delegate (and, for rewarded video, on its QBAdapterAdRewardedDelegate
  // side), on any thread. May throw.
  virtual void showAdWithViewController(const QBViewController& viewController,
                                        const std::shared_ptr<QBAdData>& adData,
                                        std::weak_ptr<QBAdapterAdInteractionDelegate> delegate) = 0;
  // Whether an ad is ready to show. May throw.
  virtual bool isAdAvailableWithAdData(const std::shared_ptr<QBAdData>& adData) = 0;
};

// Base of rewarded-video custom ad adapters. The delegates handed to load and
// show are QBRewardedVideoAdDelegate objects.
class QBBaseRewardedVideo : public QBBaseAdInteractionAdapter {
 public:
  // initWithAdUnit with the rewarded-video ad unit.
  virtual void init(const std::shared_ptr<QBAdapterConfig>& adapterConfig);
};

// Base of interstitial custom ad adapters. The delegates handed to load and
// show are QBInterstitialAdDelegate objects.
class QBBaseInterstitial : public QBBaseAdInteractionAdapter {
 public:
  // initWithAdUnit with the interstitial ad unit.
  virtual void init(const std::shared_ptr<QBAdapterConfig>& adapterConfig);
};
