#pragma once
// The controller page's disk-cache commands: "saveFile" (download a URL into
// a folder of the publisher cache folder), "deleteFile", "deleteFolder" and
// "getCachedFilesMap" (list a folder), plus the notice of an image saved to
// the shared media library. The publisher owns one and routes the commands to
// it.
//
// Every folder and file name the page gives is percent-decoded and then
// confined to the publisher folder (Library/Caches/PMACache/PMAPublisher)
// with PMAConfinedPath: a name that is absolute, has a "." or ".."
// component (also after further decodings), leads out through a link, or is
// empty where a file or a folder to delete is meant, is refused with
// kPMAPathRefusedMessage and nothing is fetched, written or removed. The one
// exception is the file name "lastUpdateTime", which the disk cache keeps in
// the cache root (the page removes it to have its controller fetched anew).
//
// Requests are the flat dictionaries of the commands' queries; replies go
// through the publisher's controller manager. Main queue; a download's answer
// comes back there.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/json.h"
#include "platform/result.h"

class QBNPublisherHandlerContext;

// The fixed page functions of "saveFile"'s answers.
inline constexpr char kQBNAssetCached[] = "assetCached";
// A "saveFile" URL that is not http or https.
inline constexpr char kQBNUnsupportedFileURLMessage[] = "file URL is not http or https";
// The download of "saveFile", in seconds.
inline constexpr double kQBNSaveFileTimeoutSeconds = 10.0;

class QBNFileHandlers : public std::enable_shared_from_this<QBNFileHandlers> {
 public:
  static std::shared_ptr<QBNFileHandlers> create(std::weak_ptr<QBNPublisherHandlerContext> publisher);

  // "saveFile": records the application key and user id of each product whose
  // name "path" contains (any case), then downloads the percent-decoded URL
  // "file" (http or https only; 10 s; through the publisher's data manager)
  // and stores it, replacing an older file, under the URL's last path
  // component in the folder "path" (created when missing). Answers
  // "assetCached" with {"path" as received, "file": the file name}, or
  // "assetCachedFailed" with them and "errMsg" (decoded first). A refused
  // name, a missing "path" or "file", or another URL scheme fails at once,
  // before anything is recorded or fetched.
  void handleSaveFile(const platform::Json& request);
  // "deleteFile": removes the file "file" of the folder "path". Answers the
  // request's "success" or "fail" with {"path", "file"} as received and
  // "errMsg" when the failure has a description (decoded first).
  void handleDeleteFile(const platform::Json& request);
  // "deleteFolder": removes the folder "path" with its content (a folder that
  // is not there counts as removed). Answers "success" or "fail" with
  // {"path"} as received and, with a described error, "errMsg" and "errCode"
  // (decoded first).
  void handleDeleteFolder(const platform::Json& request);
  // "getCachedFilesMap": "success" with the folder map of "path", in which
  // every entry whose key contains "RewardedVideo" (then "Interstitial") and
  // the entry keyed exactly "OfferWall" carry that product's "userUniqueId"
  // and "applicationKey" (each when known); "fail" with no parameters when
  // there is no map. Not decoded. (`query`, the raw query text, is not read.)
  void handleGetCachedFilesMap(const platform::Json& request, const std::string& query);

  // The shared media library's answer to an image save: "assetCached" with
  // {"path": "shared media library", "file": the context info ("" without
  // one)}, or "assetCachedFailed" with the error's description as "errMsg"
  // when the save failed (decoded first).
  void imageDidFinishSaving(const std::optional<platform::Error>& error, const std::optional<std::string>& contextInfo);

  // The keys, in their order, that contain `text` anywhere.
  static std::vector<std::string> getKeyInDictionaryWithPrefix(const std::vector<std::string>& keys,
                                                               const std::string& text);
  // The user-defaults key of a product's identity field: "<field>_<product>",
  // e.g. "applicationKey_RewardedVideo".
  static std::string productIdentityKey(const std::string& field, const std::string& product);

 private:
  explicit QBNFileHandlers(std::weak_ptr<QBNPublisherHandlerContext> publisher);
  void recordProductIdentities(const std::string& path) const;
  void answerSaveFile(bool cached, const std::optional<std::string>& path, const std::string& file,
                      const std::optional<std::string>& errMsg) const;

  std::weak_ptr<QBNPublisherHandlerContext> publisher_;
};
