// The page's commands: the dispatcher, its own two handlers and the answers
// to the product commands ("<base>Success" / "<base>Fail").
#include "ownnetwork/api/PMAOfferWallDelegate.h"
#include "ownnetwork/api/QBNAdDelegate.h"
#include "ownnetwork/api/QBNProductDelegateCalls.h"
#include "ownnetwork/api/QuillborneAdInstance.h"
#include "ownnetwork/controller/QBNControllerAPIDispatcher.h"
#include "ownnetwork/controller/QBNControllerManager.h"
#include "ownnetwork/data/QBNDataManager.h"
#include "ownnetwork/data/QBNDataManagerConfiguration.h"
#include "ownnetwork/handlers/QBNHandlerSupport.h"
#include "ownnetwork/interfaces/QBNPresentationServicesP.h"
#include "ownnetwork/publisher/DemandSourceDelegateResponder.h"
#include "ownnetwork/publisher/PlovermarkAdsPublisher.h"
#include "ownnetwork/publisher/QBNCommandTable.h"
#include "ownnetwork/services/PMADemandSource.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNEvent.h"
#include "ownnetwork/services/QBNEventsTracker.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "ownnetwork/services/QBNProductType.h"

using platform::Json;
using Responder = DemandSourceDelegateResponder;

namespace {

constexpr char kParseFailurePrefix[] = "failed to parse application url schemes:\n";
constexpr char kNotAListOfTexts[] = "the application list is not an array of texts";
constexpr char kBannerWithoutContainer[] = "loaded banner has no ad container";

Json productConfiguration(const char* productName) { return Json{{"productType", productName}}; }

// Which answer of the product command `base` the command is.
enum class Answer { Success, Fail, Other };
Answer answerOf(const std::string& command, const std::string& base) {
  if (command == base + "Success") return Answer::Success;
  if (command == base + "Fail") return Answer::Fail;
  return Answer::Other;
}

// The error of a "Fail" answer, logged with the row's label. The page's
// message arrives percent-escaped like every value of its query.
platform::Error failure(const Json& parameters, const std::string& defaultMessage, const std::string& label) {
  const auto errMsg = platform::getString(parameters, "errMsg");
  const std::string message = errMsg ? PMAHelperMethods::decodeFromPercentEscapeString(*errMsg) : defaultMessage;
  PlovermarkLogManager::sharedManager().log(message + ": " + label, 3, 9);
  return PMAHelperMethods::errorWithReason(message, static_cast<int>(qbnjson::integerValue(parameters, "errCode")),
                                           std::nullopt);
}

std::shared_ptr<PMADemandSource> demandSourceOf(int64_t productType, const Json& parameters) {
  return PMADemandSourcesCollection::sharedInstance().demandSourceForProductType(
      productType, ControllerAPIUtils::extractDemandSourceIdFromDictionary(parameters));
}

Json loadEvent(const std::shared_ptr<PMADemandSource>& source) {
  const auto instance = source->adInstance();
  return Json{{"demandsourcename", source->name()},
              {"isbiddinginstance", instance && instance->isInAppBidding()},
              {"producttype", instance && instance->isRewarded() ? "RewardedVideo" : "Interstitial"}};
}

}  // namespace

// ------------------------------------------------------------------ dispatcher

void PlovermarkAdsPublisher::handlePlovermarkCallbackWithCommand(const std::string& command, const std::string& parameters,
                                                                 const std::optional<std::string>&) {
  dispatchCommand(command, PMAHelperMethods::dictionaryFromQueryStringParameters(parameters), parameters);
}

void PlovermarkAdsPublisher::handlePlovermarkCallbackWithCommand(const std::string& command, const Json& parameters) {
  dispatchCommand(command, parameters.is_object() ? parameters : Json::object(),
                  PMAHelperMethods::queryStringfromDictionary(parameters));
}

std::optional<size_t> PlovermarkAdsPublisher::dispatchCommand(const std::string& command, const Json& parameters,
                                                              const std::string& query) {
  const auto row = QBNMatchCommandRow(command, this);
  if (row) QBNCommandTable()[*row].handle(QBNCommandCall{*this, command, parameters, query});
  return row;
}

void PlovermarkAdsPublisher::handleSetNativeSessionConfiguration(const Json& parameters) {
  PlovermarkLogManager::sharedManager().log(
      qbnhandlers::publisherMethod("handleSetNativeSessionConfiguration:") + ": " + platform::dumpJson(parameters), 1, 5);
  if (parameters.is_object() && parameters.contains("allowOrientationFromAppDelegate")) {
    const bool allow = qbnjson::boolValue(parameters, "allowOrientationFromAppDelegate").value_or(false);
    const auto configuration = nativeSessionConfiguration();
    if (configuration) configuration->setAllowOrientationFromAppDelegate(allow);
    if (auto services = QBNPresentationServicesP::sharedInstance()) services->setSessionConfiguration(configuration);
  }
  if (const auto manager = concreteControllerManager()) {
    manager->runCommand(platform::getString(parameters, "success").value_or(""), Json::object(), std::nullopt,
                        std::nullopt, true);
  }
}

void PlovermarkAdsPublisher::checkInstalledApps(const Json& parameters) {
  const auto fail = platform::getString(parameters, "fail");
  const auto reply = [this](const std::optional<std::string>& name, const Json& answer, bool decodeFirst) {
    if (const auto manager = concreteControllerManager()) {
      manager->runCommand(name.value_or(""), answer, std::nullopt, std::nullopt, decodeFirst);
    }
  };
  const auto requestId = platform::getString(parameters, "requestId");
  if (!requestId || requestId->empty()) return reply(fail, Json{{"errorMsg", "requestId is null or empty"}}, true);
  const auto appIds = platform::getString(parameters, "appIds");
  if (!appIds) return reply(fail, Json{{"errorMsg", "appIds is null or empty"}}, true);
  platform::Error error;
  const auto list = PMAHelperMethods::decodeJSONObject(PMAHelperMethods::decodeFromPercentEscapeString(*appIds), 4, &error);
  if (!list) return reply(fail, Json{{"errorMsg", kParseFailurePrefix + error.message}}, true);
  // Only a list of application ids can be answered one entry per id.
  bool texts = list->is_array();
  for (const auto& id : texts ? *list : Json::array()) texts = texts && id.is_string();
  if (!texts) return reply(fail, Json{{"errorMsg", std::string(kParseFailurePrefix) + kNotAListOfTexts}}, true);
  Json result = Json::object();
  for (const auto& id : *list) result[id.get<std::string>()] = Json{{"isInstalled", false}};
  reply(platform::getString(parameters, "success"), Json{{"result", result}, {"requestId", *requestId}}, false);
}

// ------------------------------------------------------------------ product answers

void PlovermarkAdsPublisher::replaceDataManagerConfiguration(const Json& parameters) {
  if (const auto manager = dataManager()) manager->setConfig(QBNDataManagerConfiguration::initWithDictionary(parameters));
}

void PlovermarkAdsPublisher::handleInitRewardedVideoWithCommand(const std::string& command, const Json& parameters) {
  const Answer answer = answerOf(command, "initRewardedVideo");
  if (answer == Answer::Success) return replaceDataManagerConfiguration(parameters);
  if (answer != Answer::Fail) return;
  const auto error = failure(parameters, "Init rewarded video failed", "Error in Init Rewarded Video");
  auto source = demandSourceOf(QBNProductType::RewardedVideo, parameters);
  if (source) source->setInitState(PMADemandSourceInitState::InitFailed);
  Responder::handleInitFailureCallbackForDemandSource(source, error, productConfiguration("RewardedVideo"));
}

void PlovermarkAdsPublisher::handleInitInterstitialWithCommand(const std::string& command, const Json& parameters) {
  auto source = demandSourceOf(QBNProductType::Interstitial, parameters);
  if (!source) return;
  const Answer answer = answerOf(command, "initInterstitial");
  if (answer == Answer::Success) {
    replaceDataManagerConfiguration(parameters);
    Responder::handleInitSuccessCallbackForDemandSource(source, productConfiguration("Interstitial"));
  } else if (answer == Answer::Fail) {
    const auto error = failure(parameters, "Init interstitial failed", "Error in Init Interstitial");
    Responder::handleInitFailureCallbackForDemandSource(source, error, productConfiguration("Interstitial"));
  }
}

std::optional<uint64_t> PlovermarkAdsPublisher::admitLoadAnswer(int64_t productType, const std::string& command,
                                                                const Json& parameters) {
  const auto id = ControllerAPIUtils::extractDemandSourceIdFromDictionary(parameters);
  if (!id) return 0;
  auto answer = loadLedger_.onLoadAnswer({productType, *id});
  if (answer.verdict == QBNLoadLedger::Verdict::Deliver) return answer.load;
  PlovermarkLogManager::sharedManager().log(command + " of " + *id + " dropped: the answer of a load given up on (" +
                                                QBNLoadLedger::verdictName(answer.verdict) + ")",
                                            0, 9);
  if (answer.release) sendLoadAfterWait(*answer.release, "the answer it waited for has come");
  return std::nullopt;
}

void PlovermarkAdsPublisher::handleLoadInterstitial(const std::string& command, const Json& parameters) {
  const Answer answer = answerOf(command, "loadInterstitial");
  if (answer == Answer::Other) return;
  const auto load = admitLoadAnswer(QBNProductType::Interstitial, command, parameters);
  if (!load) return;
  auto source = demandSourceOf(QBNProductType::Interstitial, parameters);
  if (!source) return;
  if (answer == Answer::Success) {
    source->setAdAvailable(true);
    QBNEventsTracker::logEvent(QBNEvents::loadAdSuccess(), loadEvent(source));
    Responder::handleLoadSuccessCallbackForDemandSourceForLoad(source, parameters, *load);
  } else if (answer == Answer::Fail) {
    const auto error = failure(parameters, "load interstitial failed", "Error in Load Interstitial");
    source->setAdAvailable(false);
    Json event = loadEvent(source);
    const auto instance = source->adInstance();
    event["callfailreason"] = error.message;
    event["generalmessage"] = instance && instance->isInitialized() ? "initialized instance" : "uninitialized instance";
    QBNEventsTracker::logEvent(QBNEvents::loadAdFailed(), event);
    Responder::handleLoadFailureCallbackForDemandSourceForLoad(source, error, productConfiguration("Interstitial"),
                                                               *load);
  }
}

void PlovermarkAdsPublisher::handleShowRewardedVideo(const std::string& command, const Json& parameters) {
  auto source = demandSourceOf(QBNProductType::RewardedVideo, parameters);
  const Answer answer = answerOf(command, "showRewardedVideo");
  if (answer == Answer::Success) {
    Responder::handleShowSuccessCallbackForDemandSource(source, productConfiguration("RewardedVideo"));
  } else if (answer == Answer::Fail) {
    const auto error = failure(parameters, "show rewarded video failed", "Error in Show Rewarded Video");
    Responder::handleShowFailureCallbackForDemandSource(source, error, productConfiguration("RewardedVideo"));
  }
}

void PlovermarkAdsPublisher::handleShowInterstitial(const std::string& command, const Json& parameters) {
  auto source = demandSourceOf(QBNProductType::Interstitial, parameters);
  if (!source) return;
  source->setAdAvailable(false);
  const Answer answer = answerOf(command, "showInterstitial");
  if (answer == Answer::Success) {
    Responder::handleShowSuccessCallbackForDemandSource(source, productConfiguration("Interstitial"));
  } else if (answer == Answer::Fail) {
    const auto error = failure(parameters, "show interstitial failed", "Error in Show Interstitial");
    Responder::handleShowFailureCallbackForDemandSource(source, error, productConfiguration("Interstitial"));
  }
}

void PlovermarkAdsPublisher::handleInitOfferWallWithCommand(const std::string& command, const Json& parameters) {
  const Answer answer = answerOf(command, "initOfferWall");
  if (answer == Answer::Success) {
    replaceDataManagerConfiguration(parameters);
    PMAOfferWallCalls::pmaInitOfferWallSuccess(offerWallDelegate());
  } else if (answer == Answer::Fail) {
    const auto error = failure(parameters, "Init offerwall failed", "Error in Init Offerwall");
    PMAOfferWallCalls::pmaInitOfferWallFailedWithError(offerWallDelegate(), error);
  }
}

void PlovermarkAdsPublisher::handleShowOWWithCommand(const std::string& command, const Json& parameters) {
  const Answer answer = answerOf(command, "showOfferWall");
  if (answer == Answer::Success) {
    auto placement = platform::getString(parameters, "placementId");
    if (placement && placement->empty()) placement.reset();
    PMAOfferWallCalls::pmaOfferWallShowSuccess(offerWallDelegate(), placement);
  } else if (answer == Answer::Fail) {
    const auto error = failure(parameters, "show offer wall failed", "Error in Show Offer Wall");
    PMAOfferWallCalls::pmaOfferWallShowFailedWithError(offerWallDelegate(), error);
  }
}

void PlovermarkAdsPublisher::handleGetUserCreditsWithCommand(const std::string& command, const Json& parameters) {
  if (answerOf(command, "getUserCredits") != Answer::Fail) return;
  const auto error = failure(parameters, "Get User Credits failed", "Error in Get User Credits");
  PMAOfferWallCalls::pmaOfferwallDidFailGettingCreditWithError(offerWallDelegate(), error);
}

void PlovermarkAdsPublisher::handleInitBannerWithCommand(const std::string& command, const Json& parameters) {
  auto source = demandSourceOf(QBNProductType::Banner, parameters);
  if (!source) return;
  const Answer answer = answerOf(command, "initBanner");
  auto delegate = source->delegate();
  if (answer == Answer::Success) {
    replaceDataManagerConfiguration(parameters);
    if (auto* call = dynamic_cast<QBNBannerInitSuccessCall*>(delegate.get())) call->QBNBannerInitSuccess();
  } else if (answer == Answer::Fail) {
    const auto error = failure(parameters, "Init Banner Failed", "Error in InitBanner");
    if (auto* call = dynamic_cast<QBNBannerInitFailedWithErrorCall*>(delegate.get())) call->QBNBannerInitFailedWithError(error);
  }
}

void PlovermarkAdsPublisher::handleLoadBannerWithCommand(const std::string& command, const Json& parameters) {
  const Answer answer = answerOf(command, "loadBanner");
  if (answer == Answer::Other) return;
  const auto load = admitLoadAnswer(QBNProductType::Banner, command, parameters);
  auto source = load ? demandSourceOf(QBNProductType::Banner, parameters) : nullptr;
  const auto services = QBNPresentationServicesP::sharedInstance();
  const auto adViewId = platform::getString(parameters, "adViewId");
  if (!source) {
    // A banner that reaches no listener: the ad view its page made for it
    // would stay in the registry for good, its web view with it.
    if (answer == Answer::Success && services && adViewId && services->getAdUnitWebViewById(*adViewId)) {
      PlovermarkLogManager::sharedManager().log("the ad view " + *adViewId + " of a dropped banner goes", 0, 9);
      services->removeAdUnitWebViewById(*adViewId);
    }
    return;
  }
  if (answer == Answer::Success) {
    source->setAdAvailable(true);
    replaceDataManagerConfiguration(parameters);
    if (!dynamic_cast<QBNAdDelegateLoadedWithAdContainer*>(source->delegate().get())) return;
    const auto adView = services && adViewId ? services->getAdUnitWebViewById(*adViewId) : std::nullopt;
    if (adView && adView->isAdContainer && adView->containerView) {
      Responder::handleBannerLoadSuccessCallbackForDemandSourceForLoad(source, parameters, adView->containerView,
                                                                      *load);
    } else {
      // A banner without its container cannot be shown; a load that is never
      // answered would leave the listener waiting.
      source->setAdAvailable(false);
      Responder::handleBannerLoadFailureCallbackForDemandSourceForLoad(
          source, PMAHelperMethods::errorWithReason(kBannerWithoutContainer, 0, std::nullopt), parameters, *load);
    }
  } else {
    const auto error = failure(parameters, "Load Banner Failed", "Error in LoadBanner");
    source->setAdAvailable(false);
    Responder::handleBannerLoadFailureCallbackForDemandSourceForLoad(source, error, parameters, *load);
  }
}

void PlovermarkAdsPublisher::handleCallPlovermarkAdsFunction(const std::string& command, const Json& parameters) {
  const Answer answer = answerOf(command, "callPlovermarkAdsFunction");
  if (answer == Answer::Other) return;
  auto* call = dynamic_cast<PmaGenericFunctionResponseCall*>(ploverMarkAdsDelegate().get());
  if (!call) return;
  if (answer == Answer::Success) {
    call->pmaGenericFunctionResponse(parameters, std::nullopt);
  } else {
    const auto message = PMAHelperMethods::decodeFromPercentEscapeString(platform::getString(parameters, "errMsg").value_or(""));
    call->pmaGenericFunctionResponse(std::nullopt, PMAHelperMethods::errorWithReason(message, -1, std::nullopt));
  }
}

void PlovermarkAdsPublisher::handleAdUnitsReady(const Json& parameters) {
  if (platform::getString(parameters, "productType") != "RewardedVideo") return;
  auto source = demandSourceOf(QBNProductType::RewardedVideo, parameters);
  if (qbnjson::integerValue(parameters, "numOfAdUnits") == 0) {
    Responder::handleNoMoreOffersCallbackForDemandSource(source, Json());
    return;
  }
  Json configuration = Json::object();
  for (const char* key : {"numOfAdUnits", "firstCampaignCredits", "totalNumberCredits", "demandSourceName"}) {
    if (parameters.contains(key)) configuration[key] = parameters[key];
  }
  configuration["productType"] = "RewardedVideo";
  if (source) source->setInitState(PMADemandSourceInitState::Initialized);
  Responder::handleInitSuccessCallbackForDemandSource(source, configuration);
}
