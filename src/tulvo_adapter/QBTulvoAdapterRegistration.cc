#include "tulvo_adapter/QBTulvoAdapterRegistration.h"

#include <memory>

#include "adapters/QBBaseAdAdapter.h"
#include "adapters/QBBaseNetworkAdapter.h"
#include "platform/runtime.h"
#include "tulvo_adapter/QBTulvoCustomAdapter.h"
#include "tulvo_adapter/QBTulvoCustomInterstitial.h"
#include "tulvo_adapter/QBTulvoCustomRewardedVideo.h"

void registerTulvoAdapterClasses() {
  auto& registry = platform::ClassRegistry::shared();
  registry.registerClass<QBBaseNetworkAdapter>("QBTulvoCustomAdapter",
                                               [] { return std::make_shared<QBTulvoCustomAdapter>(); });
  registry.registerClass<QBBaseAdAdapter>("QBTulvoCustomRewardedVideo",
                                          [] { return std::make_shared<QBTulvoCustomRewardedVideo>(); });
  registry.registerClass<QBBaseAdAdapter>("QBTulvoCustomInterstitial",
                                          [] { return std::make_shared<QBTulvoCustomInterstitial>(); });
}
