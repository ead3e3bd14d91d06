#include "ownnetwork/handlers/QBNFileHandlers.h"

#include <algorithm>
#include <cctype>

#include "ownnetwork/cache/PMAConfinedPath.h"
#include "ownnetwork/cache/PMADownloadManager.h"
#include "ownnetwork/data/QBNDataManager.h"
#include "ownnetwork/handlers/QBNHandlerSupport.h"
#include "ownnetwork/handlers/QBNPublisherHandlerContext.h"
#include "ownnetwork/services/PMADemandSource.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/QBNProductType.h"
#include "platform/dispatch.h"
#include "platform/storage.h"

using platform::Json;
using namespace qbnhandlers;

namespace {

struct Product {
  const char* name;
  int64_t type;
  const char* uniqueIdKey;
};
// In the order their identities are recorded.
constexpr Product kProducts[] = {
    {"RewardedVideo", QBNProductType::RewardedVideo, "userUniqueIdRV"},
    {"Interstitial", QBNProductType::Interstitial, "userUniqueIdIS"},
    {"OfferWall", QBNProductType::OfferWall, "userUniqueIdOW"},
};

std::string lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// The text after the last "/", trailing slashes aside (as path texts name
// their last component).
std::string lastPathComponent(const std::string& text) {
  size_t end = text.size();
  while (end > 1 && text[end - 1] == '/') --end;
  const size_t slash = text.rfind('/', end == 0 ? 0 : end - 1);
  if (slash == std::string::npos) return text.substr(0, end);
  if (slash + 1 >= end) return end == 1 ? "/" : "";
  return text.substr(slash + 1, end - slash - 1);
}

bool isWebURL(const std::string& url) {
  const std::string lower = lowercase(url.substr(0, 8));
  return lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0;
}

std::shared_ptr<PMADownloadManager> downloadManagerOf(const std::shared_ptr<QBNPublisherHandlerContext>& publisher) {
  auto dataManager = publisher ? publisher->dataManager() : nullptr;
  return dataManager ? dataManager->downloadMgr() : nullptr;
}

// A text of the user defaults, when it is one and not empty.
std::optional<std::string> storedText(const std::string& key) {
  auto value = platform::UserDefaults::standard().string(key);
  if (!value || value->empty()) return std::nullopt;
  return value;
}

}  // namespace

std::shared_ptr<QBNFileHandlers> QBNFileHandlers::create(std::weak_ptr<QBNPublisherHandlerContext> publisher) {
  return std::shared_ptr<QBNFileHandlers>(new QBNFileHandlers(std::move(publisher)));
}

QBNFileHandlers::QBNFileHandlers(std::weak_ptr<QBNPublisherHandlerContext> publisher)
    : publisher_(std::move(publisher)) {}

std::string QBNFileHandlers::productIdentityKey(const std::string& field, const std::string& product) {
  return field + "_" + product;
}

std::vector<std::string> QBNFileHandlers::getKeyInDictionaryWithPrefix(const std::vector<std::string>& keys,
                                                                       const std::string& text) {
  std::vector<std::string> found;
  for (const auto& key : keys) {
    if (key.find(text) != std::string::npos) found.push_back(key);
  }
  return found;
}

void QBNFileHandlers::recordProductIdentities(const std::string& path) const {
  auto publisher = publisher_.lock();
  if (!publisher) return;
  platform::UserDefaults& defaults = platform::UserDefaults::standard();
  const std::string lowerPath = lowercase(path);
  for (const Product& product : kProducts) {
    if (lowerPath.find(lowercase(product.name)) == std::string::npos) continue;
    const auto parameters = publisher->parametersForProductType(product.type);
    if (!parameters) continue;
    if (parameters->userId()) defaults.setString(productIdentityKey("applicationUserId", product.name), *parameters->userId());
    if (parameters->appKey()) defaults.setString(productIdentityKey("applicationKey", product.name), *parameters->appKey());
  }
  (void)defaults.synchronize();
}

void QBNFileHandlers::answerSaveFile(bool cached, const std::optional<std::string>& path, const std::string& file,
                                     const std::optional<std::string>& errMsg) const {
  Json answer = Json::object();
  if (path) answer["path"] = *path;
  answer["file"] = file;
  if (!cached && errMsg && !errMsg->empty()) answer["errMsg"] = *errMsg;
  reply(publisher_.lock(), cached ? std::string(kQBNAssetCached) : std::string(kQBNAssetCached) + "Failed", answer,
        true);
}

void QBNFileHandlers::handleSaveFile(const Json& request) {
  auto publisher = publisher_.lock();
  auto dataManager = publisher ? publisher->dataManager() : nullptr;
  auto downloads = dataManager ? dataManager->downloadMgr() : nullptr;
  if (!downloads) return;
  const auto path = text(request, "path");
  const auto file = text(request, "file");
  const std::string url = PMAHelperMethods::decodeFromPercentEscapeString(file.value_or(""));
  const std::string fileName = lastPathComponent(url);
  if (!path || !file) {
    answerSaveFile(false, path, fileName, !path ? "missing path" : "missing file");
    return;
  }
  const std::string folder = PMAHelperMethods::decodeFromPercentEscapeString(*path);
  // The same checks the disk cache makes when it stores, made now so that a
  // refused name costs no download.
  const auto target = PMAConfinedPath(downloads->getInstanceCacheFolderUseRoot(false), folder, PMAPathScope::BaseOrBelow);
  if (!target || !PMAConfinedPath(*target, fileName, PMAPathScope::BelowBase)) {
    answerSaveFile(false, path, fileName, std::string(kPMAPathRefusedMessage));
    return;
  }
  if (!isWebURL(url)) {
    answerSaveFile(false, path, fileName, std::string(kQBNUnsupportedFileURLMessage));
    return;
  }
  recordProductIdentities(*path);

  platform::URLRequest download{.url = url, .timeoutSeconds = kQBNSaveFileTimeoutSeconds, .ignoreLocalCache = true};
  std::weak_ptr<QBNFileHandlers> weakSelf = weak_from_this();
  dataManager->sendDataRequest(
      std::move(download), platform::mainQueue(),
      [weakSelf, downloads, path, folder, fileName](platform::DataTaskResult result) {
        auto self = weakSelf.lock();
        if (!self) return;
        if (result.error) {
          self->answerSaveFile(false, path, fileName, result.error->message);
          return;
        }
        log("key: " + fileName, 1, kTagLogic);
        platform::Error error;
        const bool stored = downloads->storeData(result.body, true, fileName, folder, false, true, &error);
        self->answerSaveFile(stored, path, fileName, stored ? std::nullopt : std::optional(error.message));
      });
}

void QBNFileHandlers::handleDeleteFile(const Json& request) {
  auto publisher = publisher_.lock();
  auto downloads = downloadManagerOf(publisher);
  if (!downloads) return;
  const auto path = text(request, "path");
  const auto file = text(request, "file");
  const auto decoded = [](const std::optional<std::string>& value) -> std::optional<std::string> {
    if (!value) return std::nullopt;
    return PMAHelperMethods::decodeFromPercentEscapeString(*value);
  };
  platform::Error error;
  const bool deleted = downloads->deleteFileWithName(decoded(file), decoded(path), &error);
  Json answer = Json::object();
  if (path) answer["path"] = *path;
  if (file) answer["file"] = *file;
  if (!deleted && !error.message.empty()) answer["errMsg"] = error.message;
  reply(publisher, text(request, deleted ? "success" : "fail"), answer, true);
}

void QBNFileHandlers::handleDeleteFolder(const Json& request) {
  auto publisher = publisher_.lock();
  auto downloads = downloadManagerOf(publisher);
  if (!downloads) return;
  const auto path = text(request, "path");
  platform::Error error;
  const bool deleted = downloads->deleteEntireFolder(
      path ? std::optional(PMAHelperMethods::decodeFromPercentEscapeString(*path)) : std::nullopt, &error);
  Json answer = Json::object();
  if (path) answer["path"] = *path;
  if (!deleted && !error.message.empty()) {
    answer["errMsg"] = error.message;
    answer["errCode"] = error.code;
  }
  reply(publisher, text(request, deleted ? "success" : "fail"), answer, true);
}

void QBNFileHandlers::handleGetCachedFilesMap(const Json& request, const std::string& /*query*/) {
  auto publisher = publisher_.lock();
  auto downloads = downloadManagerOf(publisher);
  if (!downloads) return;
  const auto path = text(request, "path");
  auto map = path ? downloads->getFolderFiles(PMAHelperMethods::decodeFromPercentEscapeString(*path)) : std::nullopt;
  if (!map || !map->is_object()) {
    reply(publisher, text(request, "fail"), Json::object(), false);
    return;
  }
  if (!map->empty()) {
    std::vector<std::string> keys;
    for (const auto& item : map->items()) keys.push_back(item.key());
    const auto enrich = [&map](const std::string& key, const Product& product) {
      Json& entry = (*map)[key];
      if (!entry.is_object()) return;  // "path", "files": no product's entry
      auto uniqueId = storedText(product.uniqueIdKey);
      if (!uniqueId) uniqueId = platform::UserDefaults::standard().string(productIdentityKey("applicationUserId", product.name));
      const auto appKey = platform::UserDefaults::standard().string(productIdentityKey("applicationKey", product.name));
      if (uniqueId) entry["userUniqueId"] = *uniqueId;
      if (appKey) entry["applicationKey"] = *appKey;
    };
    // A key naming both products ends with the interstitial's values.
    for (const auto& key : getKeyInDictionaryWithPrefix(keys, "RewardedVideo")) enrich(key, kProducts[0]);
    for (const auto& key : getKeyInDictionaryWithPrefix(keys, "Interstitial")) enrich(key, kProducts[1]);
    if (map->contains("OfferWall")) enrich("OfferWall", kProducts[2]);
  }
  reply(publisher, text(request, "success"), *map, false);
}

void QBNFileHandlers::imageDidFinishSaving(const std::optional<platform::Error>& error,
                                           const std::optional<std::string>& contextInfo) {
  Json answer = {{"path", "shared media library"}, {"file", contextInfo.value_or("")}};
  if (error && !error->message.empty()) answer["errMsg"] = error->message;
  reply(publisher_.lock(), error ? std::string(kQBNAssetCached) + "Failed" : std::string(kQBNAssetCached), answer,
        true);
}
