#pragma once
// The store's product page as a view controller: it loads the page of a
// product for its parameters and tells its delegate when the user closes it.
// How loads answer and when the user closes a page is set by the host or a
// test through StoreKitControl (storekit_control.h).
//
// Threading: like every view controller, it belongs to the main queue, except
// loadProductWithParameters, which may be called from any thread.
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/result.h"
#include "platform/storekit/store_product_parameters.h"
#include "platform/ui/view_controller.h"

namespace platform {

inline constexpr char kStoreKitErrorDomain[] = "platform.storekit";

class StoreProductViewController;

class StoreProductViewControllerDelegate {
 public:
  virtual ~StoreProductViewControllerDelegate() = default;
  // The user closed the page (main queue). The page stays on screen until
  // the delegate dismisses it.
  virtual void productViewControllerDidFinish(const std::shared_ptr<StoreProductViewController>& controller) = 0;
};

// Whether the page loaded, and the error of a failed load (a failure may come
// without one).
using StoreLoadCompletion = std::function<void(bool result, std::optional<Error> error)>;

// The view showing the store's page. It handles every touch on it itself, so
// none climbs the responder chain to the views behind it.
class StoreProductContentView : public View {
 public:
  using View::View;
  void touchesBegan(const std::vector<Touch>& touches, const Event& event) override;
  int touchCountForTesting() const { return touches_; }

 private:
  int touches_ = 0;
};

class StoreProductViewController : public ViewController {
 public:
  StoreProductViewController() = default;

  std::shared_ptr<StoreProductViewController> sharedStoreController() {
    return std::static_pointer_cast<StoreProductViewController>(shared_from_this());
  }

  // Held weakly.
  std::shared_ptr<StoreProductViewControllerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<StoreProductViewControllerDelegate> delegate) { delegate_ = std::move(delegate); }

  // Loads the page of the product the parameters name. Any thread. The
  // completion runs exactly once, later, on the thread StoreKitControl's
  // answer says (a global queue unless told otherwise), never inline unless
  // the answer asks for it; a test that holds loads answers them from a
  // thread of its choice. A StoreKitControl reset drops unanswered loads.
  virtual void loadProductWithParameters(const StoreProductParameters& parameters, StoreLoadCompletion completion);

 protected:
  // The root view is a StoreProductContentView the size of the main screen.
  void loadView() override;

 private:
  std::weak_ptr<StoreProductViewControllerDelegate> delegate_;
};

}  // namespace platform
