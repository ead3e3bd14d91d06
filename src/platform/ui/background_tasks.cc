// The application's background tasks and its background time budget.
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/clock.h"
#include "platform/dispatch.h"
#include "platform/ui/application.h"

namespace platform {

namespace {
constexpr double kDefaultBudgetSeconds = 30;
}  // namespace

struct Application::BackgroundTasks {
  struct Task {
    BackgroundTaskIdentifier identifier;
    std::function<void()> expirationHandler;
    bool handlerRan = false;
  };

  std::mutex mutex;
  double budgetSeconds = kDefaultBudgetSeconds;
  std::optional<int64_t> deadlineMs;  // monotonic; set while in the background
  bool expired = false;
  std::shared_ptr<Timer> expiryTimer;
  uint64_t generation = 0;  // a budget that ends (or a reset) makes older expiries stale
  BackgroundTaskIdentifier nextIdentifier = 1;
  std::vector<Task> tasks;  // live tasks, in the order they began

  // Marks the handler of `identifier` (every live task's when none) as run
  // and hands it out, so that each runs once and outside the lock.
  std::vector<std::function<void()>> takeHandlers(std::optional<BackgroundTaskIdentifier> identifier) {
    std::vector<std::function<void()>> handlers;
    for (auto& task : tasks) {
      if (task.handlerRan || (identifier && task.identifier != *identifier)) continue;
      task.handlerRan = true;
      if (task.expirationHandler) handlers.push_back(task.expirationHandler);
    }
    return handlers;
  }
};

namespace {

void runAll(const std::vector<std::function<void()>>& handlers) {
  for (const auto& handler : handlers) handler();
}

// The budget ran out: every live task's handler, in order, on the main queue.
void expire(const std::weak_ptr<Application::BackgroundTasks>& weak, uint64_t generation) {
  const auto background = weak.lock();
  if (!background) return;
  std::vector<std::function<void()>> handlers;
  {
    std::lock_guard lock(background->mutex);
    if (background->generation != generation || !background->deadlineMs) return;
    background->expired = true;
    background->expiryTimer.reset();
    handlers = background->takeHandlers(std::nullopt);
  }
  runAll(handlers);
}

}  // namespace

Application::Application() : backgroundTasks_(std::make_shared<BackgroundTasks>()) {}

void Application::backgroundStateChanged(ApplicationState from, ApplicationState to) {
  const bool entered = to == ApplicationState::Background;
  const bool left = from == ApplicationState::Background;
  if (!entered && !left) return;
  std::shared_ptr<Timer> stopped;
  {
    std::lock_guard lock(backgroundTasks_->mutex);
    BackgroundTasks& b = *backgroundTasks_;
    ++b.generation;
    stopped = std::move(b.expiryTimer);
    b.expired = false;
    b.deadlineMs.reset();
    if (entered) {
      const double budgetMs = b.budgetSeconds * 1000.0;
      b.deadlineMs = nowMonotonicMs() + static_cast<int64_t>(std::min(budgetMs, kMaxDelayMs));
      auto expiry = [weak = std::weak_ptr<BackgroundTasks>(backgroundTasks_), generation = b.generation] {
        expire(weak, generation);
      };
      // No budget: the expiry comes with the main queue's next turn.
      if (budgetMs > 0) {
        b.expiryTimer = Timer::once(mainQueue(), budgetMs, std::move(expiry));
      } else {
        mainQueue()->async(std::move(expiry));
      }
    }
  }
  if (stopped) stopped->cancel();
}

Application::BackgroundTaskIdentifier Application::beginBackgroundTask(std::function<void()> expirationHandler) {
  BackgroundTaskIdentifier identifier = kBackgroundTaskInvalid;
  bool expiredAlready = false;
  {
    std::lock_guard lock(backgroundTasks_->mutex);
    BackgroundTasks& b = *backgroundTasks_;
    identifier = b.nextIdentifier++;
    b.tasks.push_back(BackgroundTasks::Task{identifier, std::move(expirationHandler)});
    expiredAlready = b.expired;
  }
  if (expiredAlready) {
    mainQueue()->async([weak = std::weak_ptr<BackgroundTasks>(backgroundTasks_), identifier] {
      const auto background = weak.lock();
      if (!background) return;
      std::vector<std::function<void()>> handlers;
      {
        std::lock_guard lock(background->mutex);
        handlers = background->takeHandlers(identifier);
      }
      runAll(handlers);
    });
  }
  return identifier;
}

void Application::endBackgroundTask(BackgroundTaskIdentifier identifier) {
  std::function<void()> released;  // destroyed outside the lock
  std::lock_guard lock(backgroundTasks_->mutex);
  auto& tasks = backgroundTasks_->tasks;
  const auto it = std::find_if(tasks.begin(), tasks.end(),
                               [identifier](const BackgroundTasks::Task& t) { return t.identifier == identifier; });
  if (it == tasks.end()) return;
  released = std::move(it->expirationHandler);
  tasks.erase(it);
}

double Application::backgroundTimeRemaining() const {
  std::lock_guard lock(backgroundTasks_->mutex);
  const BackgroundTasks& b = *backgroundTasks_;
  if (!b.deadlineMs) return kBackgroundTimeUnbounded;
  if (b.expired) return 0;
  return std::max<double>(0, static_cast<double>(*b.deadlineMs - nowMonotonicMs()) / 1000.0);
}

void Application::setBackgroundTimeBudget(double seconds) {
  std::lock_guard lock(backgroundTasks_->mutex);
  backgroundTasks_->budgetSeconds = std::isnan(seconds) || seconds < 0 ? 0 : seconds;
}

size_t Application::backgroundTaskCount() const {
  std::lock_guard lock(backgroundTasks_->mutex);
  return backgroundTasks_->tasks.size();
}

void Application::resetBackgroundTasks() {
  std::shared_ptr<Timer> stopped;
  std::vector<BackgroundTasks::Task> dropped;  // destroyed outside the lock
  {
    std::lock_guard lock(backgroundTasks_->mutex);
    BackgroundTasks& b = *backgroundTasks_;
    ++b.generation;
    stopped = std::move(b.expiryTimer);
    dropped = std::move(b.tasks);
    b.tasks.clear();
    b.expired = false;
    b.deadlineMs.reset();
    b.budgetSeconds = kDefaultBudgetSeconds;
  }
  if (stopped) stopped->cancel();
}

}  // namespace platform
