#include "presentation/QBNProductPresenterJSHandler.h"

#include <charconv>
#include <cmath>

#include "ownnetwork/interfaces/QBNControllerManagerP.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "ownnetwork/services/QBNJsonValues.h"
#include "presentation/QBNPresentationStrategies.h"
#include "presentation/QBProductContext.h"
#include "platform/json.h"

namespace {

bool has(const platform::Json& params, const char* key) { return params.is_object() && params.contains(key); }

// The leading decimal number of a text (after white space and an optional
// "+"), as a single-precision value; 0 when there is none or it is not
// finite.
double floatValue(const platform::Json& value) {
  float number = 0;
  if (value.is_number()) {
    number = value.get<float>();
  } else if (value.is_string()) {
    const auto& s = value.get_ref<const std::string&>();
    size_t at = s.find_first_not_of(" \t\n\r\f\v");
    if (at == std::string::npos) return 0;
    if (s[at] == '+') ++at;
    if (std::from_chars(s.data() + at, s.data() + s.size(), number, std::chars_format::fixed |
                                                                           std::chars_format::scientific)
            .ec != std::errc()) {
      number = 0;
    }
  } else if (value.is_boolean()) {
    number = value.get<bool>() ? 1.0f : 0.0f;
  }
  return std::isfinite(number) ? static_cast<double>(number) : 0.0;
}

}  // namespace

QBNProductPresenterJSHandler::QBNProductPresenterJSHandler(std::weak_ptr<QBNPublisherAgent> publisherAgent)
    : publisherAgent_(publisherAgent), presenter_(QBNProductPresenter::create(publisherAgent)) {}

std::shared_ptr<QBNProductPresenterJSHandler> QBNProductPresenterJSHandler::create(
    std::weak_ptr<QBNPublisherAgent> publisherAgent) {
  return std::shared_ptr<QBNProductPresenterJSHandler>(new QBNProductPresenterJSHandler(std::move(publisherAgent)));
}

void QBNProductPresenterJSHandler::handleWebViewVisibility(const platform::Json& params) {
  if (!has(params, "display")) {
    sendFailure(params, "missing display param");
    return;
  }
  platform::Error error;
  const uint32_t type = QBProductContext::convertProductNameToProductType(platform::getString(params, "productType"), &error);
  if (type == QBProductContext::kUnknownProductType) {
    sendFailure(params, error.message);
    return;
  }
  if (qbnjson::boolValue(params, "display").value_or(false)) {
    presentWebViewForProduct(type, params);
  } else {
    dismissWebViewForProduct(type, params);
  }
}

void QBNProductPresenterJSHandler::handleForceCloseApi(const platform::Json&) {
  if (presenter_) presenter_->stopForceCloseTimer();
}

void QBNProductPresenterJSHandler::presentWebViewForProduct(uint32_t productType, const platform::Json& params) {
  logInfo("calling method:presentWebViewForProduct:jsParams: | with product: " +
          PMAHelperMethods::productTypeByPMAType(productType).value_or(""));
  if (presenter_->isCurrentlyPresented()) {
    sendFailure(params, kQBNAlreadyPresented);
    return;
  }
  presenter_->setStrategy(createPresentationStrategyFromJsParams(params));
  presenter_->presentProduct(productType, platform::getString(params, "adViewId"), replyTo(params));
}

void QBNProductPresenterJSHandler::dismissWebViewForProduct(uint32_t productType, const platform::Json& params) {
  logInfo("calling method:dismissWebViewForProduct:jsParams: | with product: " +
          PMAHelperMethods::productTypeByPMAType(productType).value_or(""));
  presenter_->dismissProduct(productType, replyTo(params));
}

std::shared_ptr<QBNPresentationStrategyP> QBNProductPresenterJSHandler::createPresentationStrategyFromJsParams(
    const platform::Json& params) const {
  if (qbnjson::boolValue(params, "standaloneView").value_or(false)) {
    return std::make_shared<QBNPresentationStrategyStandAloneView>(standAloneViewConfigurationFromJsParams(params),
                                                                   publisherAgent_);
  }
  return std::make_shared<QBNPresentationStrategyViewController>(viewControllerConfigurationFromJsParams(params),
                                                                 publisherAgent_);
}

std::shared_ptr<QBNViewControllerPresentationConfiguration>
QBNProductPresenterJSHandler::viewControllerConfigurationFromJsParams(const platform::Json& params) {
  auto configuration = QBNViewControllerPresentationConfiguration::defaultConfiguration();
  auto flag = [&](const char* key, void (QBNViewControllerPresentationConfiguration::*set)(bool)) {
    if (has(params, key)) ((*configuration).*set)(qbnjson::boolValue(params, key).value_or(false));
  };
  flag("calcTopViewController", &QBNViewControllerPresentationConfiguration::setCalcTopViewController);
  flag("hideStatusBar", &QBNViewControllerPresentationConfiguration::setHideStatusBar);
  flag("animateIn", &QBNViewControllerPresentationConfiguration::setAnimateIn);
  flag("animateOut", &QBNViewControllerPresentationConfiguration::setAnimateOut);
  flag("supportsForceClose", &QBNViewControllerPresentationConfiguration::setSupportsForceClose);
  if (has(params, "fadeTime")) configuration->setFadeTime(floatValue(params["fadeTime"]));
  if (has(params, "ModalPresentationStyle")) {
    configuration->setModalPresentationStyle(qbnjson::integerValue(params, "ModalPresentationStyle"));
  }
  if (has(params, "adViewId")) configuration->setReturnPresentedViewToHirrachyWhenDone(false);
  if (has(params, "shouldAutorotateVC")) configuration->setShouldAutorotateVC(qbnjson::integerValue(params, "shouldAutorotateVC"));
  return configuration;
}

std::shared_ptr<QBNStandaloneViewPresentationConfiguration>
QBNProductPresenterJSHandler::standAloneViewConfigurationFromJsParams(const platform::Json& params) {
  auto configuration = QBNStandaloneViewPresentationConfiguration::defaultConfiguration();
  auto flag = [&](const char* key, void (QBNStandaloneViewPresentationConfiguration::*set)(bool)) {
    if (has(params, key)) ((*configuration).*set)(qbnjson::boolValue(params, key).value_or(false));
  };
  flag("calcTopViewController", &QBNStandaloneViewPresentationConfiguration::setCalcTopViewController);
  flag("animateIn", &QBNStandaloneViewPresentationConfiguration::setAnimateIn);
  flag("animateOut", &QBNStandaloneViewPresentationConfiguration::setAnimateOut);
  flag("supportsForceClose", &QBNStandaloneViewPresentationConfiguration::setSupportsForceClose);
  if (has(params, "fadeTime")) configuration->setFadeTime(floatValue(params["fadeTime"]));
  if (has(params, "adViewId")) configuration->setReturnPresentedViewToHirrachyWhenDone(false);
  return configuration;
}

QBNPresentationCompletion QBNProductPresenterJSHandler::replyTo(const platform::Json& params) const {
  std::weak_ptr<const QBNProductPresenterJSHandler> weak = weak_from_this();
  return [weak, params](const std::optional<platform::Error>& error) {
    const auto self = weak.lock();
    if (!self) return;
    if (error) {
      self->sendFailure(params, PMAHelperMethods::buildErrorMessageFromError(error, kPMAUnknownErrorReason));
    } else {
      self->sendEmptyCallbackToController(platform::getString(params, "success"));
    }
  };
}

void QBNProductPresenterJSHandler::sendFailure(const platform::Json& params, const std::string& message) const {
  sendCallbackToController(platform::getString(params, "fail"), platform::Json{{"errMsg", message}});
}

void QBNProductPresenterJSHandler::sendEmptyCallbackToController(const std::optional<std::string>& name) const {
  sendCallbackToController(name, platform::Json::object());
}

void QBNProductPresenterJSHandler::sendCallbackToController(const std::optional<std::string>& name,
                                                            const platform::Json& params) const {
  const auto agent = publisherAgent();
  const auto manager = agent ? agent->controllerManager() : nullptr;
  if (!name || !manager) return;
  manager->runCommand(*name, params, std::nullopt, std::nullopt, true);
}

void QBNProductPresenterJSHandler::logInfo(const std::string& text) {
  PlovermarkLogManager::sharedManager().log("class: QBNProductPresenterJSHandler | " + text, 1, 5);
}
