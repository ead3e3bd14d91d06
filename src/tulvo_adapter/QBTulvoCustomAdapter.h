#pragma once
// The Tulvo network adapter: starts the outside Tulvo SDK for the mediation
// and tells every waiting instance the outcome. One object per process, made
// and cached by the adapter registry (class name "QBTulvoCustomAdapter").
//
// init(adData, delegate):
//  * SDK already initialised: onInitDidSucceed on the main queue, after the
//    call has returned (nothing when the delegate is empty).
//  * "publisherId" or "token" missing from adData (an empty text counts as
//    given): onInitDidFailWithErrorCode(1002, "Missing publisher id and/or
//    token") at once, on the calling thread; the SDK is not called.
//  * otherwise the delegate (when not empty) joins the waiting list and the
//    adapter calls Tulvo::setMediation("quillborne") and
//    initializeWithPublisherID, also while an earlier start waits for its
//    answer: an SDK that never answers one start is asked again by the next
//    caller instead of leaving the network dead for the process.
// The first answer of the SDK tells every waiting delegate once, on the SDK's
// thread (onInitDidSucceed, or onInitDidFailWithErrorCode(1000, the SDK's
// message, absent staying absent)), and empties the list; an answer that finds
// the list empty tells nobody.
//
// Thread-safe: the list is guarded by a mutex, and delegates and the SDK are
// called outside it. Delegates are held weakly; one whose owner is gone is
// skipped. There is no timeout here: a waiting instance ends by its own.
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "adapters/QBBaseNetworkAdapter.h"
#include "platform/tulvo/tulvo_sdk.h"

class QBTulvoCustomAdapter : public QBBaseNetworkAdapter, public TulvoSDK::TulvoInitDelegate {
 public:
  static constexpr int kInitFailedErrorCode = 1000;
  static constexpr int kMissingParametersErrorCode = 1002;
  static constexpr const char* kMissingParametersMessage = "Missing publisher id and/or token";
  static constexpr const char* kMediationName = "quillborne";
  static constexpr const char* kPublisherIdKey = "publisherId";
  static constexpr const char* kTokenKey = "token";

  QBTulvoCustomAdapter() = default;

  void init(const std::shared_ptr<QBAdData>& adData,
            std::weak_ptr<QBNetworkInitializationDelegate> delegate) override;
  // Both give the SDK's version (DeviceUtils::getActualSDKVersion).
  std::string networkSDKVersion() override;
  std::string adapterVersion() override;

  // TulvoInitDelegate, called by the SDK on its own thread.
  void onInitSuccess() override;
  void onInitError(const std::optional<std::string>& message) override;

  // Delegates waiting for the SDK's answer (owners still alive).
  size_t waitingDelegateCountForTesting() const;

 private:
  std::vector<std::weak_ptr<QBNetworkInitializationDelegate>> takeWaiting();

  mutable std::mutex mutex_;
  // Every delegate waiting for an answer of the SDK.
  std::vector<std::weak_ptr<QBNetworkInitializationDelegate>> mDelegate;
};

// Version texts of the Tulvo adapter, for the application.
class TulvoQuillborneSDKInfo {
 public:
  static std::string adapterSDKVersion();
  static std::string networkSDKVersion();
  // adapterSDKVersion + "::" + networkSDKVersion.
  static std::string getSdkVersion();
};
