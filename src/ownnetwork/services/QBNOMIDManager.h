#pragma once
// The own network's measurement manager (one per process): it activates the
// measurement SDK once, turns the controller page's words into measurement
// values, keeps one measured ad session per ad view id and reports each
// outcome.
//
// Results go to the object handed to the operation (the page request that
// asked for it), else to the manager's delegate; each call is made only on
// the main thread, after the operation returned.
//
// Threading: every operation may be called on any thread and runs its body
// on the main queue, later; getOmidData and getOmidLibInfo answer at once
// from any thread.
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/json.h"
#include "platform/result.h"

namespace platform {
class WebView;
}
class OMIDQuilbrnAdSession;
class OMIDQuilbrnPartner;

// What the manager reports. Every call is optional (the defaults do nothing).
class QBNOMIDManagerDelegate {
 public:
  virtual ~QBNOMIDManagerDelegate() = default;
  virtual void omidManagerActivated() {}
  virtual void omidManagerFailedToActivateWithReason(const std::string& /*reason*/) {}
  virtual void omidManagerStartedSession(const std::string& /*adViewId*/) {}
  virtual void omidManagerFailedToStartSessionWithReason(const std::string& /*reason*/,
                                                         const std::string& /*adViewId*/) {}
  virtual void omidManagerImpressionOccurred(const std::string& /*adViewId*/) {}
  // The ad view id as the page gave it: none when it gave none.
  virtual void omidManagerFailedImpressionOccurredWithReason(const std::string& /*reason*/,
                                                             const std::optional<std::string>& /*adViewId*/) {}
  virtual void omidManagerFinishedSession(const std::string& /*adViewId*/) {}
  virtual void omidManagerFailedToFinishSessionWithReason(const std::string& /*reason*/,
                                                          const std::optional<std::string>& /*adViewId*/) {}
};

// The options of one session, from the page's parameters.
struct QBNOMIDOptions {
  bool isolateVerificationScripts = false;
  unsigned impressionOwner = 3;    // none
  unsigned mediaEventsOwner = 3;   // none
  std::string customReferenceData;
  unsigned impressionType = 8;     // other
  unsigned creativeType = 1;       // defined by JavaScript
};

class QBNOMIDManager : public std::enable_shared_from_this<QBNOMIDManager> {
 public:
  using Reporter = std::shared_ptr<QBNOMIDManagerDelegate>;

  static const std::shared_ptr<QBNOMIDManager>& sharedInstance();

  // Activates the measurement SDK the first time; then reports
  // omidManagerActivated (every time).
  void activate(Reporter reportTo = nullptr);
  // A measured HTML session of `adWebView` under the ad view id. Failures:
  // "OMID has not been activated", "OMID Session has already started", the
  // options' and the measurement SDK's errors (their texts unchanged).
  void startSession(const platform::Json& params, std::shared_ptr<platform::WebView> adWebView,
                    const std::string& adViewId, Reporter reportTo = nullptr);
  // The session's impression ("signalLoaded" true: the loaded event first,
  // its outcome not reported). Failures: "OMID has not been activated",
  // "OMID Session has not started", the measurement SDK's errors. Without an
  // ad view id there is no session (and the failure carries no id).
  void impressionOccurred(const platform::Json& params, const std::optional<std::string>& adViewId,
                          Reporter reportTo = nullptr);
  void finishSessionWithAdViewId(const std::optional<std::string>& adViewId, Reporter reportTo = nullptr);
  // The ad view left the screen for good: its session (if any) finishes,
  // logged; nothing is reported.
  void finishSessionOfRemovedAdView(const std::string& adViewId);

  // getOmidLibInfo with "omidActiveAdSessions": the ad view ids that have a
  // session, in the order their sessions started.
  platform::Json getOmidData() const;
  // {"omidVersion": OMIDQuilbrnSDK::versionString(), "omidPartnerName":
  // "Quilbrn", "omidPartnerVersion": "7"}.
  static platform::Json getOmidLibInfo();

  bool isActivated() const;
  std::shared_ptr<QBNOMIDManagerDelegate> delegate() const;
  void setDelegate(std::weak_ptr<QBNOMIDManagerDelegate> delegate);
  const std::shared_ptr<OMIDQuilbrnPartner>& partner() const { return partner_; }
  // The session of an ad view id, or null.
  std::shared_ptr<OMIDQuilbrnAdSession> activeAdSession(const std::string& adViewId) const;

  // The page's words, upper-cased, to the measurement values (defaults 3, 8
  // and 1 for a word not in the table).
  static unsigned resolveOMIDOwner(const platform::Json& word);
  static unsigned resolveImpressionType(const platform::Json& word);
  static unsigned resolveCreativeType(const platform::Json& word);
  // The options; "impressionOwner" and "videoEventsOwner" are required.
  static platform::Result<QBNOMIDOptions> optionsFromParams(const platform::Json& params);

  // Not activated, no sessions (their sessions are let go unfinished), no
  // delegate.
  void resetForTesting();

 private:
  QBNOMIDManager();
  std::shared_ptr<OMIDQuilbrnAdSession> createAdSession(const platform::Json& params, platform::Error* error,
                                                        const std::shared_ptr<platform::WebView>& adWebView,
                                                        const std::string& adViewId);
  std::shared_ptr<QBNOMIDManagerDelegate> reporter(const Reporter& reportTo) const;
  std::shared_ptr<OMIDQuilbrnAdSession> takeAdSession(const std::string& adViewId);

  const std::shared_ptr<OMIDQuilbrnPartner> partner_;
  mutable std::mutex mutex_;  // guards the fields below
  bool isActivated_ = false;
  std::weak_ptr<QBNOMIDManagerDelegate> delegate_;
  std::vector<std::pair<std::string, std::shared_ptr<OMIDQuilbrnAdSession>>> activeAdSessions_;
};
