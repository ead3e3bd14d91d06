#pragma once
// The hybrid split view's controller: the ad and a store page side by side.
// A store page embedded in it is its child, not presented, so closing that
// page dismisses nothing.
#include "platform/ui/view_controller.h"

class QBSplitViewController : public platform::ViewController {};
