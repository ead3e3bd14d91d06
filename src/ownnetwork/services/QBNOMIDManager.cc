#include "ownnetwork/services/QBNOMIDManager.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "measurement/sdk/OMIDQuilbrnPartner.h"
#include "measurement/sdk/OMIDQuilbrnSDK.h"
#include "measurement/session/OMIDQuilbrnAdEvents.h"
#include "measurement/session/OMIDQuilbrnAdSession.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "platform/dispatch.h"
#include "platform/web/web_view.h"

namespace {

constexpr char kNotActivated[] = "OMID has not been activated";
constexpr char kAlreadyStarted[] = "OMID Session has already started";
constexpr char kNotStarted[] = "OMID Session has not started";

using Table = std::map<std::string, unsigned>;

const Table& ownersList() {
  static const Table& table = *new Table{{"JAVASCRIPT", 1}, {"NATIVE", 2}, {"NONE", 3}};
  return table;
}
const Table& impressionTypesList() {
  static const Table& table = *new Table{{"DEFINEDBYJAVASCRIPT", 1}, {"UNSPECIFIED", 2}, {"LOADED", 3},
                                         {"BEGINTORENDER", 4},       {"ONEPIXEL", 5},    {"VIEWBLE", 6},
                                         {"AUDIBLE", 7},             {"OTHER", 8}};
  return table;
}
const Table& creativeTypesList() {
  static const Table& table = *new Table{
      {"DEFINEDBYJAVASCRIPT", 1}, {"HTMLDISPLAY", 2}, {"NATIVEDISPLAY", 3}, {"VIDEO", 4}, {"AUDIO", 5}};
  return table;
}

unsigned resolve(const Table& table, const platform::Json& word, unsigned fallback) {
  std::string text = word.is_string() ? word.get<std::string>() : qbnjson::description(word);
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  const auto found = table.find(text);
  return found == table.end() ? fallback : found->second;
}

platform::Error glueError(const std::string& message) { return platform::Error{kPMAErrorDomain, 0, message}; }

const platform::Json* member(const platform::Json& params, const char* key) {
  if (!params.is_object()) return nullptr;
  const auto found = params.find(key);
  return found == params.end() ? nullptr : &*found;
}

// The body runs on the main queue with the manager, unless it is gone.
template <class Body>
void onMain(const std::shared_ptr<QBNOMIDManager>& manager, Body body) {
  std::weak_ptr<QBNOMIDManager> weak = manager;
  platform::mainQueue()->async([weak, body = std::move(body)]() mutable {
    if (auto self = weak.lock()) body(*self);
  });
}

}  // namespace

const std::shared_ptr<QBNOMIDManager>& QBNOMIDManager::sharedInstance() {
  static const std::shared_ptr<QBNOMIDManager>& manager =
      *new std::shared_ptr<QBNOMIDManager>(new QBNOMIDManager);
  return manager;
}

QBNOMIDManager::QBNOMIDManager()
    : partner_(OMIDQuilbrnPartner::initWithName(kOMIDQuilbrnPartnerName, kOMIDQuilbrnPartnerVersion)) {}

bool QBNOMIDManager::isActivated() const {
  std::lock_guard lock(mutex_);
  return isActivated_;
}

std::shared_ptr<QBNOMIDManagerDelegate> QBNOMIDManager::delegate() const {
  std::lock_guard lock(mutex_);
  return delegate_.lock();
}

void QBNOMIDManager::setDelegate(std::weak_ptr<QBNOMIDManagerDelegate> delegate) {
  std::lock_guard lock(mutex_);
  delegate_ = std::move(delegate);
}

std::shared_ptr<QBNOMIDManagerDelegate> QBNOMIDManager::reporter(const Reporter& reportTo) const {
  return reportTo ? reportTo : delegate();
}

std::shared_ptr<OMIDQuilbrnAdSession> QBNOMIDManager::activeAdSession(const std::string& adViewId) const {
  std::lock_guard lock(mutex_);
  for (const auto& [id, session] : activeAdSessions_) {
    if (id == adViewId) return session;
  }
  return nullptr;
}

std::shared_ptr<OMIDQuilbrnAdSession> QBNOMIDManager::takeAdSession(const std::string& adViewId) {
  std::lock_guard lock(mutex_);
  for (auto it = activeAdSessions_.begin(); it != activeAdSessions_.end(); ++it) {
    if (it->first != adViewId) continue;
    auto session = std::move(it->second);
    activeAdSessions_.erase(it);
    return session;
  }
  return nullptr;
}

void QBNOMIDManager::activate(Reporter reportTo) {
  onMain(shared_from_this(), [reportTo = std::move(reportTo)](QBNOMIDManager& self) {
    bool activated = self.isActivated();
    if (!activated) {
      activated = OMIDQuilbrnSDK::sharedInstance()->activate();
      std::lock_guard lock(self.mutex_);
      self.isActivated_ = activated;
    }
    if (!activated) return;
    if (auto to = self.reporter(reportTo)) to->omidManagerActivated();
  });
}

void QBNOMIDManager::startSession(const platform::Json& params, std::shared_ptr<platform::WebView> adWebView,
                                  const std::string& adViewId, Reporter reportTo) {
  onMain(shared_from_this(), [params, adWebView = std::move(adWebView), adViewId,
                              reportTo = std::move(reportTo)](QBNOMIDManager& self) {
    const auto to = self.reporter(reportTo);
    const auto fail = [&](const std::string& reason) {
      if (to) to->omidManagerFailedToStartSessionWithReason(reason, adViewId);
    };
    if (!self.isActivated()) return fail(kNotActivated);
    if (self.activeAdSession(adViewId)) return fail(kAlreadyStarted);
    platform::Error error;
    auto session = self.createAdSession(params, &error, adWebView, adViewId);
    if (!session) return fail(error.message);
    session->start();
    {
      std::lock_guard lock(self.mutex_);
      self.activeAdSessions_.emplace_back(adViewId, session);
    }
    if (to) to->omidManagerStartedSession(adViewId);
  });
}

std::shared_ptr<OMIDQuilbrnAdSession> QBNOMIDManager::createAdSession(const platform::Json& params,
                                                                      platform::Error* error,
                                                                      const std::shared_ptr<platform::WebView>& adWebView,
                                                                      const std::string& /*adViewId*/) {
  if (!isActivated()) {
    if (error) *error = glueError(kNotActivated);
    return nullptr;
  }
  const auto parsed = optionsFromParams(params);
  if (!parsed) {
    if (error) *error = parsed.error();
    return nullptr;
  }
  const QBNOMIDOptions& options = parsed.value();
  auto context = OMIDQuilbrnAdSessionContext::initWithPartner(partner_, adWebView, std::nullopt,
                                                              options.customReferenceData, error);
  if (!context) return nullptr;
  auto configuration = OMIDQuilbrnAdSessionConfiguration::initWithCreativeType(
      options.creativeType, options.impressionType, options.impressionOwner, options.mediaEventsOwner,
      options.isolateVerificationScripts, error);
  if (!configuration) return nullptr;
  auto session = OMIDQuilbrnAdSession::initWithConfiguration(configuration, context, error);
  if (!session) return nullptr;
  session->setMainAdView(adWebView);
  return session;
}

void QBNOMIDManager::impressionOccurred(const platform::Json& params, const std::optional<std::string>& adViewId,
                                        Reporter reportTo) {
  onMain(shared_from_this(), [params, adViewId, reportTo = std::move(reportTo)](QBNOMIDManager& self) {
    const auto to = self.reporter(reportTo);
    const auto fail = [&](const std::string& reason) {
      if (to) to->omidManagerFailedImpressionOccurredWithReason(reason, adViewId);
    };
    if (!self.isActivated()) return fail(kNotActivated);
    auto session = adViewId ? self.activeAdSession(*adViewId) : nullptr;
    if (!session) return fail(kNotStarted);
    platform::Error error;
    auto events = OMIDQuilbrnAdEvents::initWithAdSession(session, &error);
    if (!events) return fail(error.message);
    if (qbnjson::boolValue(params, "signalLoaded").value_or(false)) (void)events->loadedWithError(nullptr);
    if (!events->impressionOccurredWithError(&error)) return fail(error.message);
    if (to) to->omidManagerImpressionOccurred(*adViewId);
  });
}

void QBNOMIDManager::finishSessionWithAdViewId(const std::optional<std::string>& adViewId, Reporter reportTo) {
  onMain(shared_from_this(), [adViewId, reportTo = std::move(reportTo)](QBNOMIDManager& self) {
    const auto to = self.reporter(reportTo);
    const auto fail = [&](const std::string& reason) {
      if (to) to->omidManagerFailedToFinishSessionWithReason(reason, adViewId);
    };
    if (!self.isActivated()) return fail(kNotActivated);
    auto session = adViewId ? self.takeAdSession(*adViewId) : nullptr;
    if (!session) return fail(kNotStarted);
    session->finish();
    if (to) to->omidManagerFinishedSession(*adViewId);
  });
}

void QBNOMIDManager::finishSessionOfRemovedAdView(const std::string& adViewId) {
  onMain(shared_from_this(), [adViewId](QBNOMIDManager& self) {
    auto session = self.takeAdSession(adViewId);
    if (!session) return;
    session->finish();
    PlovermarkLogManager::sharedManager().log(
        "QBNOMIDManager | the measurement session of the removed ad view " + adViewId + " finished", 1, 6);
  });
}

platform::Json QBNOMIDManager::getOmidData() const {
  platform::Json data = getOmidLibInfo();
  platform::Json ids = platform::Json::array();
  {
    std::lock_guard lock(mutex_);
    for (const auto& entry : activeAdSessions_) ids.push_back(entry.first);
  }
  data["omidActiveAdSessions"] = std::move(ids);
  return data;
}

platform::Json QBNOMIDManager::getOmidLibInfo() {
  return platform::Json{{"omidVersion", OMIDQuilbrnSDK::versionString()},
                        {"omidPartnerName", kOMIDQuilbrnPartnerName},
                        {"omidPartnerVersion", kOMIDQuilbrnPartnerVersion}};
}

unsigned QBNOMIDManager::resolveOMIDOwner(const platform::Json& word) { return resolve(ownersList(), word, 3); }
unsigned QBNOMIDManager::resolveImpressionType(const platform::Json& word) {
  return resolve(impressionTypesList(), word, 8);
}
unsigned QBNOMIDManager::resolveCreativeType(const platform::Json& word) {
  return resolve(creativeTypesList(), word, 1);
}

platform::Result<QBNOMIDOptions> QBNOMIDManager::optionsFromParams(const platform::Json& params) {
  QBNOMIDOptions options;
  if (const auto* isolate = member(params, "isolateVerificiationScripts")) {
    options.isolateVerificationScripts = qbnjson::boolValue(*isolate).value_or(false);
  }
  if (const auto* type = member(params, "impressionType")) options.impressionType = resolveImpressionType(*type);
  if (const auto* type = member(params, "creativeType")) options.creativeType = resolveCreativeType(*type);
  const auto* impressionOwner = member(params, "impressionOwner");
  if (!impressionOwner) return glueError("Missing OMID impressionOwner");
  options.impressionOwner = resolveOMIDOwner(*impressionOwner);
  const auto* mediaOwner = member(params, "videoEventsOwner");
  if (!mediaOwner) return glueError("Missing OMID videoEventsOwner");
  options.mediaEventsOwner = resolveOMIDOwner(*mediaOwner);
  if (const auto* reference = member(params, "customReferenceData")) {
    options.customReferenceData = reference->is_string() ? reference->get<std::string>() : qbnjson::description(*reference);
  }
  return options;
}

void QBNOMIDManager::resetForTesting() {
  std::lock_guard lock(mutex_);
  isActivated_ = false;
  delegate_.reset();
  activeAdSessions_.clear();
}
