#include "testsuite/QBTestSuiteWebViewWrapper.h"

#include <utility>

QBTestSuiteWebViewWrapper::QBTestSuiteWebViewWrapper(std::weak_ptr<platform::ViewController> viewController,
                                                     std::weak_ptr<QBTestSuiteAdsManager> adsManager,
                                                     std::weak_ptr<QBTestSuiteOnClosedDelegate> closeDelegate,
                                                     std::string controllerUrl, platform::Json data)
    : viewController_(std::move(viewController)),
      adsManager_(std::move(adsManager)),
      closeDelegate_(std::move(closeDelegate)),
      controllerUrl_(std::move(controllerUrl)),
      data_(std::move(data)) {}

std::shared_ptr<QBTestSuiteWebViewWrapper> QBTestSuiteWebViewWrapper::initWithViewController(
    std::weak_ptr<platform::ViewController> viewController, std::weak_ptr<QBTestSuiteAdsManager> adsManager,
    std::weak_ptr<QBTestSuiteOnClosedDelegate> closeDelegate, std::string controllerUrl, platform::Json data) {
  return std::shared_ptr<QBTestSuiteWebViewWrapper>(new QBTestSuiteWebViewWrapper(
      std::move(viewController), std::move(adsManager), std::move(closeDelegate), std::move(controllerUrl),
      std::move(data)));
}

void QBTestSuiteWebViewWrapper::setupWebView() { setUp_ = true; }

void QBTestSuiteWebViewWrapper::performCleanup() { cleanedUp_ = true; }
