#pragma once
// The controller page's "displayWebView" (not hybrid) and
// "removeCloseEventHandler": builds the presentation strategy a present asks
// for and answers the page. Made once by the publisher; main queue only.
//
// Parameters arrive as texts: booleans are read as the page writes them
// (qbnjson::boolValue), integers from their leading digits, "fadeTime" as a
// single-precision number (a value that is not finite counts as 0). Replies
// go to the command's "success" (an empty dictionary) or "fail" ({"errMsg"})
// name with decodeFirst YES, after the presenter's hop to the main queue;
// nothing is sent without the name.
#include <memory>
#include <optional>
#include <string>

#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/interfaces/QBNScriptHandlers.h"
#include "presentation/QBNPresentationConfigurations.h"
#include "presentation/QBNPresentationStrategyP.h"
#include "presentation/QBNProductPresenter.h"

class QBNProductPresenterJSHandler : public QBNProductPresenterJSHandlerP,
                                     public std::enable_shared_from_this<QBNProductPresenterJSHandler> {
 public:
  // initWithPublisherAgent: keeps the publisher weakly and makes the
  // presenter.
  static std::shared_ptr<QBNProductPresenterJSHandler> create(std::weak_ptr<QBNPublisherAgent> publisherAgent);

  std::shared_ptr<QBNPublisherAgent> publisherAgent() const { return publisherAgent_.lock(); }
  std::shared_ptr<QBNProductPresenterP> productPresenter() const override { return presenter_; }
  const std::shared_ptr<QBNProductPresenter>& presenter() const { return presenter_; }

  // "display" (required), "productType" (required): present or dismiss.
  void handleWebViewVisibility(const platform::Json& params) override;
  // "removeCloseEventHandler": disarms force close of what is presented.
  void handleForceCloseApi(const platform::Json& params) override;

  void presentWebViewForProduct(uint32_t productType, const platform::Json& params);
  void dismissWebViewForProduct(uint32_t productType, const platform::Json& params);

  // "standaloneView" true: the standalone strategy; otherwise the
  // view-controller strategy.
  std::shared_ptr<QBNPresentationStrategyP> createPresentationStrategyFromJsParams(const platform::Json& params) const;
  static std::shared_ptr<QBNViewControllerPresentationConfiguration> viewControllerConfigurationFromJsParams(
      const platform::Json& params);
  static std::shared_ptr<QBNStandaloneViewPresentationConfiguration> standAloneViewConfigurationFromJsParams(
      const platform::Json& params);

 private:
  explicit QBNProductPresenterJSHandler(std::weak_ptr<QBNPublisherAgent> publisherAgent);
  void sendEmptyCallbackToController(const std::optional<std::string>& name) const;
  void sendCallbackToController(const std::optional<std::string>& name, const platform::Json& params) const;
  void sendFailure(const platform::Json& params, const std::string& message) const;
  // Answers the page once a present or dismiss has completed.
  QBNPresentationCompletion replyTo(const platform::Json& params) const;
  static void logInfo(const std::string& text);

  std::weak_ptr<QBNPublisherAgent> publisherAgent_;
  std::shared_ptr<QBNProductPresenter> presenter_;
};
