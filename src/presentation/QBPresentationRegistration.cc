#include "presentation/QBPresentationRegistration.h"

#include <atomic>
#include <memory>

#include "ownnetwork/interfaces/QBAppStoreInsideSessionP.h"
#include "ownnetwork/interfaces/QBNAppOrientationSourceP.h"
#include "ownnetwork/interfaces/QBNScriptHandlerFactories.h"
#include "ownnetwork/services/QBNFeaturesManager.h"
#include "ownnetwork/token/QBNNetworkGlobalDataWriter.h"
#include "platform/dispatch.h"
#include "presentation/QBAppStoreInsideSession.h"
#include "presentation/QBNAdUnitWebViewJSInterfaceHandler.h"
#include "presentation/QBNAdViewJSInterfaceHandler.h"
#include "presentation/QBNAppOrientationCalculator.h"
#include "presentation/QBNAppOrientationHolder.h"
#include "presentation/QBNHybridAdPresenter.h"
#include "presentation/QBNOrientationJSHandler.h"
#include "presentation/QBNPresentationServices.h"
#include "presentation/QBNProductPresenterJSHandler.h"
#include "presentation/QBNSecondaryWebViewJSHandler.h"
#include "presentation/QBOrientationUtillis.h"

namespace {

// The holder belongs to the main queue; other threads read the mask its
// observer last reported.
class PresentationAppOrientationSource : public QBNAppOrientationSourceP {
 public:
  uint64_t appOrientation() const override {
    if (platform::isMainThread()) return QBNAppOrientationHolder::sharedInstance().appOrientation();
    return reported_.load();
  }

  std::optional<std::string> controllerStringForOrientation(uint64_t mask) const override {
    return QBOrientationUtillis::lockedStateAsControllerString(
        QBOrientationUtillis::orientationLockedStateFromOrientation(mask));
  }

  void report(uint64_t mask) { reported_.store(mask); }

 private:
  std::atomic<uint64_t> reported_{0};
};

std::shared_ptr<PresentationAppOrientationSource>& source() {
  static auto& s = *new std::shared_ptr<PresentationAppOrientationSource>(
      std::make_shared<PresentationAppOrientationSource>());  // lives for the process
  return s;
}

void connectOnMainQueue() {
  QBNAppOrientationCalculator::setUseWindowOrientationFallbackSource(
      [] { return QBNFeaturesManager::sharedManager().useWindowOrientationFallback(); });
  auto writer = std::make_shared<QBNNetworkGlobalDataWriter>();
  std::weak_ptr<PresentationAppOrientationSource> weak = source();
  QBNAppOrientationHolder::sharedInstance().setAppOrientationObserver([weak, writer](uint64_t mask) {
    if (auto s = weak.lock()) s->report(mask);
    writer->setAppOrientation(mask);
  });
}

}  // namespace

namespace qb::presentation {

void registerWithOwnNetwork() {
  QBAppStoreInsideSessionP::registerSharedInstance(QBAppStoreInsideSession::sharedInstance());
  QBNAppOrientationSourceP::registerSharedInstance(source());
  QBNPresentationServicesP::registerSharedInstance(QBNPresentationServices::sharedInstance());
  QBNScriptHandlerFactories::update([](QBNScriptHandlerFactories& factories) {
    factories.presenterHandler = [](std::weak_ptr<QBNPublisherAgent> agent) {
      return std::static_pointer_cast<QBNProductPresenterJSHandlerP>(QBNProductPresenterJSHandler::create(agent));
    };
    factories.orientationHandler = [](std::weak_ptr<QBNPublisherAgent> agent) {
      return std::static_pointer_cast<QBNOrientationJSHandlerP>(QBNOrientationJSHandler::create(agent));
    };
    factories.adViewHandler = [](std::weak_ptr<QBNPublisherAgent> agent) {
      return std::static_pointer_cast<QBNJSInterfaceHandlerP>(QBNAdViewJSInterfaceHandler::create(agent));
    };
    factories.adUnitWebViewHandler = [](std::weak_ptr<QBNPublisherAgent> agent) {
      return std::static_pointer_cast<QBNJSInterfaceHandlerP>(QBNAdUnitWebViewJSInterfaceHandler::create(agent));
    };
    factories.secondaryWebViewHandler = [](std::weak_ptr<QBNPublisherAgent> agent) {
      return std::static_pointer_cast<QBNSecondaryWebViewJSHandlerP>(QBNSecondaryWebViewJSHandler::create(agent));
    };
    factories.hybridAdPresenter = [](std::weak_ptr<QBNPublisherAgent> agent) {
      return std::static_pointer_cast<QBNHybridAdPresenterP>(QBNHybridAdPresenter::create(agent));
    };
  });
  if (platform::isMainThread()) {
    connectOnMainQueue();
  } else {
    platform::mainQueue()->async(connectOnMainQueue);
  }
}

}  // namespace qb::presentation
