#include "adapters/QBBaseAdapter.h"

void QBBaseAdapter::initAdapter(const std::string& providerName) {
  std::lock_guard lock(mutex_);
  adapterName_ = providerName;
}

std::string QBBaseAdapter::adapterName() const {
  std::lock_guard lock(mutex_);
  return adapterName_;
}

bool QBBaseAdapter::isConfigValueValid(const platform::Json& value) {
  return value.is_string() && !value.get_ref<const std::string&>().empty();
}

int QBBaseAdapter::loadWhileShowState() const {
  std::lock_guard lock(mutex_);
  return loadWhileShowState_;
}

void QBBaseAdapter::setLoadWhileShowState(int state) {
  std::lock_guard lock(mutex_);
  loadWhileShowState_ = state;
}

int QBBaseAdapter::getLWSSupportState(const std::shared_ptr<QBAdapterConfig>& adapterConfig) {
  (void)adapterConfig;
  return loadWhileShowState();
}
