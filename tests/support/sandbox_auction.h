#pragma once
// The auction endpoint of the sandbox, and a recorder of notification URLs.
//
// SandboxAuction installs a POST route on a SandboxServer that decodes each
// auction request as the servers do (unwraps the session key with the fixture
// private key, decrypts, inflates), records the request JSON, and answers with
// a scripted waterfall: encrypted and compressed as the request asks unless
// the script says otherwise, 204 for no fill, or raw bytes for broken
// answers. Handlers run on server threads; every method is thread-safe.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/json.h"
#include "support/sandbox_server.h"

namespace qbtest {

// One auction request as the sandbox understood it.
struct DecodedAuctionRequest {
  RecordedRequest raw;
  // 0 plain JSON (or base64 of gzip), 1 {"request"}, 2 {"sk", "ct"}.
  int encryptionVersion = 0;
  bool compressed = false;
  // The key of the answer: the recovered session key (2) or the mediation key.
  std::string answerKey;
  // The request JSON; none when the body did not decode (see error).
  std::optional<platform::Json> json;
  std::string error;
};

// What the sandbox answers to one auction request.
struct AuctionAnswer {
  enum class Kind { Payload, NoFill, Raw };
  Kind kind = Kind::Payload;
  platform::Json payload;            // Payload: the answer JSON
  std::optional<bool> encrypt;       // none: as the request's "isEncryptedResponse"
  std::optional<bool> compress;      // none: as the request's "compressResponse"
  int status = 200;                  // Raw: status and body as given
  std::string body;

  static AuctionAnswer withPayload(platform::Json payload);
  static AuctionAnswer noFill();
  static AuctionAnswer raw(int status, std::string body);
  AuctionAnswer encrypted(bool on) && { encrypt = on; return std::move(*this); }
};

class SandboxAuction {
 public:
  // Installs the route "POST <path>" on `server` (which must outlive this
  // object). Without a script every request gets no fill.
  explicit SandboxAuction(SandboxServer& server, std::string path = "/auction");
  // Removes the route.
  ~SandboxAuction();
  SandboxAuction(const SandboxAuction&) = delete;
  SandboxAuction& operator=(const SandboxAuction&) = delete;

  std::string url() const;

  // The answer for requests that find no queued answer.
  void setDefaultAnswer(AuctionAnswer answer);
  // Answers for the next requests, first in first out.
  void enqueueAnswer(AuctionAnswer answer);
  // Answers every request from what it asks (runs on a server thread); queued
  // and default answers are used only while none is set.
  void setAnswerer(std::function<AuctionAnswer(const DecodedAuctionRequest&)> answerer);

  // The next `count` requests (-1: all) are recorded at once but answered
  // only after releaseAnswers() (or when this object goes away): a stand-in
  // for a slow server whose timing the test controls.
  void holdAnswers(int count = -1);
  void releaseAnswers();

  std::vector<DecodedAuctionRequest> requests() const;
  // The latest request alone (a copy of one entry, not of the log).
  std::optional<DecodedAuctionRequest> lastRequest() const;
  size_t requestCount() const;
  // Forgets the requests recorded so far (long runs keep the log small).
  void clearRequests();
  // Waits (real time) until at least n requests reached this route.
  bool waitForRequests(size_t n, int64_t realTimeoutMs = 10'000) const;

  // {"auctionId": id, "waterfall": [{"instance": name, "price": 10 - index,
  // "serverData": ..., "impressionData": impressionData(id, name, price),
  // "nurl"/"lurl"/"burl" on the notifications recorder when notifyBase is not
  // empty}]}.
  static platform::Json waterfallPayload(const std::string& auctionId, const std::vector<std::string>& instances,
                                         const std::string& notifyBase = "");
  // The impression data a server gives an item: "auctionId", "adNetwork"
  // (the instance name's leading word: "Tulvo" of "TulvoRV2"), "instanceName",
  // "country" "US", "ab" "A", "revenue" (price / 1000: the price is a CPM) and
  // "precision" "BID". When answering, the route adds "adUnit" and
  // "segmentName" from the request to every item's impression data that lacks
  // them.
  static platform::Json impressionData(const std::string& auctionId, const std::string& instance, double price);
  // The HTTP body the servers send for `payload`.
  static std::string encodeAnswer(const platform::Json& payload, bool encrypt, bool compress,
                                  const std::string& key);
  // Decodes a request body as the servers do.
  static DecodedAuctionRequest decodeRequest(const RecordedRequest& request);

  struct State;

 private:
  SandboxServer& server_;
  std::string path_;
  std::shared_ptr<State> state_;
};

// Answers GET "<prefix>*" with 200 and keeps every target (path and query as
// sent) in arrival order.
class SandboxNotifications {
 public:
  explicit SandboxNotifications(SandboxServer& server, std::string prefix = "/notify/");
  ~SandboxNotifications();
  SandboxNotifications(const SandboxNotifications&) = delete;
  SandboxNotifications& operator=(const SandboxNotifications&) = delete;

  // The full URL of "<prefix><tail>".
  std::string url(std::string_view tail) const;
  std::vector<std::string> received() const;
  size_t count() const;
  void clear();

  struct Log;

 private:
  SandboxServer& server_;
  std::string prefix_;
  std::string pattern_;
  std::shared_ptr<Log> log_;
};

}  // namespace qbtest
