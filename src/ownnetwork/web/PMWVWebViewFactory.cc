#include "ownnetwork/web/PMWVWebViewFactory.h"

std::shared_ptr<PMWVWKWebView> PMWVWebViewFactory::defaultWebViewWithFrame(const platform::Rect& frame) {
  return PMWVWKWebView::create(frame);
}

std::shared_ptr<PMWVWKWebView> PMWVWebViewFactory::defaultWebViewWithFrame(
    const platform::Rect& frame, const std::shared_ptr<PMWVBrowsingConfiguration>& browsingConfiguration) {
  return PMWVWKWebView::create(frame, browsingConfiguration);
}

std::shared_ptr<PMWVWKWebView> PMWVWebViewFactory::defaultWebViewWithFrame(
    const platform::Rect& frame, const std::shared_ptr<PMWVConnectivityConfiguration>& connectivityConfiguration,
    const std::shared_ptr<PMWVBrowsingConfiguration>& browsingConfiguration) {
  return PMWVWKWebView::create(frame, connectivityConfiguration, browsingConfiguration);
}
