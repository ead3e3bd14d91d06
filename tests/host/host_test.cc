// The host API as an application uses it: the console's level and sink, the
// information dictionary and data folder, windows that tell what comes over
// them, the real main loop, and the own network's offerwall through its
// public entry against the project's controller page.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <thread>

#include "foundation/QBLoggerManager.h"
#include "host/ScreenChecks.h"
#include "ownnetwork/interfaces/QBNPresentationServicesP.h"
#include "ownnetwork/publisher_test_support.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "platform/audio_session.h"
#include "platform/device.h"
#include "platform/storage.h"
#include "platform/test_environment.h"
#include "platform/ui.h"
#include "quillborne/QuillborneNetwork.h"
#include "quillborne/host/Application.h"
#include "quillborne/host/Log.h"
#include "quillborne/host/MainLoop.h"
#include "quillborne/host/Screen.h"
#include "support/lines.h"
#include "support/temp_dir.h"

namespace {

using quillborne::host::Application;
using quillborne::host::Log;
using quillborne::host::MainLoop;
using quillborne::host::ViewController;
using quillborne::host::Window;
using Strings = std::vector<std::string>;

// ------------------------------------------------------------------ console

class HostLogTest : public ::testing::Test {
 protected:
  HostLogTest() {
    QBLoggerManager::sharedInstance().resetForTesting();
    PlovermarkLogManager::sharedManager().resetForTesting();
    Log::setSink([this](int level, const std::string& line) { sink.add(std::to_string(level) + " " + line); });
  }
  ~HostLogTest() override {
    QBLoggerManager::sharedInstance().resetForTesting();
    PlovermarkLogManager::sharedManager().resetForTesting();
  }
  qbtest::Lines sink;
};

TEST_F(HostLogTest, TheApplicationsLevelHoldsOverTheConfigurationsForEveryLogOfTheLibrary) {
  const struct {
    const char* name;
    int configuration;
    std::optional<int> application;  // none: the application set none (or cleared it)
    Strings shown;                    // of mediation lines at 1 and 3, own-network lines at 1 and 3
  } rows[] = {
      {"the configuration's level alone", 0, std::nullopt,
       {"1 [quillborne SDK] API: UITHREAD: true m - info", "3 [quillborne SDK] API: UITHREAD: true m - error",
        "1 own info", "3 own error"}},
      {"the application's warning level over the configuration's verbose", 0, 2,
       {"3 [quillborne SDK] API: UITHREAD: true m - error", "3 own error"}},
      {"the application's verbose level over the configuration's errors", 3, 0,
       {"1 [quillborne SDK] API: UITHREAD: true m - info", "3 [quillborne SDK] API: UITHREAD: true m - error",
        "1 own info", "3 own error"}},
      {"the application turns the console off", 0, -1, {}},
      {"a level below -1 is off too", 0, -7, {}},
  };
  auto& logger = QBLoggerManager::sharedInstance();
  PlovermarkLogManager::sharedManager().setRequiredDebugMode(3);  // the own network writes every level
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    sink.clear();
    logger.setConsoleLevel(row.configuration);
    if (row.application) {
      Log::setLevel(*row.application);
    } else {
      Log::clearLevel();
    }
    EXPECT_EQ(Log::level(), row.application ? std::max(*row.application, -1) : row.configuration);
    logger.dynamicLog("m", "info", 1, QBLogTagAPI);
    logger.dynamicLog("m", "error", 3, QBLogTagAPI);
    PlovermarkLogManager::sharedManager().log("own info", 1, 5);
    PlovermarkLogManager::sharedManager().log("own error", 3, 5);
    EXPECT_EQ(sink.lines(), row.shown);
  }
}

// ------------------------------------------------------- application facts

class HostApplicationTest : public ::testing::Test {
 protected:
  HostApplicationTest() : savedRoot_(platform::dataRoot()), savedInfo_(platform::appInfo()) {}
  ~HostApplicationTest() override {
    platform::setDataRoot(savedRoot_);
    platform::setAppInfo(savedInfo_);
  }
  qbtest::TempDir dir;

 private:
  std::string savedRoot_;
  platform::Json savedInfo_;
};

TEST_F(HostApplicationTest, TheInformationDictionaryTakesAJsonObjectOnlyAndKeepsTheLastGoodOne) {
  const struct {
    const char* text;
    bool taken;
    const char* after;
  } rows[] = {
      {R"({"CFBundleIdentifier":"com.example.app","UISupportedInterfaceOrientations":["UIInterfaceOrientationPortrait"]})",
       true, R"({"CFBundleIdentifier":"com.example.app","UISupportedInterfaceOrientations":["UIInterfaceOrientationPortrait"]})"},
      {"not JSON", false, nullptr},
      {"[1, 2]", false, nullptr},
      {R"("CFBundleIdentifier")", false, nullptr},
      {"{} trailing", false, nullptr},
      {R"({"CFBundleIdentifier":"com.example.other"})", true, R"({"CFBundleIdentifier":"com.example.other"})"},
  };
  std::string expected = Application::informationDictionary();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(Application::setInformationDictionary(row.text), row.taken);
    if (row.after) expected = row.after;
    EXPECT_EQ(Application::informationDictionary(), expected);
  }
  EXPECT_EQ(platform::bundleIdentifier(), "com.example.other");
}

TEST_F(HostApplicationTest, TheDataFolderIsMadeWhenMissingAndRefusedWhereNoFolderCanBe) {
  const std::string nested = dir.path() + "/a/b";
  ASSERT_TRUE(Application::setDataFolder(nested));
  EXPECT_TRUE(platform::isDirectory(nested));
  EXPECT_EQ(Application::dataFolder(), nested);
  EXPECT_EQ(platform::libraryCachesPath(), nested + "/Library/Caches");

  ASSERT_TRUE(platform::writeFileAtomically(dir.path() + "/file", "x"));
  EXPECT_FALSE(Application::setDataFolder(dir.path() + "/file"));
  EXPECT_FALSE(Application::setDataFolder(""));
  EXPECT_EQ(Application::dataFolder(), nested);
}

TEST(HostDeviceTest, TheBackgroundBudgetAndTheAudioTheHostReportsReachTheLibrary) {
  platform::TestEnvironment env;
  platform::Application::shared().resetForTesting();
  platform::AudioSession::shared().resetForTesting();
  std::vector<platform::Json> interruptions;
  auto owner = std::make_shared<int>(0);
  platform::NotificationCenter::defaultCenter().addObserver(
      owner, platform::kAVAudioSessionInterruptionNotification, nullptr,
      [&](const platform::Notification& n) { interruptions.push_back(n.userInfo()); });

  Application::setBackgroundTimeBudget(12);
  ASSERT_TRUE(Application::enterBackground());
  EXPECT_EQ(platform::Application::shared().backgroundTimeRemaining(), 12.0);
  ASSERT_TRUE(Application::enterForeground());

  Application::setOutputVolume(0.75);
  EXPECT_EQ(platform::deviceFacts().facts().outputVolume, 0.75);
  Application::setOtherAudioPlaying(true);
  EXPECT_TRUE(platform::AudioSession::shared().secondaryAudioShouldBeSilencedHint());
  Application::postAudioInterruption(true, false);
  Application::postAudioInterruption(false, true);
  EXPECT_EQ(interruptions, (std::vector<platform::Json>{
                               {{platform::kAVAudioSessionInterruptionTypeKey, 1}},
                               {{platform::kAVAudioSessionInterruptionTypeKey, 0},
                                {platform::kAVAudioSessionInterruptionOptionKey, 1}}}));

  platform::NotificationCenter::defaultCenter().removeObserver(std::weak_ptr<const void>(owner));
  platform::AudioSession::shared().resetForTesting();
  platform::Application::shared().resetForTesting();
  env.runUntilIdle();
}

// ------------------------------------------------------------------ screens

class HostScreenTest : public ::testing::Test {
 protected:
  HostScreenTest() {
    platform::resetUIForTesting();
    quillborne::host::resetScreenThreadChecksForTesting();
  }
  ~HostScreenTest() override {
    Log::setSink(nullptr);
    QBLoggerManager::sharedInstance().resetForTesting();
    quillborne::host::resetScreenThreadChecksForTesting();
    platform::resetUIForTesting();
  }

  struct Observer : quillborne::host::WindowObserver {
    void presentedViewControllerAppeared() override { lines.push_back("appeared"); }
    void presentedViewControllerDisappeared() override { lines.push_back("disappeared"); }
    Strings lines;
  };
  platform::TestEnvironment env;
  qbtest::Lines lines;  // the console, where a test records it
};

TEST_F(HostScreenTest, AWindowTellsWhenAPresentedViewControllerCoversItsRootAndWhenItLeaves) {
  auto root = ViewController::create();
  auto window = Window::create(root);
  ASSERT_TRUE(window);
  auto observer = std::make_shared<Observer>();
  window->setObserver(observer);
  EXPECT_EQ(platform::Application::shared().keyWindow()->rootViewController(), root->viewController());

  // The own network's hidden page view (no controller) is no presentation.
  platform::Application::shared().keyWindow()->insertSubview(std::make_shared<platform::View>(), 0);
  EXPECT_TRUE(observer->lines.empty());

  auto ad = std::make_shared<platform::ViewController>();
  ASSERT_TRUE(root->viewController()->presentViewController(ad, true));
  EXPECT_EQ(observer->lines, Strings{"appeared"});  // at once, before the transition ends
  EXPECT_EQ(window->presentedViewControllerCount(), 1);
  EXPECT_TRUE(root->isPresenting());
  env.runUntilIdle();
  env.advance(1000);

  root->viewController()->dismissViewControllerAnimated(true);
  EXPECT_FALSE(root->isPresenting());
  EXPECT_EQ(observer->lines, Strings{"appeared"});  // the view stays until the transition ends
  env.advance(1000);
  env.runUntilIdle();
  EXPECT_EQ(observer->lines, (Strings{"appeared", "disappeared"}));
  EXPECT_EQ(window->presentedViewControllerCount(), 0);
}

TEST_F(HostScreenTest, AWindowNeedsARootNotShownElsewhereAndLeavesTheApplicationWhenGone) {
  EXPECT_EQ(Window::create(nullptr), nullptr);
  auto root = ViewController::create();
  auto window = Window::create(root);
  ASSERT_TRUE(window);
  EXPECT_EQ(Window::create(root), nullptr);  // already in a window
  EXPECT_EQ(platform::Application::shared().windows().size(), 1u);
  window.reset();
  EXPECT_TRUE(platform::Application::shared().windows().empty());
  EXPECT_EQ(platform::Application::shared().keyWindow(), nullptr);
}

TEST_F(HostScreenTest, ABannerSitsCentredOnTheBottomEdgeUntilItsViewLeaves) {
  struct Banner : QBBannerView {
    std::shared_ptr<platform::View> view() const override { return view_; }
    std::shared_ptr<platform::View> view_;
  };
  auto root = ViewController::create();
  auto window = Window::create(root);
  auto banner = std::make_shared<Banner>();
  EXPECT_FALSE(root->addBanner(banner));  // no view
  EXPECT_FALSE(root->addBanner(nullptr));
  EXPECT_FALSE(root->showsBanner(banner));

  banner->view_ = std::make_shared<platform::View>(platform::Rect::make(0, 0, 320, 50));
  const auto size = root->addBanner(banner);
  ASSERT_TRUE(size);
  EXPECT_EQ(std::make_pair(size->width(), size->height()), std::make_pair(320, 50));
  const auto screen = root->viewController()->view()->bounds().size;
  const auto frame = banner->view_->frame();
  EXPECT_EQ(frame.origin.x, (screen.width - 320) / 2);
  EXPECT_EQ(frame.origin.y, screen.height - 50);
  EXPECT_TRUE(root->showsBanner(banner));
  EXPECT_EQ(window->presentedViewControllerCount(), 0);  // a banner is no presentation
  banner->view_->removeFromSuperview();
  EXPECT_FALSE(root->showsBanner(banner));
}

TEST_F(HostScreenTest, WindowsJoinTheApplicationsSceneByNameWhichIsConnectedAndActiveOnce) {
  std::vector<std::string> notices;
  const char* names[] = {platform::kUISceneWillConnectNotification, platform::kUISceneDidActivateNotification,
                         platform::kUISceneWillEnterForegroundNotification};
  std::vector<platform::ObserverToken> tokens;
  for (const char* name : names) {
    tokens.push_back(platform::NotificationCenter::defaultCenter().addObserver(
        name, nullptr, [&notices](const platform::Notification& n) { notices.push_back(n.name()); }));
  }
  auto first = Window::create(ViewController::create());
  auto second = Window::create(ViewController::create());
  first->joinScene();
  second->joinScene("main");
  auto& application = platform::Application::shared();
  ASSERT_EQ(application.connectedScenes().size(), 1u);
  const auto scene = application.connectedScenes()[0];
  EXPECT_EQ(scene->identifier(), "main");
  EXPECT_EQ(scene->activationState(), platform::SceneActivationState::ForegroundActive);
  EXPECT_EQ(scene->windows().size(), 2u);
  EXPECT_EQ(notices, (Strings{"UISceneWillConnectNotification", "UISceneDidActivateNotification"}));

  // A scene in the background comes back to the foreground and is active.
  scene->enterBackground();
  first->joinScene("main");
  EXPECT_EQ(scene->activationState(), platform::SceneActivationState::ForegroundActive);
  EXPECT_EQ(notices.back(), "UISceneDidActivateNotification");
  first->joinScene("other");
  EXPECT_EQ(application.connectedScenes().size(), 2u);
  EXPECT_EQ(scene->windows().size(), 1u);
  for (const auto& token : tokens) platform::NotificationCenter::defaultCenter().removeObserver(token);
}

// As under the platform's main-thread checker: screen calls made on a worker
// thread are carried out, and the first call of each kind logs one error.
TEST_F(HostScreenTest, ScreenCallsOffTheMainThreadRunAndTheFirstOfEachKindIsLogged) {
  Log::setSink([this](int level, const std::string& line) { lines.add(std::to_string(level) + " " + line); });
  const auto line = [](const std::string& call) {
    return "3 [quillborne SDK] API: UITHREAD: false " + call +
           " - UI API called on a background thread: windows and view controllers belong to the main thread (make "
           "and use them there, or hand the work over with MainLoop::post); reported once";
  };

  std::vector<std::shared_ptr<Window>> windows;
  std::thread([&windows] {
    for (int i = 0; i < 2; ++i) windows.push_back(Window::create(ViewController::create()));
    windows[0]->joinScene();
  }).join();
  ASSERT_EQ(windows.size(), 2u);
  EXPECT_TRUE(windows[0] && windows[1]);  // made all the same
  EXPECT_EQ(platform::Application::shared().windows().size(), 2u);
  EXPECT_EQ(lines.lines(), (Strings{line("ViewController::create"), line("Window::create"), line("Window::joinScene")}));

  // On the main thread nothing is logged; on another worker the same calls
  // were reported already.
  windows.push_back(Window::create(ViewController::create()));
  std::thread([&windows] { windows.push_back(Window::create(ViewController::create())); }).join();
  EXPECT_EQ(lines.lines().size(), 3u);
  std::thread([&windows] { windows[0]->setObserver(std::weak_ptr<quillborne::host::WindowObserver>()); }).join();
  EXPECT_EQ(lines.lines().back(), line("Window::setObserver"));
}

// ---------------------------------------------------------------- main loop

// Real mode: no test environment, the test thread runs the main queue.
TEST(HostMainLoopTest, RunUntilSeesWhatAnotherThreadChangesOnceItPostsAndStopEndsRun) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    done = true;
    MainLoop::post([] {});
  });
  EXPECT_TRUE(MainLoop::runUntil([&] { return done.load(); }, std::chrono::seconds(10)));
  worker.join();
  EXPECT_TRUE(MainLoop::isMainThread());
  EXPECT_FALSE(MainLoop::runUntil([] { return false; }, std::chrono::milliseconds(1)));
  EXPECT_FALSE(MainLoop::runUntil(nullptr, std::chrono::milliseconds(1)));

  Strings ran;
  MainLoop::post([&] { ran.push_back("first"); });
  MainLoop::post([&] {
    ran.push_back("second");
    std::thread([] { MainLoop::stop(); }).detach();
  });
  MainLoop::run();  // returns once stop() was called
  EXPECT_EQ(ran, (Strings{"first", "second"}));
}

// ------------------------------------------------------------ the offerwall

// The application's offerwall listener; what it heard, in one log with the
// library's log lines.
class RecordingOfferwall : public quillborne::PMAOfferWallDelegate {
 public:
  RecordingOfferwall(qbtest::Lines& heard, bool accept) : heard_(heard), accept_(accept) {}
  void pmaInitOfferWallSuccess() override { heard_.add("init success"); }
  void pmaInitOfferWallFailedWithError(const QBError& e) override { heard_.add("init failed " + e.message()); }
  void pmaOfferWallShowSuccess(const std::optional<std::string>&) override { heard_.add("shown"); }
  void pmaOfferWallShowFailedWithError(const QBError& e) override { heard_.add("show failed " + e.message()); }
  void pmaOfferWallDidClose() override { heard_.add("closed"); }
  bool pmaOfferWallDidReceiveCredit(const std::string& creditInfoJson) override {
    heard_.add("credit " + creditInfoJson);
    return accept_;
  }

 private:
  qbtest::Lines& heard_;
  bool accept_;
};

class LogRecorder : public QBLogDelegate {
 public:
  explicit LogRecorder(qbtest::Lines& heard) : heard_(heard) {}
  void sendLog(const std::string& log, int level, int) override { heard_.add("log " + std::to_string(level) + " " + log); }

 private:
  qbtest::Lines& heard_;
};

class HostOfferwallTest : public qbtest::PublisherTest {
 protected:
  HostOfferwallTest() {
    QBNPresentationServicesP::registerSharedInstance(std::make_shared<handlertest::FakeServices>());
    QBLoggerManager::sharedInstance().resetForTesting();
    QBLoggerManager::sharedInstance().setConsoleWriterForTesting([](const std::string&) {});
  }
  ~HostOfferwallTest() override {
    QBNPresentationServicesP::registerSharedInstance(nullptr);
    QBLoggerManager::sharedInstance().resetForTesting();
  }
  qbtest::Lines heard;
};

TEST_F(HostOfferwallTest, TheListenerHearsTheRoadAsTextAndItsAnswerDecidesTheCreditTheConsoleReports) {
  start(platform::Json{{"report", true},
                       {"offerwallCredit", qbtest::offerwallCredit("appkey1", "user1", 5, 150, "1796633400")}});
  auto log = std::make_shared<LogRecorder>(heard);
  Quillborne::setLogDelegate(log);
  const std::string credit = R"(credit {"credits":"5","totalCredits":"150","totalCreditsFlag":"false"})";
  const struct {
    const char* name;
    bool accept;
    bool listenerGone;  // the application dropped its listener after the init
    Strings road;
    platform::Json pageHeard;  // the native side's answers to the page's credits
  } rows[] = {
      {"accepted", true, false,
       {"shown", credit,
        R"(log 1 webView - report: offerwall: credited, user record pmaUserData {"appkey1":{"user1":{"timestamp":"1796633400"}}})",
        "closed"},
       platform::Json::array({{{"ok", true}, {"answer", platform::Json::object()}}})},
      // A declined credit is not answered; the page closes after its second.
      {"declined", false, false, {"shown", credit, "closed"}, platform::Json::array()},
      {"no listener", true, true, {}, platform::Json::array()},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    heard.clear();
    page("PMA_CORE.offerwall.credits.length = 0");
    auto listener = std::make_shared<RecordingOfferwall>(heard, row.accept);
    quillborne::QuillborneNetwork::initOfferWallWithApplicationKey("appkey1", "user1", listener);
    ASSERT_TRUE(env.runUntil([&] { return heard.heard("init success"); }));
    env.runUntilIdle();
    heard.clear();
    if (row.listenerGone) listener.reset();
    quillborne::QuillborneNetwork::showOfferWallFromViewController(nullptr);
    env.runUntilIdle();
    ASSERT_TRUE(env.runUntil([&] { return row.accept ? heard.heard("closed") || row.listenerGone : true; }));
    env.advance(1000);
    env.runUntilIdle();
    // The road as the application heard it, with the page's reports in their
    // place; the library's other log lines aside.
    Strings road;
    for (const auto& line : heard.lines()) {
      if (line.rfind("log", 0) != 0 || line.find("report: ") != std::string::npos) road.push_back(line);
    }
    EXPECT_EQ(road, row.road);
    EXPECT_EQ(page("PMA_CORE.offerwall.credits"), row.pageHeard);
  }
}

TEST_F(HostOfferwallTest, ParametersThatAreNoJsonObjectAreLoggedAndTheShowGoesOnWithoutThem) {
  start();
  auto log = std::make_shared<LogRecorder>(heard);
  Quillborne::setLogDelegate(log);
  auto listener = std::make_shared<RecordingOfferwall>(heard, true);
  quillborne::QuillborneNetwork::initOfferWallWithApplicationKey("appkey1", "user1", listener, "[1]");
  ASSERT_TRUE(env.runUntil([&] { return heard.heard("init success"); }));
  quillborne::QuillborneNetwork::showOfferWallFromViewController(nullptr, "not JSON");
  ASSERT_TRUE(env.runUntil([&] { return heard.heard("shown"); }));
  EXPECT_EQ(heard.linesWith("not a JSON object"),
            (Strings{"log 3 initOfferWallWithApplicationKey - parameters are not a JSON object; none taken",
                     "log 3 showOfferWallFromViewController - parameters are not a JSON object; none taken"}));
}

}  // namespace
