#pragma once
// The application's background and foreground notices for one owner: while
// this object lives, "UIApplicationDidEnterBackgroundNotification" calls the
// owner's didEnterBackground() and
// "UIApplicationWillEnterForegroundNotification" its willEnterForeground().
// Handlers run on the poster's thread, so a pause takes effect before the post
// returns; an owner that is gone is skipped. Destroying it stops both.
#include <memory>

#include "platform/notifications.h"

class QBLifeCycleObservation {
 public:
  QBLifeCycleObservation() = default;
  ~QBLifeCycleObservation() {
    auto& center = platform::NotificationCenter::defaultCenter();
    center.removeObserver(background_);
    center.removeObserver(foreground_);
  }
  QBLifeCycleObservation(const QBLifeCycleObservation&) = delete;
  QBLifeCycleObservation& operator=(const QBLifeCycleObservation&) = delete;

  template <class Owner>
  void observe(const std::shared_ptr<Owner>& owner) {
    std::weak_ptr<Owner> weak = owner;
    auto& center = platform::NotificationCenter::defaultCenter();
    background_ = center.addObserver(std::weak_ptr<const void>(weak),
                                     platform::kUIApplicationDidEnterBackgroundNotification, nullptr,
                                     [weak](const platform::Notification&) {
                                       if (auto self = weak.lock()) self->didEnterBackground();
                                     });
    foreground_ = center.addObserver(std::weak_ptr<const void>(weak),
                                     platform::kUIApplicationWillEnterForegroundNotification, nullptr,
                                     [weak](const platform::Notification&) {
                                       if (auto self = weak.lock()) self->willEnterForeground();
                                     });
  }

 private:
  platform::ObserverToken background_ = 0;
  platform::ObserverToken foreground_ = 0;
};
