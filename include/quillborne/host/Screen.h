#pragma once
// The application's windows and view controllers. The library's UI layer is
// headless: nothing is drawn, but windows, view controllers and what is
// presented over them are kept as on a device, so an application shows ads
// from its own view controller and sees an ad's screen come over its own and
// go again. See docs/host.md.
//
// Main thread only: the thread that runs the main loop (MainLoop), or, before
// a loop first runs, the process's first thread (docs/host.md, the main
// thread). As the platform's main-thread checker does, a call made on another
// thread is carried out all the same and the first call of each kind from
// another thread logs an error (level 3, tag API: "<call> - UI API called on a
// background thread: ..."), once per process; viewController() and
// rootViewController() are not checked.
#include <memory>
#include <optional>
#include <string>

#include "quillborne/Quillborne.h"

namespace quillborne::host {

// A view controller of the application: what it shows ads from.
class ViewController {
 public:
  // A new view controller; its view is made, the size of the main screen, on
  // first use.
  static std::shared_ptr<ViewController> create();
  ~ViewController();
  ViewController(const ViewController&) = delete;
  ViewController& operator=(const ViewController&) = delete;

  // The view controller as the facade's show calls take it:
  // Quillborne::showRewardedVideoWithViewController(vc->viewController()).
  Quillborne::ViewControllerRef viewController() const;
  // True while a view controller is presented over this one (an ad's screen,
  // from the moment the library presents it until its dismissal begins).
  bool isPresenting() const;
  // Puts a loaded banner's view (QBBannerView::view) into this view
  // controller's view, centred on its bottom edge, as an application places a
  // banner; the placed view's size in points ("CUSTOM"), or nothing when the
  // banner has no view. Destroying the banner (Quillborne::destroyBanner)
  // takes the view out again.
  std::optional<QBBannerSize> addBanner(const std::shared_ptr<QBBannerView>& banner);
  // True while the banner's view is in this view controller's view.
  bool showsBanner(const std::shared_ptr<QBBannerView>& banner) const;

  struct Impl;

 private:
  explicit ViewController(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// Hears presented view controllers come on top of a window and leave it.
// Held weakly; called on the main queue, inside the presentation or dismissal
// that caused it.
class WindowObserver {
 public:
  virtual ~WindowObserver() = default;
  // A presented view controller's view was put on top of the window: from
  // here on it covers the window's root (the own network presents its
  // full-screen ads this way).
  virtual void presentedViewControllerAppeared() {}
  // A presented view controller's view left the window: its dismissal ended.
  virtual void presentedViewControllerDisappeared() {}
};

// A window of the application, with the main screen's bounds.
class Window {
 public:
  // A window showing `root`, made the application's key window and visible.
  // Only what comes on screen needs it: ads are shown from a view controller
  // in a window (a show from one in none fails at once, and the ad stays
  // ready), so make it before the first show; the library starts and loads
  // without one (docs/host.md, what the window is for). Null when `root` is
  // null or already in a window.
  static std::shared_ptr<Window> create(const std::shared_ptr<ViewController>& root);
  // Leaves the application's windows.
  ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  std::shared_ptr<ViewController> rootViewController() const;
  // How many presented view controllers are on top of the root's view now
  // (0: the application's own screen is on top).
  int presentedViewControllerCount() const;
  void setObserver(std::weak_ptr<WindowObserver> observer);
  // Puts the window in the application's window scene named `identifier`, as
  // a scene-based application's windows are: the scene is connected and made
  // active first when it is not yet. The own network shows store overlays in
  // the scene of the window its ad is on. Empty `identifier`: "main".
  void joinScene(const std::string& identifier = "main");

  struct Impl;

 private:
  explicit Window(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace quillborne::host
