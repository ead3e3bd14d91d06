#pragma once
// The listener of the page's generic function ("callPlovermarkAdsFunction"),
// kept by the publisher weakly. Its one call is optional: a delegate derives
// from PmaGenericFunctionResponseCall to take it. Called on the thread that
// delivered the page's command (the main queue for page messages).
#include <optional>

#include "platform/json.h"
#include "platform/result.h"

class PloverMarkAdsDelegate {
 public:
  virtual ~PloverMarkAdsDelegate() = default;
};

class PmaGenericFunctionResponseCall {
 public:
  virtual ~PmaGenericFunctionResponseCall() = default;
  // The page's parameters on success, or the error of its failure.
  virtual void pmaGenericFunctionResponse(const std::optional<platform::Json>& response,
                                          const std::optional<platform::Error>& error) = 0;
};
