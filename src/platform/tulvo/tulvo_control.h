#pragma once
// Controls of the Tulvo SDK stand-in: what each call answers, after how long,
// on which thread, and a record of the calls the SDK received and of its log
// lines (the newest 1,000 of each kind, so a long run does not grow without
// bound). Thread-safe.
//
// Answers are scheduled on the platform clock (a TestEnvironment drives them
// with advance()). An answer for the foreign thread is handed, when its delay
// is over, to one long-lived std::thread that no platform queue knows; the
// test waits for it with waitForeignIdle().
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/tulvo/tulvo_sdk.h"
#include "platform/ui.h"

namespace TulvoSDK {

// Where an answer arrives.
enum class CallbackThread {
  GlobalQueue,    // a block on the platform's default global queue
  ForeignThread,  // the stand-in's own thread, outside every platform queue
  Inline,         // on the calling thread, before the SDK call returns (the delay is ignored)
};

struct InitAnswer {
  bool success = true;
  std::optional<std::string> errorMessage = std::nullopt;  // message of onInitError
  double delayMs = 50;
  CallbackThread thread = CallbackThread::GlobalQueue;
};

struct LoadAnswer {
  bool fill = true;
  int errorCode = 204;
  std::optional<std::string> errorMessage = std::string("No fill");
  bool isLoaded = true;  // what the filled ad's isLoaded() answers at first
  double delayMs = 50;
  CallbackThread thread = CallbackThread::GlobalQueue;
};

struct ShowAnswer {
  bool success = true;  // false: failed to show with the code and message below
  int errorCode = 0;
  std::optional<std::string> errorMessage = std::nullopt;
  bool impression = true;
  bool reward = true;  // rewarded ads only
  bool close = true;
  double delayMs = 50;
  CallbackThread thread = CallbackThread::GlobalQueue;
};

enum class AdKind { Rewarded, Interstitial };

struct InitializeCall {
  std::string publisherId;
  std::string securityToken;
};

struct ShowCall {
  AdKind kind;
  platform::ViewControllerRef viewController;
};

struct LogLine {
  std::string tag;
  std::string message;
  bool operator==(const LogLine&) const = default;
};

class Control {
 public:
  static Control& shared();

  // Waits for the foreign thread to go idle, drops every answer not yet given,
  // forgets records, scripts and defaults, and makes the SDK uninitialised.
  void resetForTesting();

  // isSDKInitialized() answers `initialized` from now on (until an answer
  // changes it).
  void setSDKInitialized(bool initialized);
  // getActualSDKVersion() answers `version` ("4.3.0" by default).
  void setSDKVersion(std::string version);
  // Copies Logger lines to standard error (off by default).
  void setEchoLogs(bool echo);

  // Answers for calls without a script of their own.
  void setDefaultInitAnswer(InitAnswer answer);
  void setDefaultLoadAnswer(LoadAnswer answer);
  void setDefaultShowAnswer(ShowAnswer answer);
  // One-off answers, used by the next calls in order (loads of both kinds
  // share one list).
  void scriptInit(InitAnswer answer);
  void scriptLoad(LoadAnswer answer);
  void scriptShow(ShowAnswer answer);

  // Blocks until every answer handed to the foreign thread has been given.
  void waitForeignIdle();
  // Id of the foreign thread (starts it when needed).
  std::thread::id foreignThreadId();

  // Records.
  std::vector<std::string> mediationTexts() const;
  std::vector<InitializeCall> initializeCalls() const;
  // Every SDK entry call in order: "setMediation:<text>",
  // "initialize:<publisherId>:<token>", "load:rewarded", "load:interstitial",
  // "show:rewarded", "show:interstitial".
  std::vector<std::string> callLog() const;
  int loadCount(AdKind kind) const;
  std::vector<ShowCall> showCalls() const;
  std::vector<LogLine> logLines() const;
  // The ads made by fills, in order.
  std::vector<std::shared_ptr<RewardedAd>> rewardedAds() const;
  std::vector<std::shared_ptr<InterstitialAd>> interstitialAds() const;

  // Used by the SDK classes.
  bool sdkInitialized() const;
  std::string sdkVersion() const;
  void recordMediation(const std::string& text);
  InitAnswer takeInitAnswer(const InitializeCall& call);
  LoadAnswer takeLoadAnswer(AdKind kind);
  ShowAnswer takeShowAnswer(AdKind kind, const platform::ViewControllerRef& viewController);
  void recordAd(const std::shared_ptr<RewardedAd>& ad);
  void recordAd(const std::shared_ptr<InterstitialAd>& ad);
  void recordLog(const std::string& tag, const std::string& message);
  // Runs `deliver` as `thread` says, after delayMs; dropped when a reset
  // comes first.
  void schedule(CallbackThread thread, double delayMs, std::function<void()> deliver);
  // Counts resets; an answer made before a reset is dropped.
  uint64_t generation() const;
  // The SDK becomes initialised, unless a reset came after `generation`.
  void markInitialized(uint64_t generation);

 private:
  Control() = default;
  void runForeign(std::function<void()> task);
  void foreignLoop();

  mutable std::mutex m_;
  uint64_t generation_ = 0;
  bool initialized_ = false;
  std::string version_ = "4.3.0";
  bool echo_ = false;
  InitAnswer defaultInit_;
  LoadAnswer defaultLoad_;
  ShowAnswer defaultShow_;
  std::deque<InitAnswer> initScripts_;
  std::deque<LoadAnswer> loadScripts_;
  std::deque<ShowAnswer> showScripts_;
  // The records keep the newest entries only (see kMaxRecords in the .cc).
  std::deque<std::string> mediation_;
  std::deque<InitializeCall> initCalls_;
  std::deque<std::string> callLog_;
  int rewardedLoads_ = 0;
  int interstitialLoads_ = 0;
  std::deque<ShowCall> showCalls_;
  std::deque<LogLine> logLines_;
  std::deque<std::shared_ptr<RewardedAd>> rewardedAds_;
  std::deque<std::shared_ptr<InterstitialAd>> interstitialAds_;

  // Foreign thread.
  std::mutex fm_;
  std::condition_variable fcv_;
  std::deque<std::function<void()>> foreignTasks_;
  bool foreignBusy_ = false;
  std::optional<std::thread> foreign_;
  std::thread::id foreignId_;
};

}  // namespace TulvoSDK
