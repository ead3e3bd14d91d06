#pragma once
// Who measures a session and where its ad runs: the partner, the ad's web view
// (HTML and JavaScript sessions) or the service script and the verification
// scripts (native sessions), and what the measurement script receives when the
// session starts.
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "measurement/sdk/OMIDQuilbrnPartner.h"
#include "measurement/session/OMIDQuilbrnTypes.h"
#include "measurement/session/OMIDQuilbrnVerificationScriptResource.h"
#include "platform/json.h"
#include "platform/result.h"

namespace platform {
class WebView;
}

// The verification scripts of a native session under their injection
// identifiers (a new UUID text each), in the order of the resources.
using OMIDQuilbrnInjectedResources =
    std::vector<std::pair<std::string, std::shared_ptr<OMIDQuilbrnVerificationScriptResource>>>;

class OMIDQuilbrnAdSessionContext {
 public:
  // The longest custom reference identifier, in UTF-16 units.
  static constexpr size_t kMaxCustomReferenceIdentifierLength = 256;

  // An HTML session in the web view. Checks, in this order: the SDK is not
  // active (2), no web view (1508), no partner (1509), an identifier longer
  // than 256 UTF-16 units (1500). Null with the error on a failed check.
  static std::shared_ptr<OMIDQuilbrnAdSessionContext> initWithPartner(
      std::shared_ptr<OMIDQuilbrnPartner> partner, std::shared_ptr<platform::WebView> webView,
      const std::optional<std::string>& contentUrl, const std::optional<std::string>& customReferenceIdentifier,
      platform::Error* error);
  // A JavaScript session in the web view; the same checks.
  static std::shared_ptr<OMIDQuilbrnAdSessionContext> initWithPartnerJavaScriptWebView(
      std::shared_ptr<OMIDQuilbrnPartner> partner, std::shared_ptr<platform::WebView> webView,
      const std::optional<std::string>& contentUrl, const std::optional<std::string>& customReferenceIdentifier,
      platform::Error* error);
  // A native session: the service script and the verification scripts run in
  // a script context of their own. Checks, in this order: the SDK is not
  // active (2), no resources (1510), no partner (1509), a script that is the
  // empty text (1501; a missing script passes, and is then never run), an
  // identifier longer than 256 UTF-16 units (1500).
  static std::shared_ptr<OMIDQuilbrnAdSessionContext> initWithPartner(
      std::shared_ptr<OMIDQuilbrnPartner> partner, const std::optional<std::string>& script,
      const std::vector<std::shared_ptr<OMIDQuilbrnVerificationScriptResource>>& resources,
      const std::optional<std::string>& contentUrl, const std::optional<std::string>& customReferenceIdentifier,
      platform::Error* error);

  OMIDQuilbrnAdSessionType type() const { return type_; }
  const std::shared_ptr<platform::WebView>& webView() const { return webView_; }
  const std::vector<std::shared_ptr<OMIDQuilbrnVerificationScriptResource>>& resources() const { return resources_; }
  const OMIDQuilbrnInjectedResources& injectedResources() const { return injectedResources_; }
  const std::optional<std::string>& script() const { return script_; }
  const std::shared_ptr<OMIDQuilbrnPartner>& partner() const { return partner_; }
  const std::optional<std::string>& contentUrl() const { return contentUrl_; }
  const std::optional<std::string>& identifier() const { return identifier_; }

  // "html", "native" or "javascript" (any other type reads "html").
  std::string typeString() const;
  // The context the measurement script receives at the session start:
  // "environment", "adSessionType", "supports", "omidNativeInfo", "app",
  // "deviceInfo", "deviceCategory", and "contentUrl" and
  // "customReferenceData" when set.
  platform::Json toJSON() const;
  // Vendor key -> parameters, for the resources that have parameters.
  platform::Json resourcesJSON() const;
  // Injection identifier -> {"verificationParameters", "resourceUrl",
  // "vendorKey"}, each key only when the resource has it.
  platform::Json injectedResourcesJSON() const;

 private:
  OMIDQuilbrnAdSessionContext() = default;
  static std::shared_ptr<OMIDQuilbrnAdSessionContext> webViewContext(
      OMIDQuilbrnAdSessionType type, std::shared_ptr<OMIDQuilbrnPartner> partner,
      std::shared_ptr<platform::WebView> webView, const std::optional<std::string>& contentUrl,
      const std::optional<std::string>& customReferenceIdentifier, platform::Error* error);

  OMIDQuilbrnAdSessionType type_ = OMIDQuilbrnAdSessionTypeHtml;
  std::shared_ptr<platform::WebView> webView_;
  std::vector<std::shared_ptr<OMIDQuilbrnVerificationScriptResource>> resources_;
  OMIDQuilbrnInjectedResources injectedResources_;
  std::optional<std::string> script_;
  std::shared_ptr<OMIDQuilbrnPartner> partner_;
  std::optional<std::string> contentUrl_;
  std::optional<std::string> identifier_;
};
