#include "events/QBAdUnitEventsWrapper.h"

#include <utility>

#include "events/QBEventData.h"
#include "events/QBEventsEngines.h"
#include "platform/json.h"

using platform::Json;

namespace {

void mergeInto(Json& target, const Json& extra) {
  if (!extra.is_object()) return;
  for (const auto& [key, value] : extra.items()) target[key] = value;
}

Json withPlacement(const std::string& placementName) { return Json{{"placement", placementName}}; }

}  // namespace

// ---------------------------------------------------------------- wrapper

QBAdUnitEventsWrapper::QBAdUnitEventsWrapper(QBAdUnit adUnit, int level,
                                             std::weak_ptr<QBAdUnitEventsProtocol> eventsInterface)
    : adUnit_(std::move(adUnit)), level_(level), source_(std::move(eventsInterface)) {}

std::shared_ptr<QBAdUnitEventsWrapper> QBAdUnitEventsWrapper::initWithAdunit(
    QBAdUnit adUnit, int level, std::weak_ptr<QBAdUnitEventsProtocol> eventsInterface) {
  return std::make_shared<QBAdUnitEventsWrapper>(std::move(adUnit), level, std::move(eventsInterface));
}

void QBAdUnitEventsWrapper::releaseMemory() {
  std::weak_ptr<QBAdUnitEventsProtocol> released;
  std::lock_guard lock(mutex_);
  released.swap(source_);
}

std::optional<int> QBAdUnitEventsWrapper::eventIdForKind(int kind) const {
  return QBAdUnitEventsTables::eventId(adUnit_, level_, kind);
}

void QBAdUnitEventsWrapper::sendEvent(int kind, Json data) {
  const std::optional<int> eventId = eventIdForKind(kind);
  if (!eventId) return;
  std::shared_ptr<QBAdUnitEventsProtocol> source;
  {
    std::lock_guard lock(mutex_);
    source = source_.lock();
  }
  Json merged = Json::object();
  if (source) merged = source->getEventsAdditionalDataDictionary(kind);
  if (!merged.is_object()) merged = Json::object();
  mergeInto(merged, data);
  auto engine = QBEventsEngineForAdUnit(adUnit_);
  if (!engine) return;
  engine->logEvent(QBEventData(*eventId, std::move(merged)));
}

// ---------------------------------------------------------------- init flow

void QBEventsInitFlow::startedWithManager(const std::string& managerName, const std::string& loadingMode) {
  wrapper_.sendEvent(QBEventKind::INIT_STARTED, Json{{"managerName", managerName}, {"loadingMode", loadingMode}});
}

void QBEventsInitFlow::endedWithDuration(int64_t duration) {
  wrapper_.sendEvent(QBEventKind::INIT_ENDED, Json{{"duration", duration}});
}

// ---------------------------------------------------------------- load

void QBEventsLoad::loadAdWithPublisherLoad(bool publisherLoad) {
  Json data = Json::object();
  if (publisherLoad) data["publisherLoad"] = true;
  wrapper_.sendEvent(QBEventKind::LOAD_AD, std::move(data));
}

void QBEventsLoad::sucessWithDuration(int64_t duration, bool publisherLoad) {
  Json data{{"duration", duration}};
  if (publisherLoad) data["publisherLoad"] = true;
  wrapper_.sendEvent(QBEventKind::LOAD_AD_SUCCESS, std::move(data));
}

void QBEventsLoad::failedWithDuration(int64_t duration, int errorCode) {
  wrapper_.sendEvent(QBEventKind::LOAD_AD_FAILED, Json{{"duration", duration}, {"errorCode", errorCode}});
}

void QBEventsLoad::failedWithReason(const std::string& reason, int64_t duration, int errorCode) {
  Json data{{"duration", duration}, {"errorCode", errorCode}};
  if (!reason.empty()) data["reason"] = reason;
  wrapper_.sendEvent(QBEventKind::LOAD_AD_FAILED_WITH_REASON, std::move(data));
}

void QBEventsLoad::noFillWithDuration(int64_t duration, int errorCode) {
  wrapper_.sendEvent(QBEventKind::LOAD_AD_NO_FILL, Json{{"duration", duration}, {"errorCode", errorCode}});
}

void QBEventsLoad::availabilityChanged(bool available, int64_t timeSpentInLastAvailabilityInMs, bool isAdExpired) {
  Json data{{"duration", timeSpentInLastAvailabilityInMs}};
  if (isAdExpired) {
    data["errorCode"] = 1057;
    data["reason"] = "loaded ads are expired";
  }
  wrapper_.sendEvent(available ? QBEventKind::AD_AVAILABILITY_CHANGED_TRUE : QBEventKind::AD_AVAILABILITY_CHANGED_FALSE,
                     std::move(data));
}

// ---------------------------------------------------------------- auction

void QBEventsAuction::request() { wrapper_.sendEvent(QBEventKind::AUCTION_REQUEST, Json::object()); }

void QBEventsAuction::failedWithDuration(int64_t duration, int code, const std::string& reason) {
  Json data{{"duration", duration}, {"errorCode", code}};
  if (!reason.empty()) data["reason"] = reason;
  wrapper_.sendEvent(QBEventKind::AUCTION_FAILED, std::move(data));
}

void QBEventsAuction::successWithDuration(int64_t duration) {
  wrapper_.sendEvent(QBEventKind::AUCTION_SUCCESS, Json{{"duration", duration}});
}

void QBEventsAuction::requestWaterfall(const std::string& waterfall) {
  wrapper_.sendEvent(QBEventKind::AUCTION_REQUEST_WATERFALL, Json{{"ext1", waterfall}});
}

void QBEventsAuction::responseWaterfall(const std::string& waterfall) {
  wrapper_.sendEvent(QBEventKind::AUCTION_RESPONSE_WATERFALL, Json{{"ext1", waterfall}});
}

void QBEventsAuction::adUnitCappedWithAuctionId(const std::string& auctionId) {
  wrapper_.sendEvent(QBEventKind::AD_UNIT_CAPPED, Json{{"auctionId", auctionId}});
}

// ---------------------------------------------------------------- token

namespace {

Json providerDataWith(const Json& providerData, std::initializer_list<std::pair<const char*, Json>> values) {
  Json data = Json::object();
  mergeInto(data, providerData);
  for (const auto& [key, value] : values) data[key] = value;
  return data;
}

}  // namespace

void QBEventsToken::collect() { wrapper_.sendEvent(QBEventKind::COLLECT_TOKEN, Json::object()); }

void QBEventsToken::completedWithDuration(int64_t duration) {
  wrapper_.sendEvent(QBEventKind::COLLECT_TOKEN_COMPLETED, Json{{"duration", duration}});
}

void QBEventsToken::failedWithReason(const std::string& reason) {
  wrapper_.sendEvent(QBEventKind::COLLECT_TOKEN_FAILED, Json{{"reason", reason}});
}

void QBEventsToken::collectForInstanceWithProviderData(const Json& providerData) {
  wrapper_.sendEvent(QBEventKind::INSTANCE_COLLECT_TOKEN, providerDataWith(providerData, {}));
}

void QBEventsToken::completedWithProviderData(const Json& providerData, int64_t duration) {
  wrapper_.sendEvent(QBEventKind::INSTANCE_COLLECT_TOKEN_SUCCESS, providerDataWith(providerData, {{"duration", duration}}));
}

void QBEventsToken::failedWithProviderData(const Json& providerData, int64_t duration, const std::string& reason) {
  wrapper_.sendEvent(QBEventKind::INSTANCE_COLLECT_TOKEN_FAILED,
                     providerDataWith(providerData, {{"duration", duration}, {"reason", reason}}));
}

void QBEventsToken::timedOutWithProviderData(const Json& providerData, int64_t duration) {
  wrapper_.sendEvent(QBEventKind::INSTANCE_COLLECT_TOKEN_TIMED_OUT,
                     providerDataWith(providerData, {{"duration", duration}}));
}

// ---------------------------------------------------------------- ad interaction

void QBEventsAdInteraction::showWithPlacementName(const std::string& placementName) {
  wrapper_.sendEvent(QBEventKind::SHOW_AD, withPlacement(placementName));
}

void QBEventsAdInteraction::showChanceWithStatus(bool status) {
  wrapper_.sendEvent(QBEventKind::SHOW_AD_CHANCE, Json{{"status", status ? "true" : "false"}});
}

void QBEventsAdInteraction::showSuccessWithPlacementName(const std::string& placementName) {
  wrapper_.sendEvent(QBEventKind::SHOW_AD_SUCCESS, withPlacement(placementName));
}

void QBEventsAdInteraction::showFailedWithPlacementName(const std::string& placementName, int errorCode,
                                                        const std::string& errorMessage,
                                                        const std::string& expiredSmashes) {
  Json data = withPlacement(placementName);
  data["errorCode"] = errorCode;
  if (!errorMessage.empty()) data["reason"] = errorMessage;
  if (!expiredSmashes.empty()) data["ext1"] = expiredSmashes;
  wrapper_.sendEvent(QBEventKind::SHOW_AD_FAILED, std::move(data));
}

void QBEventsAdInteraction::adStartedWithPlacementName(const std::string& placementName) {
  wrapper_.sendEvent(QBEventKind::AD_STARTED, withPlacement(placementName));
}

void QBEventsAdInteraction::adEndedWithPlacementName(const std::string& placementName) {
  wrapper_.sendEvent(QBEventKind::AD_ENDED, withPlacement(placementName));
}

void QBEventsAdInteraction::adVisibleWithPlacementName(const std::string& placementName) {
  wrapper_.sendEvent(QBEventKind::AD_VISIBLE, withPlacement(placementName));
}

void QBEventsAdInteraction::adOpenedWithPlacementName(const std::string& placementName) {
  wrapper_.sendEvent(QBEventKind::AD_OPENED, withPlacement(placementName));
}

void QBEventsAdInteraction::adClickedWithPlacementName(const std::string& placementName) {
  wrapper_.sendEvent(QBEventKind::AD_CLICKED, withPlacement(placementName));
}

void QBEventsAdInteraction::adClosedWithPlacementName(const std::string& placementName,
                                                      const std::string& availableInstances) {
  Json data = withPlacement(placementName);
  data["ext1"] = availableInstances;
  wrapper_.sendEvent(QBEventKind::AD_CLOSED, std::move(data));
}

void QBEventsAdInteraction::adRewardedWithPlacementName(const std::string& placementName,
                                                        const std::string& rewardName, int64_t rewardAmount,
                                                        const std::string& timestamp, const std::string& transId,
                                                        int64_t timeAfterClosed, const Json& rewardedServerParams,
                                                        const std::string& dynamicUserId) {
  Json data = withPlacement(placementName);
  data["rewardName"] = rewardName;
  data["rewardAmount"] = rewardAmount;
  data["transTimestamp"] = timestamp;
  data["transId"] = transId;
  data["timeAfterClosed"] = timeAfterClosed;
  mergeInto(data, rewardedServerParams);
  if (!dynamicUserId.empty()) data["dynamicUserId"] = dynamicUserId;
  wrapper_.sendEvent(QBEventKind::AD_REWARDED, std::move(data));
}

void QBEventsAdInteraction::placementCapped(const std::string& placementName) {
  wrapper_.sendEvent(QBEventKind::PLACEMENT_CAPPED, withPlacement(placementName));
}

void QBEventsAdInteraction::sessionCapped() { wrapper_.sendEvent(QBEventKind::SESSION_CAPPED, Json::object()); }

// ---------------------------------------------------------------- troubleshoot

void QBEventsTroubleshoot::send(int kind, const std::string& reason) {
  wrapper_.sendEvent(kind, Json{{"reason", reason}});
}

void QBEventsTroubleshoot::notificationErrorWithCode(int code, const std::string& reason,
                                                     const std::string& smashName) {
  wrapper_.sendEvent(QBEventKind::TS_NOTIFICATION_ERROR,
                     Json{{"errorCode", code}, {"reason", reason}, {"ext1", smashName}});
}

void QBEventsTroubleshoot::networkAdapterNotAvailableWithReason(const std::string& reason) {
  send(QBEventKind::TS_NETWORK_ADAPTER_NOT_AVAILABLE, reason);
}
void QBEventsTroubleshoot::adAdapterNotAvailableWithReason(const std::string& reason) {
  send(QBEventKind::TS_AD_ADAPTER_NOT_AVAILABLE, reason);
}
void QBEventsTroubleshoot::providerSettingsMissingWithReason(const std::string& reason) {
  send(QBEventKind::TS_PROVIDER_SETTINGS_MISSING, reason);
}
void QBEventsTroubleshoot::biddingDataMissingWithProviderData(const Json& providerData, const std::string& reason) {
  wrapper_.sendEvent(QBEventKind::TS_BIDDING_DATA_MISSING, providerDataWith(providerData, {{"reason", reason}}));
}
void QBEventsTroubleshoot::unexpectedInitSuccessWithReason(const std::string& reason) {
  send(QBEventKind::TS_UNEXPECTED_INIT_SUCCESS, reason);
}
void QBEventsTroubleshoot::unexpectedInitFailedWithReason(const std::string& reason) {
  send(QBEventKind::TS_UNEXPECTED_INIT_FAILED, reason);
}
void QBEventsTroubleshoot::unexpectedAuctionSuccessWithReason(const std::string& reason) {
  send(QBEventKind::TS_UNEXPECTED_AUCTION_SUCCESS, reason);
}
void QBEventsTroubleshoot::unexpectedAuctionFailedWithReason(const std::string& reason) {
  send(QBEventKind::TS_UNEXPECTED_AUCTION_FAILED, reason);
}
void QBEventsTroubleshoot::unexpectedLoadSuccessWithReason(const std::string& reason) {
  send(QBEventKind::TS_UNEXPECTED_LOAD_SUCCESS, reason);
}
void QBEventsTroubleshoot::unexpectedLoadFailedWithReason(const std::string& reason) {
  send(QBEventKind::TS_UNEXPECTED_LOAD_FAILED, reason);
}
void QBEventsTroubleshoot::unexpectedShowFailedWithReason(const std::string& reason) {
  send(QBEventKind::TS_UNEXPECTED_SHOW_FAILED, reason);
}
void QBEventsTroubleshoot::unexpectedClosedWithReason(const std::string& reason) {
  send(QBEventKind::TS_UNEXPECTED_CLOSED, reason);
}
void QBEventsTroubleshoot::unexpectedTimeoutWithReason(const std::string& reason) {
  send(QBEventKind::TS_UNEXPECTED_TIMEOUT, reason);
}
void QBEventsTroubleshoot::loadFailedWithCode(int code, const std::string& reason) {
  wrapper_.sendEvent(QBEventKind::TS_LOAD_FAILED, Json{{"errorCode", code}, {"reason", reason}});
}
void QBEventsTroubleshoot::internalErrorWithReason(const std::string& reason) {
  send(QBEventKind::TS_INTERNAL_ERROR, reason);
}
void QBEventsTroubleshoot::waterfallOverheadWithReason(const std::string& reason) {
  send(QBEventKind::TS_WATERFALL_OVERHEAD, reason);
}
void QBEventsTroubleshoot::auctionSuccessfulRecoveryWithCode(int code, const std::string& reason) {
  wrapper_.sendEvent(QBEventKind::TS_AUCTION_SUCCESSFUL_RECOVERY, Json{{"errorCode", code}, {"reason", reason}});
}
void QBEventsTroubleshoot::adExpiredWithReason(const std::string& reason) {
  send(QBEventKind::TS_AD_EXPIRED, reason);
}
