#include "sdk/QBMediationGlobalDataWriter.h"

#include "core/QBConfigurations.h"
#include "foundation/QBUtils.h"
#include "sdk/QuillborneSdk.h"

namespace keys = QBGlobalDataKeys;

namespace {

platform::Json textOrNull(const std::optional<std::string>& text) {
  return text && !text->empty() ? platform::Json(*text) : platform::Json();
}

}  // namespace

void QBMediationGlobalDataWriter::writeStartUpFacts(const std::string& appKey) {
  auto& configurations = QBConfigurations::getConfigurations();
  writer_.setData(appKey, keys::kAppKey);
  writer_.setData(QBUtils::UUIDForSession(), keys::kSessionId);
  writer_.setData(QuillborneSdk::kSdkVersion, keys::kSdkVersion);
  writer_.setData(textOrNull(configurations.userId()), keys::kUserId);
  writer_.setData(textOrNull(configurations.dynamicUserId()), keys::kDynamicUserId);
  writer_.setData(textOrNull(configurations.plugin()), keys::kPluginType);
  writer_.setData(textOrNull(configurations.pluginVersion()), keys::kPluginVersion);
  writer_.setData(textOrNull(configurations.mediationType()), keys::kMediationType);
}

void QBMediationGlobalDataWriter::setUserId(const std::optional<std::string>& userId) {
  writer_.setData(textOrNull(userId), keys::kUserId);
}

void QBMediationGlobalDataWriter::setDynamicUserId(const std::string& dynamicUserId) {
  writer_.setData(textOrNull(dynamicUserId), keys::kDynamicUserId);
}

void QBMediationGlobalDataWriter::setMediationType(const std::string& mediationType) {
  writer_.setData(textOrNull(mediationType), keys::kMediationType);
}

void QBMediationGlobalDataWriter::setConsent(bool consent) { writer_.setData(consent, keys::kConsent); }

void QBMediationGlobalDataWriter::setCcpa(bool doNotSell) { writer_.setData(doNotSell, keys::kCcpa); }

void QBMediationGlobalDataWriter::setCoppa(bool childDirected) {
  writer_.extendData(platform::Json{{keys::kCoppa, childDirected}}, keys::kTokenGenericParams);
}
