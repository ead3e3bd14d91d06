#pragma once
// The auction protocol's helpers: the request JSON, the body's compression and
// encryption, the answer's decoding and parsing, the server data of a
// waterfall item, notification-URL macros and firing. Wire format:
// docs/auction.md.
//
// Stateless apart from the keys of QBEncryptionUtils; every call is
// thread-safe and answers on the calling thread (fireNotificationUrl returns at
// once and works on the shared URL session). Outside bytes never make a call
// throw: they give an error value in kQBAuctionErrorDomain.
#include <optional>
#include <string>
#include <string_view>

#include "mediation/QBAuctionRequestParams.h"
#include "mediation/QBAuctionResponseParams.h"
#include "platform/json.h"
#include "platform/result.h"

// The request facts that do not come from QBAuctionRequestParams.
struct QBAuctionRequestContext {
  std::string sessionId;
  bool isOneToken = false;
  bool isEncryptedResponse = false;
  bool compressResponse = false;
};

// A request body ready to POST, and the key that will decrypt its answer.
struct QBEncodedAuctionRequest {
  std::string body;
  // 0 plain JSON, 1 {"request"} under the mediation key, 2 {"sk", "ct"} under
  // the session key.
  int encryptionVersion = 0;
  bool compressed = false;
  // The mediation key for versions 0 and 1, the session key for version 2.
  std::string answerKey;
};

// Values of the notification-URL macros; each replaces its macro
// percent-encoded (RFC 3986 unreserved characters kept).
struct QBAuctionMacroValues {
  std::string auctionPrice;         // ${AUCTION_PRICE}
  std::string auctionLoss;          // ${AUCTION_LOSS}
  std::string auctionMbr;           // ${AUCTION_MBR}
  std::string instance;             // ${INSTANCE}
  std::string instanceType;         // ${INSTANCE_TYPE}
  std::string dynamicDemandSource;  // ${DYNAMIC_DEMAND_SOURCE}
  std::string placementName;        // ${PLACEMENT_NAME}
};

class QBAuctionDataUtils {
 public:
  // Most items one waterfall may hold; a longer waterfall fails the auction.
  static constexpr size_t kMaxWaterfallItems = 100;
  // Cap on the answer body and on its decompressed payload.
  static constexpr size_t kMaxAnswerBytes = size_t{2} * 1024 * 1024;
  static constexpr size_t kMaxInflatedAnswerBytes = size_t{8} * 1024 * 1024;
  // ${AUCTION_LOSS} of a lost bidder ranked below / above the winner.
  static constexpr int kLossLowerRank = 102;
  static constexpr int kLossHigherRankNotLoaded = 103;
  // A notification URL is tried at most this often (transport errors and 5xx
  // are tried again once, kNotificationRetryDelayMs later).
  static constexpr int kMaxNotificationAttempts = 2;
  static constexpr int64_t kNotificationRetryDelayMs = 2000;
  static constexpr double kNotificationTimeoutSeconds = 15;

  static QBAuctionDataUtils& sharedInstance();

  // --- server data of a waterfall item: a JSON object text with "adm"
  // (string) and "params" (object) ---

  // "dynamicDemandSource" of the server data's "params" when a non-empty
  // string; else none.
  std::optional<std::string> getDynamicDemandSourceIdFromServerData(const std::string& serverData) const;
  // "adm" of the server data; the server data itself when it is not a JSON
  // object with a string "adm" (the markup sent as is).
  std::string getAdmFromServerData(const std::string& serverData) const;
  // "params" of the server data; {} when absent or not an object.
  platform::Json getAuctionResponseServerDataParams(const std::string& serverData) const;

  // --- request ---

  // The request JSON text (docs/auction.md, "Request"), with the auction view
  // of the global data store under "clientParams". Written directly as text:
  // the per-instance parts come from the params' instance parts when they
  // know the name.
  std::string buildAuctionRequest(const QBAuctionRequestParams& params, const QBAuctionRequestContext& context) const;
  // The body of the request JSON text in the given encryption version,
  // gzip-compressed first when `compress`. Version 2 falls back to version 1
  // (logged) when the session key cannot be wrapped. Error (code 1001) when
  // compression or encryption fails.
  platform::Result<QBEncodedAuctionRequest> encodeAuctionRequest(const std::string& json, int encryptionVersion,
                                                                 bool compress) const;

  // --- answer ---

  // The answer's JSON payload from the HTTP body: with `encrypted` the body is
  // {"response": base64 of the AES ciphertext under `answerKey`}; the payload
  // may be gzip or zlib compressed (told by its first bytes); a plain answer
  // is JSON text or base64 of gzip. Errors: 1004 for base64, decryption or
  // decompression failures, 1006 for text that is not JSON or a wrong shape.
  platform::Result<platform::Json> decodeAuctionAnswer(std::string_view body, bool encrypted,
                                                       std::string_view answerKey) const;
  // The successful outcome of one payload (isSuccess set, trial and timing
  // left to the caller). Errors: 1006 for a missing or mistyped key, 1008 for
  // an empty waterfall or one longer than kMaxWaterfallItems. Takes the
  // payload's values over instead of copying them.
  platform::Result<std::shared_ptr<QBAuctionResponseParams>> parseAuctionAnswer(platform::Json payload) const;

  // --- notifications ---

  // `url` with every macro replaced.
  static std::string replaceMacros(const std::string& url, const QBAuctionMacroValues& values);
  // Shortest decimal text of a price that reads back the same ("" for none).
  static std::string formatPrice(const std::optional<double>& price);
  // GETs `url` on the shared session. A transport error or 5xx is logged and
  // tried once more after kNotificationRetryDelayMs; any other failure is
  // logged and dropped. A URL that is not http(s) is logged and not sent.
  // Returns at once; nothing is reported back.
  void fireNotificationUrl(const std::string& url, const std::string& what) const;

 private:
  QBAuctionDataUtils() = default;
};
