// The three views of the global data store.
#include "foundation/QBAuctionProvider.h"
#include "foundation/QBGlobalDataManager.h"
#include "foundation/QBInitProvider.h"
#include "foundation/QBTokenProvider.h"

namespace keys = QBGlobalDataKeys;

namespace {

std::vector<std::string> tokenKeyList() {
  std::vector<std::string> list = {
      keys::kSessionId,      keys::kAppKey,          keys::kUserId,         keys::kDynamicUserId,
      keys::kSdkVersion,     keys::kPluginType,      keys::kPluginVersion,  keys::kMediationType,
      keys::kConsent,        keys::kCcpa,            keys::kTokenGenericParams,
      keys::kAppOrientation, keys::kChinaCdn,        keys::kDebug,          keys::kControllerTokenParams,
      keys::kOsName,         keys::kOsVersion,       keys::kDeviceModel,    keys::kHardwareModel,
      keys::kScreenWidth,    keys::kScreenHeight,    keys::kScreenScale,    keys::kLanguage,
      keys::kLocale,         keys::kAppVersion,      keys::kAppName,        keys::kBundleId,
      keys::kBootTime,       keys::kTotalMemory,     keys::kJailBroken,     keys::kXcodeVersion,
      keys::kXcodeBuild,     keys::kXcodeSdkName,    keys::kXcodeSdkBuild,
  };
  for (const auto& key : keys::changingDeviceKeys()) list.push_back(key);
  return list;
}

}  // namespace

QBInitProvider& QBInitProvider::sharedInstance() {
  static QBInitProvider* instance = new QBInitProvider();
  return *instance;
}

const std::vector<std::string>& QBInitProvider::keys() {
  // What the configuration server needs to choose the configuration; the
  // query string of the request lists these in this order
  // (docs/configuration-request.md).
  static const std::vector<std::string>* list = new std::vector<std::string>{
      keys::kAppKey,      keys::kSessionId,     keys::kSdkVersion,     keys::kUserId,
      keys::kPluginType,  keys::kPluginVersion, keys::kMediationType,  keys::kConsent,
      keys::kCcpa,        keys::kOsName,        keys::kOsVersion,      keys::kDeviceModel,
      keys::kHardwareModel, keys::kAppVersion,  keys::kBundleId,       keys::kLanguage,
      keys::kLocale,      keys::kTimeZoneOffset, keys::kConnectionType, keys::kAdvertisingId,
      keys::kVendorId,    keys::kLimitAdTracking, keys::kTrackingStatus,
  };
  return *list;
}

platform::Json QBInitProvider::getInitData() const { return QBGlobalDataManager::sharedInstance().dataForKeys(keys()); }

QBTokenProvider& QBTokenProvider::sharedInstance() {
  static QBTokenProvider* instance = new QBTokenProvider();
  return *instance;
}

const std::vector<std::string>& QBTokenProvider::keys() {
  static const std::vector<std::string>* list = new std::vector<std::string>(tokenKeyList());
  return *list;
}

platform::Json QBTokenProvider::getToken() const { return QBGlobalDataManager::sharedInstance().dataForKeys(keys()); }

QBAuctionProvider& QBAuctionProvider::sharedInstance() {
  static QBAuctionProvider* instance = new QBAuctionProvider();
  return *instance;
}

const std::vector<std::string>& QBAuctionProvider::keys() {
  static const std::vector<std::string>* list = [] {
    auto* names = new std::vector<std::string>(tokenKeyList());
    names->push_back(keys::kAdUnitData);
    names->push_back(keys::kRvServerParams);
    return names;
  }();
  return *list;
}

platform::Json QBAuctionProvider::getAuctionData() const {
  return QBGlobalDataManager::sharedInstance().dataForKeys(keys());
}
