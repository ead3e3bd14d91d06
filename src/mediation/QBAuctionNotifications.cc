// Notification reports of QBAuctionHandler: which URLs fire when, and the
// values their macros take (docs/auction.md, "Notification URLs").
#include <algorithm>

#include "core/QuillborneObjectPublisherDataHolder.h"
#include "events/QBEventData.h"
#include "events/QBEventsEngines.h"
#include "foundation/QBLoggerManager.h"
#include "mediation/QBAuctionDataUtils.h"
#include "mediation/QBAuctionHandler.h"

namespace {

// The macro values every URL of one report shares: the winner's facts.
QBAuctionMacroValues winnerValues(const QBAuctionResponseItem& winner, int instanceType,
                                  const std::string& placementName) {
  QBAuctionMacroValues values;
  values.auctionPrice = QBAuctionDataUtils::formatPrice(winner.price());
  // Built as strings: g++ 12 at -O3 misreads the assignment of a short literal (-Wrestrict).
  values.auctionLoss = std::string(1, '0');
  values.auctionMbr = winner.price() ? std::string(1, '1') : std::string();
  values.instance = winner.providerName();
  values.instanceType = std::to_string(instanceType);
  values.dynamicDemandSource =
      QBAuctionDataUtils::sharedInstance().getDynamicDemandSourceIdFromServerData(winner.serverData()).value_or("");
  values.placementName = placementName;
  return values;
}

void fireAll(const std::vector<std::string>& urls, const QBAuctionMacroValues& values, const std::string& what) {
  auto& utils = QBAuctionDataUtils::sharedInstance();
  for (const auto& url : urls) utils.fireNotificationUrl(QBAuctionDataUtils::replaceMacros(url, values), what);
}

}  // namespace

void QBAuctionHandler::reportLoadSuccessForGenericNotifications(
    const std::shared_ptr<QBAuctionResponseItem>& genericNotifications,
    const std::shared_ptr<QBAuctionResponseItem>& winnerItem, int instanceType) {
  if (!winnerItem) return;
  const auto values = winnerValues(*winnerItem, instanceType, "");
  fireAll(winnerItem->nurl(), values, "nurl of " + winnerItem->providerName());
  if (genericNotifications) fireAll(genericNotifications->nurl(), values, "generic nurl");
}

void QBAuctionHandler::reportAuctionLoseWithWaterfall(
    const std::vector<std::string>& waterfall,
    const std::map<std::string, std::shared_ptr<QBAuctionResponseItem>>& serverData,
    const std::shared_ptr<QBAuctionResponseItem>& /*genericNotifications*/,
    const std::shared_ptr<QBAuctionResponseItem>& winnerItem, int winnerInstanceType) {
  if (!winnerItem) return;
  const auto& winnerName = winnerItem->providerName();
  const auto winnerIt = std::find(waterfall.begin(), waterfall.end(), winnerName);
  const auto base = winnerValues(*winnerItem, winnerInstanceType, "");
  for (auto it = waterfall.begin(); it != waterfall.end(); ++it) {
    if (*it == winnerName) continue;
    auto found = serverData.find(*it);
    if (found == serverData.end() || !found->second || found->second->lurl().empty()) continue;
    const auto& loser = *found->second;
    auto values = base;
    values.auctionLoss = std::to_string(it > winnerIt ? QBAuctionDataUtils::kLossLowerRank
                                                      : QBAuctionDataUtils::kLossHigherRankNotLoaded);
    // Market bid ratio: the winning price over the loser's bid.
    values.auctionMbr = (winnerItem->price() && loser.price() && *loser.price() > 0)
                            ? QBAuctionDataUtils::formatPrice(*winnerItem->price() / *loser.price())
                            : "";
    fireAll(loser.lurl(), values, "lurl of " + loser.providerName());
  }
}

void QBAuctionHandler::reportImpressionForGenericNotifications(
    const std::shared_ptr<QBAuctionResponseItem>& genericNotifications,
    const std::shared_ptr<QBAuctionResponseItem>& winnerItem, int instanceType, const std::string& placementName) {
  if (!winnerItem) return;
  const auto values = winnerValues(*winnerItem, instanceType, placementName);
  fireAll(winnerItem->burl(), values, "burl of " + winnerItem->providerName());
  fireAll(winnerItem->impressionUrls(), values, "impression URL of " + winnerItem->providerName());
  if (genericNotifications) {
    fireAll(genericNotifications->burl(), values, "generic burl");
    fireAll(genericNotifications->impressionUrls(), values, "generic impression URL");
  }
}

void QBAuctionHandler::reportAuctionConversionValueForParameters(const platform::Json& parameters,
                                                                 std::optional<int> cvValue,
                                                                 const std::string& auctionId, int sessionDepth,
                                                                 int adUnit,
                                                                 const platform::Json& providerEventDictionary) {
  if (!parameters.is_object() || parameters.empty() || !cvValue) return;
  auto conversionValue = QuillborneObjectPublisherDataHolder::sharedInstance().getConversionValueObject();
  const bool stored = conversionValue && conversionValue->setCurrentConversionValue(*cvValue);
  QB_LOG("auction conversion value " + std::to_string(*cvValue) + (stored ? " stored" : " not stored") +
             " - auctionId = " + auctionId,
         QBLogLevelVerbose, QBLogTagNetwork);

  std::shared_ptr<QBEventsEngine> engine;
  int eventId = 0;
  switch (adUnit) {
    case QBAdUnit::kRewardedVideoId:
      engine = QBEventsEngineForAdUnit(QBAdUnit::QB_AD_UNIT_REWARDED_VIDEO());
      eventId = kConversionValueEventIdRv;
      break;
    case QBAdUnit::kInterstitialId:
      engine = QBEventsEngineForAdUnit(QBAdUnit::QB_AD_UNIT_INTERSTITIAL());
      eventId = kConversionValueEventIdIs;
      break;
    default:
      return;
  }
  if (!engine) return;
  platform::Json data = providerEventDictionary.is_object() ? providerEventDictionary : platform::Json::object();
  data["auctionId"] = auctionId;
  data["sessionDepth"] = sessionDepth;
  data["conversionValue"] = *cvValue;
  data["stored"] = stored;
  engine->logEvent(QBEventData(eventId, std::move(data)));
}
