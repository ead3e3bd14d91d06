#pragma once
// The full-screen view that shows one ad view (the controller web view or an
// ad-unit web view) and turns it by the orientation rules. Main queue only.
#include <memory>

#include "presentation/QBAbstractView.h"

class QBNFullScreenBaseView : public QBAbstractView {
 public:
  // Clear and not opaque.
  QBNFullScreenBaseView();

  const std::shared_ptr<platform::View>& adviewToPresent() const { return adviewToPresent_; }
  void setAdviewToPresent(std::shared_ptr<platform::View> view) { adviewToPresent_ = std::move(view); }

  // Follows orientation from now on, then takes in the ad view (shown, fully
  // opaque, constrained to fill this view). Nothing more without an ad view.
  void willShowView();
  // Stops following orientation.
  void willHideView();

 private:
  std::shared_ptr<platform::View> adviewToPresent_;
};
