#include "core/QBConfigurations.h"

#include <utility>

QBConfigurations& QBConfigurations::getConfigurations() {
  // Never destroyed: other process-wide objects may read it while exiting.
  static QBConfigurations* instance = new QBConfigurations();
  return *instance;
}

void QBConfigurations::resetForTesting() {
  std::lock_guard lock(mutex_);
  appKey_.clear();
  userId_.reset();
  dynamicUserId_.clear();
  plugin_.reset();
  pluginVersion_.reset();
  pluginFrameworkVersion_.reset();
  mediationType_.clear();
  adaptersDebug_ = false;
  trackReachability_ = false;
  rvServerParams_ = platform::Json::object();
  offerwallCustomParameters_.reset();
  segment_.reset();
  consent_.reset();
  useClientSideCallbacks_ = 0;
  serverConsoleLogLevel_.reset();
  serverPublisherLogLevel_.reset();
}

std::string QBConfigurations::appKey() const { return read(appKey_); }
void QBConfigurations::setAppKey(const std::string& appKey) { write(appKey_, appKey); }

std::optional<std::string> QBConfigurations::userId() const { return read(userId_); }
void QBConfigurations::setUserId(std::optional<std::string> userId) { write(userId_, std::move(userId)); }

std::string QBConfigurations::dynamicUserId() const { return read(dynamicUserId_); }
void QBConfigurations::setDynamicUserId(const std::string& id) { write(dynamicUserId_, id); }

std::optional<std::string> QBConfigurations::plugin() const { return read(plugin_); }
void QBConfigurations::setPlugin(std::optional<std::string> plugin) { write(plugin_, std::move(plugin)); }

std::optional<std::string> QBConfigurations::pluginVersion() const { return read(pluginVersion_); }
void QBConfigurations::setPluginVersion(std::optional<std::string> version) {
  write(pluginVersion_, std::move(version));
}

std::optional<std::string> QBConfigurations::pluginFrameworkVersion() const { return read(pluginFrameworkVersion_); }
void QBConfigurations::setPluginFrameworkVersion(std::optional<std::string> version) {
  write(pluginFrameworkVersion_, std::move(version));
}

std::string QBConfigurations::mediationType() const { return read(mediationType_); }
void QBConfigurations::setMediationType(const std::string& type) { write(mediationType_, type); }

bool QBConfigurations::adaptersDebug() const { return read(adaptersDebug_); }
void QBConfigurations::setAdaptersDebug(bool value) { write(adaptersDebug_, value); }

bool QBConfigurations::trackReachability() const { return read(trackReachability_); }
void QBConfigurations::setTrackReachability(bool value) { write(trackReachability_, value); }

platform::Json QBConfigurations::rvServerParams() const { return read(rvServerParams_); }
void QBConfigurations::setRvServerParams(platform::Json params) {
  if (!params.is_object()) params = platform::Json::object();
  write(rvServerParams_, std::move(params));
}

std::optional<platform::Json> QBConfigurations::offerwallCustomParameters() const {
  return read(offerwallCustomParameters_);
}
void QBConfigurations::setOfferwallCustomParameters(std::optional<platform::Json> params) {
  write(offerwallCustomParameters_, std::move(params));
}

std::optional<QBSegment> QBConfigurations::segment() const { return read(segment_); }
void QBConfigurations::setSegment(std::optional<QBSegment> segment) { write(segment_, std::move(segment)); }

std::optional<bool> QBConfigurations::consent() const { return read(consent_); }
void QBConfigurations::setConsent(std::optional<bool> consent) { write(consent_, consent); }

int64_t QBConfigurations::useClientSideCallbacks() const { return read(useClientSideCallbacks_); }
void QBConfigurations::setUseClientSideCallbacks(int64_t value) { write(useClientSideCallbacks_, value); }

std::optional<int> QBConfigurations::serverConsoleLogLevel() const { return read(serverConsoleLogLevel_); }
std::optional<int> QBConfigurations::serverPublisherLogLevel() const { return read(serverPublisherLogLevel_); }
void QBConfigurations::setServerLogLevels(std::optional<int> console, std::optional<int> publisher) {
  std::lock_guard lock(mutex_);
  serverConsoleLogLevel_ = console;
  serverPublisherLogLevel_ = publisher;
}
