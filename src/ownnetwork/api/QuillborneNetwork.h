#pragma once
// The own network's entry: class methods that validate each call and hand the
// work to the one PlovermarkAdsPublisher. Init, the validation of load and
// show and the publisher's load run in call order on the API queue
// ("com.quilbrn.sdkapi.queue"); listener calls of failed loads and shows, the
// publisher's show, destroy and consent update, metadata and token reads from
// other threads run on the main queue; availability, the consent check and the
// offerwall calls run on the caller's thread.
//
// Init's completion: a configuration that fails validation hears error 103 at
// once on the caller's thread; otherwise the completion hears once, on the
// main queue, how the controller's initiation ended (no error when the page
// is ready). A second init, or one after the offerwall created the publisher,
// hears the same outcome: at once when the controller has settled, else when
// it does.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch.h"
#include "platform/json.h"
#include "platform/result.h"

struct QBNConfigurations;
class PlovermarkAdsPublisher;
class QuillborneAdInstance;
class PMAOfferWallDelegate;
namespace platform {
class ViewController;
}

class QuillborneNetwork {
 public:
  using Completion = std::function<void(const std::optional<platform::Error>&)>;

  static void initSDKWithNetworkConfigurations(std::shared_ptr<const QBNConfigurations> configurations,
                                               Completion completion);
  // With a completion that only logs the outcome.
  static void initSDKWithNetworkConfigurations(std::shared_ptr<const QBNConfigurations> configurations);

  // Numbers the load on the caller's thread (the instance's
  // noteLoadRequested: a load asked for later supersedes it), then goes on on
  // the API queue.
  static void loadAdWithAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance,
                                   const platform::Json& loadParams);
  static void loadAdWithAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance);
  static void showAdWithAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance,
                                   const std::shared_ptr<platform::ViewController>& viewController,
                                   const platform::Json& showParams);
  static void showAdWithAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance,
                                   const std::shared_ptr<platform::ViewController>& viewController);
  // On the API queue, in order with the loads; before init nothing happens.
  static void destroyAdWithAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance);
  static bool isAdAvailableForAdInstance(const std::shared_ptr<QuillborneAdInstance>& adInstance);

  // Forwarded on the caller's thread to the publisher (made on first use).
  static void initOfferWallWithApplicationKey(const std::optional<std::string>& applicationKey,
                                              const std::optional<std::string>& userId,
                                              std::weak_ptr<PMAOfferWallDelegate> delegate,
                                              const std::optional<platform::Json>& additionalParameters);
  static void showOfferWallFromViewController(const std::shared_ptr<platform::ViewController>& viewController,
                                              const platform::Json& parameters);
  static void getOfferWallCreditsWithApplicationKey(const std::optional<std::string>& applicationKey,
                                                    const std::optional<std::string>& userId,
                                                    std::weak_ptr<PMAOfferWallDelegate> delegate);

  // Kept, and sent to the publisher once it exists (at init when given
  // before). None is ignored.
  static void updateConsentInfo(const std::optional<platform::Json>& consent);
  // Feeds the token only. None is ignored.
  static void updateMetadata(const std::optional<platform::Json>& metadata);
  // Read on the main queue (the caller waits when it is elsewhere).
  static std::optional<std::string> getToken();
  static std::optional<platform::Json> getRawToken();
  static std::string getVersion();
  static std::string getOmidPartnerVersion();
  static std::string getOmidLibVersion();

  // The serial API queue, made on first use.
  static platform::QueueRef getAPIQueue();
  // The SDK instance (the publisher once init took it), or null.
  static std::shared_ptr<PlovermarkAdsPublisher> sdkInstance();
  // Forgets the SDK instance and the consent (and the load hook). Tests only.
  static void resetForTesting();
  // Runs on the API queue each time a load has reached the publisher (its
  // command is on its way to the page): a test holds the main queue until
  // then. Null removes it.
  static void setLoadHookForTesting(std::function<void()> hook);

 private:
  static void initSDKImplementationWithConfiguration(std::shared_ptr<const QBNConfigurations> configurations,
                                                     Completion completion);
  static void setSessionParamsWithApplicationKey(const std::optional<std::string>& applicationKey,
                                                 const std::optional<std::string>& userId,
                                                 const std::optional<platform::Json>& initParams);
  static void prepareEventTrackerModule(const QBNConfigurations& configurations);
};
