// The configuration exchange: answers the library refuses, the retry
// schedule, the refusal, the cache fallback and the wait for the network.
#include "foundation/QBKeyValueStorageProvider.h"
#include "sdk/QBConfigurationCache.h"
#include "sdk/QBConfigurationExchange.h"
#include "sdk_test_support.h"

namespace qbtest {
namespace {

using platform::Json;
using Mode = SandboxConfigEndpoint::Mode;

platform::DataTaskResult answer(int status, std::string body) {
  platform::DataTaskResult result;
  result.response = platform::HTTPURLResponse{status, "http://x", {}};
  result.body = std::move(body);
  return result;
}

// The rest of the wire format is checked as the sandbox server decodes it.
TEST(ConfigurationExchangeCodec, QueryStringEscapesAndLeavesOutNull) {
  const Json initData = {{"appKey", "a b&c"}, {"consent", true}, {"ss", 3},
                         {"gone", nullptr},   {"tkgp", {{"k", 1}}}};
  EXPECT_EQ(QBConfigurationExchange::queryString(initData), "appKey=a%20b%26c&consent=true&ss=3&tkgp=%7B%22k%22%3A1%7D");
}

// The answers the sandbox server cannot give; the others are checked through
// the SDK object below.
TEST(ConfigurationExchangeCodec, TransportFailuresAndClearAnswersWithoutServerEncryption) {
  using Errc = QBConfigurationExchange::Errc;
  auto code = [](const platform::Result<Json>& r) { return r ? 0 : r.error().code; };
  platform::DataTaskResult offline;
  offline.error = platform::URLError(platform::URLErrorCode::NotConnectedToInternet);
  EXPECT_EQ(code(QBConfigurationExchange::decodeAnswer(offline)), static_cast<int>(Errc::Transport));
  EXPECT_EQ(code(QBConfigurationExchange::decodeAnswer(answer(200, R"({"response":"not base64!"})"))),
            static_cast<int>(Errc::Decryption));
  // serr 1 takes only an encrypted "response"; serr 0 also takes it in clear.
  const Json configuration = {{"configurations", Json::object()}};
  const std::string plain = platform::dumpJson(Json{{"response", configuration}});
  EXPECT_EQ(code(QBConfigurationExchange::decodeAnswer(answer(200, plain))), static_cast<int>(Errc::InvalidAnswer));
  auto clear = QBConfigurationExchange::decodeAnswer(answer(200, plain), 0);
  ASSERT_TRUE(clear);
  EXPECT_EQ(clear.value(), configuration);
}

// Each bad answer is logged and retried, and leaves nothing behind; the last
// one repeats until the cap on retries ends start-up.
TEST_F(SdkTest, BadAnswersAreRetriedDoublingFromOneSecondToTheCapThenFailWith501) {
  struct BadAnswer {
    Mode mode;
    const char* logged;
    // A wrong key now and then yields valid padding (about 1 in 256), and
    // then the garbage plaintext is what fails.
    const char* orLogged = nullptr;
  };
  const std::vector<BadAnswer> answers = {
      {Mode::Garbage, "the answer is not a JSON object"},
      {Mode::NoResponseField, "the answer has no \"response\" field"},
      {Mode::PlainResponse, "\"response\" is not a non-empty text"},
      {Mode::WrongCiphertext, "\"response\" could not be decrypted", "the decrypted configuration is not a JSON object"},
      {Mode::NotJsonInside, "the decrypted configuration is not a JSON object"},
      {Mode::MissingSection, "configuration lacks \"providerSettings\""},
      {Mode::ServerError, "HTTP status 500"}};
  auto bad = [&](int sent) { return answers[std::min<size_t>(sent - 1, answers.size() - 1)]; };
  auto recorder = std::make_shared<InitRecorder>();
  sdk()->addMediationInitializationDelegate(recorder);
  config_->setMode(bad(1).mode);
  Quillborne::initWithAppKey(kAppKey);

  std::vector<int64_t> waits;
  size_t logFrom = 0;
  for (int sent = 1; sent <= QuillborneSdk::kMaxConfigurationRetries; ++sent) {
    SCOPED_TRACE("request " + std::to_string(sent));
    ASSERT_TRUE(runUntilRetryScheduled(sent));
    const std::string prefix = "configuration request failed: ";
    EXPECT_TRUE(log_.contains(prefix + bad(sent).logged, logFrom) ||
                (bad(sent).orLogged && log_.contains(prefix + bad(sent).orLogged, logFrom)))
        << bad(sent).logged;
    EXPECT_EQ(state(), QBSdkState::SDK_INIT_IN_PROGRESS);
    EXPECT_FALSE(sdk()->initError());
    EXPECT_FALSE(sdk()->serverResponseParser()->hasConfiguration());
    EXPECT_EQ(QBConfigurationCache().load(kAppKey).status, QBConfigurationCache::Status::Missing);

    config_->setMode(bad(sent + 1).mode);
    const int64_t wait = QuillborneSdk::retryDelayMs(sent - 1);
    waits.push_back(wait);
    env_.advance(wait - 1);  // not a millisecond early
    ASSERT_EQ(sdk()->configurationRequestCountForTesting(), sent);
    logFrom = log_.lines().size();
    env_.advance(1);
    ASSERT_EQ(sdk()->configurationRequestCountForTesting(), sent + 1);
  }
  EXPECT_EQ(std::vector<int64_t>(waits.begin(), waits.begin() + 9),
            (std::vector<int64_t>{1000, 2000, 4000, 8000, 16000, 32000, 64000, 64000, 64000}));
  EXPECT_EQ(waits.back(), 64000);

  // The answer to the 62nd retry ends start-up.
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INIT_FAILED));
  EXPECT_EQ(sdk()->retryCountForTesting(), 62);
  EXPECT_FALSE(sdk()->isRetryScheduledForTesting());
  ASSERT_TRUE(sdk()->initError());
  EXPECT_EQ(sdk()->initError()->code(), 501);
  EXPECT_EQ(sdk()->initError()->message(), "Init Fail - Unable to retrieve configurations from the server");
  EXPECT_TRUE(log_.contains("Init Fail - Unable to retrieve configurations from the server (no valid answer after 62 retries)"));
  EXPECT_EQ(recorder->failed.size(), 1u);
  env_.advance(3600 * 1000);
  EXPECT_EQ(config_->requestCount(), 63u);
}

class RefusalTest : public SdkTest, public testing::WithParamInterface<int> {};

TEST_P(RefusalTest, CodeFourHundredEndsStartUpWithoutRetryOrCache) {
  // Even a cached configuration of the same key is not used after a refusal.
  QBConfigurationCache().save(kAppKey, config_->configuration());
  config_->setMode(Mode::Refusal, GetParam());
  Quillborne::initWithAppKey(kAppKey);
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INIT_FAILED));

  EXPECT_EQ(sdk()->initError()->code(), 501);
  EXPECT_FALSE(sdk()->isRetryScheduledForTesting());
  env_.advance(3600 * 1000);
  EXPECT_EQ(sdk()->configurationRequestCountForTesting(), 1);
  EXPECT_FALSE(sdk()->serverResponseParser()->hasConfiguration());
}

INSTANTIATE_TEST_SUITE_P(HttpStatus, RefusalTest, testing::Values(400, 200));

// A corrupt cache is logged, ignored and replaced by the next good answer; a
// failed request falls back with 502 to the cache of the same key only.
TEST_F(SdkTest, CacheIsUsedOnlyWhenSoundAndOfTheSameKey) {
  const std::vector<std::pair<Json, std::string>> corrupt = {
      {Json("garbage"), "not an object"},
      {Json{{"configuration", Json::object()}}, "no application key"},
      {Json{{"appKey", kAppKey}, {"configuration", "text"}}, "no configuration object"},
      {Json{{"appKey", kAppKey}, {"configuration", {{"configurations", Json::object()}}}},
       "configuration lacks \"providerOrder\""}};
  for (const auto& [stored, why] : corrupt) {
    SCOPED_TRACE(why);
    newSdk();
    QBKeyValueStorageProvider::storageWithIdentifier("mediation")->setValue("serverResponse", stored);
    config_->failNext(1);
    Quillborne::initWithAppKey(kAppKey);
    ASSERT_TRUE(runUntilRetryScheduled(1));
    EXPECT_TRUE(log_.contains("cached configuration is corrupt and was ignored: " + why));
    EXPECT_EQ(state(), QBSdkState::SDK_INIT_IN_PROGRESS);
    env_.advance(1000);
    ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
    EXPECT_FALSE(sdk()->initError());
    auto cached = QBConfigurationCache().load(kAppKey);
    EXPECT_EQ(cached.status, QBConfigurationCache::Status::Found);
    EXPECT_EQ(cached.configuration, config_->configuration());
  }

  // Another key's cache is not used, and stays for its own application.
  config_->setMode(Mode::ServerError);
  newSdk();
  Quillborne::initWithAppKey("otherKey9");
  ASSERT_TRUE(runUntilRetryScheduled(1));
  EXPECT_EQ(state(), QBSdkState::SDK_INIT_IN_PROGRESS);
  EXPECT_FALSE(sdk()->initError());
  EXPECT_TRUE(log_.contains("cached configuration belongs to another application key; not used"));
  EXPECT_FALSE(sdk()->serverResponseParser()->hasConfiguration());
  EXPECT_EQ(QBConfigurationCache().load(kAppKey).status, QBConfigurationCache::Status::Found);

  newSdk();
  auto recorder = std::make_shared<InitRecorder>();
  sdk()->addMediationInitializationDelegate(recorder);
  Quillborne::initWithAppKey(kAppKey, recorder);
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  env_.runUntilIdle();
  ASSERT_TRUE(sdk()->initError());
  EXPECT_EQ(sdk()->initError()->code(), 502);
  EXPECT_EQ(sdk()->initError()->message(), "Server configuration unavailable - using the cached configuration");
  EXPECT_EQ(sdk()->serverResponseParser()->originServerResponse(), config_->configuration());
  EXPECT_EQ(recorder->callCount(), 1);
  EXPECT_EQ(recorder->succeeded.size(), 1u);
  EXPECT_FALSE(sdk()->isRetryScheduledForTesting());
  EXPECT_EQ(sdk()->configurationRequestCountForTesting(), 1);
}

TEST_F(SdkTest, OfflineStartUpWaitsForTheNetworkAndResumesOnReachability) {
  auto& source = platform::ReachabilitySource::shared();
  PMEReachabilityManager::sharedManager();
  source.setStatus(platform::kReachabilityNotReachable);
  env_.runUntilIdle();

  FakeManagerFactory::registerAll(/*makeNone=*/true);  // managers listen to reachability themselves
  Quillborne::initWithAppKey(kAppKey);
  env_.runUntilIdle();
  EXPECT_TRUE(sdk()->isWaitingForNetworkForTesting());
  EXPECT_TRUE(log_.contains("no network connection; the configuration request waits for the network"));
  env_.advance(10 * 60 * 1000);
  EXPECT_EQ(sdk()->configurationRequestCountForTesting(), 0);
  EXPECT_EQ(state(), QBSdkState::SDK_INIT_IN_PROGRESS);

  source.setStatus(platform::kReachabilityViaWWAN);
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  EXPECT_FALSE(sdk()->isWaitingForNetworkForTesting());
  EXPECT_EQ(PMEReachabilityManager::sharedManager()->delegateCountForTesting(), 0u);
  EXPECT_EQ(config_->requestCount(), 1u);
  EXPECT_EQ(config_->requests()[0].fields()["connt"], "3G");
}

}  // namespace
}  // namespace qbtest
