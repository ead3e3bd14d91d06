#pragma once
// Helpers on views.
#include <memory>

namespace platform {
class View;
class ViewController;
}  // namespace platform

namespace QBViewUtils {

// Starting from the view's next responder, the first responder up the chain
// that is a view controller; none when the chain ends without one.
std::shared_ptr<platform::ViewController> parentViewController(const platform::View& view);

}  // namespace QBViewUtils
