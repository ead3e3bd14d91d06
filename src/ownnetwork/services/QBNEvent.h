#pragma once
// An own-network analytics event: a numeric id and a name. QBNEvents lists
// the events the own network sends (ids 2001 to 2029; the gaps are unused).
#include <cstdint>
#include <string>
#include <utility>

class QBNEvent {
 public:
  QBNEvent(int64_t eventId, std::string eventName) : eventId_(eventId), eventName_(std::move(eventName)) {}

  int64_t eventId() const { return eventId_; }
  void setEventId(int64_t eventId) { eventId_ = eventId; }
  const std::string& eventName() const { return eventName_; }
  void setEventName(std::string eventName) { eventName_ = std::move(eventName); }

 private:
  int64_t eventId_;
  std::string eventName_;
};

namespace QBNEvents {
inline QBNEvent initSdk() { return {2001, "n_initsdk"}; }
inline QBNEvent createControllerWeb() { return {2002, "n_createcontrollerweb"}; }
inline QBNEvent createControllerNative() { return {2003, "n_createcontrollernative"}; }
inline QBNEvent controllerStageReady() { return {2004, "n_controllerstageready"}; }
inline QBNEvent loadAd() { return {2005, "n_loadad"}; }
inline QBNEvent loadAdFailed() { return {2006, "n_loadadfailed"}; }
inline QBNEvent initProduct() { return {2007, "n_initproduct"}; }
inline QBNEvent initProductFailed() { return {2008, "n_initproductfailed"}; }
inline QBNEvent loadAdSuccess() { return {2011, "n_loadadsuccess"}; }
inline QBNEvent controllerStageLoaded() { return {2012, "n_controllerstageloaded"}; }
inline QBNEvent controllerFailed() { return {2013, "n_controllerfailed"}; }
inline QBNEvent storeKitCloseWithoutViewUniqueId() { return {2020, "n_storekitclosewithoutviewuniqueid"}; }
inline QBNEvent destroyProduct() { return {2027, "n_destroyproduct"}; }
inline QBNEvent webViewTerminated() { return {2028, "n_webviewterminated"}; }
inline QBNEvent failedToDismissViewController() { return {2029, "n_failedtodismissviewcontroller"}; }
}  // namespace QBNEvents
