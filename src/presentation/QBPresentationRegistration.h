#pragma once
// Start-up registration of the presentation library with the own-network
// core, which reaches it only through the interfaces it declares.

namespace qb::presentation {

// Registers the in-app store session (QBAppStoreInsideSession) as the core's
// store session. Idempotent; any thread.
void registerWithOwnNetwork();

}  // namespace qb::presentation
