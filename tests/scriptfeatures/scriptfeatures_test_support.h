#pragma once
// The script features' side of the handler tests: a page that records every
// reply with its encoding option, a publisher whose controller manager it is
// (the own network's recording publisher otherwise), requests written as
// the page's messages arrive, and the script features' process-wide objects
// put back after each test.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "ownnetwork/handlers_test_support.h"
#include "ownnetwork/interfaces/QBNScriptHandlerFactories.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "platform/system_sounds.h"
#include "scriptfeatures/QBScriptFeaturesRegistration.h"
#include "scriptfeatures/device/QBNSoundSamplerRingerChecker.h"
#include "scriptfeatures/files/QBNLightCacheManager.h"

namespace sftest {

using platform::Json;

// One call of a page function: its parameters as native code gave them and
// how their texts are encoded on the way (0 as they are, 1 encoded, 2
// decoded then encoded).
struct Reply {
  std::string function;
  Json params;
  int option = 0;
  bool operator==(const Reply&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Reply& reply) {
  return out << reply.function << " option " << reply.option << " " << platform::dumpJson(reply.params);
}

class RecordingPage : public QBNControllerManagerP {
 public:
  void runCommand(const std::string& function, const Json& parameters, const std::optional<std::string>& success,
                  const std::optional<std::string>& fail, bool decodeFirst) override {
    EXPECT_FALSE(success || fail) << "replies carry no callbacks of their own";
    add({function, parameters, decodeFirst ? 2 : 0});
  }
  void runCommand(const QBNControllerAPIData& data) override {
    EXPECT_FALSE(data.successCallback() || data.failCallback()) << "replies carry no callbacks of their own";
    add({data.functionName(), data.functionParameters(), data.encodingOptions()});
  }
  size_t count() {
    std::lock_guard lock(mutex_);
    return replies_.size();
  }
  // What was sent so far, kept.
  std::vector<Reply> replies() {
    std::lock_guard lock(mutex_);
    return replies_;
  }
  // What was sent since the last call.
  std::vector<Reply> take() {
    std::lock_guard lock(mutex_);
    return std::exchange(replies_, {});
  }

 private:
  void add(Reply reply) {
    std::lock_guard lock(mutex_);
    replies_.push_back(std::move(reply));
  }
  std::mutex mutex_;
  std::vector<Reply> replies_;
};

class Publisher : public handlertest::FakePublisher {
 public:
  std::shared_ptr<QBNControllerManagerP> controllerManager() const override { return page; }
  std::shared_ptr<RecordingPage> page = std::make_shared<RecordingPage>();
};

// A feature command as the dispatcher hands it over: every value escaped as
// the page escapes it, "functionParams" as the escaped JSON text of `params`
// (left out when it is null), "success" "ok" and "fail" "ko".
inline Json featureRequest(const std::string& functionName, const Json& params) {
  Json request = {{"functionName", PMAHelperMethods::encodeToPercentEscapeString(functionName)},
                  {"success", "ok"},
                  {"fail", "ko"}};
  if (!params.is_null()) request["functionParams"] = PMAHelperMethods::encodeToPercentEscapeString(platform::dumpJson(params));
  return request;
}

// The request the dispatcher hands a handler for any command the page sends
// with `params`: every value escaped as the page escapes it (objects and
// arrays as their JSON text), nothing decoded.
inline Json pageRequest(const Json& params) {
  std::string query;
  for (auto it = params.begin(); it != params.end(); ++it) {
    const Json& value = it.value();
    const std::string text = value.is_string()       ? value.get<std::string>()
                             : value.is_structured() ? platform::dumpJson(value)
                                                     : qbnjson::description(value);
    query += (query.empty() ? "" : "&") + it.key() + "=" + PMAHelperMethods::encodeToPercentEscapeString(text);
  }
  return PMAHelperMethods::dictionaryFromQueryStringParameters(query);
}

// A publisher with the one-token switch of the controller configuration.
class OneTokenPublisher : public Publisher {
 public:
  bool isOneToken() const override { return oneToken; }
  bool oneToken = false;
};

// The factories this library registers, on a clean registry.
inline QBNScriptHandlerFactories registeredFactories() {
  QBNScriptHandlerFactories::resetForTesting();
  qb::scriptfeatures::registerWithOwnNetwork();
  return QBNScriptHandlerFactories::current();
}

inline void resetScriptFeatures() {
  QBNSoundSamplerRingerChecker::resetForTesting();
  QBNLightCacheManager::sharedInstance().resetForTesting();
  platform::SystemSounds::shared().resetForTesting();
  QBNScriptHandlerFactories::resetForTesting();
}

// A fresh data root, the handlers registered, a recording publisher with a
// real data manager.
class ScriptFeatureTest : public qbtest::OwnNetworkStorageTest {
 protected:
  ScriptFeatureTest() {
    resetScriptFeatures();
    qb::scriptfeatures::registerWithOwnNetwork();
    publisher->data = QBNDataManager::init();
  }
  ~ScriptFeatureTest() override {
    env.runUntilIdle();
    resetScriptFeatures();
  }

  std::shared_ptr<Publisher> publisher = std::make_shared<Publisher>();
};

}  // namespace sftest
