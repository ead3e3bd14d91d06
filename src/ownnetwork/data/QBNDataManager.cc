#include "ownnetwork/data/QBNDataManager.h"

#include "foundation/QBHttpService.h"
#include "foundation/QBUserDefaultsUtilities.h"
#include "ownnetwork/services/PMAHelperMethods.h"
#include "ownnetwork/services/PlovermarkLogManager.h"
#include "platform/storage.h"

namespace {

constexpr int kLogTag = 5;

// QBNDataManager's delivery: added to the queue, else right here.
void deliverTo(const platform::QueueRef& queue, const QBNDataRequestCompletion& completion,
               platform::DataTaskResult result) {
  if (!completion) return;
  if (!queue) {
    completion(std::move(result));
    return;
  }
  queue->async([completion, result = std::move(result)]() mutable { completion(std::move(result)); });
}

}  // namespace

// --------------------------------------------------------------------- base

void QBNDataManagerBase::sendDataRequest(platform::URLRequest request, platform::QueueRef queue,
                                         QBNDataRequestCompletion completion) {
  sendDataRequest(std::move(request), config().retryNumber, std::move(queue), std::move(completion));
}

QBNDataManagerConfiguration QBNDataManagerBase::config() const {
  std::lock_guard lock(mutex_);
  return config_;
}

void QBNDataManagerBase::setConfig(const QBNDataManagerConfiguration& config) {
  {
    std::lock_guard lock(mutex_);
    config_ = config;
  }
  PlovermarkLogManager::sharedManager().log(std::string(className()) + " | setConfig | " + config.description(), 1,
                                            kLogTag);
}

std::shared_ptr<PMADownloadManager> QBNDataManagerBase::downloadMgr() const {
  std::lock_guard lock(mutex_);
  return downloadMgr_;
}

void QBNDataManagerBase::setDownloadMgr(std::shared_ptr<PMADownloadManager> downloadMgr) {
  std::lock_guard lock(mutex_);
  downloadMgr_ = std::move(downloadMgr);
}

platform::DataTaskResult QBNDataManagerBase::answerFor(platform::DataTaskResult result) {
  if (result.error || !result.response) return result;
  const int status = result.response->statusCode;
  if (status < 200 || status > 399) {
    result.error = platform::Error{kPMAHTTPErrorDomain, status, platform::localizedStringForStatusCode(status)};
  }
  return result;
}

bool QBNDataManagerBase::shouldRetry(const platform::DataTaskResult& result, int32_t retryNumber) {
  return retryNumber >= 2 && result.error && result.error->domain == platform::URLError::kDomain &&
         result.error->code == platform::URLErrorCode::TimedOut;
}

void QBNDataManagerBase::initWithConfiguration(const QBNDataManagerConfiguration& config) {
  setConfig(config);
  auto downloads = std::make_shared<PMADownloadManager>();
  setDownloadMgr(downloads);
  downloads->deleteOldBaseDirectory(downloads->getLibraryCachesFolder());
  downloads->deleteOldBaseDirectory(downloads->getDocumentsFolder());
  if (QBUserDefaultsUtilities::getStringFromUserDefaultsWithKey(kQBNSdkVersionKey, "-1") != kQBNSDKVersion) {
    QBUserDefaultsUtilities::saveStringToUserDefaultsWithKey(kQBNSdkVersionKey, kQBNSDKVersion);
  }
  auto& defaults = platform::UserDefaults::standard();
  if (!defaults.object(kQBNShouldGatherInformationKey)) {
    defaults.setBool(kQBNShouldGatherInformationKey, true);
    (void)defaults.synchronize();
  }
}

void QBNDataManagerBase::retryLater(platform::Block send) const {
  const int32_t delay = config().retryDelay;
  if (delay < 1) {
    send();
    return;
  }
  platform::mainQueue()->after(delay * 1000.0, std::move(send));
}

// --------------------------------------------------------- QBNDataManager

std::shared_ptr<QBNDataManager> QBNDataManager::init() {
  return initWithConfiguration(QBNDataManagerConfiguration::defaultConfiguration());
}

std::shared_ptr<QBNDataManager> QBNDataManager::initWithConfiguration(const QBNDataManagerConfiguration& config) {
  std::shared_ptr<QBNDataManager> manager(new QBNDataManager());
  manager->QBNDataManagerBase::initWithConfiguration(config);
  return manager;
}

void QBNDataManager::sendDataRequest(platform::URLRequest request, int32_t retryNumber, platform::QueueRef queue,
                                     QBNDataRequestCompletion completion) {
  std::weak_ptr<QBNDataManager> weak = std::static_pointer_cast<QBNDataManager>(shared_from_this());
  platform::URLRequest again = request;
  auto answer = [weak, again = std::move(again), retryNumber, queue = queue,
                 completion = std::move(completion)](platform::DataTaskResult result) {
    auto self = weak.lock();
    if (!self || !shouldRetry(result, retryNumber)) {
      deliverTo(queue, completion, answerFor(std::move(result)));
      return;
    }
    self->retryLater([weak, again, retryNumber, queue, completion, timedOut = std::move(result)]() {
      if (auto manager = weak.lock()) {
        manager->sendDataRequest(again, retryNumber - 1, queue, completion);
      } else {
        deliverTo(queue, completion, answerFor(timedOut));
      }
    });
  };
  QBHttpService::send(std::move(request), std::move(answer));
}

// --------------------------------------------------------- PMADataManager

std::shared_ptr<PMADataManager> PMADataManager::init() {
  return initWithConfiguration(QBNDataManagerConfiguration::defaultConfiguration());
}

std::shared_ptr<PMADataManager> PMADataManager::initWithConfiguration(const QBNDataManagerConfiguration& config) {
  std::shared_ptr<PMADataManager> manager(new PMADataManager());
  manager->QBNDataManagerBase::initWithConfiguration(config);
  return manager;
}

void PMADataManager::sendDataRequest(platform::URLRequest request, int32_t retryNumber, platform::QueueRef queue,
                                     QBNDataRequestCompletion completion) {
  auto self = std::static_pointer_cast<PMADataManager>(shared_from_this());
  platform::QueueRef answerQueue = queue ? queue : platform::globalQueue();
  platform::URLRequest again = request;
  auto answer = [self, again = std::move(again), retryNumber, queue,
                 completion = std::move(completion)](platform::DataTaskResult result) {
    if (shouldRetry(result, retryNumber)) {
      self->retryLater([self, again, retryNumber, queue, completion] {
        self->sendDataRequest(again, retryNumber - 1, queue, completion);
      });
      return;
    }
    if (completion) completion(answerFor(std::move(result)));
  };
  QBHttpService::send(std::move(request), std::move(answer), std::move(answerQueue));
}

// ---------------------------------------------------------------- factory

std::shared_ptr<QBNDataManagerProtocol> QBNDataManagerFactory::createDataManagerWithConfiguration(
    const QBNDataManagerConfiguration& config) {
  if (config.shouldUseURLSession) return QBNDataManager::initWithConfiguration(config);
  return PMADataManager::initWithConfiguration(config);
}
