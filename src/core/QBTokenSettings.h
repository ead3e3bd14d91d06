#pragma once
// Bidding-token settings from the server configuration
// ("configurations"."application"."token"), built once by the configuration
// parser and then only read. Keys and defaults: docs/configuration.md.
#include <memory>

#include "platform/json.h"

class QBTokenSettings {
 public:
  // Missing or mistyped fields get their defaults (both false).
  static std::shared_ptr<const QBTokenSettings> fromJson(const platform::Json& section);

  // One token for every bidder (the mediation's token view) instead of one
  // per network.
  bool oneToken() const { return oneToken_; }
  // gzip the token's JSON before it is encrypted.
  bool compressToken() const { return compressToken_; }

 private:
  QBTokenSettings() = default;
  bool oneToken_ = false;
  bool compressToken_ = false;
};
