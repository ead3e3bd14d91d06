#pragma once
// The process-wide settings object, filled by the facade (application key,
// user id, segment, plugin, consent and the other values the application sets)
// and by the configuration parser (the log levels of the server
// configuration), and read across the library.
//
// Every getter and setter is thread-safe and answers on the calling thread;
// getters return copies.
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "platform/json.h"
#include "quillborne/QBSegment.h"

class QBConfigurations {
 public:
  static QBConfigurations& getConfigurations();
  // Every field back to its starting value.
  void resetForTesting();

  // The application key given to init ("" before).
  std::string appKey() const;
  void setAppKey(const std::string& appKey);
  // The application's user id; none until set.
  std::optional<std::string> userId() const;
  void setUserId(std::optional<std::string> userId);
  // The dynamic user id ("" until set).
  std::string dynamicUserId() const;
  void setDynamicUserId(const std::string& dynamicUserId);
  // The plugin framework type ("Unity" ...); none when the application is
  // native.
  std::optional<std::string> plugin() const;
  void setPlugin(std::optional<std::string> plugin);
  std::optional<std::string> pluginVersion() const;
  void setPluginVersion(std::optional<std::string> version);
  std::optional<std::string> pluginFrameworkVersion() const;
  void setPluginFrameworkVersion(std::optional<std::string> version);
  // The mediation type the application declared ("" until set).
  std::string mediationType() const;
  void setMediationType(const std::string& mediationType);
  bool adaptersDebug() const;
  void setAdaptersDebug(bool adaptersDebug);
  // The application asked to track reachability (false until set).
  bool trackReachability() const;
  void setTrackReachability(bool track);
  // Rewarded-video server parameters (a JSON object; {} until set). A value
  // that is not an object is stored as {}.
  platform::Json rvServerParams() const;
  void setRvServerParams(platform::Json params);
  // Offerwall custom parameters (a JSON object of strings); none until set.
  std::optional<platform::Json> offerwallCustomParameters() const;
  void setOfferwallCustomParameters(std::optional<platform::Json> params);
  // The user segment; none until set.
  std::optional<QBSegment> segment() const;
  void setSegment(std::optional<QBSegment> segment);
  // The user's consent; none until the application gives it.
  std::optional<bool> consent() const;
  void setConsent(std::optional<bool> consent);
  // 1 when the offerwall reports rewards to the application itself (0 until
  // set).
  int64_t useClientSideCallbacks() const;
  void setUseClientSideCallbacks(int64_t value);

  // Log levels of the console and publisher sinks given by the last parsed
  // configuration; none before one was parsed.
  std::optional<int> serverConsoleLogLevel() const;
  std::optional<int> serverPublisherLogLevel() const;
  void setServerLogLevels(std::optional<int> console, std::optional<int> publisher);

 private:
  QBConfigurations() = default;
  template <class T>
  T read(const T& field) const {
    std::lock_guard lock(mutex_);
    return field;
  }
  template <class T, class V>
  void write(T& field, V&& value) {
    std::lock_guard lock(mutex_);
    field = std::forward<V>(value);
  }

  mutable std::mutex mutex_;
  std::string appKey_;
  std::optional<std::string> userId_;
  std::string dynamicUserId_;
  std::optional<std::string> plugin_;
  std::optional<std::string> pluginVersion_;
  std::optional<std::string> pluginFrameworkVersion_;
  std::string mediationType_;
  bool adaptersDebug_ = false;
  bool trackReachability_ = false;
  platform::Json rvServerParams_ = platform::Json::object();
  std::optional<platform::Json> offerwallCustomParameters_;
  std::optional<QBSegment> segment_;
  std::optional<bool> consent_;
  int64_t useClientSideCallbacks_ = 0;
  std::optional<int> serverConsoleLogLevel_;
  std::optional<int> serverPublisherLogLevel_;
};
