#include "scriptfeatures/QBScriptFeaturesRegistration.h"

#include <memory>

#include "ownnetwork/interfaces/QBNScriptHandlerFactories.h"
#include "scriptfeatures/PMAJSInterfaceHandler.h"

namespace qb::scriptfeatures {

void registerWithOwnNetwork() {
  QBNScriptHandlerFactories::update([](QBNScriptHandlerFactories& factories) {
    factories.jsInterfaceHandler = [](std::weak_ptr<QBNPublisherAgent> agent) -> std::shared_ptr<PMAJSInterfaceHandlerP> {
      return std::make_shared<PMAJSInterfaceHandler>(std::move(agent));
    };
  });
}

}  // namespace qb::scriptfeatures
