#include "scriptfeatures/files/QBNFileSystemJSInterfaceHandler.h"

#include "ownnetwork/services/PMAHelperMethods.h"
#include "platform/dispatch.h"
#include "scriptfeatures/QBNJSConventions.h"
#include "scriptfeatures/files/QBNFileSystemController.h"

using platform::Json;

namespace {

const Json& functionParamsOf(const Json& decoded) {
  static const Json& none = *new Json(Json::object());
  auto it = decoded.find("functionParams");
  return it != decoded.end() && it->is_object() ? *it : none;
}

std::optional<std::string> folderPathOf(const Json& decoded) {
  return platform::getString(functionParamsOf(decoded), "folderPath");
}

}  // namespace

std::shared_ptr<QBNFileSystemJSInterfaceHandler> QBNFileSystemJSInterfaceHandler::initWithPublisherAgent(
    std::weak_ptr<QBNPublisherAgent> publisherAgent, std::shared_ptr<QBNDataManagerProtocol> dataManager) {
  return std::shared_ptr<QBNFileSystemJSInterfaceHandler>(new QBNFileSystemJSInterfaceHandler(
      std::move(publisherAgent), QBNFileSystemController::initWithDataManager(std::move(dataManager))));
}

QBNFileSystemJSInterfaceHandler::QBNFileSystemJSInterfaceHandler(std::weak_ptr<QBNPublisherAgent> publisherAgent,
                                                                 std::shared_ptr<QBNFileSystemController> controller)
    : publisherAgent_(std::move(publisherAgent)), fileSystemController_(std::move(controller)) {}

void QBNFileSystemJSInterfaceHandler::invokeAPIWithJSParams(const Json& params) {
  const Json decoded = PMAHelperMethods::decodeByReplacingPercentEscapes(params);
  const auto name = platform::getString(decoded, "functionName");
  if (!name) return handleApiMethodResult(decoded, std::nullopt, std::string(kQBNFileSystemMissingNameMessage));
  if (!decoded.contains("functionParams")) {
    return handleApiMethodResult(decoded, std::nullopt, std::string(kQBNFileSystemMissingParamsMessage));
  }
  if (!decoded["functionParams"].is_object()) {
    return handleApiMethodResult(decoded, std::nullopt, std::string(kQBNFileSystemParamsNotObjectMessage));
  }
  using Operation = void (QBNFileSystemJSInterfaceHandler::*)(const Json&);
  static constexpr std::pair<const char*, Operation> kOperations[] = {
      {"saveFile", &QBNFileSystemJSInterfaceHandler::downloadFileWithParameters},
      {"deleteFile", &QBNFileSystemJSInterfaceHandler::deleteFileWithParameters},
      {"deleteFolder", &QBNFileSystemJSInterfaceHandler::deleteFolderWithParameters},
      {"getFiles", &QBNFileSystemJSInterfaceHandler::getFilesWithParameters},
      {"getTotalSizeOfFiles", &QBNFileSystemJSInterfaceHandler::getTotalSizeOfFilesWithParameters},
      {"updateAttributesOfFile", &QBNFileSystemJSInterfaceHandler::updateAttributesOfFileWithParameters},
  };
  for (const auto& [operationName, operation] : kOperations) {
    if (*name == operationName) return (this->*operation)(decoded);
  }
}

std::function<void(const std::optional<Json>&, const std::optional<std::string>&)> QBNFileSystemJSInterfaceHandler::replyTo(
    const Json& decoded) {
  std::weak_ptr<QBNFileSystemJSInterfaceHandler> weakSelf = weak_from_this();
  return [weakSelf, decoded](const std::optional<Json>& result, const std::optional<std::string>& error) {
    if (auto self = weakSelf.lock()) self->handleApiMethodResult(decoded, result, error);
  };
}

void QBNFileSystemJSInterfaceHandler::downloadFileWithParameters(const Json& decoded) {
  fileSystemController_->downloadAndSaveFileWithParameters(functionParamsOf(decoded), replyTo(decoded));
}

void QBNFileSystemJSInterfaceHandler::deleteFileWithParameters(const Json& decoded) {
  auto reply = replyTo(decoded);
  const Json parameters = functionParamsOf(decoded);
  fileSystemController_->deleteFileWithParameters(
      parameters, [reply, parameters](const std::optional<std::string>& error) { reply(parameters, error); });
}

void QBNFileSystemJSInterfaceHandler::deleteFolderWithParameters(const Json& decoded) {
  auto reply = replyTo(decoded);
  fileSystemController_->deleteFolderWitDirectory(
      folderPathOf(decoded), [reply](const std::optional<std::string>& error) { reply(std::nullopt, error); });
}

void QBNFileSystemJSInterfaceHandler::getFilesWithParameters(const Json& decoded) {
  auto reply = replyTo(decoded);
  fileSystemController_->getFilesWithDirectory(
      folderPathOf(decoded), [reply](const Json& map, const std::optional<std::string>& error) { reply(map, error); });
}

void QBNFileSystemJSInterfaceHandler::getTotalSizeOfFilesWithParameters(const Json& decoded) {
  auto reply = replyTo(decoded);
  fileSystemController_->getTotalSizeOfFilesWithDirectory(
      folderPathOf(decoded), [reply](uint64_t totalSize, const std::optional<std::string>& error) {
        reply(Json{{"totalSize", totalSize}}, error);
      });
}

void QBNFileSystemJSInterfaceHandler::updateAttributesOfFileWithParameters(const Json& decoded) {
  const Json& parameters = functionParamsOf(decoded);
  auto attributes = parameters.find("attributesToUpdate");
  fileSystemController_->updateAttributesOfFileWithParameters(
      parameters, attributes == parameters.end() ? Json() : *attributes, replyTo(decoded));
}

void QBNFileSystemJSInterfaceHandler::handleApiMethodResult(const Json& decoded, const std::optional<Json>& result,
                                                            const std::optional<std::string>& errorMessage) {
  Json reply = decoded.is_object() ? decoded : Json::object();
  if (errorMessage) {
    reply["errMsg"] = *errorMessage;
  } else if (result) {
    reply["result"] = *result;
  }
  const auto function = platform::getString(decoded, errorMessage ? "fail" : "success");
  std::weak_ptr<QBNPublisherAgent> agent = publisherAgent_;
  platform::mainQueue()->async([agent, function, reply = std::move(reply)] {
    QBNJSConventions::replyEncoded(agent, function, reply);
  });
}
