#include "presentation/QBNFullScreenBaseView.h"

#include "presentation/QBConstrainsHelper.h"

QBNFullScreenBaseView::QBNFullScreenBaseView() {
  setBackgroundColor(platform::Color::clear());
  setOpaque(false);
}

void QBNFullScreenBaseView::willShowView() {
  if (!adviewToPresent_) return;
  setOrientationUpdates(true);
  adviewToPresent_->setHidden(false);
  adviewToPresent_->setAlpha(1.0);
  adviewToPresent_->setTranslatesAutoresizingMaskIntoConstraints(false);
  addSubview(adviewToPresent_);
  QBConstrainsHelper::setFullScreenConstraintsForViewAccordingToSuperView(adviewToPresent_);
}

void QBNFullScreenBaseView::willHideView() { setOrientationUpdates(false); }
