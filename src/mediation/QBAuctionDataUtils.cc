#include "mediation/QBAuctionDataUtils.h"

#include <charconv>
#include <cmath>
#include <memory>

#include "foundation/QBLoggerManager.h"
#include "platform/crypto.h"
#include "platform/net.h"

namespace {

std::optional<platform::Json> serverDataObject(const std::string& serverData) {
  if (serverData.empty()) return std::nullopt;
  auto parsed = platform::parseJson(serverData);
  if (!parsed.ok() || !parsed.value().is_object()) return std::nullopt;
  return std::move(parsed).value();
}

void replaceAll(std::string& text, std::string_view macro, const std::string& value) {
  const std::string encoded = platform::percentEncode(value);
  size_t pos = 0;
  while ((pos = text.find(macro, pos)) != std::string::npos) {
    text.replace(pos, macro.size(), encoded);
    pos += encoded.size();
  }
}

bool isHttpUrl(const std::string& url) {
  return url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
}

void sendNotification(std::string url, std::string what, int attempt) {
  platform::URLRequest request;
  request.url = url;
  request.method = "GET";
  request.timeoutSeconds = QBAuctionDataUtils::kNotificationTimeoutSeconds;
  request.ignoreLocalCache = true;
  auto task = platform::URLSession::shared()->dataTask(
      std::move(request), platform::globalQueue(),
      [url, what, attempt](platform::DataTaskResult result) {
        const int status = result.response ? result.response->statusCode : 0;
        if (!result.error && status >= 200 && status < 400) {
          QB_LOG(what + " sent: " + url, QBLogLevelVerbose, QBLogTagNetwork);
          return;
        }
        const bool retryable = result.error.has_value() || status >= 500;
        const std::string reason =
            result.error ? result.error->message + " (" + std::to_string(result.error->code) + ")"
                         : "status " + std::to_string(status);
        const bool again = retryable && attempt < QBAuctionDataUtils::kMaxNotificationAttempts;
        QB_LOG(what + " failed: " + url + " - " + reason + (again ? ", trying again" : ", dropped"), QBLogLevelError,
               QBLogTagNetwork);
        if (!again) return;
        platform::globalQueue()->after(static_cast<double>(QBAuctionDataUtils::kNotificationRetryDelayMs),
                                       [url, what, attempt] { sendNotification(url, what, attempt + 1); });
      });
  task->resume();
}

}  // namespace

QBAuctionDataUtils& QBAuctionDataUtils::sharedInstance() {
  static QBAuctionDataUtils& instance = *new QBAuctionDataUtils();  // never destroyed
  return instance;
}

std::optional<std::string> QBAuctionDataUtils::getDynamicDemandSourceIdFromServerData(
    const std::string& serverData) const {
  auto params = getAuctionResponseServerDataParams(serverData);
  auto id = platform::getString(params, "dynamicDemandSource");
  if (!id || id->empty()) return std::nullopt;
  return id;
}

std::string QBAuctionDataUtils::getAdmFromServerData(const std::string& serverData) const {
  auto object = serverDataObject(serverData);
  if (!object) return serverData;
  auto adm = platform::getString(*object, "adm");
  return adm ? *adm : serverData;
}

platform::Json QBAuctionDataUtils::getAuctionResponseServerDataParams(const std::string& serverData) const {
  auto object = serverDataObject(serverData);
  if (!object) return platform::Json::object();
  return platform::getObject(*object, "params").value_or(platform::Json::object());
}

std::string QBAuctionDataUtils::replaceMacros(const std::string& url, const QBAuctionMacroValues& values) {
  std::string out = url;
  if (out.find("${") == std::string::npos) return out;
  replaceAll(out, "${AUCTION_PRICE}", values.auctionPrice);
  replaceAll(out, "${AUCTION_LOSS}", values.auctionLoss);
  replaceAll(out, "${AUCTION_MBR}", values.auctionMbr);
  replaceAll(out, "${INSTANCE_TYPE}", values.instanceType);
  replaceAll(out, "${INSTANCE}", values.instance);
  replaceAll(out, "${DYNAMIC_DEMAND_SOURCE}", values.dynamicDemandSource);
  replaceAll(out, "${PLACEMENT_NAME}", values.placementName);
  return out;
}

std::string QBAuctionDataUtils::formatPrice(const std::optional<double>& price) {
  if (!price || !std::isfinite(*price)) return "";
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof(buffer), *price);
  if (ec != std::errc()) return "";
  return std::string(buffer, end);
}

void QBAuctionDataUtils::fireNotificationUrl(const std::string& url, const std::string& what) const {
  if (!isHttpUrl(url)) {
    QB_LOG(what + " not sent, not an http(s) URL: " + url, QBLogLevelError, QBLogTagNetwork);
    return;
  }
  sendNotification(url, what, 1);
}
