#pragma once
// The network-level custom adapter: one object per network, created by the
// adapter registry from its class name (QBAdapterRepository) and shared by
// every instance of that network.
//
// Every method may be called from any thread. Methods of a subclass are
// outside code: the library calls them through platform::guard, and anything
// they throw becomes the failure of the operation under way.
#include <memory>
#include <string>
#include <vector>

#include "adapters/QBAdData.h"
#include "adapters/QBAdapterDelegates.h"

class QBAdapterConfig;

// What the mediation needs of every network adapter.
class QBAdapterBaseProtocol {
 public:
  virtual ~QBAdapterBaseProtocol() = default;
  // Starts or confirms the network's initialisation. The delegate (may be
  // empty) hears onInitDidSucceed or onInitDidFailWithErrorCode once, on a
  // thread of the adapter's choice. May throw.
  virtual void init(const std::shared_ptr<QBAdData>& adData,
                    std::weak_ptr<QBNetworkInitializationDelegate> delegate) = 0;
  // Version texts; may throw.
  virtual std::string networkSDKVersion() = 0;
  virtual std::string adapterVersion() = 0;
};

// Settings the registry pushes into every adapter it holds. The defaults do
// nothing (and answer 0 for the load-while-show state).
class QBAdapterSettingsProtocol {
 public:
  virtual ~QBAdapterSettingsProtocol() = default;
  virtual void setAdapterDebug(bool adapterDebug) { (void)adapterDebug; }
  virtual void setConsent(bool consent) { (void)consent; }
  virtual void setMetaDataWithKey(const std::string& key, const std::vector<std::string>& values) {
    (void)key;
    (void)values;
  }
  // Load-while-show support state of the network for this instance; 0 by
  // default.
  virtual int getLoadWhileShowSupportedStateWithAdapterConfig(const std::shared_ptr<QBAdapterConfig>& adapterConfig) {
    (void)adapterConfig;
    return 0;
  }
};

// Base class of network adapters. Subclasses implement init and the two
// version getters and keep the settings defaults they do not need. Objects
// are owned by std::shared_ptr (the registry makes them so); a subclass hands
// itself to its network as a weak delegate through weak_from_this().
class QBBaseNetworkAdapter : public QBAdapterBaseProtocol,
                             public QBAdapterSettingsProtocol,
                             public std::enable_shared_from_this<QBBaseNetworkAdapter> {
 public:
  ~QBBaseNetworkAdapter() override = default;
};
