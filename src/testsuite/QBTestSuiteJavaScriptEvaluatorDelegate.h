#pragma once
// What reports an ad callback (or a reply) to the test page: the web-view
// wrapper, for the bridges and the script message handler.
#include <string>

#include "platform/json.h"
#include "quillborne/QBAdUnit.h"

class QBTestSuiteJavaScriptEvaluatorDelegate {
 public:
  virtual ~QBTestSuiteJavaScriptEvaluatorDelegate() = default;
  // The page's TestSuiteJs.onCallbackReceived hears `callbackName`, the ad
  // unit's value and `args` (an array). Main queue.
  virtual void onAdCallbackReceived(const std::string& callbackName, const QBAdUnit& adUnit,
                                    const platform::Json& args) = 0;
};
