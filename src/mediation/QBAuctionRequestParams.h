#pragma once
// One auction request as the ad-unit manager fills it in; the auction client
// (QBAuctionHandler) turns it into the request JSON (docs/auction.md).
//
// A plain record: make it with std::make_shared, set the fields, hand it to
// executeAuctionWithParams and do not change it afterwards (the client reads
// it on its own queue).
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "mediation/QBAuctionHistory.h"
#include "mediation/QBAuctionInstanceParts.h"
#include "platform/json.h"
#include "quillborne/QBSegment.h"

class QBAuctionRequestParams {
 public:
  // Ask the server to encrypt its answer.
  bool isEncryptedResponse() const { return isEncryptedResponse_; }
  void setIsEncryptedResponse(bool value) { isEncryptedResponse_ = value; }

  // The ad unit's text ("rewardedVideo", "interstitial", ...).
  const std::string& adUnit() const { return adUnit_; }
  void setAdUnit(std::string value) { adUnit_ = std::move(value); }

  // Bidders: an object of provider name -> bidder token (any JSON, usually an
  // object), in the order the manager collected them. Anything but an object
  // counts as no bidders.
  const platform::Json& bidders() const { return bidders_; }
  void setBidders(platform::Json value) { bidders_ = std::move(value); }

  // Provider names of the non-bidding candidates, in waterfall order.
  const std::vector<std::string>& nonBidders() const { return nonBidders_; }
  void setNonBidders(std::vector<std::string> value) { nonBidders_ = std::move(value); }

  // The manager's history (may be null: then {} is sent).
  const std::shared_ptr<QBAuctionHistory>& auctionHistory() const { return auctionHistory_; }
  void setAuctionHistory(std::shared_ptr<QBAuctionHistory> value) { auctionHistory_ = std::move(value); }

  int sessionDepth() const { return sessionDepth_; }
  void setSessionDepth(int value) { sessionDepth_ = value; }

  // The application's segment; none or an empty one is left out.
  const std::optional<QBSegment>& segment() const { return segment_; }
  void setSegment(std::optional<QBSegment> value) { segment_ = std::move(value); }

  // The configuration's serialized instance parts (may be null: every name
  // is then serialized on the spot). Only saves work; never changes the
  // request.
  const std::shared_ptr<const QBAuctionInstanceParts>& instanceParts() const { return instanceParts_; }
  void setInstanceParts(std::shared_ptr<const QBAuctionInstanceParts> value) { instanceParts_ = std::move(value); }

  // The integration test suite is open / asks for test ads.
  bool testSuiteLaunched() const { return testSuiteLaunched_; }
  void setTestSuiteLaunched(bool value) { testSuiteLaunched_ = value; }
  bool useTestAds() const { return useTestAds_; }
  void setUseTestAds(bool value) { useTestAds_ = value; }

 private:
  bool isEncryptedResponse_ = false;
  std::string adUnit_;
  platform::Json bidders_ = platform::Json::object();
  std::vector<std::string> nonBidders_;
  std::shared_ptr<QBAuctionHistory> auctionHistory_;
  int sessionDepth_ = 1;
  std::optional<QBSegment> segment_;
  std::shared_ptr<const QBAuctionInstanceParts> instanceParts_;
  bool testSuiteLaunched_ = false;
  bool useTestAds_ = false;
};
