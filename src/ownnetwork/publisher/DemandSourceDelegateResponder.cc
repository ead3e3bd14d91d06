#include "ownnetwork/publisher/DemandSourceDelegateResponder.h"

#include <mutex>

#include "ownnetwork/api/QBNAdDelegate.h"
#include "ownnetwork/api/QBNProductDelegateCalls.h"
#include "ownnetwork/api/QuillborneAdInstance.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "platform/dispatch.h"

namespace {

using platform::Json;
using DemandSourceRef = DemandSourceDelegateResponder::DemandSourceRef;

bool isAdInstanceSource(const DemandSourceRef& demandSource) { return demandSource->adInstance() != nullptr; }

bool isProduct(const Json& configuration, const char* productType) {
  return platform::getString(configuration, "productType") == productType;
}

// One main-queue task for one listener call, made only when the listener
// that the demand source has by then implements it.
template <class Call, class Invoke>
void postToAdListener(const DemandSourceRef& demandSource, Invoke invoke) {
  platform::mainQueue()->async([demandSource, invoke = std::move(invoke)] {
    const auto listener = demandSource->delegate();
    if (auto* call = dynamic_cast<Call*>(listener.get())) invoke(*call, demandSource->adInstance());
  });
}

struct LoadAnswerHook {
  std::mutex mutex;
  std::function<void()> hook;
};

LoadAnswerHook& loadAnswerHook() {
  static LoadAnswerHook& h = *new LoadAnswerHook();  // lives for the process
  return h;
}

void runLoadAnswerHook() {
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> lock(loadAnswerHook().mutex);
    hook = loadAnswerHook().hook;
  }
  if (hook) hook();
}

// A load answer's task: the instance knows which of its loads it answers
// while its listener hears it; an answer of a load older than the newest one
// asked for reaches no one.
template <class Call, class Invoke>
void postLoadAnswerToAdListener(const DemandSourceRef& demandSource, uint64_t load, Invoke invoke) {
  platform::mainQueue()->async([demandSource, load, invoke = std::move(invoke)] {
    const auto listener = demandSource->delegate();
    auto* call = dynamic_cast<Call*>(listener.get());
    if (!call) return;
    const auto instance = demandSource->adInstance();
    if (!instance) return invoke(*call, instance);
    if (load != 0 && load != instance->latestLoadRequest()) {
      PlovermarkLogManager::sharedManager().log(
          "answer of load " + std::to_string(load) + " of " + instance->identifier() +
              " dropped: a newer load was asked for",
          0, 9);
      return;
    }
    instance->setAnsweredLoad(load);
    runLoadAnswerHook();
    invoke(*call, instance);
    instance->setAnsweredLoad(0);
  });
}

// A legacy listener's call, at once, when it implements it.
template <class Call, class Invoke>
void callProductListener(const DemandSourceRef& demandSource, Invoke invoke) {
  const auto listener = demandSource->delegate();
  if (auto* call = dynamic_cast<Call*>(listener.get())) invoke(*call);
}

}  // namespace

void DemandSourceDelegateResponder::setLoadAnswerHookForTesting(std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(loadAnswerHook().mutex);
  loadAnswerHook().hook = std::move(hook);
}

void DemandSourceDelegateResponder::handleInitSuccessCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                                             const Json& configuration) {
  if (!demandSource) return;
  if (isProduct(configuration, "RewardedVideo")) {
    callProductListener<PmaRewardedVideoDidUpdateAdUnitsCall>(
        demandSource, [&](auto& call) { call.pmaRewardedVideoDidUpdateAdUnits(configuration); });
  } else if (isProduct(configuration, "Interstitial")) {
    callProductListener<PlovermarkISInitSuccessCall>(demandSource, [](auto& call) { call.plovermarkISInitSuccess(); });
  }
}

void DemandSourceDelegateResponder::handleInitFailureCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                                             const platform::Error& error,
                                                                             const Json& configuration) {
  if (!demandSource) return;
  if (isProduct(configuration, "RewardedVideo")) {
    callProductListener<PmaRewardedVideoDidFailInitWithErrorCall>(
        demandSource, [&](auto& call) { call.pmaRewardedVideoDidFailInitWithError(error); });
  } else if (isProduct(configuration, "Interstitial")) {
    callProductListener<PlovermarkISInitFailedWithErrorCall>(
        demandSource, [&](auto& call) { call.plovermarkISInitFailedWithError(error); });
  }
}

void DemandSourceDelegateResponder::handleNoMoreOffersCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                                              const Json& /*configuration*/) {
  if (!demandSource) return;
  callProductListener<PmaRewardedVideoNoMoreOffersCall>(demandSource,
                                                        [](auto& call) { call.pmaRewardedVideoNoMoreOffers(); });
}

void DemandSourceDelegateResponder::handleLoadSuccessCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                                             const Json& configuration) {
  handleLoadSuccessCallbackForDemandSourceForLoad(demandSource, configuration, 0);
}

void DemandSourceDelegateResponder::handleLoadSuccessCallbackForDemandSourceForLoad(
    const DemandSourceRef& demandSource, const Json& configuration, uint64_t load) {
  if (!demandSource) return;
  if (isAdInstanceSource(demandSource)) {
    postLoadAnswerToAdListener<QBNAdDelegateLoaded>(
        demandSource, load, [configuration](auto& call, const QBNAdInstanceRef& instance) {
          call.adInstanceLoaded(instance, configuration);
        });
  } else {
    callProductListener<PlovermarkISLoadSuccessCall>(demandSource, [](auto& call) { call.plovermarkISLoadSuccess(); });
  }
}

void DemandSourceDelegateResponder::handleLoadFailureCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                                             const platform::Error& error,
                                                                             const Json& configuration) {
  handleLoadFailureCallbackForDemandSourceForLoad(demandSource, error, configuration, 0);
}

void DemandSourceDelegateResponder::handleLoadFailureCallbackForDemandSourceForLoad(
    const DemandSourceRef& demandSource, const platform::Error& error, const Json& configuration, uint64_t load) {
  if (!demandSource) return;
  if (isAdInstanceSource(demandSource)) {
    postLoadAnswerToAdListener<QBNAdDelegateFailedToLoad>(
        demandSource, load, [error, configuration](auto& call, const QBNAdInstanceRef& instance) {
          call.adInstanceFailedToLoad(instance, error, configuration);
        });
  } else {
    callProductListener<PlovermarkISLoadFailedWithErrorCall>(
        demandSource, [&](auto& call) { call.plovermarkISLoadFailedWithError(error); });
  }
}

void DemandSourceDelegateResponder::handleBannerLoadSuccessCallbackForDemandSource(
    const DemandSourceRef& demandSource, const Json& configuration, const std::shared_ptr<platform::View>& adContainer) {
  handleBannerLoadSuccessCallbackForDemandSourceForLoad(demandSource, configuration, adContainer, 0);
}

void DemandSourceDelegateResponder::handleBannerLoadSuccessCallbackForDemandSourceForLoad(
    const DemandSourceRef& demandSource, const Json& configuration, const std::shared_ptr<platform::View>& adContainer,
    uint64_t load) {
  if (!demandSource) return;
  postLoadAnswerToAdListener<QBNAdDelegateLoadedWithAdContainer>(
      demandSource, load, [configuration, adContainer](auto& call, const QBNAdInstanceRef& instance) {
        call.adInstanceLoadedWithAdContainer(instance, configuration, adContainer);
      });
}

void DemandSourceDelegateResponder::handleBannerLoadFailureCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                                                   const platform::Error& error,
                                                                                   const Json& configuration) {
  handleBannerLoadFailureCallbackForDemandSourceForLoad(demandSource, error, configuration, 0);
}

void DemandSourceDelegateResponder::handleBannerLoadFailureCallbackForDemandSourceForLoad(
    const DemandSourceRef& demandSource, const platform::Error& error, const Json& configuration, uint64_t load) {
  if (!demandSource) return;
  postLoadAnswerToAdListener<QBNAdDelegateFailedToLoad>(
      demandSource, load, [error, configuration](auto& call, const QBNAdInstanceRef& instance) {
        call.adInstanceFailedToLoad(instance, error, configuration);
      });
}

void DemandSourceDelegateResponder::handleShowSuccessCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                                             const Json& configuration) {
  if (!demandSource) return;
  if (isAdInstanceSource(demandSource)) {
    // Both tasks are posted now, so a later report cannot come between them.
    postToAdListener<QBNAdDelegateOpened>(demandSource, [configuration](auto& call, const QBNAdInstanceRef& instance) {
      call.adInstanceOpened(instance, configuration);
    });
    postToAdListener<QBNAdDelegateShowSuccess>(
        demandSource, [configuration](auto& call, const QBNAdInstanceRef& instance) {
          call.adInstanceShowSuccess(instance, configuration);
        });
  } else if (isProduct(configuration, "RewardedVideo")) {
    callProductListener<PmaRewardedVideoWindowWillOpenCall>(demandSource,
                                                            [](auto& call) { call.pmaRewardedVideoWindowWillOpen(); });
  } else if (isProduct(configuration, "Interstitial")) {
    callProductListener<PlovermarkISShowSuccessCall>(demandSource, [](auto& call) { call.plovermarkISShowSuccess(); });
  }
}

void DemandSourceDelegateResponder::handleShowFailureCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                                             const platform::Error& error,
                                                                             const Json& configuration) {
  if (!demandSource) return;
  if (isAdInstanceSource(demandSource)) {
    postToAdListener<QBNAdDelegateFailedToShow>(
        demandSource, [error, configuration](auto& call, const QBNAdInstanceRef& instance) {
          call.adInstanceFailedToShow(instance, error, configuration);
        });
  } else if (isProduct(configuration, "RewardedVideo")) {
    callProductListener<PmaRewardedVideoDidFailShowWithErrorCall>(
        demandSource, [&](auto& call) { call.pmaRewardedVideoDidFailShowWithError(error); });
  } else if (isProduct(configuration, "Interstitial")) {
    callProductListener<PlovermarkISShowFailWithErrorCall>(
        demandSource, [&](auto& call) { call.plovermarkISShowFailWithError(error); });
  }
}

void DemandSourceDelegateResponder::handleAdCreditedCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                                            const Json& configuration) {
  if (!demandSource) return;
  if (isAdInstanceSource(demandSource)) {
    postToAdListener<QBNAdDelegateRewarded>(demandSource, [configuration](auto& call, const QBNAdInstanceRef& instance) {
      call.adInstanceRewarded(instance, configuration, configuration);
    });
  } else {
    callProductListener<PmaRewardedVideoDidReceiveCreditCall>(
        demandSource, [&](auto& call) { call.pmaRewardedVideoDidReceiveCredit(configuration); });
  }
}

void DemandSourceDelegateResponder::handleAdClosedCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                                          const Json& configuration) {
  if (!demandSource) return;
  if (isAdInstanceSource(demandSource)) {
    postToAdListener<QBNAdDelegateClosed>(demandSource, [configuration](auto& call, const QBNAdInstanceRef& instance) {
      call.adInstanceClosed(instance, configuration);
    });
  } else if (isProduct(configuration, "RewardedVideo")) {
    callProductListener<PmaRewardedVideoWindowDidCloseCall>(demandSource,
                                                            [](auto& call) { call.pmaRewardedVideoWindowDidClose(); });
  } else if (isProduct(configuration, "Interstitial")) {
    callProductListener<PlovermarkISAdClosedCall>(demandSource, [](auto& call) { call.plovermarkISAdClosed(); });
  }
}

void DemandSourceDelegateResponder::handleAdClickedCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                                           const Json& configuration) {
  if (!demandSource) return;
  if (isAdInstanceSource(demandSource)) {
    postToAdListener<QBNAdDelegateClicked>(demandSource, [configuration](auto& call, const QBNAdInstanceRef& instance) {
      call.adInstanceClicked(instance, configuration);
    });
  } else if (isProduct(configuration, "RewardedVideo")) {
    callProductListener<PmaRewardedVideoAdClickedCall>(demandSource, [](auto& call) { call.pmaRewardedVideoAdClicked(); });
  } else if (isProduct(configuration, "Interstitial")) {
    callProductListener<PlovermarkISAdClickedCall>(demandSource, [](auto& call) { call.plovermarkISAdClicked(); });
  }
}

void DemandSourceDelegateResponder::handleAdLeaveApplicationCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                                                    const Json& configuration) {
  if (!demandSource || !isAdInstanceSource(demandSource)) return;
  postToAdListener<QBNAdDelegateLeaveApplication>(
      demandSource, [configuration](auto& call, const QBNAdInstanceRef& instance) {
        call.adInstanceLeaveApplication(instance, configuration);
      });
}

void DemandSourceDelegateResponder::handleAdEventNotificationCallbackForDemandSource(
    const DemandSourceRef& demandSource, const std::string& eventName, const Json& extData, const Json& configuration) {
  if (!demandSource) return;
  if (isAdInstanceSource(demandSource)) {
    postToAdListener<QBNAdDelegateNotification>(
        demandSource, [eventName, extData, configuration](auto& call, const QBNAdInstanceRef& instance) {
          call.adInstanceReceivedNotificationWithInstance(instance, eventName, extData, configuration);
        });
  } else if (isProduct(configuration, "RewardedVideo")) {
    callProductListener<PmaRewardedVideoAdDidReceiveNotificationOnEventCall>(
        demandSource, [&](auto& call) { call.pmaRewardedVideoAdDidReceiveNotificationOnEvent(eventName, extData); });
  } else if (isProduct(configuration, "Interstitial")) {
    callProductListener<PlovermarkISAdDidReceiveNotificationOnEventCall>(
        demandSource, [&](auto& call) { call.plovermarkISAdDidReceiveNotificationOnEvent(eventName, extData); });
  } else if (isProduct(configuration, "Banner") && eventName == "impressions") {
    callProductListener<QBNBannerShowSuccessCall>(demandSource, [](auto& call) { call.QBNBannerShowSuccess(); });
  }
}
