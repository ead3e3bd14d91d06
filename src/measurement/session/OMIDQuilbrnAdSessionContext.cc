#include "measurement/session/OMIDQuilbrnAdSessionContext.h"

#include "measurement/sdk/OMIDQuilbrnDevice.h"
#include "measurement/sdk/OMIDQuilbrnError.h"
#include "measurement/sdk/OMIDQuilbrnSDK.h"
#include "platform/crypto.h"
#include "platform/utf8.h"

namespace {

// The identifier check shared by every initialiser: false (and the error)
// when it is longer than the limit.
bool identifierFits(const std::optional<std::string>& identifier, platform::Error* error) {
  if (!identifier) return true;
  const size_t length = platform::utf8::utf16Length(*identifier);
  if (length <= OMIDQuilbrnAdSessionContext::kMaxCustomReferenceIdentifierLength) return true;
  OMIDQuilbrnError::setOMIDErrorFor(error, OMIDQuilbrnErrorCode::IdentifierTooLong,
                                    OMIDQuilbrnError::identifierTooLongMessage(length));
  return false;
}

bool refuse(platform::Error* error, int code) {
  OMIDQuilbrnError::setOMIDErrorFor(error, code);
  return false;
}

}  // namespace

std::shared_ptr<OMIDQuilbrnAdSessionContext> OMIDQuilbrnAdSessionContext::webViewContext(
    OMIDQuilbrnAdSessionType type, std::shared_ptr<OMIDQuilbrnPartner> partner,
    std::shared_ptr<platform::WebView> webView, const std::optional<std::string>& contentUrl,
    const std::optional<std::string>& customReferenceIdentifier, platform::Error* error) {
  namespace C = OMIDQuilbrnErrorCode;
  const bool passed = (OMIDQuilbrnSDK::sharedInstance()->isActive() || refuse(error, C::NotActivated)) &&
                      (webView || refuse(error, C::NoWebView)) && (partner || refuse(error, C::NoPartner)) &&
                      identifierFits(customReferenceIdentifier, error);
  if (!passed) return nullptr;
  std::shared_ptr<OMIDQuilbrnAdSessionContext> context(new OMIDQuilbrnAdSessionContext);
  context->partner_ = std::move(partner);
  context->webView_ = std::move(webView);
  context->type_ = type;
  context->contentUrl_ = contentUrl;
  context->identifier_ = customReferenceIdentifier;
  return context;
}

std::shared_ptr<OMIDQuilbrnAdSessionContext> OMIDQuilbrnAdSessionContext::initWithPartner(
    std::shared_ptr<OMIDQuilbrnPartner> partner, std::shared_ptr<platform::WebView> webView,
    const std::optional<std::string>& contentUrl, const std::optional<std::string>& customReferenceIdentifier,
    platform::Error* error) {
  return webViewContext(OMIDQuilbrnAdSessionTypeHtml, std::move(partner), std::move(webView), contentUrl,
                        customReferenceIdentifier, error);
}

std::shared_ptr<OMIDQuilbrnAdSessionContext> OMIDQuilbrnAdSessionContext::initWithPartnerJavaScriptWebView(
    std::shared_ptr<OMIDQuilbrnPartner> partner, std::shared_ptr<platform::WebView> webView,
    const std::optional<std::string>& contentUrl, const std::optional<std::string>& customReferenceIdentifier,
    platform::Error* error) {
  return webViewContext(OMIDQuilbrnAdSessionTypeJavaScript, std::move(partner), std::move(webView), contentUrl,
                        customReferenceIdentifier, error);
}

std::shared_ptr<OMIDQuilbrnAdSessionContext> OMIDQuilbrnAdSessionContext::initWithPartner(
    std::shared_ptr<OMIDQuilbrnPartner> partner, const std::optional<std::string>& script,
    const std::vector<std::shared_ptr<OMIDQuilbrnVerificationScriptResource>>& resources,
    const std::optional<std::string>& contentUrl, const std::optional<std::string>& customReferenceIdentifier,
    platform::Error* error) {
  namespace C = OMIDQuilbrnErrorCode;
  const bool passed = (OMIDQuilbrnSDK::sharedInstance()->isActive() || refuse(error, C::NotActivated)) &&
                      (!resources.empty() || refuse(error, C::NoResources)) &&
                      (partner || refuse(error, C::NoPartner)) &&
                      (!script || !script->empty() || refuse(error, C::EmptyScript)) &&
                      identifierFits(customReferenceIdentifier, error);
  if (!passed) return nullptr;
  std::shared_ptr<OMIDQuilbrnAdSessionContext> context(new OMIDQuilbrnAdSessionContext);
  context->partner_ = std::move(partner);
  context->resources_ = resources;
  for (const auto& resource : resources) context->injectedResources_.emplace_back(platform::uuidV4(), resource);
  context->type_ = OMIDQuilbrnAdSessionTypeNative;
  context->script_ = script;
  context->contentUrl_ = contentUrl;
  context->identifier_ = customReferenceIdentifier;
  return context;
}

std::string OMIDQuilbrnAdSessionContext::typeString() const {
  switch (type_) {
    case OMIDQuilbrnAdSessionTypeNative: return "native";
    case OMIDQuilbrnAdSessionTypeJavaScript: return "javascript";
    default: return "html";
  }
}

platform::Json OMIDQuilbrnAdSessionContext::toJSON() const {
  platform::Json json = platform::Json::object();
  json["environment"] = "app";
  json["adSessionType"] = typeString();
  json["supports"] = platform::Json::array({"clid", "vlid"});
  json["omidNativeInfo"] = partner_ ? partner_->toJSON() : platform::Json::object();
  json["app"] = OMIDQuilbrnSDK::sharedInstance()->appInfo();
  json["deviceInfo"] = OMIDQuilbrnDevice::toJSON();
  json["deviceCategory"] = OMIDQuilbrnDeviceCategory::deviceCategory();
  if (contentUrl_) json["contentUrl"] = *contentUrl_;
  if (identifier_) json["customReferenceData"] = *identifier_;
  return json;
}

platform::Json OMIDQuilbrnAdSessionContext::resourcesJSON() const {
  platform::Json json = platform::Json::object();
  for (const auto& resource : resources_) {
    if (resource && resource->parameters()) json[resource->vendorKey().value_or("")] = *resource->parameters();
  }
  return json;
}

platform::Json OMIDQuilbrnAdSessionContext::injectedResourcesJSON() const {
  platform::Json json = platform::Json::object();
  for (const auto& [injectionId, resource] : injectedResources_) {
    platform::Json entry = platform::Json::object();
    if (resource) {
      if (resource->parameters()) entry["verificationParameters"] = *resource->parameters();
      if (!resource->URL().empty()) entry["resourceUrl"] = resource->URL();
      if (resource->vendorKey()) entry["vendorKey"] = *resource->vendorKey();
    }
    json[injectionId] = std::move(entry);
  }
  return json;
}
