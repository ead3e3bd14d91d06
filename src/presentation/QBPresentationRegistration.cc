#include "presentation/QBPresentationRegistration.h"

#include "ownnetwork/interfaces/QBAppStoreInsideSessionP.h"
#include "presentation/QBAppStoreInsideSession.h"

namespace qb::presentation {

void registerWithOwnNetwork() { QBAppStoreInsideSessionP::registerSharedInstance(QBAppStoreInsideSession::sharedInstance()); }

}  // namespace qb::presentation
