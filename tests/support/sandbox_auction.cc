#include "support/sandbox_auction.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <cctype>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <map>
#include <sstream>
#include <utility>

#include "foundation/QBEncryptionUtils.h"
#include "platform/crypto.h"
#include "platform/zip.h"
#include "support/sandbox_files.h"

namespace qbtest {

namespace {

const std::string& fixturePrivateKey() {
  static const std::string pem = [] {
    std::ifstream in(sandboxFile("fixtures/sandbox_rsa_private.pem"));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }();
  return pem;
}

// The fixture key, parsed once: parsing a PEM private key costs about as much
// as a small request, and the servers keep theirs loaded too. Shared by the
// server threads (a key is read-only once loaded); each call has its own
// context. Never freed.
EVP_PKEY* fixtureKey() {
  static EVP_PKEY* key = [] {
    const std::string& pem = fixturePrivateKey();
    BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    EVP_PKEY* parsed = bio ? PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr) : nullptr;
    BIO_free(bio);
    return parsed;
  }();
  return key;
}

platform::Result<std::string> unwrapSessionKey(std::string_view wrapped) {
  auto failed = [](const char* what) {
    return platform::Result<std::string>(platform::Error{"sandbox.auction", 1, what});
  };
  EVP_PKEY* key = fixtureKey();
  if (!key) return failed("the fixture key does not load");
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr),
                                                                   &EVP_PKEY_CTX_free);
  if (!ctx || EVP_PKEY_decrypt_init(ctx.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1) {
    return failed("RSA decrypt init");
  }
  const auto* in = reinterpret_cast<const unsigned char*>(wrapped.data());
  size_t outLen = 0;
  if (EVP_PKEY_decrypt(ctx.get(), nullptr, &outLen, in, wrapped.size()) != 1) return failed("RSA decrypt size");
  std::string out(outLen, '\0');
  if (EVP_PKEY_decrypt(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &outLen, in, wrapped.size()) != 1)
    return failed("RSA decrypt");
  out.resize(outLen);
  return out;
}

bool startsCompressed(std::string_view bytes) {
  return !bytes.empty() && (static_cast<unsigned char>(bytes[0]) == 0x1f || bytes[0] == 0x78);
}

// Inflates when compressed; sets `compressed`. None when it does not inflate.
std::optional<std::string> maybeInflate(const std::string& bytes, bool& compressed) {
  compressed = startsCompressed(bytes);
  if (!compressed) return bytes;
  auto out = platform::inflate(bytes);
  if (!out.ok()) return std::nullopt;
  return std::move(out).value();
}

}  // namespace

struct SandboxAuction::State {
  mutable std::mutex m;
  mutable std::condition_variable cv;
  int toHold = 0;       // requests still to hold; -1 all
  uint64_t releases = 0;
  bool closing = false;
  std::deque<AuctionAnswer> queued;
  AuctionAnswer fallback = AuctionAnswer::noFill();
  std::function<AuctionAnswer(const DecodedAuctionRequest&)> answerer;
  std::vector<DecodedAuctionRequest> log;
};

AuctionAnswer AuctionAnswer::withPayload(platform::Json payload) {
  AuctionAnswer a;
  a.kind = Kind::Payload;
  a.payload = std::move(payload);
  return a;
}

AuctionAnswer AuctionAnswer::noFill() {
  AuctionAnswer a;
  a.kind = Kind::NoFill;
  a.status = 204;
  return a;
}

AuctionAnswer AuctionAnswer::raw(int status, std::string body) {
  AuctionAnswer a;
  a.kind = Kind::Raw;
  a.status = status;
  a.body = std::move(body);
  return a;
}

DecodedAuctionRequest SandboxAuction::decodeRequest(const RecordedRequest& request) {
  DecodedAuctionRequest out;
  out.raw = request;
  out.answerKey = QBEncryptionUtils::mediationKey();
  std::string payload;
  auto outer = platform::parseJson(request.body);
  const bool isObject = outer.ok() && outer.value().is_object();
  if (isObject && outer.value().contains("sk") && outer.value().contains("ct")) {
    out.encryptionVersion = 2;
    auto wrapped = platform::base64Decode(platform::getString(outer.value(), "sk").value_or(""));
    auto key = wrapped.ok() ? unwrapSessionKey(wrapped.value()) : platform::Result<std::string>(wrapped.error());
    if (!key.ok()) {
      out.error = "session key does not unwrap: " + key.error().message;
      return out;
    }
    out.answerKey = key.value();
    auto cipher = platform::base64Decode(platform::getString(outer.value(), "ct").value_or(""));
    auto plain = cipher.ok() ? platform::aes256CbcDecrypt(out.answerKey, cipher.value())
                             : platform::Result<std::string>(cipher.error());
    if (!plain.ok()) {
      out.error = "\"ct\" does not decrypt: " + plain.error().message;
      return out;
    }
    payload = plain.value();
  } else if (isObject && outer.value().contains("request")) {
    out.encryptionVersion = 1;
    auto cipher = platform::base64Decode(platform::getString(outer.value(), "request").value_or(""));
    auto plain = cipher.ok() ? platform::aes256CbcDecrypt(out.answerKey, cipher.value())
                             : platform::Result<std::string>(cipher.error());
    if (!plain.ok()) {
      out.error = "\"request\" does not decrypt: " + plain.error().message;
      return out;
    }
    payload = plain.value();
  } else if (isObject) {
    out.json = outer.value();
    return out;
  } else {
    auto compressed = platform::base64Decode(request.body);
    if (!compressed.ok()) {
      out.error = "body is neither JSON nor base64";
      return out;
    }
    payload = compressed.value();
  }
  auto inflated = maybeInflate(payload, out.compressed);
  if (!inflated) {
    out.error = "payload does not inflate";
    return out;
  }
  auto json = platform::parseJson(*inflated);
  if (!json.ok()) {
    out.error = "payload is not JSON: " + json.error().message;
    return out;
  }
  out.json = std::move(json).value();
  return out;
}

std::string SandboxAuction::encodeAnswer(const platform::Json& payload, bool encrypt, bool compress,
                                         const std::string& key) {
  std::string bytes = platform::dumpJson(payload);
  if (compress) bytes = platform::gzipCompress(bytes).value();
  if (encrypt) {
    auto cipher = platform::aes256CbcEncrypt(key, bytes);
    return platform::dumpJson(platform::Json{{"response", platform::base64Encode(cipher.value())}});
  }
  return compress ? platform::base64Encode(bytes) : bytes;
}

platform::Json SandboxAuction::impressionData(const std::string& auctionId, const std::string& instance,
                                              double price) {
  size_t end = instance.empty() ? 0 : 1;
  while (end < instance.size() && std::islower(static_cast<unsigned char>(instance[end]))) ++end;
  return {{"auctionId", auctionId}, {"adNetwork", instance.substr(0, end)},
          {"instanceName", instance},  {"country", "US"},
          {"ab", "A"},                 {"revenue", price / 1000.0},
          {"precision", "BID"}};
}

namespace {

// What a server knows of the request and writes into each item's impression
// data.
void addRequestFacts(platform::Json& payload, const platform::Json& request) {
  auto waterfall = payload.find("waterfall");
  if (waterfall == payload.end() || !waterfall->is_array()) return;
  const auto adUnit = platform::getString(request, "adUnit");
  std::optional<std::string> segmentName;
  if (auto segment = request.find("segment"); segment != request.end() && segment->is_object()) {
    segmentName = platform::getString(*segment, "segmentName");
  }
  for (auto& item : *waterfall) {
    if (!item.is_object() || !item.contains("impressionData") || !item["impressionData"].is_object()) continue;
    auto& data = item["impressionData"];
    if (adUnit && !data.contains("adUnit")) data["adUnit"] = *adUnit;
    if (segmentName && !data.contains("segmentName")) data["segmentName"] = *segmentName;
  }
}

}  // namespace

platform::Json SandboxAuction::waterfallPayload(const std::string& auctionId, const std::vector<std::string>& instances,
                                                const std::string& notifyBase) {
  platform::Json waterfall = platform::Json::array();
  for (size_t i = 0; i < instances.size(); ++i) {
    const auto& name = instances[i];
    const double price = 10.0 - static_cast<double>(i);
    platform::Json item = {{"instance", name},
                           {"price", price},
                           {"impressionData", impressionData(auctionId, name, price)},
                           {"serverData", platform::dumpJson(platform::Json{
                                              {"adm", "<ad " + name + ">"},
                                              {"params", {{"dynamicDemandSource", "dds-" + name}}}})}};
    if (!notifyBase.empty()) {
      item["nurl"] = notifyBase + "win/" + name + "?p=${AUCTION_PRICE}&i=${INSTANCE}";
      item["lurl"] = notifyBase + "loss/" + name + "?r=${AUCTION_LOSS}&p=${AUCTION_PRICE}&m=${AUCTION_MBR}";
      item["burl"] = notifyBase + "bill/" + name + "?pl=${PLACEMENT_NAME}";
    }
    waterfall.push_back(std::move(item));
  }
  return {{"auctionId", auctionId}, {"waterfall", std::move(waterfall)}};
}

SandboxAuction::SandboxAuction(SandboxServer& server, std::string path)
    : server_(server), path_(std::move(path)), state_(std::make_shared<State>()) {
  server_.route("POST", path_, [state = state_](const RecordedRequest& request) {
    DecodedAuctionRequest decoded = decodeRequest(request);
    AuctionAnswer answer;
    {
      std::unique_lock<std::mutex> lock(state->m);
      state->log.push_back(decoded);
      state->cv.notify_all();
      if (state->toHold != 0) {
        if (state->toHold > 0) --state->toHold;
        const uint64_t release = state->releases;
        state->cv.wait(lock, [&] { return state->closing || state->releases != release; });
      }
      if (state->answerer) {
        answer = state->answerer(decoded);
      } else if (!state->queued.empty()) {
        answer = std::move(state->queued.front());
        state->queued.pop_front();
      } else {
        answer = state->fallback;
      }
    }
    switch (answer.kind) {
      case AuctionAnswer::Kind::NoFill:
        return SandboxAnswer{204, ""};
      case AuctionAnswer::Kind::Raw:
        return SandboxAnswer{answer.status, answer.body};
      case AuctionAnswer::Kind::Payload:
        break;
    }
    if (!decoded.json) return SandboxAnswer{400, "{\"error\":\"" + decoded.error + "\"}"};
    const bool encrypt = answer.encrypt.value_or(platform::getBool(*decoded.json, "isEncryptedResponse").value_or(false));
    const bool compress = answer.compress.value_or(platform::getBool(*decoded.json, "compressResponse").value_or(false));
    addRequestFacts(answer.payload, *decoded.json);
    return SandboxAnswer{200, encodeAnswer(answer.payload, encrypt, compress, decoded.answerKey)};
  });
}

SandboxAuction::~SandboxAuction() {
  server_.removeRoutes(path_);
  std::lock_guard<std::mutex> lock(state_->m);
  state_->closing = true;
  state_->cv.notify_all();
}

void SandboxAuction::holdAnswers(int count) {
  std::lock_guard<std::mutex> lock(state_->m);
  state_->toHold = count;
}

void SandboxAuction::releaseAnswers() {
  std::lock_guard<std::mutex> lock(state_->m);
  state_->toHold = 0;
  ++state_->releases;
  state_->cv.notify_all();
}

bool SandboxAuction::waitForRequests(size_t n, int64_t realTimeoutMs) const {
  std::unique_lock<std::mutex> lock(state_->m);
  return state_->cv.wait_for(lock, std::chrono::milliseconds(realTimeoutMs), [&] { return state_->log.size() >= n; });
}

std::string SandboxAuction::url() const { return server_.url(path_); }

void SandboxAuction::setDefaultAnswer(AuctionAnswer answer) {
  std::lock_guard<std::mutex> lock(state_->m);
  state_->fallback = std::move(answer);
}

void SandboxAuction::setAnswerer(std::function<AuctionAnswer(const DecodedAuctionRequest&)> answerer) {
  std::lock_guard<std::mutex> lock(state_->m);
  state_->answerer = std::move(answerer);
}

void SandboxAuction::enqueueAnswer(AuctionAnswer answer) {
  std::lock_guard<std::mutex> lock(state_->m);
  state_->queued.push_back(std::move(answer));
}

std::vector<DecodedAuctionRequest> SandboxAuction::requests() const {
  std::lock_guard<std::mutex> lock(state_->m);
  return state_->log;
}

std::optional<DecodedAuctionRequest> SandboxAuction::lastRequest() const {
  std::lock_guard<std::mutex> lock(state_->m);
  if (state_->log.empty()) return std::nullopt;
  return state_->log.back();
}

size_t SandboxAuction::requestCount() const {
  std::lock_guard<std::mutex> lock(state_->m);
  return state_->log.size();
}

void SandboxAuction::clearRequests() {
  std::vector<DecodedAuctionRequest> dropped;
  std::lock_guard<std::mutex> lock(state_->m);
  dropped.swap(state_->log);
}

// ---------------------------------------------------------------------------

struct SandboxNotifications::Log {
  mutable std::mutex m;
  std::vector<std::string> targets;
};

SandboxNotifications::SandboxNotifications(SandboxServer& server, std::string prefix)
    : server_(server), prefix_(std::move(prefix)), pattern_(prefix_ + "*"), log_(std::make_shared<Log>()) {
  server_.route("GET", pattern_, [log = log_](const RecordedRequest& request) {
    std::lock_guard<std::mutex> lock(log->m);
    log->targets.push_back(request.target);
    return SandboxAnswer{200, "", {{"Content-Type", "text/plain"}}};
  });
}

SandboxNotifications::~SandboxNotifications() { server_.removeRoutes(pattern_); }

std::string SandboxNotifications::url(std::string_view tail) const { return server_.url(prefix_ + std::string(tail)); }

std::vector<std::string> SandboxNotifications::received() const {
  std::lock_guard<std::mutex> lock(log_->m);
  return log_->targets;
}

size_t SandboxNotifications::count() const {
  std::lock_guard<std::mutex> lock(log_->m);
  return log_->targets.size();
}

void SandboxNotifications::clear() {
  std::lock_guard<std::mutex> lock(log_->m);
  log_->targets.clear();
}

}  // namespace qbtest
