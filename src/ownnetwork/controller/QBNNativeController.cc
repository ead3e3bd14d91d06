#include "ownnetwork/controller/QBNNativeController.h"

#include "ownnetwork/services/QBNJsonValues.h"

using platform::Json;

void QBNNativeController::runCommand(const QBNControllerAPIData& command) {
  const auto& failName = command.failCallback();
  auto delegate = failName ? std::dynamic_pointer_cast<QBNNativeControllerDelegate>(controllerDelegate()) : nullptr;
  if (delegate) {
    delegate->handlePlovermarkCallbackWithCommand(*failName, expendCommandParams(command.functionParameters()));
  }
  // Every command is taken at once, answered or not.
  command.taken();
}

Json QBNNativeController::expendCommandParams(const Json& params) const {
  // The page's answers reach the dispatcher as texts; so do these, without
  // the trip through a query string that would split a value at "&" or "=".
  Json answer = Json::object();
  if (params.is_object()) {
    for (auto it = params.begin(); it != params.end(); ++it) answer[it.key()] = qbnjson::description(it.value());
  }
  answer["errCode"] = std::to_string(kQBNNativeControllerErrorCode);
  answer["errMsg"] = failedControllerReason();
  return answer;
}

std::shared_ptr<QBNControllerDelegate> QBNNativeController::controllerDelegate() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return delegate_.lock();
}

void QBNNativeController::setControllerDelegate(std::weak_ptr<QBNControllerDelegate> delegate) {
  std::lock_guard<std::mutex> lock(mutex_);
  delegate_ = std::move(delegate);
}

std::string QBNNativeController::failedControllerReason() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failedControllerReason_;
}

void QBNNativeController::setFailedControllerReason(std::string reason) {
  std::lock_guard<std::mutex> lock(mutex_);
  failedControllerReason_ = std::move(reason);
}
