#pragma once
// The session's mediation mode: normal mediation or demand-only (instances
// addressed by id). Set once by initialisation; the first mode set wins and
// later attempts to change it are refused.
//
// Thread-safe; answers on the calling thread.
#include <atomic>

class QBDemandOnlyModeHelper {
 public:
  enum class Mode { Unknown = 0, Mediation = 1, DemandOnly = 2 };
  static const char* modeName(Mode mode);

  static QBDemandOnlyModeHelper& sharedInstance();
  // Back to Unknown.
  void resetForTesting();

  // Sets the mode when none is set yet. True when the session's mode is now
  // `mode` (set by this call or earlier); false when another mode was set
  // first (or `mode` is Unknown).
  bool setMode(Mode mode);
  Mode mode() const { return mode_.load(); }
  bool isDemandOnlyMode() const { return mode() == Mode::DemandOnly; }
  bool isMediationMode() const { return mode() == Mode::Mediation; }

 private:
  QBDemandOnlyModeHelper() = default;
  std::atomic<Mode> mode_{Mode::Unknown};
};
