#pragma once
// The script handler's hold on the shared silent-switch detector. Main queue.
#include <functional>
#include <memory>
#include <string>

class QBNSoundSamplerRingerChecker;

class QBNRingerCheckerController {
 public:
  // Takes the shared detector (made on its first use).
  void prepareRingerChecker();
  // Logs "calling method:startRingerCheckerWithStatusChangedHandler"; when
  // the detector is not detecting yet, `handler` hears its reports from now
  // on and detecting starts. A detector already detecting keeps the handler
  // it has.
  void startRingerCheckerWithStatusChangedHandler(std::function<void(bool silent)> handler);
  // Logs "calling method:stopRingerChecker" and stops detecting.
  void stopRingerChecker();
  // Whether the detector is active (its sound could be made).
  bool isInitiatedSuccessfuly();

  // The detector; fetched from the shared one when the field is empty.
  std::shared_ptr<QBNSoundSamplerRingerChecker> ringerChecker();
  // "class: QBNRingerCheckerController | <message>" through the own
  // network's log (level 1, tag 5).
  void logInfo(const std::string& message) const;

 private:
  std::shared_ptr<QBNSoundSamplerRingerChecker> ringerChecker_;
};
