#pragma once
// "fileSystemAPI": the controller page's file store (QBNFileSystemController)
// through one command whose sub-command names the operation.
//
// The request's values are percent-decoded once ("+" stays "+") and the
// ones that read as JSON objects or arrays are parsed; "functionName" names
// the sub-command and "functionParams" (an object) its arguments:
//
//   "saveFile"               "fileName", "filePath", "fileUrl", "timeout"
//                            -> the saved file's attributes record
//   "deleteFile"             "fileName", "filePath" -> a copy of "functionParams"
//   "deleteFolder"           "folderPath" -> no "result"
//   "getFiles"               "folderPath" -> the folder map
//   "getTotalSizeOfFiles"    "folderPath" -> {"totalSize": bytes}
//   "updateAttributesOfFile" "fileName", "filePath", "attributesToUpdate"
//                            -> the file's attributes record before the update
//
// A reply is the decoded request (every key) with "result" added, sent to the
// page function the request names under "success", or with "errMsg" added,
// sent to the one under "fail". Failures of the command itself: "QBNFileSystemAPI
// Missing method name", "QBNFileSystemAPI Missing method parameters",
// kQBNFileSystemParamsNotObjectMessage; an unknown sub-command gets no reply.
// Replies go out on the main queue after the operation has returned, their
// texts percent-encoded as they are (never decoded first: a "+" in a name or
// a value reaches the page as "+"), and only while the publisher exists.
//
// Main queue.
#include <memory>
#include <optional>
#include <string>

#include "ownnetwork/interfaces/QBNPublisherAgent.h"
#include "ownnetwork/interfaces/QBNScriptHandlers.h"
#include "platform/json.h"

class QBNDataManagerProtocol;
class QBNFileSystemController;

inline constexpr char kQBNFileSystemMissingNameMessage[] = "QBNFileSystemAPI Missing method name";
inline constexpr char kQBNFileSystemMissingParamsMessage[] = "QBNFileSystemAPI Missing method parameters";
inline constexpr char kQBNFileSystemParamsNotObjectMessage[] = "QBNFileSystemAPI method parameters are not an object";

class QBNFileSystemJSInterfaceHandler : public QBNJSInterfaceHandlerP,
                                        public std::enable_shared_from_this<QBNFileSystemJSInterfaceHandler> {
 public:
  static std::shared_ptr<QBNFileSystemJSInterfaceHandler> initWithPublisherAgent(
      std::weak_ptr<QBNPublisherAgent> publisherAgent, std::shared_ptr<QBNDataManagerProtocol> dataManager);

  std::shared_ptr<QBNPublisherAgent> publisherAgent() const { return publisherAgent_.lock(); }
  std::shared_ptr<QBNFileSystemController> fileSystemController() const { return fileSystemController_; }

  void invokeAPIWithJSParams(const platform::Json& params) override;

  // One per sub-command; each takes the decoded request.
  void downloadFileWithParameters(const platform::Json& decoded);
  void deleteFileWithParameters(const platform::Json& decoded);
  void deleteFolderWithParameters(const platform::Json& decoded);
  void getFilesWithParameters(const platform::Json& decoded);
  void getTotalSizeOfFilesWithParameters(const platform::Json& decoded);
  void updateAttributesOfFileWithParameters(const platform::Json& decoded);

  // The reply: a failure whenever `errorMessage` is set, else a success with
  // `result` (when there is one).
  void handleApiMethodResult(const platform::Json& decoded, const std::optional<platform::Json>& result,
                             const std::optional<std::string>& errorMessage);

 private:
  QBNFileSystemJSInterfaceHandler(std::weak_ptr<QBNPublisherAgent> publisherAgent,
                                  std::shared_ptr<QBNFileSystemController> controller);
  // The reply handler of an operation: holds this handler weakly.
  std::function<void(const std::optional<platform::Json>&, const std::optional<std::string>&)> replyTo(
      const platform::Json& decoded);

  std::weak_ptr<QBNPublisherAgent> publisherAgent_;
  std::shared_ptr<QBNFileSystemController> fileSystemController_;
};
