#include "measurement/session/OMIDQuilbrnAdSession.h"

#include "measurement/executor/OMIDQuilbrnJSExecutorFactory.h"
#include "measurement/sdk/OMIDQuilbrnError.h"
#include "measurement/sdk/OMIDQuilbrnMethodInvoker.h"
#include "measurement/sdk/OMIDQuilbrnSDK.h"
#include "measurement/session/OMIDQuilbrnAdSessionRegistry.h"
#include "measurement/state/OMIDQuilbrnActivityMonitor.h"
#include "platform/audio_session.h"
#include "platform/ui/application.h"
#include "platform/utf8.h"
#include "platform/crypto.h"

namespace {

namespace Event = OMIDQuilbrnSessionEvent;

// One or more ASCII letters, digits and spaces.
bool isWellFormedDetailedReason(const std::string& reason) {
  if (reason.empty()) return false;
  for (const char c : reason) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

std::shared_ptr<OMIDQuilbrnAdSession> OMIDQuilbrnAdSession::initWithConfiguration(
    std::shared_ptr<OMIDQuilbrnAdSessionConfiguration> configuration,
    std::shared_ptr<OMIDQuilbrnAdSessionContext> context, platform::Error* error) {
  if (!context) {
    OMIDQuilbrnError::setOMIDErrorFor(error, OMIDQuilbrnErrorCode::NoContext);
    return nullptr;
  }
  std::shared_ptr<OMIDQuilbrnAdSession> session(new OMIDQuilbrnAdSession);
  session->identifier_ = platform::uuidV4();
  session->context_ = std::move(context);
  session->configuration_ =
      configuration ? std::move(configuration) : OMIDQuilbrnAdSessionConfiguration::blankConfiguration();
  session->bridge_ =
      OMIDQuilbrnBridge::initWithJSExecutor(OMIDQuilbrnJSExecutorFactory::JSExecutorForContext(*session->context_));
  session->bridge_->publishInitWithConfiguration(*session->configuration_);
  session->eventFilter_ = std::make_unique<OMIDQuilbrnEventFilter>(Event::Finish);
  session->statePublisher_ = OMIDQuilbrnAdSessionStatePublisher::initWithCommandPublisher(session->bridge_);
  OMIDQuilbrnMethodInvoker::performSelectorAsync(
      [](OMIDQuilbrnAdSession& self) {
        if (auto registry = OMIDQuilbrnSDK::sharedInstance()->adSessionRegistry()) {
          registry->addAdSession(self.shared_from_this());
        }
      },
      session);
  session->lastPublishedViewStateWasPopulated_.store(true);
  return session;
}

void OMIDQuilbrnAdSession::start() {
  if (!eventFilter_->acceptEventWithCode(Event::Start)) return;
  if (auto monitor = OMIDQuilbrnSDK::sharedInstance()->activityMonitor()) {
    if (const auto date = monitor->lastActivityDate()) statePublisher_->publishLastActivity(*date);
  }
  setDeviceVolume();
  bridge_->publishStartEventWithAdSessionId(identifier_, context_->toJSON(), context_->resourcesJSON(),
                                            context_->injectedResourcesJSON());
  OMIDQuilbrnMethodInvoker::performSelectorAsync(
      [](OMIDQuilbrnAdSession& self) {
        if (auto registry = self.delegate()) registry->adSessionDidStart(self.shared_from_this());
      },
      shared_from_this());
}

void OMIDQuilbrnAdSession::finish() {
  if (!eventFilter_->acceptEventWithCode(Event::Finish)) return;
  bridge_->publishFinishEvent();
  if (auto light = std::dynamic_pointer_cast<OMIDQuilbrnLightJSExecutor>(bridge_->jsExecutor())) {
    light->timer()->cancelAllTimers();
  }
  OMIDQuilbrnMethodInvoker::performSelectorAsync(
      [](OMIDQuilbrnAdSession& self) {
        if (auto registry = self.delegate()) registry->adSessionDidFinish(self.shared_from_this());
      },
      shared_from_this());
}

void OMIDQuilbrnAdSession::setMainAdView(const std::shared_ptr<platform::View>& adView) {
  if (eventFilter_->isFinalEventAccepted()) return;
  OMIDQuilbrnMethodInvoker::performSelectorSync(
      [](OMIDQuilbrnAdSession& self, const std::shared_ptr<platform::View>& view) { self.internal_setMainAdView(view); },
      shared_from_this(), adView);
}

void OMIDQuilbrnAdSession::internal_setMainAdView(const std::shared_ptr<platform::View>& adView) {
  if (mainAdView_.lock() == adView) return;
  mainAdView_ = adView;
  statePublisher_->cleanupAdState();
  if (!adView) return;
  if (auto registry = delegate()) registry->adSession(shared_from_this(), adView);
}

bool OMIDQuilbrnAdSession::addFriendlyObstruction(const std::shared_ptr<platform::View>& obstructionView,
                                                  OMIDQuilbrnFriendlyObstructionType purpose,
                                                  const std::optional<std::string>& detailedReason,
                                                  platform::Error* error) {
  namespace C = OMIDQuilbrnErrorCode;
  if (eventFilter_->isFinalEventAccepted()) return false;
  if (!obstructionView) {
    OMIDQuilbrnError::setOMIDErrorFor(error, C::NoFriendlyObstruction);
    return false;
  }
  if (detailedReason && (platform::utf8::utf16Length(*detailedReason) > kMaxDetailedReasonLength ||
                         !isWellFormedDetailedReason(*detailedReason))) {
    OMIDQuilbrnError::setOMIDErrorFor(error, C::BadDetailedReason);
    return false;
  }
  if (!platform::isMainThread()) {
    OMIDQuilbrnError::setOMIDErrorFor(error, C::NotOnMainThread);
    return false;
  }
  pruneFriendlyObstructions();
  for (const auto& obstruction : friendlyObstructions_) {
    if (obstruction->obstructionView() == obstructionView) return false;
  }
  friendlyObstructions_.push_back(
      OMIDQuilbrnFriendlyObstruction::initWithObstructionView(obstructionView, purpose, detailedReason));
  return true;
}

void OMIDQuilbrnAdSession::removeFriendlyObstruction(const std::shared_ptr<platform::View>& obstructionView) {
  if (eventFilter_->isFinalEventAccepted()) return;
  OMIDQuilbrnMethodInvoker::performSelectorAsync(
      [](OMIDQuilbrnAdSession& self, const std::shared_ptr<platform::View>& view) {
        self.pruneFriendlyObstructions();
        auto& list = self.friendlyObstructions_;
        for (auto it = list.begin(); it != list.end(); ++it) {
          if (view && (*it)->obstructionView() == view) {
            list.erase(it);
            return;
          }
        }
      },
      shared_from_this(), obstructionView);
}

void OMIDQuilbrnAdSession::removeAllFriendlyObstructions() {
  if (eventFilter_->isFinalEventAccepted()) return;
  OMIDQuilbrnMethodInvoker::performSelectorAsync([](OMIDQuilbrnAdSession& self) { self.friendlyObstructions_.clear(); },
                                                 shared_from_this());
}

std::vector<std::shared_ptr<OMIDQuilbrnFriendlyObstruction>> OMIDQuilbrnAdSession::friendlyObstructions() {
  pruneFriendlyObstructions();
  return friendlyObstructions_;
}

void OMIDQuilbrnAdSession::pruneFriendlyObstructions() {
  std::erase_if(friendlyObstructions_, [](const auto& obstruction) { return !obstruction->obstructionView(); });
}

void OMIDQuilbrnAdSession::logErrorWithType(OMIDQuilbrnErrorType type, const std::string& message) {
  if (message.empty() || !eventFilter_->acceptAnyEventWithRequiredEventCodes(0)) return;
  bridge_->publishErrorWithType(type, message);
}

OMIDQuilbrnWindowContainer OMIDQuilbrnAdSession::windowContainer() const {
  if (!OMIDQuilbrnWindowContainer::usesScenes()) return OMIDQuilbrnWindowContainer::application();
  if (auto view = mainAdView()) {
    if (auto window = view->window()) {
      if (auto scene = window->windowScene()) return OMIDQuilbrnWindowContainer::scene(scene);
    }
  }
  const auto& scenes = platform::Application::shared().connectedScenes();
  if (scenes.size() == 1) return OMIDQuilbrnWindowContainer::scene(scenes.front());
  return {};
}

double OMIDQuilbrnAdSession::deviceVolume() { return platform::AudioSession::shared().outputVolume(); }

void OMIDQuilbrnAdSession::setDeviceVolume() { statePublisher_->publishDeviceVolume(deviceVolume()); }
