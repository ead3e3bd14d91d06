#pragma once
// The feature handlers' side of the script-feature tests: a page that records
// every reply with its encoding option (from any thread), a publisher with
// the one-token switch, and requests built as the controller page sends them.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "ownnetwork/interfaces/QBNControllerManagerP.h"
#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/interfaces/QBNScriptHandlerFactories.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "platform/json.h"
#include "scriptfeatures/QBScriptFeaturesRegistration.h"

namespace featuretest {

using platform::Json;

// One reply as it reaches the controller manager: the page function, the
// parameters and the encoding option (0 as they are, 1 encoded, 2 decoded
// then encoded).
struct Reply {
  std::string function;
  Json params;
  int option = 0;
  bool operator==(const Reply&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Reply& reply) {
  return out << reply.function << " " << platform::dumpJson(reply.params) << " option " << reply.option;
}

class RecordingPage : public QBNControllerManagerP {
 public:
  void runCommand(const std::string& function, const Json& parameters, const std::optional<std::string>& success,
                  const std::optional<std::string>& fail, bool decodeFirst) override {
    EXPECT_FALSE(success || fail) << "replies carry no callbacks of their own";
    add(Reply{function, parameters, decodeFirst ? 2 : 0});
  }
  void runCommand(const QBNControllerAPIData& data) override {
    EXPECT_FALSE(data.successCallback() || data.failCallback()) << "replies carry no callbacks of their own";
    add(Reply{data.functionName(), data.functionParameters(), data.encodingOptions()});
  }
  std::vector<Reply> replies() const {
    std::lock_guard lock(mutex_);
    return replies_;
  }
  size_t count() const {
    std::lock_guard lock(mutex_);
    return replies_.size();
  }
  // What arrived since the last call.
  std::vector<Reply> take() {
    std::lock_guard lock(mutex_);
    return std::exchange(replies_, {});
  }

 private:
  void add(Reply reply) {
    std::lock_guard lock(mutex_);
    replies_.push_back(std::move(reply));
  }
  mutable std::mutex mutex_;
  std::vector<Reply> replies_;
};

class FeaturePublisher : public QBNPublisherAgent {
 public:
  std::shared_ptr<QBNControllerManagerP> controllerManager() const override { return page; }
  std::shared_ptr<PMWVWKWebView> webViewController() const override { return nullptr; }
  Json resizeProperties() const override { return Json::object(); }
  bool isOneToken() const override { return oneToken; }
  void notifyAdCloseAll() override {}
  bool isAnyViewPresented() const override { return false; }
  std::shared_ptr<platform::ViewController> getPresentedViewController() const override { return nullptr; }

  std::shared_ptr<RecordingPage> page = std::make_shared<RecordingPage>();
  bool oneToken = false;
};

// The request dictionary the publisher hands a handler for a command the
// page sends with `params`: every value percent-escaped as the page escapes
// it (objects and arrays as their JSON text), nothing decoded.
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

// The factories this library registers, on a clean registry.
inline QBNScriptHandlerFactories registeredFactories() {
  QBNScriptHandlerFactories::resetForTesting();
  qb::scriptfeatures::registerWithOwnNetwork();
  return QBNScriptHandlerFactories::current();
}

}  // namespace featuretest
