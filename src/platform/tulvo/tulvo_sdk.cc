#include "platform/tulvo/tulvo_sdk.h"

#include <cstdio>
#include <utility>

#include "platform/dispatch.h"
#include "platform/tulvo/tulvo_control.h"

namespace TulvoSDK {
namespace {

// The stand-in keeps at most this many entries of each record, log lines
// included (oldest dropped), so a long run does not grow without bound.
constexpr size_t kMaxRecords = 1'000;

// Appends to a bounded record; the entry that falls out is handed back, to be
// released outside the lock.
template <class T>
T keepNewest(std::deque<T>& records, T entry) {
  T dropped{};
  if (records.size() >= kMaxRecords) {
    dropped = std::move(records.front());
    records.pop_front();
  }
  records.push_back(std::move(entry));
  return dropped;
}

template <class T>
std::vector<T> listOf(const std::deque<T>& records) {
  return std::vector<T>(records.begin(), records.end());
}

const char* kindName(AdKind kind) { return kind == AdKind::Rewarded ? "rewarded" : "interstitial"; }

}  // namespace

// ===================================================================== Control

Control& Control::shared() {
  static Control* control = new Control();  // never destroyed: answers may still be in flight at exit
  return *control;
}

void Control::resetForTesting() {
  waitForeignIdle();
  std::deque<std::shared_ptr<RewardedAd>> rewarded;
  std::deque<std::shared_ptr<InterstitialAd>> interstitial;
  std::deque<ShowCall> shows;
  {
    std::lock_guard lock(m_);
    ++generation_;
    initialized_ = false;
    version_ = "4.3.0";
    echo_ = false;
    defaultInit_ = InitAnswer{};
    defaultLoad_ = LoadAnswer{};
    defaultShow_ = ShowAnswer{};
    initScripts_.clear();
    loadScripts_.clear();
    showScripts_.clear();
    mediation_.clear();
    initCalls_.clear();
    callLog_.clear();
    rewardedLoads_ = 0;
    interstitialLoads_ = 0;
    logLines_.clear();
    // Objects are released outside the lock: their destructors may run
    // outside code.
    shows.swap(showCalls_);
    rewarded.swap(rewardedAds_);
    interstitial.swap(interstitialAds_);
  }
}

void Control::setSDKInitialized(bool initialized) {
  std::lock_guard lock(m_);
  initialized_ = initialized;
}

void Control::setSDKVersion(std::string version) {
  std::lock_guard lock(m_);
  version_ = std::move(version);
}

void Control::setEchoLogs(bool echo) {
  std::lock_guard lock(m_);
  echo_ = echo;
}

void Control::setDefaultInitAnswer(InitAnswer answer) {
  std::lock_guard lock(m_);
  defaultInit_ = std::move(answer);
}

void Control::setDefaultLoadAnswer(LoadAnswer answer) {
  std::lock_guard lock(m_);
  defaultLoad_ = std::move(answer);
}

void Control::setDefaultShowAnswer(ShowAnswer answer) {
  std::lock_guard lock(m_);
  defaultShow_ = std::move(answer);
}

void Control::scriptInit(InitAnswer answer) {
  std::lock_guard lock(m_);
  initScripts_.push_back(std::move(answer));
}

void Control::scriptLoad(LoadAnswer answer) {
  std::lock_guard lock(m_);
  loadScripts_.push_back(std::move(answer));
}

void Control::scriptShow(ShowAnswer answer) {
  std::lock_guard lock(m_);
  showScripts_.push_back(std::move(answer));
}

std::vector<std::string> Control::mediationTexts() const {
  std::lock_guard lock(m_);
  return listOf(mediation_);
}

std::vector<InitializeCall> Control::initializeCalls() const {
  std::lock_guard lock(m_);
  return listOf(initCalls_);
}

std::vector<std::string> Control::callLog() const {
  std::lock_guard lock(m_);
  return listOf(callLog_);
}

int Control::loadCount(AdKind kind) const {
  std::lock_guard lock(m_);
  return kind == AdKind::Rewarded ? rewardedLoads_ : interstitialLoads_;
}

std::vector<ShowCall> Control::showCalls() const {
  std::lock_guard lock(m_);
  return listOf(showCalls_);
}

std::vector<LogLine> Control::logLines() const {
  std::lock_guard lock(m_);
  return listOf(logLines_);
}

std::vector<std::shared_ptr<RewardedAd>> Control::rewardedAds() const {
  std::lock_guard lock(m_);
  return listOf(rewardedAds_);
}

std::vector<std::shared_ptr<InterstitialAd>> Control::interstitialAds() const {
  std::lock_guard lock(m_);
  return listOf(interstitialAds_);
}

bool Control::sdkInitialized() const {
  std::lock_guard lock(m_);
  return initialized_;
}

std::string Control::sdkVersion() const {
  std::lock_guard lock(m_);
  return version_;
}

void Control::recordMediation(const std::string& text) {
  std::lock_guard lock(m_);
  keepNewest(mediation_, text);
  keepNewest(callLog_, "setMediation:" + text);
}

InitAnswer Control::takeInitAnswer(const InitializeCall& call) {
  std::lock_guard lock(m_);
  keepNewest(initCalls_, call);
  keepNewest(callLog_, "initialize:" + call.publisherId + ":" + call.securityToken);
  if (initScripts_.empty()) return defaultInit_;
  InitAnswer answer = std::move(initScripts_.front());
  initScripts_.pop_front();
  return answer;
}

LoadAnswer Control::takeLoadAnswer(AdKind kind) {
  std::lock_guard lock(m_);
  (kind == AdKind::Rewarded ? rewardedLoads_ : interstitialLoads_)++;
  keepNewest(callLog_, std::string("load:") + kindName(kind));
  if (loadScripts_.empty()) return defaultLoad_;
  LoadAnswer answer = std::move(loadScripts_.front());
  loadScripts_.pop_front();
  return answer;
}

ShowAnswer Control::takeShowAnswer(AdKind kind, const platform::ViewControllerRef& viewController) {
  ShowCall dropped{};  // released after the lock
  std::lock_guard lock(m_);
  dropped = keepNewest(showCalls_, ShowCall{kind, viewController});
  keepNewest(callLog_, std::string("show:") + kindName(kind));
  if (showScripts_.empty()) return defaultShow_;
  ShowAnswer answer = std::move(showScripts_.front());
  showScripts_.pop_front();
  return answer;
}

void Control::recordAd(const std::shared_ptr<RewardedAd>& ad) {
  std::shared_ptr<RewardedAd> dropped;  // released after the lock
  std::lock_guard lock(m_);
  dropped = keepNewest(rewardedAds_, ad);
}

void Control::recordAd(const std::shared_ptr<InterstitialAd>& ad) {
  std::shared_ptr<InterstitialAd> dropped;  // released after the lock
  std::lock_guard lock(m_);
  dropped = keepNewest(interstitialAds_, ad);
}

void Control::recordLog(const std::string& tag, const std::string& message) {
  bool echo;
  {
    std::lock_guard lock(m_);
    keepNewest(logLines_, LogLine{tag, message});
    echo = echo_;
  }
  if (echo) std::fprintf(stderr, "[Tulvo] %s: %s\n", tag.c_str(), message.c_str());
}

uint64_t Control::generation() const {
  std::lock_guard lock(m_);
  return generation_;
}

void Control::markInitialized(uint64_t generation) {
  std::lock_guard lock(m_);
  if (generation == generation_) initialized_ = true;
}

void Control::schedule(CallbackThread thread, double delayMs, std::function<void()> deliver) {
  const uint64_t gen = generation();
  // The control is never destroyed, so blocks reach it through shared().
  auto guarded = [gen, deliver = std::move(deliver)] {
    if (Control::shared().generation() != gen) return;
    deliver();
  };
  switch (thread) {
    case CallbackThread::Inline:
      guarded();
      return;
    case CallbackThread::GlobalQueue:
      if (delayMs <= 0) {
        platform::globalQueue()->async(std::move(guarded));
      } else {
        platform::globalQueue()->after(delayMs, std::move(guarded));
      }
      return;
    case CallbackThread::ForeignThread:
      if (delayMs <= 0) {
        runForeign(std::move(guarded));
      } else {
        platform::globalQueue()->after(delayMs, [g = std::move(guarded)]() mutable {
          Control::shared().runForeign(std::move(g));
        });
      }
      return;
  }
}

// -------------------------------------------------------------- foreign thread

void Control::runForeign(std::function<void()> task) {
  std::lock_guard lock(fm_);
  if (!foreign_) {
    foreign_.emplace([] { Control::shared().foreignLoop(); });
    foreignId_ = foreign_->get_id();
    foreign_->detach();  // lives as long as the process, like the control
  }
  foreignTasks_.push_back(std::move(task));
  fcv_.notify_all();
}

void Control::foreignLoop() {
  platform::setCurrentThreadName("tulvo-sdk");
  std::unique_lock lock(fm_);
  for (;;) {
    fcv_.wait(lock, [this] { return !foreignTasks_.empty(); });
    std::function<void()> task = std::move(foreignTasks_.front());
    foreignTasks_.pop_front();
    foreignBusy_ = true;
    lock.unlock();
    task();
    task = nullptr;  // captured objects die on this thread, before the idle notice
    lock.lock();
    foreignBusy_ = false;
    fcv_.notify_all();
  }
}

void Control::waitForeignIdle() {
  std::unique_lock lock(fm_);
  fcv_.wait(lock, [this] { return foreignTasks_.empty() && !foreignBusy_; });
}

std::thread::id Control::foreignThreadId() {
  {
    std::lock_guard lock(fm_);
    if (foreign_) return foreignId_;
  }
  runForeign([] {});
  waitForeignIdle();
  std::lock_guard lock(fm_);
  return foreignId_;
}

// ================================================================== SDK calls

std::shared_ptr<Tulvo> Tulvo::instance() {
  static auto* shared = new std::shared_ptr<Tulvo>(std::make_shared<Tulvo>());
  return *shared;
}

bool Tulvo::isSDKInitialized() const { return Control::shared().sdkInitialized(); }

void Tulvo::setMediation(const std::string& mediation) { Control::shared().recordMediation(mediation); }

void Tulvo::initializeWithPublisherID(const std::string& publisherId, const std::string& securityToken,
                                      std::weak_ptr<TulvoInitDelegate> delegate) {
  Control& control = Control::shared();
  const uint64_t gen = control.generation();
  InitAnswer answer = control.takeInitAnswer(InitializeCall{publisherId, securityToken});
  control.schedule(answer.thread, answer.delayMs, [answer, gen, delegate = std::move(delegate)] {
    if (answer.success) {
      Control::shared().markInitialized(gen);
      if (auto d = delegate.lock()) d->onInitSuccess();
    } else if (auto d = delegate.lock()) {
      d->onInitError(answer.errorMessage);
    }
  });
}

std::string DeviceUtils::getActualSDKVersion() { return Control::shared().sdkVersion(); }

void Logger::d(const std::string& tag, const std::string& message) { Control::shared().recordLog(tag, message); }

// ------------------------------------------------------------------------ ads
//
// Rewarded and interstitial ads load and show the same way; only the names of
// the delegate calls differ (and an interstitial has no reward).

namespace {

using RewardedAdRef = std::shared_ptr<RewardedAd>;
using InterstitialAdRef = std::shared_ptr<InterstitialAd>;

void tellLoaded(TulvoRewardedDelegate& d, const RewardedAdRef& ad) { d.onRewardedAdLoadedWithAd(ad); }
void tellLoaded(TulvoInterstitialDelegate& d, const InterstitialAdRef& ad) { d.onInterstitialAdLoadedWithAd(ad); }
void tellFailedToLoad(TulvoRewardedDelegate& d, const TulvoError& e) { d.onRewardedAdFailedToLoadWithError(e); }
void tellFailedToLoad(TulvoInterstitialDelegate& d, const TulvoError& e) { d.onInterstitialAdFailedToLoadWithError(e); }
void tellShown(TulvoRewardedDelegate& d, const RewardedAdRef& ad) { d.onRewardedAdShownWithAd(ad); }
void tellShown(TulvoInterstitialDelegate& d, const InterstitialAdRef& ad) { d.onInterstitialAdShownWithAd(ad); }
void tellFailedToShow(TulvoRewardedDelegate& d, const TulvoError& e) { d.onRewardedAdFailedToShowWithError(e); }
void tellFailedToShow(TulvoInterstitialDelegate& d, const TulvoError& e) { d.onInterstitialAdFailedToShowWithError(e); }
void tellImpression(TulvoRewardedDelegate& d) { d.onRewardedImpression(); }
void tellImpression(TulvoInterstitialDelegate& d) { d.onInterstitialImpression(); }
void tellReward(TulvoRewardedDelegate& d, const RewardedAdRef& ad) { d.onRewardReceivedWithAd(ad); }
void tellReward(TulvoInterstitialDelegate&, const InterstitialAdRef&) {}
void tellClosed(TulvoRewardedDelegate& d, const RewardedAdRef& ad) { d.onRewardedAdClosedWithAd(ad); }
void tellClosed(TulvoInterstitialDelegate& d, const InterstitialAdRef& ad) { d.onInterstitialAdClosedWithAd(ad); }

template <class Ad, class Delegate>
void loadAd(AdKind kind, std::weak_ptr<Delegate> delegate) {
  LoadAnswer answer = Control::shared().takeLoadAnswer(kind);
  Control::shared().schedule(answer.thread, answer.delayMs, [answer, delegate = std::move(delegate)] {
    if (answer.fill) {
      auto ad = std::make_shared<Ad>(delegate, answer.isLoaded);
      Control::shared().recordAd(ad);
      if (auto d = delegate.lock()) tellLoaded(*d, ad);
    } else if (auto d = delegate.lock()) {
      tellFailedToLoad(*d, TulvoError{answer.errorCode, answer.errorMessage});
    }
  });
}

template <class Ad>
void showAd(AdKind kind, std::shared_ptr<Ad> self, std::atomic<bool>& loaded,
            const platform::ViewControllerRef& viewController) {
  ShowAnswer answer = Control::shared().takeShowAnswer(kind, viewController);
  // An ad that is not loaded cannot be shown, whatever the script says; a
  // successful show uses the ad up.
  if (!loaded.load()) answer = ShowAnswer{false, 3, std::string("Ad is not ready"), false, false, false,
                                          answer.delayMs, answer.thread};
  if (answer.success) loaded.store(false);
  Control::shared().schedule(answer.thread, answer.delayMs, [answer, self = std::move(self)] {
    auto d = self->delegate().lock();
    if (!d) return;
    if (!answer.success) {
      tellFailedToShow(*d, TulvoError{answer.errorCode, answer.errorMessage});
      return;
    }
    tellShown(*d, self);
    if (answer.impression) tellImpression(*d);
    if (answer.reward) tellReward(*d, self);
    if (answer.close) tellClosed(*d, self);
  });
}

}  // namespace

void RewardedAd::load(std::weak_ptr<TulvoRewardedDelegate> delegate) {
  loadAd<RewardedAd>(AdKind::Rewarded, std::move(delegate));
}

void RewardedAd::show(const platform::ViewControllerRef& viewController) {
  showAd(AdKind::Rewarded, shared_from_this(), loaded_, viewController);
}

void InterstitialAd::load(std::weak_ptr<TulvoInterstitialDelegate> delegate) {
  loadAd<InterstitialAd>(AdKind::Interstitial, std::move(delegate));
}

void InterstitialAd::show(const platform::ViewControllerRef& viewController) {
  showAd(AdKind::Interstitial, shared_from_this(), loaded_, viewController);
}

}  // namespace TulvoSDK
