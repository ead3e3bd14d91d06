#include "platform/dispatch.h"
#include "platform/storekit/storekit_control.h"
#include "platform/storekit/storekit_internal.h"
#include "platform/storekit/store_product_view_controller.h"
#include "platform/ui/application.h"

namespace platform {

// ------------------------------------------------------------- the page

void StoreProductContentView::touchesBegan(const std::vector<Touch>& /*touches*/, const Event& /*event*/) {
  ++touches_;
}

void StoreProductViewController::loadView() {
  setView(std::make_shared<StoreProductContentView>(Screen::main().bounds()));
}

void StoreProductViewController::loadProductWithParameters(const StoreProductParameters& parameters,
                                                           StoreLoadCompletion completion) {
  auto self = std::static_pointer_cast<StoreProductViewController>(weak_from_this().lock());
  StoreKitControl::shared().receiveLoad(self, parameters, std::move(completion));
}

// ------------------------------------------------------------ the control

StoreKitControl& StoreKitControl::shared() {
  static StoreKitControl* control = new StoreKitControl();  // never destroyed: answers may be in flight at exit
  return *control;
}

void StoreKitControl::setLoadAnswer(StoreLoadAnswer answer) {
  std::lock_guard lock(m_);
  answer_ = std::move(answer);
}

void StoreKitControl::setHoldLoads(bool hold) {
  std::lock_guard lock(m_);
  hold_ = hold;
}

std::vector<StoreLoadRecord> StoreKitControl::loads() const {
  std::lock_guard lock(m_);
  return loads_;
}

bool StoreKitControl::completeLoad(size_t index, bool success, std::optional<Error> error) {
  StoreLoadCompletion completion;
  {
    std::lock_guard lock(m_);
    if (index >= held_.size() || !held_[index]) return false;
    completion = std::move(held_[index]);
    held_[index] = nullptr;
    loads_[index].answered = true;
  }
  completion(success, std::move(error));
  return true;
}

bool StoreKitControl::closeByUser(const std::shared_ptr<StoreProductViewController>& controller) {
  if (!controller) return false;
  auto delegate = controller->delegate();
  if (!delegate) return false;
  delegate->productViewControllerDidFinish(controller);
  return true;
}

void StoreKitControl::resetForTesting() {
  // Released outside the lock: they may hold outside objects.
  std::vector<StoreLoadCompletion> dropped;
  std::vector<SKAdNetworkCallRecord> calls;
  std::vector<std::shared_ptr<SKAdImpression>> started;
  std::vector<SKOverlayRecord> steps;
  std::vector<std::pair<std::weak_ptr<WindowScene>, std::shared_ptr<SKOverlay>>> shown;
  {
    std::lock_guard lock(m_);
    ++generation_;
    answer_ = StoreLoadAnswer{};
    hold_ = false;
    loads_.clear();
    dropped.swap(held_);
    impressionAnswer_ = SKAdNetworkAnswer{};
    nextImpressionError_.reset();
    nextImpressionThrow_.reset();
    calls.swap(impressionCalls_);
    started.swap(startedImpressions_);
    nextOverlayLoadError_.reset();
    steps.swap(overlayRecords_);
    shown.swap(shownOverlays_);
  }
}

void StoreKitControl::receiveLoad(const std::shared_ptr<StoreProductViewController>& controller,
                                  const StoreProductParameters& parameters, StoreLoadCompletion completion) {
  StoreLoadAnswer answer;
  size_t index;
  uint64_t generation;
  {
    std::lock_guard lock(m_);
    index = loads_.size();
    loads_.push_back(StoreLoadRecord{controller, parameters, isMainThread(), false});
    if (hold_) {
      held_.resize(index + 1);
      held_[index] = std::move(completion);
      return;
    }
    held_.resize(index + 1);
    answer = answer_;
    generation = generation_;
  }
  auto deliver = [index, generation, answer, completion = std::move(completion)] {
    auto& control = StoreKitControl::shared();
    {
      std::lock_guard lock(control.m_);
      if (generation != control.generation_) return;
      control.loads_[index].answered = true;
    }
    completion(answer.success, answer.error);
  };
  storekit_internal::deliverOn(answer.thread, answer.delayMs, std::move(deliver));
}

}  // namespace platform
