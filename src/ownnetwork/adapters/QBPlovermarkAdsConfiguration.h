#pragma once
// Options of the own network's two built-in adapters, one record per process.
// The host application fills them; the adapters only read them and clear
// values they find invalid. Every field may be read and written from any
// thread.
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "platform/json.h"

class QBPlovermarkAdsConfiguration {
 public:
  // Made on first use (once, whatever the threads).
  static QBPlovermarkAdsConfiguration& configurations();

  std::optional<platform::Json> useClientSideCallbacks() const;  // a number 0/1 is valid
  void setUseClientSideCallbacks(std::optional<platform::Json> value);
  std::optional<platform::Json> language() const;  // a two-letter text is valid
  void setLanguage(std::optional<platform::Json> value);
  std::optional<std::string> minimumOfferCommission() const;
  void setMinimumOfferCommission(std::optional<std::string> value);
  std::optional<platform::Json> controllerConfig() const;
  void setControllerConfig(std::optional<platform::Json> value);
  std::optional<platform::Json> itemName() const;
  void setItemName(std::optional<platform::Json> value);
  std::optional<std::string> controllerUrl() const;
  void setControllerUrl(std::optional<std::string> value);
  std::optional<platform::Json> itemCount() const;
  void setItemCount(std::optional<platform::Json> value);
  std::optional<platform::Json> privateKey() const;
  void setPrivateKey(std::optional<platform::Json> value);
  int64_t debugLevel() const;
  void setDebugLevel(int64_t value);

  // Every field back to its default. Tests only.
  void resetForTesting();

 private:
  QBPlovermarkAdsConfiguration() = default;

  mutable std::mutex mutex_;
  std::optional<platform::Json> useClientSideCallbacks_;
  std::optional<platform::Json> language_;
  std::optional<std::string> minimumOfferCommission_;
  std::optional<platform::Json> controllerConfig_;
  std::optional<platform::Json> itemName_;
  std::optional<std::string> controllerUrl_;
  std::optional<platform::Json> itemCount_;
  std::optional<platform::Json> privateKey_;
  int64_t debugLevel_ = 0;
};
