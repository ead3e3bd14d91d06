#pragma once
// Starts and ends the page's ad impressions through the store's attribution
// network (platform::SKAdNetwork), building each impression from the page's
// data. The store's classes are reached by name, so the service also runs on
// a system without them (it then does nothing).
//
// Threading: every operation runs on the service's own serial queue
// (queue()), so commands run one at a time in the order they were received
// and the held impression has one owner. Completions run on that queue too.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch.h"
#include "platform/json.h"
#include "platform/result.h"

namespace platform {
class SKAdImpression;
}

// The feature's own errors: this domain, code 98.
inline constexpr char kQBNAdImpressionErrorDomain[] = "QBNAdImpressionErrorDomain";
inline constexpr int kQBNAdImpressionErrorCode = 98;

class QBNAdImpressionService : public std::enable_shared_from_this<QBNAdImpressionService> {
 public:
  // Called once: with the network's error, the feature's own, or none.
  using Completion = std::function<void(std::optional<platform::Error> error)>;

  static std::shared_ptr<QBNAdImpressionService> create();

  const platform::QueueRef& queue() const { return queue_; }

  // On queue(). Builds the impression from `data`, which replaces the held
  // one (none when it cannot be built: the completion hears why and the
  // network is not called), then starts it. The completion never runs when
  // the network's class or method is missing.
  void startImpression(const std::optional<platform::Json>& data, Completion completion);
  // On queue(). Ends the held impression, which is dropped at once (whatever
  // the network answers, a command received after the end finds none);
  // without one the completion hears "missing SKAdImpression instance for
  // endImpression". The completion never runs when the network's class or
  // method is missing.
  void endImpressionWithcompletionHandler(Completion completion);

  // The impression started last and not yet ended. On queue().
  std::shared_ptr<platform::SKAdImpression> adImpressionInstance() const { return adImpressionInstance_; }

  // Whether the class "SKAdImpression" is registered.
  static bool isSKAdImpressionExists();
  // A new object of the class "SKAdImpression", or none.
  static std::shared_ptr<platform::SKAdImpression> createAdImpressionInstance();
  // The impression the data describes: the table's values of the right type
  // set by their setters, in the table's order. Fails (the feature's error)
  // with "missing data to create SKAdImpression instance" for no data, and
  // "failed to instantiate SKAdImpression" without the class.
  static platform::Result<std::shared_ptr<platform::SKAdImpression>> createAdImpressionFromData(
      const std::optional<platform::Json>& data);
  // Sets `value` through the setter named `selector` when there is a value,
  // the impression answers the setter and the value is a number (`number`)
  // or a text (otherwise).
  static void setProperty(const platform::Json* value, bool number, const std::string& selector,
                          platform::SKAdImpression& impression);
  // Calls the network's class operation named `selector` with the impression
  // when the class "SKAdNetwork" is registered and answers it; otherwise does
  // nothing (the completion never runs).
  static void executeSKAdNetworkImpressionMethod(const std::string& selector,
                                                 const std::shared_ptr<platform::SKAdImpression>& impression,
                                                 std::function<void(std::optional<platform::Error>)> completion);

  static platform::Error error(const std::string& message);

 private:
  QBNAdImpressionService();

  platform::QueueRef queue_;
  std::shared_ptr<platform::SKAdImpression> adImpressionInstance_;
};
