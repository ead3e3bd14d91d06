#pragma once
// The options of one "displayWebView" presentation, for each of the two
// presentation strategies. Built from the command's parameters, then only
// read.
#include <cstdint>
#include <memory>
#include <optional>

class QBNViewControllerPresentationConfiguration {
 public:
  static std::shared_ptr<QBNViewControllerPresentationConfiguration> defaultConfiguration() {
    return std::make_shared<QBNViewControllerPresentationConfiguration>();
  }

  // Seconds of the container's fade-in; 0 or less shows it at once.
  double fadeTime() const { return fadeTime_; }
  void setFadeTime(double seconds) { fadeTime_ = seconds; }
  // The modal presentation style given to the view controller; -1 keeps the
  // platform's own.
  int64_t ModalPresentationStyle() const { return ModalPresentationStyle_; }
  void setModalPresentationStyle(int64_t style) { ModalPresentationStyle_ = style; }
  bool hideStatusBar() const { return hideStatusBar_; }
  void setHideStatusBar(bool hide) { hideStatusBar_ = hide; }
  bool animateIn() const { return animateIn_; }
  void setAnimateIn(bool animate) { animateIn_ = animate; }
  bool animateOut() const { return animateOut_; }
  void setAnimateOut(bool animate) { animateOut_ = animate; }
  // Present from the top-most view controller instead of the registered one.
  bool calcTopViewController() const { return calcTopViewController_; }
  void setCalcTopViewController(bool calc) { calcTopViewController_ = calc; }
  // After dismissal, hide the container and put the shown view back into the
  // key window, behind every other view.
  bool returnPresentedViewToHirrachyWhenDone() const { return returnPresentedViewToHirrachyWhenDone_; }
  void setReturnPresentedViewToHirrachyWhenDone(bool value) { returnPresentedViewToHirrachyWhenDone_ = value; }
  bool supportsForceClose() const { return supportsForceClose_; }
  void setSupportsForceClose(bool supports) { supportsForceClose_ = supports; }
  // When set, the view controller's answer to shouldAutorotate (non-zero:
  // YES).
  const std::optional<int64_t>& shouldAutorotateVC() const { return shouldAutorotateVC_; }
  void setShouldAutorotateVC(std::optional<int64_t> value) { shouldAutorotateVC_ = value; }

 private:
  double fadeTime_ = 0.3;
  int64_t ModalPresentationStyle_ = -1;
  bool hideStatusBar_ = true;
  bool animateIn_ = false;
  bool animateOut_ = false;
  bool calcTopViewController_ = false;
  bool returnPresentedViewToHirrachyWhenDone_ = true;
  bool supportsForceClose_ = true;
  std::optional<int64_t> shouldAutorotateVC_;
};

// The standalone strategy reads fadeTime, calcTopViewController,
// returnPresentedViewToHirrachyWhenDone and supportsForceClose; it keeps
// animateIn and animateOut without using them.
class QBNStandaloneViewPresentationConfiguration {
 public:
  static std::shared_ptr<QBNStandaloneViewPresentationConfiguration> defaultConfiguration() {
    return std::make_shared<QBNStandaloneViewPresentationConfiguration>();
  }

  double fadeTime() const { return fadeTime_; }
  void setFadeTime(double seconds) { fadeTime_ = seconds; }
  bool animateIn() const { return animateIn_; }
  void setAnimateIn(bool animate) { animateIn_ = animate; }
  bool animateOut() const { return animateOut_; }
  void setAnimateOut(bool animate) { animateOut_ = animate; }
  bool calcTopViewController() const { return calcTopViewController_; }
  void setCalcTopViewController(bool calc) { calcTopViewController_ = calc; }
  bool returnPresentedViewToHirrachyWhenDone() const { return returnPresentedViewToHirrachyWhenDone_; }
  void setReturnPresentedViewToHirrachyWhenDone(bool value) { returnPresentedViewToHirrachyWhenDone_ = value; }
  bool supportsForceClose() const { return supportsForceClose_; }
  void setSupportsForceClose(bool supports) { supportsForceClose_ = supports; }

 private:
  double fadeTime_ = 0.3;
  bool animateIn_ = false;
  bool animateOut_ = false;
  bool calcTopViewController_ = true;
  bool returnPresentedViewToHirrachyWhenDone_ = true;
  bool supportsForceClose_ = true;
};
