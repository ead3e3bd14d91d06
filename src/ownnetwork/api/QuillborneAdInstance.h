#pragma once
// One placement of the own network as the application (or the mediation's
// built-in adapter) sees it, made only by QuillborneAdInstanceBuilder, and the
// own network's placeholder advertiser.
//
// An instance is fixed once built, except whether the publisher has
// initialised it, its listener and its banner size; those three may be read
// and changed from any thread.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "ownnetwork/services/PMADemandSource.h"
#include "ownnetwork/services/QBNAdSize.h"
#include "platform/json.h"

class QuillborneAdInstance {
 public:
  // Every argument kept as given; the listener weakly.
  QuillborneAdInstance(std::string identifier, std::string name, bool rewarded, bool inAppBidding,
                       std::optional<bool> isOneFlow, std::optional<platform::Json> extraParameters,
                       std::weak_ptr<QBNProductDelegate> adListener, std::shared_ptr<QBNAdSize> size);

  bool isRewarded() const { return rewarded_; }
  bool isInAppBidding() const { return inAppBidding_; }
  // NO at creation; the publisher's first load sets it.
  bool isInitialized() const { return initialized_.load(); }
  void setInitialized(bool initialized) { initialized_.store(initialized); }
  // One-flow placement; none when not given.
  const std::optional<bool>& isOneFlow() const { return isOneFlow_; }
  const std::string& identifier() const { return identifier_; }
  const std::string& name() const { return name_; }
  // Extra entries of the controller configuration.
  const std::optional<platform::Json>& extraParams() const { return extraParams_; }
  // The listener (a QBNAdDelegate, or a listener of some of its calls), or
  // null once it has gone.
  std::shared_ptr<QBNProductDelegate> adListener() const;
  std::weak_ptr<QBNProductDelegate> weakAdListener() const;
  void setAdListener(std::weak_ptr<QBNProductDelegate> adListener);
  // The banner size; null for full-screen ads.
  std::shared_ptr<QBNAdSize> size() const;
  void setSize(std::shared_ptr<QBNAdSize> size);

  // Whether the size is set and drawable (both sides at least 1).
  bool isBanner() const;
  // The instance's settings as the controller page reads them: "instanceId",
  // "instanceName", "rewarded", "inAppBidding" ("true"/"false"), "apiVersion"
  // (the number 2), "width", "height" (decimal text, "0" without a size),
  // "label" ("" without a size), "isBanner" ("true"/"false"); "isOneFlow"
  // ("true"/"false") when given; then every extra parameter, replacing an
  // entry of the same key.
  platform::Json getAdInstanceConfigurationForController() const;

  // ---- Loads: native bookkeeping, no part of the configuration the page
  // reads. Each load asked for is numbered from 1 (QuillborneNetwork numbers
  // it on the caller's thread, before the load goes anywhere); a newer number
  // means the loads before it were given up on. Any thread.
  uint64_t noteLoadRequested() { return ++loadRequests_; }
  uint64_t latestLoadRequest() const { return loadRequests_.load(); }
  // While the listener hears a load's answer (the publisher sets it around
  // the call, on the main queue): the number of the load answered; 0 outside
  // an answer and for an answer of no numbered load.
  uint64_t answeredLoad() const { return answeredLoad_.load(); }
  void setAnsweredLoad(uint64_t load) { answeredLoad_.store(load); }
  // Whether what the listener hears now is no late answer of a load given up
  // on: true outside a numbered answer, else whether it answers the newest
  // load asked for. A listener that stores a delegate per load (the built-in
  // adapter) reads it together with that delegate.
  bool answersLatestLoad() const {
    const uint64_t answered = answeredLoad();
    return answered == 0 || answered == latestLoadRequest();
  }

 private:
  const std::string identifier_;
  const std::string name_;
  const bool rewarded_;
  const bool inAppBidding_;
  const std::optional<bool> isOneFlow_;
  const std::optional<platform::Json> extraParams_;
  std::atomic<bool> initialized_{false};
  std::atomic<uint64_t> loadRequests_{0};
  std::atomic<uint64_t> answeredLoad_{0};
  mutable std::mutex mutex_;
  std::weak_ptr<QBNProductDelegate> adListener_;
  std::shared_ptr<QBNAdSize> size_;
};

// Builds instances and chooses their ids. Every setter returns the builder.
class QuillborneAdInstanceBuilder {
 public:
  // Not rewarded, not bid in-app, no one-flow value, no extra parameters, no
  // size; the listener held weakly.
  QuillborneAdInstanceBuilder(std::optional<std::string> name, std::weak_ptr<QBNProductDelegate> adListener);

  QuillborneAdInstanceBuilder& setRewarded(bool rewarded);
  QuillborneAdInstanceBuilder& setInAppBidding(bool inAppBidding);
  QuillborneAdInstanceBuilder& setExtraParameters(std::optional<platform::Json> extraParams);
  QuillborneAdInstanceBuilder& setSize(std::shared_ptr<QBNAdSize> size);
  QuillborneAdInstanceBuilder& setIsOneFlow(std::optional<bool> isOneFlow);
  QuillborneAdInstanceBuilder& setName(std::optional<std::string> name);
  QuillborneAdInstanceBuilder& setAdListener(std::weak_ptr<QBNProductDelegate> adListener);

  const std::optional<std::string>& name() const { return name_; }
  std::shared_ptr<QBNProductDelegate> adListener() const { return adListener_.lock(); }

  // Whether a name is set and the listener is still there.
  bool isInstanceValid() const;
  // A new instance, or null when the builder is not valid. Its id: for an
  // instance neither bid in-app nor one-flow, generateInstanceId of its name
  // and rewarded flag; otherwise generateUniqueInstanceId (unique in the
  // process).
  std::shared_ptr<QuillborneAdInstance> build() const;

 private:
  bool mRewarded_ = false;
  bool mInAppBidding_ = false;
  std::optional<std::string> name_;
  std::optional<bool> mIsOneFlow_;
  std::optional<platform::Json> extraParams_;
  std::weak_ptr<QBNProductDelegate> adListener_;
  std::shared_ptr<QBNAdSize> mSize_;
};

// A placeholder of the own network: its one call does nothing.
class PlovermarkAdsAdvertiser {
 public:
  static PlovermarkAdsAdvertiser& sharedInstance();
  void reportAppStarted() {}

 private:
  PlovermarkAdsAdvertiser() = default;
};
