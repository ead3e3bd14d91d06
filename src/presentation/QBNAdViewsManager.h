#pragma once
// The registry of ad-unit web views by the ad view id the controller page
// chose: it creates, loads, messages, pauses and resumes, measures and
// removes them. One per process; main queue only, no lock.
//
// Every failure is a completion error in the own network's general domain
// (code 0); completions run before the call returns.
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/json.h"
#include "presentation/QBNAdViewDelegate.h"
#include "presentation/QBNAdViewLoadParams.h"
#include "presentation/QBNAdViewWebPresenter.h"

class QBNAdViewsManager {
 public:
  // Made on first use, never destroyed.
  static QBNAdViewsManager& sharedManager();

  // The ad view (a QBNAdViewWebPresenter or a QBNAdContainer) registered
  // under the id; null for an unknown or absent id.
  std::shared_ptr<QBNPresentableAdView> getAdUnitWebViewById(const std::optional<std::string>& adViewId) const;
  const std::map<std::string, std::shared_ptr<QBNPresentableAdView>>& adViews() const { return adViews_; }

  // A new, unregistered presenter for an id not yet registered, with
  // `delegate` as its delegate (the completion is not called). An absent or
  // registered id fails with "WPAD - <selector> | adViewID: <id>".
  std::shared_ptr<QBNAdViewWebPresenter> createAdView(const std::optional<std::string>& adViewId,
                                                      std::shared_ptr<QBNAdSize> adSize, bool shouldUseOffScreenView,
                                                      std::weak_ptr<QBNAdViewDelegate> delegate,
                                                      const QBNAdViewCompletion& completion);
  // Creates the presenter, wraps it in a QBNAdContainer when asked, registers
  // what it made under the id and starts loading the URL; the completion
  // hears the load's answer. Without an id: "QBNAdunitWebView not Exsits".
  void loadUrlWithParams(const QBNAdViewLoadParams& params, std::weak_ptr<QBNAdViewDelegate> delegate,
                         const QBNAdViewCompletion& completion);
  // Hands params["params"]["params"] (a JSON text) to the ad page.
  void sendMessageToAdview(const std::optional<std::string>& adViewId, const std::optional<platform::Json>& params,
                           const QBNAdViewCompletion& completion);
  // Unregisters the ad view, then cleans it up.
  void removeAdViewWithId(const std::optional<std::string>& adViewId, const platform::Json& params,
                          std::weak_ptr<QBNAdViewDelegate> delegate, const QBNAdViewCompletion& completion);
  // params["actionName"]: "onPause" or "onResume".
  void performWebViewActionWithId(const std::optional<std::string>& adViewId, const platform::Json& params,
                                  const QBNAdViewCompletion& completion);
  // The answer is the ad view's "handleGetViewVisibility" message; the
  // completion runs only for an unknown id.
  void sendHandleGetViewVisibilityWithId(const std::optional<std::string>& adViewId, const platform::Json& params,
                                         const QBNAdViewCompletion& completion);

  // Every ad view cleaned up and forgotten; the off-screen container gone.
  void resetForTesting();

 private:
  QBNAdViewsManager() = default;

  std::map<std::string, std::shared_ptr<QBNPresentableAdView>> adViews_;
};
