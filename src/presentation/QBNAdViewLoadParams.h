#pragma once
// The parameters of the controller page's "loadWithUrl" for an ad-unit web
// view, read from the sub-command's JSON object.
#include <memory>
#include <optional>
#include <string>

#include "ownnetwork/services/QBNAdSize.h"
#include "platform/json.h"

class QBNAdViewLoadParams {
 public:
  // "adViewId" and "urlForWebView" (texts; anything else counts as absent),
  // "adSize" (an object with "label", "width" and "height", the sizes read as
  // integers), and the booleans "shouldCreateContainer",
  // "shouldUseOffScreenViewInWebPresenter" and
  // "shouldUseOffScreenViewInAdContainer" (NO when absent).
  explicit QBNAdViewLoadParams(const platform::Json& params);

  const std::optional<std::string>& adViewId() const { return adViewId_; }
  const std::optional<std::string>& urlString() const { return urlString_; }
  // Null without an "adSize" object.
  const std::shared_ptr<QBNAdSize>& adSize() const { return adSize_; }
  bool shouldCreateContainer() const { return shouldCreateContainer_; }
  bool shouldUseOffScreenViewInWebPresenter() const { return shouldUseOffScreenViewInWebPresenter_; }
  bool shouldUseOffScreenViewInAdContainer() const { return shouldUseOffScreenViewInAdContainer_; }

 private:
  std::optional<std::string> adViewId_;
  std::optional<std::string> urlString_;
  std::shared_ptr<QBNAdSize> adSize_;
  bool shouldCreateContainer_ = false;
  bool shouldUseOffScreenViewInWebPresenter_ = false;
  bool shouldUseOffScreenViewInAdContainer_ = false;
};
