#include "quillborne/host/Application.h"

#include "platform/audio_session.h"
#include "platform/json.h"
#include "platform/storage.h"
#include "platform/system_sounds.h"
#include "platform/ui.h"

namespace quillborne::host {

bool Application::setDataFolder(const std::string& path) {
  if (path.empty() || !platform::createDirectories(path)) return false;
  platform::setDataRoot(path);
  return true;
}

std::string Application::dataFolder() { return platform::dataRoot(); }

bool Application::setInformationDictionary(const std::string& jsonText) {
  auto parsed = platform::parseJson(jsonText);
  if (!parsed || !parsed.value().is_object()) return false;
  platform::setAppInfo(std::move(parsed.value()));
  return true;
}

std::string Application::informationDictionary() { return platform::dumpJson(platform::appInfo()); }

bool Application::enterBackground() { return platform::Application::shared().enterBackground(); }
bool Application::enterForeground() { return platform::Application::shared().enterForeground(); }
bool Application::resignActive() { return platform::Application::shared().resignActive(); }
bool Application::becomeActive() { return platform::Application::shared().becomeActive(); }
void Application::terminate() { platform::Application::shared().terminate(); }

void Application::setSilentSwitchOn(bool silent) { platform::SystemSounds::shared().setSilentSwitchOn(silent); }

void Application::setBackgroundTimeBudget(double seconds) {
  platform::Application::shared().setBackgroundTimeBudget(seconds);
}

void Application::setOutputVolume(double volume) { platform::AudioSession::shared().setOutputVolume(volume); }

void Application::setOtherAudioPlaying(bool playing) { platform::AudioSession::shared().setOtherAudioPlaying(playing); }

void Application::postAudioInterruption(bool began, bool shouldResume) {
  platform::AudioSession::shared().postInterruption(
      began ? platform::AudioSessionInterruptionType::Began : platform::AudioSessionInterruptionType::Ended,
      shouldResume ? platform::kAudioSessionInterruptionOptionShouldResume : 0);
}

}  // namespace quillborne::host
