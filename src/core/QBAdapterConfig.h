#pragma once
// The configuration of one provider instance for one ad unit, as the server
// configuration gives it. Built once by the configuration parser (or a test)
// and then only read; safe to share between threads.
//
// Keys read from a provider entry of "providerSettings" (see
// docs/configuration.md):
//   "providerLoadName"   network (reflection) name; the provider name when absent
//   "providerDefaultInstance"  the network's default instance name; the
//                        reflection name when absent
//   "instanceType"       "1" non-bidder, "2" bidder (text, or an integer read
//                        as its text; absent allowed)
//   "instanceId"         instance id ("" when absent)
//   "subProviderId"      sub-adapter id ("" when absent)
//   "adSourceName"       name used in events ("" when absent)
//   "customNetwork"      custom network name ("" when absent)
//   "earlyInit"          boolean: start the network at manager creation
//   "application"        application-level settings of the network
//   "<adUnit value>"     instance settings for that ad unit, e.g. "publisherId",
//                        "token", "maxAdsPerSession", "demandSourceName",
//                        "loadTimeOutSec", "isSupportedLWS", "controllerUrl"
#include <memory>
#include <optional>
#include <string>

#include "platform/json.h"
#include "quillborne/QBAdUnit.h"

class QBAdapterConfig {
 public:
  // Range of "loadTimeOutSec" (seconds, fractions kept); the top is
  // qbjson::kMaxTimeOutSeconds.
  static constexpr double kMinLoadTimeOutSec = 0.001;

  // providerEntry: the provider's object from "providerSettings".
  // adUnitSettings: the ad unit's own settings (read for "isOneFlow").
  // defaultLoadTimeOutSec: used when the instance settings carry no
  // "loadTimeOutSec" (the ad unit's adapter time-out).
  static std::shared_ptr<QBAdapterConfig> create(const std::string& providerName, const QBAdUnit& adUnit,
                                                 const platform::Json& providerEntry,
                                                 const platform::Json& adUnitSettings = platform::Json::object(),
                                                 double defaultLoadTimeOutSec = 30.0);

  const std::string& providerName() const { return providerName_; }
  // Cache key of the instance (its provider name).
  const std::string& name() const { return providerName_; }
  const std::string& reflectionName() const { return reflectionName_; }
  // The network's default instance name: the provider entry's
  // "providerDefaultInstance" when it has one (even ""), else the reflection
  // (network) name.
  const std::string& providerDefaultInstance() const { return providerDefaultInstance_; }
  const std::optional<std::string>& instanceType() const { return instanceType_; }
  bool isBidder() const { return instanceType_ && *instanceType_ == "2"; }
  const std::string& instanceId() const { return instanceId_; }
  // The maker's own network ("Quillborne" or "PlovermarkAds", any case).
  bool isQuillborne() const;
  bool shouldEarlyInit() const { return shouldEarlyInit_; }
  // "maxAdsPerSession" of the instance settings; 99 when absent or not a number.
  int maxAdsPerSession() const { return maxAdsPerSession_; }
  double loadTimeOutSec() const { return loadTimeOutSec_; }
  // Instance settings of this ad unit.
  const platform::Json& settings() const { return settings_; }
  const platform::Json& applicationSettings() const { return applicationSettings_; }
  const platform::Json& adUnitSettings() const { return adUnitSettings_; }
  // Settings "demandSourceName", else the provider name.
  std::string demandSourceName() const;
  const QBAdUnit& adUnit() const { return adUnit_; }
  // "isOneFlow" of the ad-unit settings; none when absent.
  std::optional<bool> isOneFlow() const;
  const std::string& subAdapterId() const { return subAdapterId_; }
  const std::string& adSourceNameForEvent() const { return adSourceNameForEvent_; }
  const std::string& customNetwork() const { return customNetwork_; }
  // The whole provider entry as received.
  const platform::Json& providerEntry() const { return providerEntry_; }

  // Class names of this network's adapters in the class registry:
  // "QB<network>CustomAdapter", "QB<network>CustomRewardedVideo",
  // "QB<network>CustomInterstitial" for custom networks and
  // "QB<network>Adapter" for classic adapters, where <network> is the custom
  // network name when set, else the reflection name.
  std::string customNetworkAdapterClassName() const;
  std::string customAdAdapterClassName() const;
  std::string classicAdapterClassName() const;

 private:
  QBAdapterConfig() : adUnit_(QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO()) {}
  std::string networkForClassNames() const;

  std::string providerName_;
  std::string reflectionName_;
  std::string providerDefaultInstance_;
  std::optional<std::string> instanceType_;
  std::string instanceId_;
  std::string subAdapterId_;
  std::string adSourceNameForEvent_;
  std::string customNetwork_;
  bool shouldEarlyInit_ = false;
  double loadTimeOutSec_ = 30.0;
  int maxAdsPerSession_ = 99;
  int readMaxAdsPerSession() const;
  platform::Json settings_ = platform::Json::object();
  platform::Json applicationSettings_ = platform::Json::object();
  platform::Json adUnitSettings_ = platform::Json::object();
  platform::Json providerEntry_ = platform::Json::object();
  QBAdUnit adUnit_;
};
