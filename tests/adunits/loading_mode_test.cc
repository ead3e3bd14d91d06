// Loading modes and the reload timer: the mode x trigger matrix, one pending
// reload at a time, main-queue delivery and silence once the manager is gone.
#include "adunits_test_support.h"

#include "adunits/QBAdUnitLoadingModeManager.h"

namespace adunits_test {
namespace {

using Mode = QBAdUnitLoadingMode;

class RecordingLoadingDelegate : public QBLoadingModeDelegate {
 public:
  void onLoadTriggered() override {
    firedAt.push_back(platform::nowMonotonicMs());
    onMain = onMain && platform::isMainThread();
  }
  std::vector<int64_t> firedAt;
  bool onMain = true;
};

constexpr int64_t kWait = 3000;   // timeToWaitBeforeTrigger
constexpr int64_t kRetry = 5000;  // retryInterval

class LoadingModeTest : public AdUnitsTest {
 protected:
  std::shared_ptr<QBAdUnitLoadingModeManager> modeManager(Mode mode,
                                                          std::shared_ptr<RecordingLoadingDelegate> target = nullptr) {
    return QBAdUnitLoadingModeManager::initWithAdUnitLoadingData(
        QBAdUnitLoadingData::initWithQBLoadingMode(mode, kWait, kRetry, 42), target ? target : delegate);
  }
  std::shared_ptr<RecordingLoadingDelegate> delegate = std::make_shared<RecordingLoadingDelegate>();
};

TEST_F(LoadingModeTest, EachTriggerSchedulesItsDelayOnlyInItsModes) {
  using Trigger = void (QBAdUnitLoadingModeManager::*)();
  const std::vector<std::pair<const char*, Trigger>> triggers = {{"loadError", &QBAdUnitLoadingModeManager::loadError},
                                                                  {"showError", &QBAdUnitLoadingModeManager::showError},
                                                                  {"showStarted", &QBAdUnitLoadingModeManager::showStarted},
                                                                  {"showEnded", &QBAdUnitLoadingModeManager::showEnded}};
  // Delay per mode (rows) and trigger (columns, in the order above); -1: none.
  const std::vector<std::pair<Mode, std::vector<int64_t>>> matrix = {
      {Mode::MANUAL, {-1, -1, -1, -1}},
      {Mode::MANUAL_WITH_AUTOMATIC_RELOAD, {kRetry, 0, -1, -1}},
      {Mode::AUTOMATIC_LOAD_AFTER_CLOSE, {kRetry, 0, -1, kWait}},
      {Mode::AUTOMATIC_LOAD_WHILE_SHOW, {kRetry, 0, kWait, -1}},
  };
  for (const auto& [mode, delays] : matrix) {
    for (size_t t = 0; t < triggers.size(); ++t) {
      SCOPED_TRACE(std::string(QBAdUnitLoadingModeName(mode)) + " " + triggers[t].first);
      delegate->firedAt.clear();
      auto m = modeManager(mode);
      const int64_t start = platform::nowMonotonicMs();
      ((*m).*triggers[t].second)();
      if (delays[t] > 0) {
        env.advance(delays[t] - 1);
        EXPECT_TRUE(delegate->firedAt.empty());
      }
      env.advance(delays[t] > 0 ? 1 : 0);
      env.advance(0);
      if (delays[t] < 0) {
        EXPECT_FALSE(m->hasPendingTimer());
        env.advance(60'000);
        EXPECT_TRUE(delegate->firedAt.empty());
      } else {
        EXPECT_EQ(delegate->firedAt, std::vector<int64_t>{start + delays[t]});
        env.advance(60'000);
        EXPECT_EQ(delegate->firedAt.size(), 1u);
      }
    }
  }
  EXPECT_TRUE(delegate->onMain);
}

TEST_F(LoadingModeTest, ALaterTriggerReplacesThePendingOne) {
  auto m = modeManager(Mode::AUTOMATIC_LOAD_WHILE_SHOW);
  m->loadError();
  env.advance(1000);
  const int64_t showErrorAt = platform::nowMonotonicMs();
  m->showError();
  env.advance(60'000);
  EXPECT_EQ(delegate->firedAt, std::vector<int64_t>{showErrorAt});
  // Two triggers still on their way to the main queue: the later one wins.
  m->showStarted();
  m->loadError();
  env.advance(kWait);
  EXPECT_EQ(delegate->firedAt.size(), 1u);
  env.advance(kRetry - kWait);
  EXPECT_EQ(delegate->firedAt.size(), 2u);
  m->loadError();
  env.advance(0);
  m->stopTimer();
  env.advance(60'000);
  EXPECT_EQ(delegate->firedAt.size(), 2u);
}

TEST_F(LoadingModeTest, NoCallOnceTheManagerIsGoneAndTriggersFromOtherThreadsFireOnMain) {
  auto m = modeManager(Mode::MANUAL_WITH_AUTOMATIC_RELOAD);
  m->loadError();
  env.advance(0);
  delegate.reset();
  env.advance(kRetry);  // fires into nothing

  auto keeper = std::make_shared<RecordingLoadingDelegate>();
  auto second = modeManager(Mode::AUTOMATIC_LOAD_AFTER_CLOSE, keeper);
  second->loadError();
  env.advance(0);
  second.reset();
  env.advance(kRetry);
  EXPECT_TRUE(keeper->firedAt.empty());

  auto third = modeManager(Mode::AUTOMATIC_LOAD_AFTER_CLOSE, keeper);
  std::thread other([&] { third->showEnded(); });
  other.join();
  env.advance(kWait);
  EXPECT_EQ(keeper->firedAt.size(), 1u);
  EXPECT_TRUE(keeper->onMain);
}

}  // namespace
}  // namespace adunits_test
