// The own network's public entry: forwards to the network's class API and
// hears the offerwall through a bridge that turns the network's listener calls
// into the public listener's (JSON values as text, errors as QBError).
#include <algorithm>
#include <mutex>
#include <vector>

#include "foundation/QBLoggerManager.h"
#include "ownnetwork/api/PMAOfferWallDelegate.h"
#include "ownnetwork/api/QuillborneNetwork.h"
#include "platform/json.h"
#include "quillborne/QuillborneNetwork.h"

namespace quillborne {

namespace {

constexpr int kTagApi = 0;

QBError publicError(const platform::Error& error) { return QBError(error.domain, error.code, error.message); }

class OfferWallBridge final : public ::PMAOfferWallDelegate,
                              public PmaInitOfferWallSuccessCall,
                              public PmaInitOfferWallFailedWithErrorCall,
                              public PmaOfferWallShowSuccessCall,
                              public PmaOfferWallShowFailedWithErrorCall,
                              public PmaOfferWallDidCloseCall,
                              public PmaOfferwallDidFailGettingCreditWithErrorCall,
                              public PmaOfferWallDidReceiveCreditCall,
                              public PmaOfferwallDidReceiveNotificationOnEventCall {
 public:
  explicit OfferWallBridge(std::weak_ptr<quillborne::PMAOfferWallDelegate> listener) : listener_(std::move(listener)) {}

  bool serves(const std::weak_ptr<quillborne::PMAOfferWallDelegate>& listener) const {
    return !listener_.owner_before(listener) && !listener.owner_before(listener_);
  }
  bool expired() const { return listener_.expired(); }

  void pmaInitOfferWallSuccess() override {
    if (auto l = listener_.lock()) l->pmaInitOfferWallSuccess();
  }
  void pmaInitOfferWallFailedWithError(const platform::Error& error) override {
    if (auto l = listener_.lock()) l->pmaInitOfferWallFailedWithError(publicError(error));
  }
  void pmaOfferWallShowSuccess(const std::optional<std::string>& placementId) override {
    if (auto l = listener_.lock()) l->pmaOfferWallShowSuccess(placementId);
  }
  void pmaOfferWallShowFailedWithError(const platform::Error& error) override {
    if (auto l = listener_.lock()) l->pmaOfferWallShowFailedWithError(publicError(error));
  }
  void pmaOfferWallDidClose() override {
    if (auto l = listener_.lock()) l->pmaOfferWallDidClose();
  }
  void pmaOfferwallDidFailGettingCreditWithError(const platform::Error& error) override {
    if (auto l = listener_.lock()) l->pmaOfferwallDidFailGettingCreditWithError(publicError(error));
  }
  bool pmaOfferWallDidReceiveCredit(const platform::Json& creditInfo) override {
    auto l = listener_.lock();
    return l && l->pmaOfferWallDidReceiveCredit(platform::dumpJson(creditInfo));
  }
  void pmaOfferwallDidReceiveNotificationOnEvent(const std::string& eventName, const platform::Json& extData) override {
    if (auto l = listener_.lock()) l->pmaOfferwallDidReceiveNotificationOnEvent(eventName, platform::dumpJson(extData));
  }

 private:
  std::weak_ptr<quillborne::PMAOfferWallDelegate> listener_;
};

// The network holds its listener weakly: the bridge of each public listener
// lives here as long as that listener does.
std::shared_ptr<OfferWallBridge> bridgeFor(const std::weak_ptr<quillborne::PMAOfferWallDelegate>& listener) {
  static std::mutex& mutex = *new std::mutex();
  static auto& bridges = *new std::vector<std::shared_ptr<OfferWallBridge>>();
  std::lock_guard lock(mutex);
  bridges.erase(std::remove_if(bridges.begin(), bridges.end(), [](const auto& b) { return b->expired(); }),
                bridges.end());
  if (listener.expired()) return nullptr;
  for (const auto& bridge : bridges) {
    if (bridge->serves(listener)) return bridge;
  }
  bridges.push_back(std::make_shared<OfferWallBridge>(listener));
  return bridges.back();
}

// A JSON object of the application's text; none (logged) for anything else.
std::optional<platform::Json> objectOf(const std::string& jsonText, const char* what) {
  auto parsed = platform::parseJson(jsonText);
  if (parsed && parsed.value().is_object()) return std::move(parsed.value());
  QBLoggerManager::sharedInstance().dynamicLog(what, "parameters are not a JSON object; none taken", 3, kTagApi);
  return std::nullopt;
}

}  // namespace

void QuillborneNetwork::initOfferWallWithApplicationKey(const std::string& applicationKey, const std::string& userId,
                                                        std::weak_ptr<PMAOfferWallDelegate> delegate,
                                                        const std::optional<std::string>& additionalParametersJson) {
  std::optional<platform::Json> additional;
  if (additionalParametersJson) additional = objectOf(*additionalParametersJson, "initOfferWallWithApplicationKey");
  std::weak_ptr<::PMAOfferWallDelegate> bridge = bridgeFor(delegate);
  ::QuillborneNetwork::initOfferWallWithApplicationKey(applicationKey, userId, bridge, additional);
}

void QuillborneNetwork::showOfferWallFromViewController(const Quillborne::ViewControllerRef& viewController,
                                                        const std::string& parametersJson) {
  const auto parameters = objectOf(parametersJson, "showOfferWallFromViewController");
  ::QuillborneNetwork::showOfferWallFromViewController(viewController, parameters.value_or(platform::Json::object()));
}

void QuillborneNetwork::getOfferWallCreditsWithApplicationKey(const std::string& applicationKey,
                                                              const std::string& userId,
                                                              std::weak_ptr<PMAOfferWallDelegate> delegate) {
  std::weak_ptr<::PMAOfferWallDelegate> bridge = bridgeFor(delegate);
  ::QuillborneNetwork::getOfferWallCreditsWithApplicationKey(applicationKey, userId, bridge);
}

std::optional<std::string> QuillborneNetwork::getToken() { return ::QuillborneNetwork::getToken(); }

std::string QuillborneNetwork::getVersion() { return ::QuillborneNetwork::getVersion(); }

}  // namespace quillborne
