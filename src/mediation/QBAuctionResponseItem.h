#pragma once
// One item of an auction answer's waterfall (or the answer's generic
// notifications, which use the same shape without an instance name).
// JSON keys and types: docs/auction.md.
//
// Immutable once built; safe to share between threads.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/json.h"
#include "platform/result.h"
#include "quillborne/QBImpressionData.h"

class QBAuctionResponseItem {
 public:
  // An item without auction data (no server data, price or URLs): the items of
  // a fallback waterfall.
  static std::shared_ptr<QBAuctionResponseItem> initWithProviderName(const std::string& providerName);

  // The item of one waterfall entry of an answer whose id is `auctionId`.
  // With requireInstance the entry must carry a non-empty "instance". An error
  // (domain kQBAuctionErrorDomain, code 1006) names the first key that is
  // missing or has the wrong type. Takes the entry's values over (it is left
  // in a valid but unspecified state).
  static platform::Result<std::shared_ptr<QBAuctionResponseItem>> fromJson(platform::Json&& entry,
                                                                           const std::string& auctionId,
                                                                           bool requireInstance = true);
  static platform::Result<std::shared_ptr<QBAuctionResponseItem>> fromJson(const platform::Json& entry,
                                                                           const std::string& auctionId,
                                                                           bool requireInstance = true) {
    return fromJson(platform::Json(entry), auctionId, requireInstance);
  }

  // The instance (provider) name; "" for the generic notifications.
  const std::string& providerName() const { return providerName_; }
  // Text the network's adapter receives for its load ("" when none).
  const std::string& serverData() const { return serverData_; }
  // Entries added to the ad-unit data of the load (an object, {} when none).
  const platform::Json& adData() const { return adData_; }
  // The SKAdNetwork conversion value this ad brings, when any.
  const std::optional<int>& cvValue() const { return cvValue_; }
  // The bid price, when any.
  const std::optional<double>& price() const { return price_; }
  // Notification URLs: won (fired at load), lost (fired for the other bidders
  // when one instance loads), billing and impression (fired when the ad opens).
  const std::vector<std::string>& nurl() const { return nurl_; }
  const std::vector<std::string>& lurl() const { return lurl_; }
  const std::vector<std::string>& burl() const { return burl_; }
  const std::vector<std::string>& impressionUrls() const { return impressionUrls_; }
  // The id of the auction that produced the item ("" for fallback items).
  const std::string& auctionId() const { return auctionId_; }

  // The item's impression data with "placement" set to `placementName` (and
  // "auctionId" filled in when the server left it out); none when the item
  // carries no impression data.
  std::shared_ptr<QBImpressionData> impressionDataWithPlacement(const std::string& placementName) const;

  // "<providerName> price=<price>" for logs.
  std::string description() const;

 private:
  QBAuctionResponseItem() = default;

  std::string providerName_;
  std::string serverData_;
  platform::Json adData_ = platform::Json::object();
  std::optional<int> cvValue_;
  std::optional<double> price_;
  std::vector<std::string> nurl_;
  std::vector<std::string> lurl_;
  std::vector<std::string> burl_;
  std::vector<std::string> impressionUrls_;
  platform::Json impressionData_;  // null or an object
  std::string auctionId_;
};
