// The application's windows and view controllers over the headless UI layer.
// A host window is a platform window that tells its observer when a view
// controller's view (other than the root's) joins or leaves it: presentation
// puts the presented controller's view on top of the presenter's window and
// dismissal takes it away.
#include "quillborne/host/Screen.h"

#include <mutex>
#include <set>
#include <string>

#include "foundation/QBLoggerManager.h"
#include "host/ScreenChecks.h"
#include "platform/dispatch.h"
#include "platform/ui.h"

namespace quillborne::host {

namespace {

struct ThreadChecks {
  std::mutex mutex;
  std::set<std::string> reported;
};

ThreadChecks& threadChecks() {
  static ThreadChecks& checks = *new ThreadChecks();  // lives for the process
  return checks;
}

// Screen calls belong to the main thread; one made elsewhere still runs (as
// on the platform, whose checker only reports), and the first of its kind is
// logged.
void checkMainThread(const char* call) {
  if (platform::isMainThread()) return;
  {
    auto& checks = threadChecks();
    std::lock_guard lock(checks.mutex);
    if (!checks.reported.insert(call).second) return;
  }
  QBLoggerManager::sharedInstance().dynamicLog(
      call,
      "UI API called on a background thread: windows and view controllers belong to the main thread (make and "
      "use them there, or hand the work over with MainLoop::post); reported once",
      QBLogLevelError, QBLogTagAPI);
}

class HostWindow final : public platform::Window {
 public:
  using platform::Window::Window;

  void setObserver(std::weak_ptr<WindowObserver> observer) { observer_ = std::move(observer); }
  int presentedCount() const { return presented_; }

 protected:
  void didAddSubview(const std::shared_ptr<platform::View>& view) override {
    if (!isPresentedView(view)) return;
    ++presented_;
    if (auto observer = observer_.lock()) observer->presentedViewControllerAppeared();
  }
  void willRemoveSubview(const std::shared_ptr<platform::View>& view) override {
    if (!isPresentedView(view)) return;
    if (presented_ > 0) --presented_;
    if (auto observer = observer_.lock()) observer->presentedViewControllerDisappeared();
  }

 private:
  // The root view of a controller other than the window's root: what
  // presentation puts in the window. The own network's hidden page has no
  // controller.
  bool isPresentedView(const std::shared_ptr<platform::View>& view) const {
    auto controller = view ? view->viewController() : nullptr;
    return controller && controller != rootViewController();
  }

  std::weak_ptr<WindowObserver> observer_;
  int presented_ = 0;
};

}  // namespace

// ------------------------------------------------------------ view controller

struct ViewController::Impl {
  std::shared_ptr<platform::ViewController> controller;
};

ViewController::ViewController(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ViewController::~ViewController() = default;

std::shared_ptr<ViewController> ViewController::create() {
  checkMainThread("ViewController::create");
  auto impl = std::make_unique<Impl>();
  impl->controller = std::make_shared<platform::ViewController>();
  return std::shared_ptr<ViewController>(new ViewController(std::move(impl)));
}

Quillborne::ViewControllerRef ViewController::viewController() const { return impl_->controller; }

bool ViewController::isPresenting() const {
  checkMainThread("ViewController::isPresenting");
  return impl_->controller->presentedViewController() != nullptr;
}

std::optional<QBBannerSize> ViewController::addBanner(const std::shared_ptr<QBBannerView>& banner) {
  checkMainThread("ViewController::addBanner");
  const auto view = banner ? banner->view() : nullptr;
  if (!view) return std::nullopt;
  const auto host = impl_->controller->view();
  const auto bounds = host->bounds().size;
  const auto size = view->frame().size;
  view->setCenter(platform::Point{bounds.width / 2, bounds.height - size.height / 2});
  host->addSubview(view);
  return QBBannerSize::initWithWidth(static_cast<int>(size.width), static_cast<int>(size.height));
}

bool ViewController::showsBanner(const std::shared_ptr<QBBannerView>& banner) const {
  checkMainThread("ViewController::showsBanner");
  const auto view = banner ? banner->view() : nullptr;
  return view && impl_->controller->isViewLoaded() && view->superview() == impl_->controller->view();
}

// --------------------------------------------------------------------- window

struct Window::Impl {
  std::shared_ptr<HostWindow> window;
  std::shared_ptr<ViewController> root;
};

Window::Window(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Window::~Window() {
  auto& application = platform::Application::shared();
  application.removeWindow(impl_->window);
}

std::shared_ptr<Window> Window::create(const std::shared_ptr<ViewController>& root) {
  checkMainThread("Window::create");
  if (!root) return nullptr;
  const auto controller = root->viewController();
  if (controller->isViewInWindow()) return nullptr;
  auto impl = std::make_unique<Impl>();
  impl->window = std::make_shared<HostWindow>(platform::Screen::main().bounds());
  impl->root = root;
  impl->window->setRootViewController(controller);
  impl->window->makeKeyAndVisible();
  return std::shared_ptr<Window>(new Window(std::move(impl)));
}

std::shared_ptr<ViewController> Window::rootViewController() const { return impl_->root; }

int Window::presentedViewControllerCount() const {
  checkMainThread("Window::presentedViewControllerCount");
  return impl_->window->presentedCount();
}

void Window::setObserver(std::weak_ptr<WindowObserver> observer) {
  checkMainThread("Window::setObserver");
  impl_->window->setObserver(std::move(observer));
}

void Window::joinScene(const std::string& identifier) {
  checkMainThread("Window::joinScene");
  const std::string name = identifier.empty() ? "main" : identifier;
  auto& application = platform::Application::shared();
  std::shared_ptr<platform::WindowScene> scene;
  for (const auto& connected : application.connectedScenes()) {
    if (connected->identifier() == name) scene = connected;
  }
  if (!scene) {
    scene = platform::WindowScene::create(name);
    application.connectScene(scene);
  }
  if (scene->activationState() == platform::SceneActivationState::Background) scene->enterForeground();
  if (scene->activationState() == platform::SceneActivationState::ForegroundInactive) scene->activate();
  impl_->window->setWindowScene(scene);
}

void resetScreenThreadChecksForTesting() {
  auto& checks = threadChecks();
  std::lock_guard lock(checks.mutex);
  checks.reported.clear();
}

}  // namespace quillborne::host
