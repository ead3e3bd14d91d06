#pragma once
// The mediation's built-in offerwall adapter of the own network. It pushes the
// publisher's controller settings once per process, builds the offerwall's
// signed custom parameters, initialises and shows the offerwall, asks for
// credits, and passes the publisher's offerwall callbacks on to the
// mediation's offerwall delegate.
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "adapters/QBBaseAdapter.h"
#include "adapters/QBClassicAdapterProtocols.h"
#include "ownnetwork/api/PMAOfferWallDelegate.h"

class PlovermarkAdsPublisher;

class QBPlovermarkAdsAdapter : public QBBaseAdapter,
                               public QBOfferwallAdapterProtocol,
                               public PMAOfferWallDelegate,
                               public PmaInitOfferWallSuccessCall,
                               public PmaInitOfferWallFailedWithErrorCall,
                               public PmaOfferWallShowSuccessCall,
                               public PmaOfferWallShowFailedWithErrorCall,
                               public PmaOfferWallDidCloseCall,
                               public PmaOfferwallDidFailGettingCreditWithErrorCall,
                               public PmaOfferWallDidReceiveCreditCall {
 public:
  void initAdapter(const std::string& providerName) override;
  std::string version() override;
  std::string sdkVersion() override;
  void setConsent(bool consent) override;
  void setMetaDataWithKey(const std::string& key, const std::vector<std::string>& values) override;

  void initOfferWallWithUserId(const std::string& userId, const QBAdapterConfigRef& adapterConfig,
                               std::weak_ptr<QBOfferwallAdapterDelegate> delegate) override;
  void showOfferwallWithViewController(const platform::ViewControllerRef& viewController,
                                       const std::string& placement) override;
  void getOfferWallCreditsWithUserId(const std::string& userId) override;
  bool hasOfferwall() override;

  void pmaInitOfferWallSuccess() override;
  void pmaInitOfferWallFailedWithError(const platform::Error& error) override;
  void pmaOfferWallShowSuccess(const std::optional<std::string>& placementId) override;
  void pmaOfferWallShowFailedWithError(const platform::Error& error) override;
  void pmaOfferWallDidClose() override;
  void pmaOfferwallDidFailGettingCreditWithError(const platform::Error& error) override;
  bool pmaOfferWallDidReceiveCredit(const platform::Json& creditInfo) override;

  // The offerwall's parameters ("OW"): "custom_" + each custom key (an empty
  // key dropped), "sessionid", "productType", "SDKPluginType", "language",
  // "minimumOfferCommission" and its signature, "useClientSideCallbacks".
  // None when empty.
  static std::optional<platform::Json> createParams(const std::optional<platform::Json>& customParams,
                                                    const std::string& product);
  static std::string paramsToString(const platform::Json& params);
  // 32 lower-case hexadecimal digits of the MD5 digest of the UTF-8 bytes.
  static std::string md5(const std::string& text);
  // Whether the expression matches somewhere in the text.
  static bool checkRegWithVal(const std::string& value, const std::string& pattern);
  // Clear invalid options of the configuration record, with a log line.
  static void validateOWOptionalParams();
  static void validateQuillborneOptionalParams();
  // The publisher's controller URL, debug mode and controller configuration,
  // once per process.
  static void setSDK5ParametersWithAdapterConfig(const QBAdapterConfigRef& adapterConfig);
  static void resetForTesting();

 private:
  void applyConsent(bool consent);
  std::shared_ptr<QBOfferwallAdapterDelegate> delegate() const;

  mutable std::mutex mutex_;
  std::string applicationKey_;
  std::shared_ptr<PlovermarkAdsPublisher> instance_;
  std::weak_ptr<QBOfferwallAdapterDelegate> owDelegate_;
  bool consent_ = false;
  bool didSetConsent_ = false;
  bool isOfferwallAvailable_ = false;
};
