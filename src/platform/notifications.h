#pragma once
// Process-wide notification centre and the application life cycle.
//
// Observers are held weakly: each observation names an owner (any object kept
// by a shared_ptr); once the owner is gone the observation is skipped and
// dropped, never called. Observations without an owner live until removed by
// their token. Handlers are never called while the centre holds its lock, so
// a handler may add or remove observers and post further notifications.
#include <any>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "platform/dispatch.h"

namespace platform {

// The library's one JSON type (also declared by platform/json.h).
using Json = nlohmann::ordered_json;

// Names of the application life-cycle and audio notices.
inline constexpr const char* kUIApplicationDidBecomeActiveNotification =
    "UIApplicationDidBecomeActiveNotification";
inline constexpr const char* kUIApplicationWillResignActiveNotification =
    "UIApplicationWillResignActiveNotification";
inline constexpr const char* kUIApplicationDidEnterBackgroundNotification =
    "UIApplicationDidEnterBackgroundNotification";
inline constexpr const char* kUIApplicationWillEnterForegroundNotification =
    "UIApplicationWillEnterForegroundNotification";
inline constexpr const char* kUIApplicationWillTerminateNotification =
    "UIApplicationWillTerminateNotification";
inline constexpr const char* kAVAudioSessionRouteChangeNotification =
    "AVAudioSessionRouteChangeNotification";

// One posted notice. userInfo() is an empty JSON value (null) when the poster
// gave none; object() is what the notice is about (the poster's choice, a
// shared_ptr of its type), empty when none.
class Notification {
 public:
  Notification(std::string name, std::shared_ptr<const Json> userInfo, std::any object = {});

  const std::string& name() const { return name_; }
  const Json& userInfo() const;
  bool hasUserInfo() const { return userInfo_ != nullptr; }
  const std::any& object() const { return object_; }

 private:
  std::string name_;
  std::shared_ptr<const Json> userInfo_;
  std::any object_;
};

using NotificationHandler = std::function<void(const Notification&)>;

// Identifies one observation; 0 is never issued.
using ObserverToken = uint64_t;

class NotificationCenter {
 public:
  NotificationCenter();
  ~NotificationCenter();
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  // The process-wide centre. The object lives for the whole process.
  static NotificationCenter& defaultCenter();
  // Drops every observation of the default centre (deliveries already queued
  // for them are skipped).
  static void resetDefaultForTesting();

  // Observes notices called `name` ("" observes every notice) while `owner` is
  // alive. `queue` nullptr: the handler runs on the poster's thread, inside
  // post(). Otherwise it runs later on `queue` (post() never waits for it);
  // a queued delivery is skipped when the observation was removed or the
  // owner died in the meantime. Returns the observation's token.
  ObserverToken addObserver(std::weak_ptr<const void> owner, std::string name, QueueRef queue,
                            NotificationHandler handler);
  // Same, without an owner: the observation lives until removeObserver(token).
  ObserverToken addObserver(std::string name, QueueRef queue, NotificationHandler handler);

  // Ends one observation. Once this returns, the handler is not started again
  // by any thread (a call already running on another thread completes).
  void removeObserver(ObserverToken token);
  // Ends every observation of `owner` (works after the owner has died too).
  void removeObserver(const std::weak_ptr<const void>& owner);
  // Ends the observations of `owner` for notices called `name`.
  void removeObserver(const std::weak_ptr<const void>& owner, const std::string& name);

  // Delivers a notice to the matching observations in the order they were
  // added: direct ones are called before post() returns, queued ones are
  // posted to their queues. Observations whose owner died are dropped.
  void post(const std::string& name);
  void post(const std::string& name, const Json& userInfo);
  // The same with the object the notice is about (a window scene, ...).
  void postWithObject(const std::string& name, std::any object);

  // Observations currently held (dead owners not yet pruned included).
  size_t observerCountForTesting() const;

 private:
  struct Entry;
  void deliver(const std::string& name, std::shared_ptr<const Json> userInfo, std::any object = {});
  ObserverToken add(std::weak_ptr<const void> owner, bool hasOwner, std::string name,
                    QueueRef queue, NotificationHandler handler);
  void clear();

  mutable std::mutex m_;
  std::vector<std::shared_ptr<Entry>> entries_;
  ObserverToken nextToken_ = 1;
};

// UIApplicationState, with the platform's values.
enum class ApplicationState { Active = 0, Inactive = 1, Background = 2 };
const char* applicationStateName(ApplicationState state);

}  // namespace platform

// The application object (life cycle, windows, URL opening).
#include "platform/ui/application.h"
