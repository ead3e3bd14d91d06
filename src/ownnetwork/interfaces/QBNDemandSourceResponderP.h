#pragma once
// How the script handlers tell a demand source's listener of what the
// controller page reports about its ad: a click, a leave-application, an ad
// event. The publisher gives its responder through
// QBNPublisherAgent::demandSourceResponder(); the responder calls the
// listener on the main queue, and only when the listener implements the
// callback. A null demand source notifies nobody.
//
// `configuration` is {"productType": the product's name} ("RewardedVideo",
// "Interstitial" or "Banner"). Any thread.
#include <memory>
#include <string>

#include "platform/json.h"

class PMADemandSource;

class QBNDemandSourceResponderP {
 public:
  virtual ~QBNDemandSourceResponderP() = default;

  virtual void handleAdClickedCallbackForDemandSource(const std::shared_ptr<PMADemandSource>& demandSource,
                                                      const platform::Json& configuration) = 0;
  virtual void handleAdLeaveApplicationCallbackForDemandSource(const std::shared_ptr<PMADemandSource>& demandSource,
                                                               const platform::Json& configuration) = 0;
  // `extData`: the event's extra data (an object, empty when the page gave none).
  virtual void handleAdEventNotificationCallbackForDemandSource(const std::shared_ptr<PMADemandSource>& demandSource,
                                                                const std::string& eventName,
                                                                const platform::Json& extData,
                                                                const platform::Json& configuration) = 0;
};
