#include "ownnetwork/adapters/QBOwnNetworkRegistration.h"

#include <memory>

#include "adapters/QBBaseAdapter.h"
#include "ownnetwork/adapters/QBPlovermarkAdsAdapter.h"
#include "ownnetwork/adapters/QBQuillborneAdapter.h"
#include "ownnetwork/adapters/QBQuillborneCustomAdapters.h"
#include "adapters/QBBaseAdAdapter.h"
#include "adapters/QBBaseNetworkAdapter.h"
#include "ownnetwork/publisher/QBNDeviceStatusReport.h"
#include "platform/runtime.h"

void registerOwnNetworkAdapterClasses() {
  auto& registry = platform::ClassRegistry::shared();
  registry.registerClass<QBBaseAdapter>("QBQuillborneAdapter", [] { return std::make_shared<QBQuillborneAdapter>(); });
  registry.registerClass<QBBaseAdapter>("QBPlovermarkAdsAdapter",
                                        [] { return std::make_shared<QBPlovermarkAdsAdapter>(); });
  registry.registerClass<QBBaseNetworkAdapter>("QBQuillborneCustomAdapter",
                                               [] { return std::make_shared<QBQuillborneCustomAdapter>(); });
  registry.registerClass<QBBaseAdAdapter>("QBQuillborneCustomRewardedVideo",
                                          [] { return std::make_shared<QBQuillborneCustomRewardedVideo>(); });
  registry.registerClass<QBBaseAdAdapter>("QBQuillborneCustomInterstitial",
                                          [] { return std::make_shared<QBQuillborneCustomInterstitial>(); });
  QBNDeviceStatusReport::install();
}
