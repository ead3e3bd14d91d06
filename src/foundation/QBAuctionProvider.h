#pragma once
// The auction view of the global data store: the token view's keys plus the
// per-ad-unit data and the rewarded-video server parameters. Process-wide;
// thread-safe; answers on the calling thread.
#include <string>
#include <vector>

#include "platform/json.h"

class QBAuctionProvider {
 public:
  static QBAuctionProvider& sharedInstance();
  // The keys of the view, in the order getAuctionData() lists them.
  static const std::vector<std::string>& keys();
  // The current values of the view's keys (after refreshing the changing
  // device keys); keys absent from the store are left out.
  platform::Json getAuctionData() const;

 private:
  QBAuctionProvider() = default;
};
