#pragma once
// Shared by the core tests: the fixture configuration.
#include <gtest/gtest.h>

#include <string>

#include "platform/json.h"
#include "platform/storage.h"

namespace coretest {

inline std::string fixtureText() {
  auto text = platform::readFile(std::string(QB_FIXTURES_DIR) + "/configuration.json");
  EXPECT_TRUE(text.ok());
  return text.ok() ? text.value() : std::string();
}

inline platform::Json fixtureJson() {
  auto json = platform::parseJson(fixtureText());
  EXPECT_TRUE(json.ok());
  return json.ok() ? json.value() : platform::Json::object();
}

}  // namespace coretest
