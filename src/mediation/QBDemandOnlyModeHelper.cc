#include "mediation/QBDemandOnlyModeHelper.h"

#include <string>

#include "foundation/QBLoggerManager.h"

const char* QBDemandOnlyModeHelper::modeName(Mode mode) {
  switch (mode) {
    case Mode::Mediation: return "MEDIATION";
    case Mode::DemandOnly: return "DEMAND_ONLY";
    default: return "UNKNOWN";
  }
}

QBDemandOnlyModeHelper& QBDemandOnlyModeHelper::sharedInstance() {
  static QBDemandOnlyModeHelper& helper = *new QBDemandOnlyModeHelper();  // never destroyed
  return helper;
}

void QBDemandOnlyModeHelper::resetForTesting() { mode_.store(Mode::Unknown); }

bool QBDemandOnlyModeHelper::setMode(Mode mode) {
  if (mode == Mode::Unknown) return false;
  Mode expected = Mode::Unknown;
  if (mode_.compare_exchange_strong(expected, mode)) {
    QB_LOG(std::string("mode ") + modeName(Mode::Unknown) + " -> " + modeName(mode), QBLogLevelVerbose, QBLogTagInternal);
    return true;
  }
  if (expected == mode) return true;
  QB_LOG(std::string("mode stays ") + modeName(expected) + ", refused " + modeName(mode), QBLogLevelError, QBLogTagInternal);
  return false;
}
