#include "measurement/executor/OMIDQuilbrnLoadTask.h"

#include <mutex>
#include <utility>

#include "platform/utf8.h"

namespace {

std::mutex& transportMutex() {
  static std::mutex& m = *new std::mutex;
  return m;
}
OMIDQuilbrnLoadTask::Transport& testTransport() {
  static OMIDQuilbrnLoadTask::Transport& t = *new OMIDQuilbrnLoadTask::Transport;
  return t;
}

}  // namespace

std::shared_ptr<OMIDQuilbrnLoadTask> OMIDQuilbrnLoadTask::taskToLoadStringFromURL(const std::string& url,
                                                                                 unsigned attemptsCount,
                                                                                 platform::QueueRef completionQueue,
                                                                                 CompletionHandler completionHandler) {
  std::shared_ptr<OMIDQuilbrnLoadTask> task(new OMIDQuilbrnLoadTask);
  task->request_.url = url;
  task->attemptsCount_ = attemptsCount;
  task->requiresSuccessStatus_ = true;
  task->completionQueue_ = std::move(completionQueue);
  task->responseParser_ = [](const std::string& data) -> std::optional<std::string> {
    if (!platform::utf8::isValid(data)) return std::nullopt;
    return data;
  };
  task->completionHandler_ = std::move(completionHandler);
  return task;
}

std::shared_ptr<OMIDQuilbrnLoadTask> OMIDQuilbrnLoadTask::taskToSendPingToURL(const std::string& url,
                                                                             platform::QueueRef completionQueue,
                                                                             CompletionHandler completionHandler) {
  std::shared_ptr<OMIDQuilbrnLoadTask> task(new OMIDQuilbrnLoadTask);
  task->request_.url = url;
  task->request_.ignoreLocalCache = true;
  task->attemptsCount_ = 1;
  task->completionQueue_ = std::move(completionQueue);
  task->completionHandler_ = std::move(completionHandler);
  return task;
}

void OMIDQuilbrnLoadTask::setTransportForTesting(Transport transport) {
  std::lock_guard lock(transportMutex());
  testTransport() = std::move(transport);
}

void OMIDQuilbrnLoadTask::start() {
  Transport transport;
  {
    std::lock_guard lock(transportMutex());
    transport = testTransport();
  }
  auto self = shared_from_this();
  platform::DataTaskCompletion completion = [self](platform::DataTaskResult result) {
    self->handleResponseWithData(std::move(result));
  };
  if (transport) {
    transport(request_, completionQueue_, std::move(completion));
    return;
  }
  platform::URLSession::shared()->dataTask(request_, completionQueue_, std::move(completion))->resume();
}

void OMIDQuilbrnLoadTask::handleResponseWithData(platform::DataTaskResult result) {
  ++attemptNumber_;
  std::optional<platform::Error> error = std::move(result.error);
  if (!error && requiresSuccessStatus_) {
    const int status = result.response ? result.response->statusCode : 0;
    if (status < 200 || status > 299) {
      error = platform::URLError(platform::URLErrorCode::ResourceUnavailable, "HTTP status " + std::to_string(status));
    }
  }
  if (error) {
    if (attemptNumber_ < attemptsCount_) {
      start();
      return;
    }
    if (completionHandler_) completionHandler_(std::nullopt, error);
    return;
  }
  std::optional<std::string> parsed = responseParser_ ? responseParser_(result.body) : std::move(result.body);
  if (completionHandler_) completionHandler_(parsed, std::nullopt);
}
