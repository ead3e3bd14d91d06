#pragma once
// Makers of the own network's web views.
#include <memory>

#include "ownnetwork/web/PMWVWKWebView.h"

class PMWVWebViewFactory {
 public:
  static std::shared_ptr<PMWVWKWebView> defaultWebViewWithFrame(const platform::Rect& frame);
  // The secondary web view's: no message handler.
  static std::shared_ptr<PMWVWKWebView> defaultWebViewWithFrame(
      const platform::Rect& frame, const std::shared_ptr<PMWVBrowsingConfiguration>& browsingConfiguration);
  // The controller web view's.
  static std::shared_ptr<PMWVWKWebView> defaultWebViewWithFrame(
      const platform::Rect& frame, const std::shared_ptr<PMWVConnectivityConfiguration>& connectivityConfiguration,
      const std::shared_ptr<PMWVBrowsingConfiguration>& browsingConfiguration);
};
