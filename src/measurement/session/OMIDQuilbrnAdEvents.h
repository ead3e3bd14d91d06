#pragma once
// The impression and loaded events of a session whose impressions native
// code reports (impression owner native). One object per session.
#include <memory>

#include "measurement/session/OMIDQuilbrnAdSession.h"
#include "measurement/session/OMIDQuilbrnVASTProperties.h"
#include "platform/result.h"

class OMIDQuilbrnAdEvents {
 public:
  // No session: 1507; a second object for the session, or one after its
  // finish: 1505. Null with the error.
  static std::shared_ptr<OMIDQuilbrnAdEvents> initWithAdSession(std::shared_ptr<OMIDQuilbrnAdSession> adSession,
                                                                platform::Error* error);

  // The impression owner is not native: 1503; a second impression, or one
  // after the finish: 1505. An unstarted session is started first, so the
  // script hears "startSession" before "publishImpressionEvent".
  bool impressionOccurredWithError(platform::Error* error);
  // "publishLoadedEvent" (once, before or after the start; it does not start
  // the session): 1503 and 1505 as above.
  bool loadedWithError(platform::Error* error);
  // The same with the VAST properties.
  bool loadedWithVastProperties(const OMIDQuilbrnVASTProperties& vastProperties, platform::Error* error);

  const std::shared_ptr<OMIDQuilbrnAdSession>& adSession() const { return adSession_; }

 private:
  explicit OMIDQuilbrnAdEvents(std::shared_ptr<OMIDQuilbrnAdSession> adSession) : adSession_(std::move(adSession)) {}
  bool acceptLoaded(platform::Error* error);

  std::shared_ptr<OMIDQuilbrnAdSession> adSession_;
};
