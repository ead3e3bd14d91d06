#pragma once
// Helpers of the SDK tests in which the own network fills: its process-wide
// objects put back, and the web view an ad runs in.
#include <memory>

#include "ownnetwork/adapters/QBQuillborneAdapter.h"
#include "ownnetwork/api/QuillborneNetwork.h"
#include "ownnetwork/publisher/PlovermarkAdsPublisher.h"
#include "ownnetwork/services/QBNEventsTracker.h"
#include "platform/ui.h"
#include "platform/web/web_view.h"
#include "presentation/QBNAdViewsManager.h"

namespace qbtest {

inline void resetOwnNetwork() {
  QuillborneNetwork::resetForTesting();
  PlovermarkAdsPublisher::resetForTesting();
  QBQuillborneAdapter::resetForTesting();
  QBNEventsTracker::sharedTracker().resetForTesting();
  QBNAdViewsManager::sharedManager().resetForTesting();
}

// The first web view in `view`'s tree, `view` included.
inline std::shared_ptr<platform::WebView> webViewIn(const std::shared_ptr<platform::View>& view) {
  if (!view) return nullptr;
  if (auto web = std::dynamic_pointer_cast<platform::WebView>(view)) return web;
  for (const auto& sub : view->subviews()) {
    if (auto web = webViewIn(sub)) return web;
  }
  return nullptr;
}

}  // namespace qbtest
