// Every answer the page-command handlers send: its function, its error key
// ("errorMsg" for the credit verification, "errMsg" elsewhere) and whether it
// is decoded first.
#include <gtest/gtest.h>

#include "ownnetwork/handlers_test_support.h"

namespace handleranswerstest {

using handlertest::HandlersTest;
using handlertest::Sent;
using platform::Json;

class HandlerAnswersTest : public HandlersTest {};

TEST_F(HandlerAnswersTest, ErrorKeysAndDecodeFlagsOfEveryAnswer) {
  publisher->parameters[2] = std::make_shared<PMAProductParameters>("key", "user");
  publisher->data = QBNDataManagerFactory::createDataManagerWithConfiguration(QBNDataManagerConfiguration{});
  PMADemandSourcesCollection::sharedInstance().addDemandSourceWithProductType(
      1, PMADemandSource::createDemandSourceWithName("ds", std::nullopt, std::weak_ptr<QBNProductDelegate>()));
  const Json bad = request({{"productType", "Video"}, {"success", "s"}, {"fail", "f"}});
  const Json typeError = {{"errMsg", "failed to find product type"}};
  const auto with = [](Json r, std::initializer_list<std::pair<const char*, const char*>> more) {
    for (const auto& [key, value] : more) r[key] = value;
    return r;
  };
  const Json ok = request({{"success", "s"}, {"fail", "f"}});
  struct Row {
    const char* command;
    std::function<void()> run;
    Sent answer;
  };
  const Row rows[] = {
      {"adCredited: signature", [&] { credits.handleAdCredited(with(ok, {{"productType", "OfferWall"}})); },
       {"f", {{"errorMsg", "Signature mismatch"}}, true}},
      {"adCredited: user data", [&] { credits.sendAdCreditedVerificationSuccess("s", "f", "1"); },
       {"f", {{"errorMsg", "missing entry in userDefaults"}}, true}},
      {"adCredited: product", [&] { credits.handleAdCredited(bad); }, {"f", typeError, true}},
      {"onAdWindowsClosed", [&] { credits.handleAdWindowsClosed(bad); }, {"f", typeError, false}},
      {"displayWebView", [&] { credits.handleDisplayWebViewWithparameters(with(bad, {{"hybridView", "true"}, {"display", "1"}})); },
       {"f", typeError, false}},
      {"preLoadAppPage", [&] { store->preLoadAppPage(ok); }, {"f", ok, true}},
      {"getOrientation", [&] { info.handleGetOrientation(ok); }, {"s", {{"orientation", "portrait"}}, true}},
      {"getAppOrientationData", [&] { info.handleGetAppOrientationData(ok); },
       {"s", services->applicationOrientationData(true), true}},
      {"setUserUniqueId", [&] { info.handleSetUserUniqueId(with(ok, {{"productType", "OfferWall"}})); },
       {"s", {{"productType", "OfferWall"}}, true}},
      {"getUserUniqueId", [&] { info.handleGetUserUniqueId(with(ok, {{"productType", "OfferWall"}})); },
       {"s", {{"userUniqueId", ""}, {"productType", "OfferWall"}}, true}},
      {"getDeviceVolume", [&] { info.handleGetDeviceVolume(ok); }, {"s", {{"deviceVolume", 0.5}}, false}},
      {"getDemandSourceState: fail", [&] { info.handleGetDemandSourceState(bad); },
       {"f", {{"errMsg", "missing demand source name and demand source id"}}, false}},
      {"getDemandSourceState: success",
       [&] { info.handleGetDemandSourceState(with(ok, {{"productType", "Interstitial"}, {"demandSourceName", "ds"}})); },
       {"s", {{"demandSourceName", "ds"}, {"demandSourceId", "ds"}, {"productType", "Interstitial"}, {"state", -1}}, false}},
      {"getApplicationInfo: fail", [&] { info.handleGetApplicationInfo(bad); }, {"f", typeError, false}},
      {"getApplicationInfo: success", [&] { info.handleGetApplicationInfo(with(ok, {{"productType", "OfferWall"}})); },
       {"s", {{"productType", "OfferWall"}, {"applicationKey", "key"}, {"applicationUserId", "user"}}, false}},
      {"getUserData", [&] { info.handleGetUserData(with(ok, {{"key", "k"}})); }, {"s", {{"k", "{}"}}, true}},
      {"setUserData: success", [&] { info.handleSetUserDate(with(ok, {{"key", "k"}, {"value", "v"}})); },
       {"s", {{"key", "k"}, {"value", "v"}}, true}},
      {"setUserData: fail", [&] { info.handleSetUserDate(ok); }, {"f", Json::object(), false}},
      {"saveFile", [&] { files->handleSaveFile(request({{"path", ".."}, {"file", "http%3A%2F%2Fh%2Fa"}})); },
       {"assetCachedFailed", {{"path", ".."}, {"file", "a"}, {"errMsg", kPMAPathRefusedMessage}}, true}},
      {"deleteFile", [&] { files->handleDeleteFile(with(ok, {{"path", "p"}, {"file", "x"}})); },
       {"s", {{"path", "p"}, {"file", "x"}}, true}},
      {"deleteFolder", [&] { files->handleDeleteFolder(with(ok, {{"path", "p"}})); }, {"s", {{"path", "p"}}, true}},
      {"getCachedFilesMap", [&] { files->handleGetCachedFilesMap(with(ok, {{"path", "p"}}), ""); },
       {"f", Json::object(), false}},
      {"store report", [&] { store->didShowAppStoreInsideWithParameters(Json::object()); },
       {"appStoreInsideDisplayStoreKit", Json::object(), true}},
  };
  for (const Row& row : rows) {
    row.run();
    EXPECT_EQ(sent(), (std::vector<Sent>{row.answer})) << row.command;
  }
}

}  // namespace handleranswerstest
