#pragma once
// The own network in the waterfall: the mediation's ad units drive networks
// through per-instance custom ad adapters, found by class name
// ("QBQuillborneCustomAdapter", "QBQuillborneCustomRewardedVideo",
// "QBQuillborneCustomInterstitial"). These hand every call to the one
// classic QBQuillborneAdapter the registry keeps for the own network, and
// turn its delegate calls back into the ad adapters' delegate calls, so both
// roads share one shared initialisation, one ad instance per demand source
// and one callback mapping.
#include <memory>
#include <mutex>

#include "adapters/QBBaseAdAdapter.h"
#include "adapters/QBBaseNetworkAdapter.h"
#include "adapters/QBBiddingDataManager.h"
#include "adapters/QBClassicAdapterProtocols.h"

class QBQuillborneAdapter;

// The classic adapter of the configuration's network from the registry (made,
// and initialised early, on first use); null when it cannot be made.
std::shared_ptr<QBQuillborneAdapter> quillborneClassicAdapterFor(const std::shared_ptr<QBAdapterConfig>& config);

// The mediation's delegates of one bridged ad: the load's, and the show's
// once a show began. Calls after the show go to the show's delegate when it
// has the kind asked for, else to the load's.
class QBQuillborneBridgeDelegates {
 public:
  void setLoad(std::weak_ptr<QBAdapterAdDelegate> delegate);
  void setShow(std::weak_ptr<QBAdapterAdInteractionDelegate> delegate);
  std::shared_ptr<QBAdapterAdDelegate> load() const;
  template <class Delegate>
  std::shared_ptr<Delegate> current() const;

 private:
  mutable std::mutex mutex_;
  std::weak_ptr<QBAdapterAdDelegate> load_;
  std::weak_ptr<QBAdapterAdInteractionDelegate> show_;
};

class QBQuillborneCustomAdapter : public QBBaseNetworkAdapter, public QBBiddingDataProtocol {
 public:
  // Starts the own network's shared initialisation; success at once (the
  // own network's outcome is only logged), failure when there is no
  // configuration.
  void init(const std::shared_ptr<QBAdData>& adData, std::weak_ptr<QBNetworkInitializationDelegate> delegate) override;
  std::string networkSDKVersion() override;
  std::string adapterVersion() override;
  // {"token": the own network's token}.
  std::optional<platform::Json> getBiddingDataWithAdData(const std::shared_ptr<QBAdData>& adData) override;
};

class QBQuillborneCustomRewardedVideo : public QBBaseRewardedVideo, public QBRewardedVideoAdapterDelegate {
 public:
  void loadAdWithAdData(const std::shared_ptr<QBAdData>& adData, std::weak_ptr<QBAdapterAdDelegate> delegate) override;
  void showAdWithViewController(const QBViewController& viewController, const std::shared_ptr<QBAdData>& adData,
                                std::weak_ptr<QBAdapterAdInteractionDelegate> delegate) override;
  bool isAdAvailableWithAdData(const std::shared_ptr<QBAdData>& adData) override;

  void adapterRewardedVideoInitSuccess() override {}
  void adapterRewardedVideoDidLoad() override;
  void adapterRewardedVideoHasChangedAvailability(bool) override {}
  void adapterRewardedVideoDidFailToLoadWithError(const QBError& error) override;
  void adapterRewardedVideoDidOpen() override;
  void adapterRewardedVideoDidClose() override;
  void adapterRewardedVideoDidFailToShowWithError(const QBError& error) override;
  void adapterRewardedVideoDidClick() override;
  void adapterRewardedVideoDidReceiveReward() override;
  void adapterRewardedVideoDidBecomeVisible() override;

 private:
  QBQuillborneBridgeDelegates delegates_;
};

class QBQuillborneCustomInterstitial : public QBBaseInterstitial, public QBInterstitialAdapterDelegate {
 public:
  void loadAdWithAdData(const std::shared_ptr<QBAdData>& adData, std::weak_ptr<QBAdapterAdDelegate> delegate) override;
  void showAdWithViewController(const QBViewController& viewController, const std::shared_ptr<QBAdData>& adData,
                                std::weak_ptr<QBAdapterAdInteractionDelegate> delegate) override;
  bool isAdAvailableWithAdData(const std::shared_ptr<QBAdData>& adData) override;

  void adapterInterstitialInitSuccess() override {}
  void adapterInterstitialDidLoad() override;
  void adapterInterstitialDidFailToLoadWithError(const QBError& error) override;
  void adapterInterstitialDidOpen() override;
  void adapterInterstitialDidClose() override;
  void adapterInterstitialDidShow() override;
  void adapterInterstitialDidFailToShowWithError(const QBError& error) override;
  void adapterInterstitialDidClick() override;
  void adapterInterstitialDidBecomeVisible() override;

 private:
  QBQuillborneBridgeDelegates delegates_;
};
