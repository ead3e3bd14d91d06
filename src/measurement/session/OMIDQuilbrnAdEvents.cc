#include "measurement/session/OMIDQuilbrnAdEvents.h"

#include "measurement/sdk/OMIDQuilbrnError.h"

namespace {
namespace Event = OMIDQuilbrnSessionEvent;
namespace C = OMIDQuilbrnErrorCode;

bool refuse(platform::Error* error, int code) {
  OMIDQuilbrnError::setOMIDErrorFor(error, code);
  return false;
}
}  // namespace

std::shared_ptr<OMIDQuilbrnAdEvents> OMIDQuilbrnAdEvents::initWithAdSession(
    std::shared_ptr<OMIDQuilbrnAdSession> adSession, platform::Error* error) {
  if (!adSession) {
    refuse(error, C::NoAdSession);
    return nullptr;
  }
  if (!adSession->eventFilter().acceptEventWithCode(Event::AdEventsCreated)) {
    refuse(error, C::EventFilterRefused);
    return nullptr;
  }
  return std::shared_ptr<OMIDQuilbrnAdEvents>(new OMIDQuilbrnAdEvents(std::move(adSession)));
}

bool OMIDQuilbrnAdEvents::impressionOccurredWithError(platform::Error* error) {
  if (adSession_->configuration()->impressionOwner() != OMIDQuilbrnNativeOwner) {
    return refuse(error, C::ImpressionOwnerNotNative);
  }
  auto& filter = adSession_->eventFilter();
  if (!filter.acceptEventWithCode(Event::Impression)) return refuse(error, C::EventFilterRefused);
  if (!filter.acceptAnyEventWithRequiredEventCodes(Event::Start)) adSession_->start();
  adSession_->adEventsPublisher().publishImpressionEvent();
  return true;
}

bool OMIDQuilbrnAdEvents::acceptLoaded(platform::Error* error) {
  if (adSession_->configuration()->impressionOwner() != OMIDQuilbrnNativeOwner) {
    return refuse(error, C::ImpressionOwnerNotNative);
  }
  if (!adSession_->eventFilter().acceptEventWithCode(Event::Loaded)) return refuse(error, C::EventFilterRefused);
  return true;
}

bool OMIDQuilbrnAdEvents::loadedWithError(platform::Error* error) {
  if (!acceptLoaded(error)) return false;
  adSession_->adEventsPublisher().publishLoadedEvent();
  return true;
}

bool OMIDQuilbrnAdEvents::loadedWithVastProperties(const OMIDQuilbrnVASTProperties& vastProperties,
                                                   platform::Error* error) {
  if (!acceptLoaded(error)) return false;
  adSession_->adEventsPublisher().publishLoadedEventWithVastProperties(vastProperties);
  return true;
}
