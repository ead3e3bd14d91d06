#include "scriptfeatures/QBScriptFeaturesRegistration.h"

#include <memory>

#include "ownnetwork/interfaces/QBNScriptHandlerFactories.h"
#include "scriptfeatures/PMAJSInterfaceHandler.h"
#include "scriptfeatures/device/QBNAudioSessionJSHandler.h"
#include "scriptfeatures/device/QBNDeviceDataJSInterfaceHandler.h"
#include "scriptfeatures/device/QBNRingerButtonJSHandler.h"
#include "scriptfeatures/device/QBNTokenJSInterfaceHandler.h"
#include "scriptfeatures/files/QBNFileSystemJSInterfaceHandler.h"
#include "scriptfeatures/measurement/QBNOMIDJSInterface.h"
#include "scriptfeatures/storekit/QBNAdImpressionJSInterfaceHandler.h"
#include "scriptfeatures/storekit/QBNOverlayJSInterfaceHandler.h"

namespace qb::scriptfeatures {

void registerWithOwnNetwork() {
  QBNScriptHandlerFactories::update([](QBNScriptHandlerFactories& factories) {
    factories.jsInterfaceHandler = [](std::weak_ptr<QBNPublisherAgent> agent) -> std::shared_ptr<PMAJSInterfaceHandlerP> {
      return std::make_shared<PMAJSInterfaceHandler>(std::move(agent));
    };
    factories.tokenHandler = [](std::weak_ptr<QBNPublisherAgent> agent) -> std::shared_ptr<QBNJSInterfaceHandlerP> {
      return std::make_shared<QBNTokenJSInterfaceHandler>(std::move(agent));
    };
    factories.deviceDataHandler = [](std::weak_ptr<QBNPublisherAgent> agent) -> std::shared_ptr<QBNJSInterfaceHandlerP> {
      return std::make_shared<QBNDeviceDataJSInterfaceHandler>(std::move(agent));
    };
    factories.audioSessionHandler = [](std::weak_ptr<QBNPublisherAgent> agent) -> std::shared_ptr<QBNJSInterfaceHandlerP> {
      return std::make_shared<QBNAudioSessionJSHandler>(std::move(agent));
    };
    factories.ringerButtonHandler = [](std::weak_ptr<QBNPublisherAgent> agent) -> std::shared_ptr<QBNJSInterfaceHandlerP> {
      return std::make_shared<QBNRingerButtonJSHandler>(std::move(agent));
    };
    factories.fileSystemHandler = [](std::weak_ptr<QBNPublisherAgent> agent,
                                     std::shared_ptr<QBNDataManagerProtocol> dataManager)
        -> std::shared_ptr<QBNJSInterfaceHandlerP> {
      return QBNFileSystemJSInterfaceHandler::initWithPublisherAgent(std::move(agent), std::move(dataManager));
    };
    using Handler = std::shared_ptr<QBNJSInterfaceHandlerP>;
    factories.adImpressionHandler = [](std::shared_ptr<QBNControllerManagerP> manager) -> Handler {
      return std::make_shared<QBNAdImpressionJSInterfaceHandler>(manager);
    };
    factories.overlayHandler = [](std::shared_ptr<QBNControllerManagerP> manager) -> Handler {
      return std::make_shared<QBNOverlayJSInterfaceHandler>(manager);
    };
    factories.omidHandler = [](std::weak_ptr<QBNPublisherAgent> agent) -> std::shared_ptr<QBNOMIDJSInterfaceP> {
      return QBNOMIDJSInterface::initWithPublisherAgent(std::move(agent));
    };
  });
}

}  // namespace qb::scriptfeatures
