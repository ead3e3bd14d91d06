#pragma once
// Demand sources: one per own-network ad instance or legacy placement, kept by
// product type in the process-wide collection, and the offerwall's product
// parameters.
//
// The publisher writes demand sources from its API queue and reads them on
// the main queue, so every field of a demand source and the collection itself
// are guarded; readers get copies and snapshots.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "ownnetwork/services/QBMutableOrderedDictionary.h"
#include "platform/json.h"

class QuillborneAdInstance;

// The receiver of a product's callbacks. The callbacks themselves are small
// interfaces that a receiver implements as it chooses (the responder looks for
// each); the listener of an ad instance is one too.
class QBNProductDelegate {
 public:
  virtual ~QBNProductDelegate() = default;
};

// Product init states of a demand source.
namespace PMADemandSourceInitState {
inline constexpr int64_t NotInitialized = 0;
inline constexpr int64_t InitRequested = 1;
inline constexpr int64_t Initialized = 2;
inline constexpr int64_t InitFailed = 3;
}  // namespace PMADemandSourceInitState

class PMADemandSource {
 public:
  // mediationState -1, adAvailable false, initState 0, no ad instance.
  PMADemandSource(std::string identifier, std::string name, std::optional<platform::Json> extraParams,
                  std::weak_ptr<QBNProductDelegate> delegate);

  // A demand source whose identifier and name are both `name`.
  static std::shared_ptr<PMADemandSource> createDemandSourceWithName(const std::string& name,
                                                                     std::optional<platform::Json> extraParams,
                                                                     std::weak_ptr<QBNProductDelegate> delegate);
  // A demand source standing for an ad instance: its identifier, name,
  // configuration for the controller and listener, and the instance itself.
  // (Defined beside QuillborneAdInstance.)
  static std::shared_ptr<PMADemandSource> createDemandSourceWithAdInstance(
      const std::shared_ptr<QuillborneAdInstance>& adInstance);

  std::string identifier() const;
  void setIdentifier(std::string identifier);
  std::string name() const;
  void setName(std::string name);
  std::optional<platform::Json> extraParams() const;
  void setExtraParams(std::optional<platform::Json> extraParams);
  std::shared_ptr<QBNProductDelegate> delegate() const;
  void setDelegate(std::weak_ptr<QBNProductDelegate> delegate);
  // The mediation state last reported for it, -1 until then.
  int64_t mediationState() const;
  void setMediationState(int64_t state);
  // Whether the controller reported an ad ready.
  bool isAdAvailable() const;
  void setAdAvailable(bool available);
  // PMADemandSourceInitState.
  int64_t initState() const;
  void setInitState(int64_t state);
  std::shared_ptr<QuillborneAdInstance> adInstance() const;
  void setAdInstance(std::shared_ptr<QuillborneAdInstance> adInstance);

 private:
  mutable std::mutex mutex_;
  std::string identifier_;
  std::string name_;
  std::optional<platform::Json> extraParams_;
  std::weak_ptr<QBNProductDelegate> delegate_;
  int64_t mediationState_ = -1;
  bool adAvailable_ = false;
  int64_t initState_ = PMADemandSourceInitState::NotInitialized;
  std::shared_ptr<QuillborneAdInstance> adInstance_;
};

// The demand sources of the process, one ordered dictionary per product type
// that has them (rewarded video 0, interstitial 1, banner 4). Demand sources
// are removed only when a banner is destroyed. Thread-safe.
class PMADemandSourcesCollection {
 public:
  using DemandSources = QBMutableOrderedDictionary<PMADemandSource>;

  // The process-wide collection (never destroyed).
  static PMADemandSourcesCollection& sharedInstance();

  DemandSources& rewardedVideoDemandSources() { return rewardedVideo_; }
  DemandSources& interstitialDemandSources() { return interstitial_; }
  DemandSources& bannerDemandSources() { return banner_; }

  // The dictionary of type 0, 1 or 4; null for any other type.
  DemandSources* demandSourcesForProductType(int64_t productType);
  // The demand source stored under `demandSourceId`, or null.
  std::shared_ptr<PMADemandSource> demandSourceForProductType(int64_t productType,
                                                              const std::optional<std::string>& demandSourceId);
  // Stores the demand source under its identifier in its type's dictionary,
  // replacing one of the same identifier in place. Ignored for a null demand
  // source, an empty identifier or a type without dictionary.
  void addDemandSourceWithProductType(int64_t productType, const std::shared_ptr<PMADemandSource>& demandSource);
  // Forgets the demand source stored under `demandSourceId` (a destroyed
  // banner's).
  void removeDemandSourceWithProductType(int64_t productType, const std::string& demandSourceId);

  // Every dictionary emptied.
  void resetForTesting();

 private:
  PMADemandSourcesCollection() = default;

  DemandSources rewardedVideo_;
  DemandSources interstitial_;
  DemandSources banner_;
};

// The application key and user id of a product.
class PMAProductParameters {
 public:
  PMAProductParameters(std::optional<std::string> appKey, std::optional<std::string> userId)
      : appKey_(std::move(appKey)), userId_(std::move(userId)) {}
  virtual ~PMAProductParameters() = default;

  const std::optional<std::string>& appKey() const { return appKey_; }
  void setAppKey(std::optional<std::string> appKey) { appKey_ = std::move(appKey); }
  const std::optional<std::string>& userId() const { return userId_; }
  void setUserId(std::optional<std::string> userId) { userId_ = std::move(userId); }

 private:
  std::optional<std::string> appKey_;
  std::optional<std::string> userId_;
};

// The offerwall's parameters: the product parameters, its delegate (held
// weakly) and its additional parameters (absent when none were given).
class PMAGeneralParameters : public PMAProductParameters {
 public:
  PMAGeneralParameters(std::optional<std::string> appKey, std::optional<std::string> userId,
                       std::weak_ptr<void> delegate, std::optional<platform::Json> parames)
      : PMAProductParameters(std::move(appKey), std::move(userId)),
        delegate_(std::move(delegate)),
        additionalParameters_(std::move(parames)) {}

  std::shared_ptr<void> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<void> delegate) { delegate_ = std::move(delegate); }
  std::optional<platform::Json>& additionalParameters() { return additionalParameters_; }
  const std::optional<platform::Json>& additionalParameters() const { return additionalParameters_; }

 private:
  std::weak_ptr<void> delegate_;
  std::optional<platform::Json> additionalParameters_;
};
