// The configuration exchange: answers the library refuses, the retry
// schedule, the refusal, the cache fallback and the wait for the network.
#include "foundation/QBEncryptionUtils.h"
#include "foundation/QBKeyValueStorageProvider.h"
#include "platform/crypto.h"
#include "sdk/QBConfigurationCache.h"
#include "sdk/QBConfigurationExchange.h"
#include "sdk_test_support.h"

namespace qbtest {
namespace {

using platform::Json;
using Mode = SandboxConfigEndpoint::Mode;

// ------------------------------------------------------------- the codec

platform::DataTaskResult answer(int status, std::string body) {
  platform::DataTaskResult result;
  result.response = platform::HTTPURLResponse{status, "http://x", {}};
  result.body = std::move(body);
  return result;
}

TEST(ConfigurationExchangeCodec, QueryStringAndRequestParameter) {
  const Json initData = {{"appKey", "a b&c"}, {"consent", true}, {"ss", 3},
                         {"gone", nullptr},   {"tkgp", {{"k", 1}}}};
  EXPECT_EQ(QBConfigurationExchange::queryString(initData), "appKey=a%20b%26c&consent=true&ss=3&tkgp=%7B%22k%22%3A1%7D");

  auto url = QBConfigurationExchange::requestUrl("http://h:1/", initData);
  ASSERT_TRUE(url);
  const std::string prefix = "http://h:1/sdk/v7.3.1?request=";
  ASSERT_EQ(url.value().rfind(prefix, 0), 0u) << url.value();
  auto cipher = platform::base64Decode(platform::percentDecode(url.value().substr(prefix.size())).value());
  ASSERT_TRUE(cipher);
  auto plain = platform::aes256CbcDecrypt(QBEncryptionUtils::mediationKey(), cipher.value());
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain.value(), QBConfigurationExchange::queryString(initData));
}

TEST(ConfigurationExchangeCodec, AnswersAreCheckedInOrder) {
  using Errc = QBConfigurationExchange::Errc;
  const Json configuration = {{"configurations", Json::object()}};
  auto code = [](const platform::Result<Json>& r) { return r ? 0 : r.error().code; };

  platform::DataTaskResult offline;
  offline.error = platform::URLError(platform::URLErrorCode::NotConnectedToInternet);
  EXPECT_EQ(code(QBConfigurationExchange::decodeAnswer(offline)), static_cast<int>(Errc::Transport));
  EXPECT_EQ(code(QBConfigurationExchange::decodeAnswer(answer(400, R"({"code":400})"))), static_cast<int>(Errc::Refused));
  EXPECT_EQ(code(QBConfigurationExchange::decodeAnswer(answer(200, R"({"code":400})"))), static_cast<int>(Errc::Refused));
  EXPECT_EQ(code(QBConfigurationExchange::decodeAnswer(answer(400, ""))), static_cast<int>(Errc::HttpStatus));
  EXPECT_EQ(code(QBConfigurationExchange::decodeAnswer(answer(200, "[1]"))), static_cast<int>(Errc::InvalidAnswer));
  EXPECT_EQ(code(QBConfigurationExchange::decodeAnswer(answer(200, R"({"response":""})"))),
            static_cast<int>(Errc::InvalidAnswer));
  EXPECT_EQ(code(QBConfigurationExchange::decodeAnswer(answer(200, R"({"response":"not base64!"})"))),
            static_cast<int>(Errc::Decryption));

  // serr 1 takes only an encrypted "response"; serr 0 also takes it in clear.
  const std::string plain = platform::dumpJson(Json{{"response", configuration}});
  EXPECT_EQ(code(QBConfigurationExchange::decodeAnswer(answer(200, plain))), static_cast<int>(Errc::InvalidAnswer));
  auto clear = QBConfigurationExchange::decodeAnswer(answer(200, plain), 0);
  ASSERT_TRUE(clear);
  EXPECT_EQ(clear.value(), configuration);
  auto encrypted = QBConfigurationExchange::decodeAnswer(answer(200, encryptedConfigurationAnswer(configuration)));
  ASSERT_TRUE(encrypted);
  EXPECT_EQ(encrypted.value(), configuration);
}

// ------------------------------------------------------------ bad answers

struct BadAnswer {
  Mode mode;
  const char* logged;
  // A wrong key now and then yields valid padding (about 1 in 256), and then
  // the garbage plaintext is what fails.
  const char* orLogged = nullptr;
};

class BadAnswerTest : public SdkTest, public testing::WithParamInterface<BadAnswer> {};

TEST_P(BadAnswerTest, IsLoggedAndRetriedUntilAGoodAnswer) {
  config_->setMode(GetParam().mode);
  Quillborne::initWithAppKey(kAppKey);
  ASSERT_TRUE(runUntilRetryScheduled(1));

  EXPECT_EQ(state(), QBSdkState::SDK_INIT_IN_PROGRESS);
  EXPECT_FALSE(sdk()->initError());
  const std::string prefix = "configuration request failed: ";
  EXPECT_TRUE(log_.contains(prefix + GetParam().logged) ||
              (GetParam().orLogged && log_.contains(prefix + GetParam().orLogged)))
      << GetParam().logged;
  EXPECT_FALSE(sdk()->serverResponseParser()->hasConfiguration());
  EXPECT_EQ(QBConfigurationCache().load(kAppKey).status, QBConfigurationCache::Status::Missing);

  config_->setMode(Mode::Configuration);
  env_.advance(1000);
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  EXPECT_FALSE(sdk()->initError());
  EXPECT_EQ(config_->requestCount(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, BadAnswerTest,
    testing::Values(BadAnswer{Mode::Garbage, "the answer is not a JSON object"},
                    BadAnswer{Mode::NoResponseField, "the answer has no \"response\" field"},
                    BadAnswer{Mode::PlainResponse, "\"response\" is not a non-empty text"},
                    BadAnswer{Mode::WrongCiphertext, "\"response\" could not be decrypted",
                              "the decrypted configuration is not a JSON object"},
                    BadAnswer{Mode::NotJsonInside, "the decrypted configuration is not a JSON object"},
                    BadAnswer{Mode::MissingSection, "configuration lacks \"providerSettings\""},
                    BadAnswer{Mode::ServerError, "HTTP status 500"}));

// ---------------------------------------------------------------- retries

class RetryTest : public SdkTest {};

TEST_F(RetryTest, WaitsDoubleFromOneSecondUpToTheCapThenFailWith501AfterSixtyTwoRetries) {
  config_->setMode(Mode::ServerError);
  auto mediationDelegate = std::make_shared<RecordingMediationDelegate>();
  sdk()->addMediationInitializationDelegate(mediationDelegate);
  Quillborne::initWithAppKey(kAppKey);

  std::vector<int64_t> waits;
  for (int sent = 1; sent <= QuillborneSdk::kMaxConfigurationRetries; ++sent) {
    ASSERT_TRUE(runUntilRetryScheduled(sent)) << "request " << sent;
    const int64_t wait = QuillborneSdk::retryDelayMs(sent - 1);
    waits.push_back(wait);
    // Not a millisecond early.
    env_.advance(wait - 1);
    ASSERT_EQ(sdk()->configurationRequestCountForTesting(), sent);
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
  EXPECT_EQ(mediationDelegate->failed.size(), 1u);
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
  EXPECT_TRUE(log_.contains("the server refused the request (code 400): invalid application key"));
  EXPECT_TRUE(log_.contains("(the server refused the request; no retry)"));
  EXPECT_FALSE(sdk()->isRetryScheduledForTesting());
  env_.advance(3600 * 1000);
  EXPECT_EQ(sdk()->configurationRequestCountForTesting(), 1);
  EXPECT_FALSE(sdk()->serverResponseParser()->hasConfiguration());
}

INSTANTIATE_TEST_SUITE_P(HttpStatus, RefusalTest, testing::Values(400, 200));

// ------------------------------------------------------------------- cache

class CacheTest : public SdkTest {
 protected:
  // Completes one start-up (which caches the configuration), then starts a
  // new SDK object as a new process would.
  void startOnceAndRestart() {
    Quillborne::initWithAppKey(kAppKey);
    ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
    QuillborneSdk::resetForTesting();
    QBDemandOnlyModeHelper::sharedInstance().resetForTesting();
    QuillborneSdk::setInitEndpoint(server_.baseUrl());
  }
};

TEST_F(CacheTest, FailedRequestFallsBackToTheCacheOfTheSameKeyWith502) {
  startOnceAndRestart();
  config_->setMode(Mode::ServerError);
  auto delegate = std::make_shared<RecordingInitDelegate>();
  auto mediationDelegate = std::make_shared<RecordingMediationDelegate>();
  sdk()->addMediationInitializationDelegate(mediationDelegate);

  Quillborne::initWithAppKey(kAppKey, delegate);
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  env_.runUntilIdle();

  ASSERT_TRUE(sdk()->initError());
  EXPECT_EQ(sdk()->initError()->code(), 502);
  EXPECT_EQ(sdk()->initError()->message(), "Server configuration unavailable - using the cached configuration");
  EXPECT_TRUE(log_.contains("Server configuration unavailable - using the cached configuration"));
  EXPECT_EQ(sdk()->serverResponseParser()->originServerResponse(), config_->configuration());
  EXPECT_EQ(delegate->callCount(), 1);
  EXPECT_EQ(mediationDelegate->succeeded.size(), 1u);
  EXPECT_FALSE(sdk()->isRetryScheduledForTesting());
  EXPECT_EQ(sdk()->configurationRequestCountForTesting(), 1);
}

TEST_F(CacheTest, CacheOfAnotherKeyIsNotUsed) {
  startOnceAndRestart();
  config_->setMode(Mode::ServerError);
  Quillborne::initWithAppKey("otherKey9");
  ASSERT_TRUE(runUntilRetryScheduled(1));
  EXPECT_EQ(state(), QBSdkState::SDK_INIT_IN_PROGRESS);
  EXPECT_FALSE(sdk()->initError());
  EXPECT_TRUE(log_.contains("cached configuration belongs to another application key; not used"));
  EXPECT_FALSE(sdk()->serverResponseParser()->hasConfiguration());
  // The other key's cache stays for its own application.
  EXPECT_EQ(QBConfigurationCache().load(kAppKey).status, QBConfigurationCache::Status::Found);
}

class CorruptCacheTest : public SdkTest, public testing::WithParamInterface<std::pair<Json, const char*>> {};

TEST_P(CorruptCacheTest, IsLoggedDroppedAndReplacedByTheNextGoodAnswer) {
  QBKeyValueStorageProvider::storageWithIdentifier("mediation")->setValue("serverResponse", GetParam().first);
  config_->failNext(1);
  Quillborne::initWithAppKey(kAppKey);
  ASSERT_TRUE(runUntilRetryScheduled(1));
  EXPECT_TRUE(log_.contains(std::string("cached configuration is corrupt and was ignored: ") + GetParam().second));
  EXPECT_EQ(state(), QBSdkState::SDK_INIT_IN_PROGRESS);

  env_.advance(1000);
  ASSERT_TRUE(runUntilState(QBSdkState::SDK_INITIATED));
  EXPECT_FALSE(sdk()->initError());
  auto cached = QBConfigurationCache().load(kAppKey);
  EXPECT_EQ(cached.status, QBConfigurationCache::Status::Found);
  EXPECT_EQ(cached.configuration, config_->configuration());
}

INSTANTIATE_TEST_SUITE_P(
    Values, CorruptCacheTest,
    testing::Values(std::make_pair(Json("garbage"), "not an object"),
                    std::make_pair(Json{{"configuration", Json::object()}}, "no application key"),
                    std::make_pair(Json{{"appKey", kAppKey}, {"configuration", "text"}}, "no configuration object"),
                    std::make_pair(Json{{"appKey", kAppKey}, {"configuration", {{"configurations", Json::object()}}}},
                                   "configuration lacks \"providerOrder\"")));

// ----------------------------------------------------------------- offline

TEST_F(SdkTest, OfflineStartUpWaitsForTheNetworkAndResumesOnReachability) {
  auto& source = platform::ReachabilitySource::shared();
  PMEReachabilityManager::sharedManager();
  source.setStatus(platform::kReachabilityNotReachable);
  env_.runUntilIdle();

  NullManagerFactory::registerAll();  // managers listen to reachability themselves
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
