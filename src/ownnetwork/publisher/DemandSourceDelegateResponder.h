#pragma once
// Hands what the controller page reports of an ad (initialised, loaded,
// shown, rewarded, closed, clicked, an ad event) to the listener of the
// demand source it concerns.
//
// Two kinds of demand source, told apart by whether it has an ad instance
// when the responder is called:
//  - With an ad instance: its delegate is the instance's listener (the calls
//    of QBNAdDelegate.h). Each call is posted to the main queue as its own
//    task, in the order the responder was called (a show success is two
//    tasks: opened, then show success). A task reads the demand source's
//    listener and ad instance again when it runs, so a listener gone by then
//    hears nothing.
//  - Without one (the publisher's legacy products): its delegate's calls of
//    QBNProductDelegateCalls.h are picked by the configuration's
//    "productType" text ("RewardedVideo", "Interstitial" or "Banner",
//    compared exactly; no such member matches no product) and made at once
//    on the calling thread.
// Init success, init failure and "no more offers" take the legacy calls
// whatever the kind. A call is made only when the listener exists and
// implements it; otherwise it is dropped. A null demand source reaches no one.
//
// The responder keeps no state; any thread. `configuration` is passed on
// unchanged.
//
// A load answer "...ForLoad" names the load it answers (`load`, the
// instance's number of it; 0, as in the plain forms, for none): while the
// listener hears it the instance's answeredLoad() is that number, and when a
// newer load of the instance was asked for by the time the task runs, the
// answer is one of a load given up on and reaches no one (logged).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/json.h"
#include "platform/result.h"

namespace platform {
class View;
}
class PMADemandSource;

class DemandSourceDelegateResponder {
 public:
  using DemandSourceRef = std::shared_ptr<PMADemandSource>;

  static void handleInitSuccessCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                       const platform::Json& configuration);
  static void handleInitFailureCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                       const platform::Error& error,
                                                       const platform::Json& configuration);
  static void handleNoMoreOffersCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                        const platform::Json& configuration);
  static void handleLoadSuccessCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                       const platform::Json& configuration);
  static void handleLoadFailureCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                       const platform::Error& error,
                                                       const platform::Json& configuration);
  // The same, for the load numbered `load` of the instance.
  static void handleLoadSuccessCallbackForDemandSourceForLoad(const DemandSourceRef& demandSource,
                                                              const platform::Json& configuration, uint64_t load);
  static void handleLoadFailureCallbackForDemandSourceForLoad(const DemandSourceRef& demandSource,
                                                              const platform::Error& error,
                                                              const platform::Json& configuration, uint64_t load);
  static void handleShowSuccessCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                       const platform::Json& configuration);
  static void handleShowFailureCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                       const platform::Error& error,
                                                       const platform::Json& configuration);
  // The configuration is also the credit info of an ad instance's reward.
  static void handleAdCreditedCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                      const platform::Json& configuration);
  static void handleAdClosedCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                    const platform::Json& configuration);
  static void handleAdClickedCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                     const platform::Json& configuration);
  // Legacy sources hear nothing of it.
  static void handleAdLeaveApplicationCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                              const platform::Json& configuration);
  // A banner's load answers: adInstanceLoadedWithAdContainer with the view
  // container of its ad, or adInstanceFailedToLoad. Whatever the kind of
  // source, each is posted to the main queue like every ad-instance call
  // (the fallback controller answers on the thread that sent the command).
  static void handleBannerLoadSuccessCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                             const platform::Json& configuration,
                                                             const std::shared_ptr<platform::View>& adContainer);
  static void handleBannerLoadFailureCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                             const platform::Error& error,
                                                             const platform::Json& configuration);
  static void handleBannerLoadSuccessCallbackForDemandSourceForLoad(const DemandSourceRef& demandSource,
                                                                    const platform::Json& configuration,
                                                                    const std::shared_ptr<platform::View>& adContainer,
                                                                    uint64_t load);
  static void handleBannerLoadFailureCallbackForDemandSourceForLoad(const DemandSourceRef& demandSource,
                                                                    const platform::Error& error,
                                                                    const platform::Json& configuration,
                                                                    uint64_t load);
  // Runs on the main queue in a numbered load answer's task, once the answer
  // was found to answer the newest load, just before the listener hears it:
  // a test asks for a newer load there, as another thread may at that moment.
  // Null removes it.
  static void setLoadAnswerHookForTesting(std::function<void()> hook);
  // A legacy banner hears only the event "impressions" (as its show success).
  static void handleAdEventNotificationCallbackForDemandSource(const DemandSourceRef& demandSource,
                                                               const std::string& eventName,
                                                               const platform::Json& extData,
                                                               const platform::Json& configuration);
};
