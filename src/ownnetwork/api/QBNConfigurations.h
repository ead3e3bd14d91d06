#pragma once
// What the application (or the mediation's built-in adapter) gives the own
// network at initialisation. A plain record; absent fields are none.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/json.h"

struct QBNConfigurations {
  std::optional<std::string> userId;
  // Required, with controllerURL and controllerConfig (empty texts pass).
  std::optional<std::string> applicationKey;
  std::optional<std::string> controllerURL;
  // The controller configuration (an object), handed to the controller page.
  std::optional<platform::Json> controllerConfig;
  // 0: off.
  int64_t debugMode = 0;
  // Further init parameters (an object).
  std::optional<platform::Json> extraParams;
};
