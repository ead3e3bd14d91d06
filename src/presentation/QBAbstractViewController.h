#pragma once
// The base of every full-screen own-network view controller: it supports and
// turns to the orientations both the application and the ad allow, and hides
// the status bar.
#include "platform/ui/view_controller.h"

class QBAbstractViewController : public platform::ViewController {
 public:
  // The ad's allowed orientations when they share one with the application's
  // mask, else the application's mask (as platform masks).
  uint64_t supportedInterfaceOrientations() const override;
  // YES exactly when the application's mask and the ad's allowed orientations
  // share one.
  bool shouldAutorotate() const override;
  bool prefersStatusBarHidden() const override { return true; }
};
