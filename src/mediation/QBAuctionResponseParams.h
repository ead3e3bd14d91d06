#pragma once
// The outcome of one auction as QBAuctionHandler hands it to its completion,
// and the error codes of a failed auction.
//
// A success carries the answer's id, waterfall and the optional dictionaries;
// a failure carries errorCode/errorMessage and auctionFallback. A success
// whose errorMessage is not empty came after a failed trial: the code and
// message are those of the last failed trial.
//
// Built by the auction client, then only read; safe to share between threads.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "mediation/QBAuctionResponseItem.h"
#include "platform/json.h"

inline constexpr char kQBAuctionErrorDomain[] = "QBAuctionErrorDomain";

// Codes of a failed auction (docs/auction.md, "Failures").
namespace QBAuctionErrorCode {
inline constexpr int kRequestNotBuilt = 1001;   // no auctioneer URL, or encoding failed
inline constexpr int kHttpError = 1002;         // transport error or a status other than 200/204
inline constexpr int kNoFill = 1003;            // the server answered 204
inline constexpr int kUndecodableAnswer = 1004; // base64, decryption or decompression failed
inline constexpr int kMalformedAnswer = 1006;   // not JSON, or a key missing / of the wrong type
inline constexpr int kTimeout = 1007;           // a trial got no answer within the time-out
inline constexpr int kBadWaterfall = 1008;      // empty waterfall, or more than kMaxWaterfallItems
inline constexpr int kCancelled = 1009;         // cancelAuctions() or the handler went away
}  // namespace QBAuctionErrorCode

class QBAuctionResponseParams {
 public:
  using Items = std::vector<std::shared_ptr<QBAuctionResponseItem>>;

  bool isSuccess() const { return isSuccess_; }
  void setIsSuccess(bool value) { isSuccess_ = value; }
  const std::string& auctionId() const { return auctionId_; }
  void setAuctionId(std::string value) { auctionId_ = std::move(value); }
  // Items in the order the server ranked them (not empty on success).
  const Items& waterfall() const { return waterfall_; }
  void setWaterfall(Items value) { waterfall_ = std::move(value); }
  // Null when the answer has none.
  const std::shared_ptr<QBAuctionResponseItem>& genericNotifications() const { return genericNotifications_; }
  void setGenericNotifications(std::shared_ptr<QBAuctionResponseItem> value) {
    genericNotifications_ = std::move(value);
  }
  // Objects; {} when absent.
  const platform::Json& genericParams() const { return genericParams_; }
  void setGenericParams(platform::Json value) { genericParams_ = std::move(value); }
  const platform::Json& configurations() const { return configurations_; }
  void setConfigurations(platform::Json value) { configurations_ = std::move(value); }
  const platform::Json& conversionValueParameters() const { return conversionValueParameters_; }
  void setConversionValueParameters(platform::Json value) { conversionValueParameters_ = std::move(value); }
  // Trials made (1 for an answer at the first attempt; 0 when nothing was
  // sent).
  int auctionTrial() const { return auctionTrial_; }
  void setAuctionTrial(int value) { auctionTrial_ = value; }
  // Why the manager falls back to its own waterfall ("" on success): one of
  // "request_error", "http_error", "no_fill", "decode_error", "parse_error",
  // "timeout", "waterfall_error", "cancelled".
  const std::string& auctionFallback() const { return auctionFallback_; }
  void setAuctionFallback(std::string value) { auctionFallback_ = std::move(value); }
  // Milliseconds from the call to the outcome, on the platform clock.
  int64_t elapsedTime() const { return elapsedTime_; }
  void setElapsedTime(int64_t value) { elapsedTime_ = value; }
  // 0 and "" for a success at the first trial.
  int errorCode() const { return errorCode_; }
  void setErrorCode(int value) { errorCode_ = value; }
  const std::string& errorMessage() const { return errorMessage_; }
  void setErrorMessage(std::string value) { errorMessage_ = std::move(value); }

 private:
  bool isSuccess_ = false;
  std::string auctionId_;
  Items waterfall_;
  std::shared_ptr<QBAuctionResponseItem> genericNotifications_;
  platform::Json genericParams_ = platform::Json::object();
  platform::Json configurations_ = platform::Json::object();
  platform::Json conversionValueParameters_ = platform::Json::object();
  int auctionTrial_ = 0;
  std::string auctionFallback_;
  int64_t elapsedTime_ = 0;
  int errorCode_ = 0;
  std::string errorMessage_;
};
