#pragma once
// Base class of classic adapters: one object per network serving the
// rewarded-video, interstitial, banner and offerwall adapter protocols
// (QBClassicAdapterProtocols.h) that it adopts. The registry makes it by class
// name (QBAdapterRepository::getAdapter), then calls initAdapter.
//
// Overridden methods are outside code; the library calls them through
// platform::guard.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/json.h"

class QBAdapterConfig;

class QBBaseAdapter : public std::enable_shared_from_this<QBBaseAdapter> {
 public:
  QBBaseAdapter() = default;
  virtual ~QBBaseAdapter() = default;
  QBBaseAdapter(const QBBaseAdapter&) = delete;
  QBBaseAdapter& operator=(const QBBaseAdapter&) = delete;

  // Keeps the provider name. A subclass that overrides it calls the base.
  virtual void initAdapter(const std::string& providerName);
  // The provider name given to initAdapter ("" before).
  std::string adapterName() const;

  // True for a non-empty string value.
  static bool isConfigValueValid(const platform::Json& value);

  // Load-while-show state kept by the base (0 at creation).
  int loadWhileShowState() const;
  void setLoadWhileShowState(int state);
  // The network's load-while-show support for an instance; default: the
  // stored state.
  virtual int getLWSSupportState(const std::shared_ptr<QBAdapterConfig>& adapterConfig);

  // Version texts of the adapter and of the network SDK; "" by default.
  virtual std::string version() { return ""; }
  virtual std::string sdkVersion() { return ""; }

  // Settings the registry pushes; the defaults do nothing.
  virtual void setConsent(bool consent) { (void)consent; }
  virtual void setMetaDataWithKey(const std::string& key, const std::vector<std::string>& values) {
    (void)key;
    (void)values;
  }
  virtual void setAdapterDebug(bool adapterDebug) { (void)adapterDebug; }
  // Early start of the maker's own network; the registry calls it once, when
  // it creates that network's adapter.
  virtual void earlyInitWithAdapterConfig(const std::shared_ptr<QBAdapterConfig>& adapterConfig) {
    (void)adapterConfig;
  }

 private:
  mutable std::mutex mutex_;
  std::string adapterName_;
  int loadWhileShowState_ = 0;
};
