#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "events/QBEventsEngines.h"
#include "events/QBEventsFormat.h"
#include "foundation/QBKeyValueStorageProvider.h"
#include "events_test_support.h"
#include "foundation/QBUtils.h"
#include "platform/device.h"
#include "platform/notifications.h"
#include "support/sandbox_events.h"
#include "support/sandbox_server.h"

namespace {

using platform::Json;
using qbtest::EventsIsolation;

// One loopback server for the suite (stopping one waits for the session's
// idle connections to close).
class EventsEngineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new qbtest::SandboxServer();
    started_ = server_->start();
    qbtest::addEventsEndpoint(*server_);
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(started_);
    server_->clearRequests();
    server_->clearFaults();
  }

  std::shared_ptr<const QBEventsSettings> settings(Json section, const std::string& id = "events") {
    if (!section.contains("serverEventsURL")) section["serverEventsURL"] = server_->url("/mediation?adUnit=3");
    return QBEventsSettings::fromJson(id, section);
  }

  // Pumps until the engine has no upload on the wire.
  void settle(const std::shared_ptr<QBEventsEngine>& engine) {
    ASSERT_TRUE(env.runUntil([&] {
      return engine->stateForTesting() != QBEventsEngineState::Uploading && env.readyCount() == 0;
    }));
    env.runUntilIdle();
  }

  // Lets the delayed backup write happen.
  void writeBackups() { env.advance(QBEventsEngine::kBackupDelayMs); }

  std::vector<int64_t> receivedIds() { return qbtest::eventIds(qbtest::eventsReceived(*server_)); }

  platform::TestEnvironment env;
  EventsIsolation isolation;
  static inline qbtest::SandboxServer* server_ = nullptr;
  static inline bool started_ = false;
};

TEST_F(EventsEngineTest, EnrichesEachEventAndOffsetsOfflineSensitiveIds) {
  auto& configurations = QBConfigurations::getConfigurations();
  configurations.setAppKey("abc123");
  configurations.setUserId(std::string("user-7"));
  auto engine = QBRewardedVideoEventsEngine::sharedInstance();

  engine->logEvent(QBEventData(1000, {{"provider", "Mediation"}, {"connectionType", "mine"}, {"eventId", 5}}));
  platform::ReachabilitySource::shared().setStatus(platform::kReachabilityNotReachable);
  env.advance(250);
  engine->logEvent(QBEventData(1220, {{"reason", "offline"}}));  // offline-sensitive by default
  engine->logEvent(QBEventData(1003, Json::object()));           // not offline-sensitive
  engine->logEvent(QBEventData(1500, Json::object()));           // only once configured
  env.runUntilIdle();
  engine->configure(settings({{"maxNumberOfEvents", 100}, {"nonConnectivityEvents", {1500}}}));
  env.runUntilIdle();
  engine->logEvent(QBEventData(1500, Json::object()));
  platform::ReachabilitySource::shared().setStatus(platform::kReachabilityViaWiFi);
  engine->logEvent(QBEventData(1220, Json::object()));
  writeBackups();

  auto events = qbtest::eventsBackedUp("events");
  ASSERT_EQ(qbtest::eventIds(events), (std::vector<int64_t>{1000, 91220, 1003, 1500, 91500, 1220}));
  const Json& first = events[0];
  EXPECT_EQ(first["timestamp"], 1'760'000'000'000);
  EXPECT_EQ(events[1]["timestamp"], 1'760'000'000'250);
  EXPECT_EQ(first["sessionId"], QBUtils::UUIDForSession());
  EXPECT_EQ(first["appKey"], "abc123");
  EXPECT_EQ(first["userId"], "user-7");
  EXPECT_EQ(first["sdkVersion"], "7.3.1");
  // The event's own data wins over a general property but never over the record's id.
  EXPECT_EQ(first["connectionType"], "mine");
  EXPECT_EQ(events[1]["connectionType"], "notReachable");
  EXPECT_EQ(events[5]["connectionType"], "wifi");
  std::vector<std::string> keys;
  for (const auto& item : first.items()) keys.push_back(item.key());
  EXPECT_EQ(std::vector<std::string>(keys.begin(), keys.begin() + 3),
            (std::vector<std::string>{"eventId", "timestamp", "sessionId"}));
}

TEST_F(EventsEngineTest, SendsNothingBeforeConfigureThenUploadsInTheOutcomeFormat) {
  auto engine = QBRewardedVideoEventsEngine::sharedInstance();
  for (int id : {14, 1000, 1003}) engine->logEvent(QBEventData(id, {{"n", id}}));
  env.advance(3'600'000);
  EXPECT_EQ(server_->requestCount(), 0u);
  EXPECT_EQ(engine->stateForTesting(), QBEventsEngineState::NotConfigured);

  engine->configure(settings({{"maxNumberOfEvents", 3}}));
  settle(engine);

  auto requests = server_->requestsTo("/mediation");
  ASSERT_EQ(requests.size(), 1u);
  auto upload = qbtest::decodeEventsUpload(requests[0].body);
  ASSERT_TRUE(upload.has_value()) << requests[0].body;
  EXPECT_EQ((*upload)["sendTimestamp"], platform::nowWallMs());
  EXPECT_EQ(receivedIds(), (std::vector<int64_t>{14, 1000, 1003}));
  EXPECT_EQ(engine->storedEventCountForTesting(), 0u);
  writeBackups();
  EXPECT_TRUE(qbtest::eventsBackedUp("events").empty());
}

TEST_F(EventsEngineTest, BatchesInTheMarrowjetFormatCompressed) {
  auto engine = QBInterstitialEventsEngine::sharedInstance();
  engine->configure(settings({{"serverEventsURL", server_->url("/mediation?adUnit=2")},
                              {"serverEventsType", "marrowjet"},
                              {"compressEvents", true},
                              {"maxNumberOfEvents", 3},
                              {"maxEventsPerBatch", 2}},
                             "InterstitialEvents"));
  engine->logEvent(QBEventData(2001, Json::object()));
  engine->logEvent(QBEventData(2004, Json::object()));
  env.runUntilIdle();
  EXPECT_EQ(server_->requestCount(), 0u);  // below the threshold
  engine->logEvent(QBEventData(2110, Json::object()));
  settle(engine);

  auto requests = server_->requestsTo("/mediation");
  ASSERT_EQ(requests.size(), 2u);
  for (const auto& request : requests) {
    EXPECT_FALSE(platform::parseJson(request.body).ok()) << "expected a compressed body";
    auto upload = qbtest::decodeEventsUpload(request.body);
    ASSERT_TRUE(upload.has_value());
    EXPECT_EQ((*upload)["table"], "plover.dwh.mediation_events");
  }
  EXPECT_EQ(qbtest::eventsOfUpload(*qbtest::decodeEventsUpload(requests[0].body)).size(), 2u);
  EXPECT_EQ(receivedIds(), (std::vector<int64_t>{2001, 2004, 2110}));
  writeBackups();
  EXPECT_TRUE(qbtest::eventsBackedUp("InterstitialEvents").empty());
}

TEST_F(EventsEngineTest, FailedUploadKeepsTheBatchAndRetriesWithBackOff) {
  server_->inject("/mediation", qbtest::SandboxFault::failing(503).only(2));
  auto engine = QBRewardedVideoEventsEngine::sharedInstance();
  engine->configure(settings({{"maxNumberOfEvents", 2}}));
  engine->logEvent(QBEventData(1, Json::object()));
  engine->logEvent(QBEventData(2, Json::object()));
  settle(engine);
  EXPECT_EQ(engine->stateForTesting(), QBEventsEngineState::WaitingToRetry);
  EXPECT_EQ(server_->requestCount(), 1u);

  // New events during the back-off wait; the threshold does not cut it short.
  engine->logEvent(QBEventData(3, Json::object()));
  engine->logEvent(QBEventData(4, Json::object()));
  env.advance(QBEventsEngine::kFirstRetryDelayMs - 1);
  EXPECT_EQ(server_->requestCount(), 1u);
  EXPECT_EQ(qbtest::eventIds(qbtest::eventsBackedUp("events")), (std::vector<int64_t>{1, 2, 3, 4}));

  env.advance(1);  // first retry: fails again, the wait doubles
  settle(engine);
  EXPECT_EQ(server_->requestCount(), 2u);
  env.advance(2 * QBEventsEngine::kFirstRetryDelayMs - 1);
  EXPECT_EQ(server_->requestCount(), 2u);
  env.advance(1);
  settle(engine);

  auto requests = server_->requestsTo("/mediation");
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(qbtest::eventIds(qbtest::eventsOfUpload(*qbtest::decodeEventsUpload(requests[0].body))),
            (std::vector<int64_t>{1, 2}));
  EXPECT_EQ(qbtest::eventIds(qbtest::eventsOfUpload(*qbtest::decodeEventsUpload(requests[2].body))),
            (std::vector<int64_t>{1, 2, 3, 4}));
  EXPECT_EQ(engine->stateForTesting(), QBEventsEngineState::Ready);
  writeBackups();
  EXPECT_TRUE(qbtest::eventsBackedUp("events").empty());
}

// A run ends with a notice, or a crash, and the process is gone at once
// (nothing queued runs any more); the next run sends what is left. Every event
// reaches the server exactly once.
TEST_F(EventsEngineTest, ARestartSendsEveryEventExactlyOnce) {
  struct Case {
    const char* end;          // the notice posted last; none for a crash
    bool uploadBeforeTheEnd;  // 1 and 2 accepted in the first run
    std::vector<int64_t> sent;
  };
  for (const Case& c : {Case{platform::kUIApplicationWillTerminateNotification, true, {1, 2, 3}},
                        Case{platform::kUIApplicationDidEnterBackgroundNotification, false, {1, 2, 3}},
                        Case{nullptr, true, {1, 2}}}) {
    SCOPED_TRACE(c.end ? c.end : "crash");
    server_->clearRequests();
    EventsIsolation row;
    auto engine = QBRewardedVideoEventsEngine::sharedInstance();
    for (int id = 1; id <= 2; ++id) engine->logEvent(QBEventData(id, Json::object()));
    writeBackups();
    if (c.uploadBeforeTheEnd) {
      engine->configure(settings({{"maxNumberOfEvents", 2}}));
      settle(engine);
      ASSERT_EQ(receivedIds(), (std::vector<int64_t>{1, 2}));
    }
    if (c.end) {
      engine->logEvent(QBEventData(3, Json::object()));
      env.runUntilIdle();
      platform::NotificationCenter::defaultCenter().post(c.end);
    }
    engine.reset();
    QBRewardedVideoEventsEngine::resetForTesting();
    platform::UserDefaults::resetStandardForTesting();

    auto restarted = QBRewardedVideoEventsEngine::sharedInstance();
    restarted->configure(settings({{"maxNumberOfEvents", 1}}));
    settle(restarted);
    EXPECT_EQ(receivedIds(), c.sent);
    EXPECT_EQ(restarted->storedEventCountForTesting(), 0u);
  }
}

// After an accepted upload the backup leaves the batch at once (a kill then
// cannot make the next run send it again) but is flushed to the disk only
// with the next write: at the latest when the backup delay runs out, or when
// the application leaves the foreground or ends.
TEST_F(EventsEngineTest, TheBackupAfterAnUploadIsFlushedByTheDelayOrANotice) {
  for (const char* end : {static_cast<const char*>(nullptr), platform::kUIApplicationWillTerminateNotification,
                          platform::kUIApplicationDidEnterBackgroundNotification}) {
    SCOPED_TRACE(end ? end : "backup delay");
    server_->clearRequests();
    EventsIsolation row;
    auto engine = QBRewardedVideoEventsEngine::sharedInstance();
    auto& store = platform::UserDefaults::suite(
        QBKeyValueStorageProvider::storageWithIdentifier(engine->identifier())->suiteName());
    for (int id = 1; id <= 3; ++id) engine->logEvent(QBEventData(id, Json::object()));
    writeBackups();
    engine->configure(settings({{"maxNumberOfEvents", 3}, {"maxEventsPerBatch", 2}}));
    settle(engine);
    ASSERT_EQ(receivedIds(), (std::vector<int64_t>{1, 2, 3}));
    EXPECT_TRUE(qbtest::eventsBackedUp("events").empty());
    EXPECT_TRUE(store.hasUnflushedChanges());
    if (end) {
      platform::NotificationCenter::defaultCenter().post(end);
      settle(engine);
    } else {
      env.advance(QBEventsEngine::kBackupDelayMs - 1);
      EXPECT_TRUE(store.hasUnflushedChanges());
      env.advance(1);
    }
    EXPECT_FALSE(store.hasUnflushedChanges());
    engine.reset();
  }
}

// A batch accepted before any backup write held it costs no write: the disk
// never had it, so a crash right after still sends every event once.
TEST_F(EventsEngineTest, ABatchSentBeforeTheBackupHeldItNeedsNoWrite) {
  auto engine = QBRewardedVideoEventsEngine::sharedInstance();
  const std::string file = platform::userDefaultsSuitePath(
      QBKeyValueStorageProvider::storageWithIdentifier(engine->identifier())->suiteName());
  engine->configure(settings({{"maxNumberOfEvents", 2}, {"triggerEvents", {3}}}));
  // 1 and 2 go out as a batch when 2 arrives; 3, a trigger, follows in a second one.
  for (int id = 1; id <= 3; ++id) engine->logEvent(QBEventData(id, Json::object()));
  settle(engine);
  ASSERT_EQ(server_->requestCount(), 2u);
  ASSERT_EQ(receivedIds(), (std::vector<int64_t>{1, 2, 3}));
  EXPECT_FALSE(platform::fileExists(file));

  engine.reset();  // a crash: nothing queued runs any more
  QBRewardedVideoEventsEngine::resetForTesting();
  platform::UserDefaults::resetStandardForTesting();
  auto restarted = QBRewardedVideoEventsEngine::sharedInstance();
  restarted->configure(settings({{"maxNumberOfEvents", 1}}));
  restarted->logEvent(QBEventData(4, Json::object()));
  settle(restarted);
  EXPECT_EQ(receivedIds(), (std::vector<int64_t>{1, 2, 3, 4}));
}

TEST_F(EventsEngineTest, MalformedBackupEntriesAreSkipped) {
  QBKeyValueStorageProvider::storageWithIdentifier("pixelEvents")
      ->setValue(QBEventsEngine::kBackupKey,
                 Json::array({{{"eventId", "7"}, {"timestamp", 1}}, 5, {{"eventId", 8}, {"timestamp", 2}},
                              {{"eventId", 9}}}));
  auto engine = QBPixelEventsEngine::sharedInstance();
  writeBackups();
  EXPECT_EQ(engine->storedEventCountForTesting(), 1u);
  EXPECT_EQ(qbtest::eventIds(qbtest::eventsBackedUp("pixelEvents")), (std::vector<int64_t>{8}));
}

// Past the bound the oldest events go; the backup holds the newest that fit
// in its byte budget.
TEST_F(EventsEngineTest, TheBoundsKeepTheNewestEvents) {
  constexpr int64_t kCeiling = QBEventsEngine::kMaxEventsToBackup;
  struct Case {
    const char* what;
    int64_t configured;  // "maxNumberOfEventsToBackup"
    int64_t logged;
    size_t blobBytes;  // extra data per event
    int64_t kept;
    int64_t backedUp;
  };
  for (const Case& c : {
           Case{"configured bound", 3, 5, 0, 3, 3},
           Case{"ceiling of the configured bound", 1'000'000'000, kCeiling + 2, 0, kCeiling, kCeiling},
           Case{"byte budget", 1000, 10, 1 << 20, 10, 7},  // 8 MiB hold seven events of just over 1 MiB
           Case{"no backup", 0, 5, 0, 5, 0},
       }) {
    SCOPED_TRACE(c.what);
    EventsIsolation row;
    auto engine = QBRewardedVideoEventsEngine::sharedInstance();
    engine->configure(settings({{"maxNumberOfEvents", 1'000'000}, {"maxNumberOfEventsToBackup", c.configured}}));
    const std::string blob(c.blobBytes, 'x');
    for (int64_t id = 1; id <= c.logged; ++id) engine->logEvent(QBEventData(static_cast<int>(id), {{"blob", blob}}));
    writeBackups();
    EXPECT_EQ(engine->storedEventCountForTesting(), static_cast<size_t>(c.kept));
    auto ids = qbtest::eventIds(qbtest::eventsBackedUp("events"));
    ASSERT_EQ(ids.size(), static_cast<size_t>(c.backedUp));
    if (!ids.empty()) {
      EXPECT_EQ(ids.front(), c.logged - c.backedUp + 1);
      EXPECT_EQ(ids.back(), c.logged);
    }
  }
}

TEST_F(EventsEngineTest, TriggerEventsOptOutAndBackgroundFlush) {
  auto engine = QBRewardedVideoEventsEngine::sharedInstance();
  engine->logEvent(QBEventData(66, Json::object()));  // opted out once configured
  engine->logEvent(QBEventData(1, Json::object()));
  engine->configure(settings({{"maxNumberOfEvents", 100}, {"optOut", {66}}, {"triggerEvents", {40}}}));
  engine->logEvent(QBEventData(66, Json::object()));
  env.runUntilIdle();
  EXPECT_EQ(server_->requestCount(), 0u);
  EXPECT_EQ(engine->storedEventCountForTesting(), 1u);

  engine->logEvent(QBEventData(40, Json::object()));
  settle(engine);
  EXPECT_EQ(receivedIds(), (std::vector<int64_t>{1, 40}));

  engine->logEvent(QBEventData(2, Json::object()));
  env.runUntilIdle();
  platform::NotificationCenter::defaultCenter().post(platform::kUIApplicationDidEnterBackgroundNotification);
  settle(engine);
  EXPECT_EQ(receivedIds(), (std::vector<int64_t>{1, 40, 2}));
}

// An upload sends what was kept when its reason came; what is recorded while
// it is on the wire waits for the next reason, unless a trigger event comes
// meanwhile: that one is owed at once, with everything before it.
TEST_F(EventsEngineTest, EventsRecordedDuringAnUploadWaitForTheNextReason) {
  auto engine = QBRewardedVideoEventsEngine::sharedInstance();
  engine->configure(settings({{"maxNumberOfEvents", 100}, {"triggerEvents", {40}}}));
  env.runUntilIdle();
  // The engine's queue cuts the batch [1, 40] before it takes 2 and 3.
  for (int id : {1, 40, 2, 3}) engine->logEvent(QBEventData(id, Json::object()));
  settle(engine);
  EXPECT_EQ(server_->requestCount(), 1u);
  EXPECT_EQ(receivedIds(), (std::vector<int64_t>{1, 40}));
  EXPECT_EQ(engine->storedEventCountForTesting(), 2u);

  // The trigger 40 sends [2, 3, 4, 40]; a second 40 while that is on the
  // wire is owed at once and leaves next, in a batch with room for 5 too.
  for (int id : {4, 40, 40, 5}) engine->logEvent(QBEventData(id, Json::object()));
  settle(engine);
  EXPECT_EQ(server_->requestCount(), 3u);
  EXPECT_EQ(receivedIds(), (std::vector<int64_t>{1, 40, 2, 3, 4, 40, 40, 5}));
  EXPECT_EQ(engine->storedEventCountForTesting(), 0u);

  // The threshold owes what is kept when it is reached, batch after batch.
  engine->configure(settings({{"maxNumberOfEvents", 3}, {"maxEventsPerBatch", 2}}));
  env.runUntilIdle();
  server_->clearRequests();
  for (int id : {6, 7, 8, 9}) engine->logEvent(QBEventData(id, Json::object()));
  settle(engine);
  EXPECT_EQ(receivedIds(), (std::vector<int64_t>{6, 7, 8, 9}));
}

TEST_F(EventsEngineTest, ADisabledEngineDropsAndClears) {
  auto engine = QBPixelEventsEngine::sharedInstance();
  engine->logEvent(QBEventData(1, Json::object()));
  writeBackups();
  EXPECT_EQ(qbtest::eventsBackedUp("pixelEvents").size(), 1u);

  engine->configure(QBEventsSettings::fromJson("pixelEvents", Json::object()));  // off by default
  engine->logEvent(QBEventData(2, Json::object()));
  env.advance(60'000);
  EXPECT_EQ(engine->stateForTesting(), QBEventsEngineState::Disabled);
  EXPECT_TRUE(qbtest::eventsBackedUp("pixelEvents").empty());
  EXPECT_EQ(server_->requestCount(), 0u);
}

}  // namespace
