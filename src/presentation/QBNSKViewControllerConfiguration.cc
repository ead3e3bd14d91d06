#include "presentation/QBNSKViewControllerConfiguration.h"

#include "platform/json.h"

std::string QBNSKViewControllerConfiguration::description() const {
  const platform::Json dictionary = {
      {"viewControllerType", viewControllerType_ != 0 ? "QBSKStoreViewController" : "QBCustomViewController"},
      {"useCustomRootView", useCustomRootView_ ? "true" : "false"},
      {"modalPresentationStyle", modalPresentationStyle_},
      {"modalInPresentation", modalInPresentation_ ? "true" : "false"},
  };
  return "SKViewController configuration: " + platform::dumpJson(dictionary);
}
