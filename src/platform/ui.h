#pragma once
// Handles of on-screen objects. Linux has no UIKit: a view controller or a
// view is an opaque object that the library passes through unchanged (to an
// ad network's show call, to a banner delegate) and that tests compare by
// identity. Later work may give these classes state; callers only rely on
// identity and on std::shared_ptr ownership.
#include <memory>

namespace platform {

// A screen's controller: what an ad is presented from.
class ViewController {
 public:
  virtual ~ViewController() = default;
};

// A view: what a banner ad puts on screen.
class View {
 public:
  virtual ~View() = default;
};

using ViewControllerRef = std::shared_ptr<ViewController>;
using ViewRef = std::shared_ptr<View>;

}  // namespace platform
