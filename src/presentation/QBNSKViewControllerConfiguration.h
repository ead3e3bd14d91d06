#pragma once
// Which store view controller shows a store page, and how: chosen by the
// controller page per load command.
#include <cstdint>
#include <memory>
#include <string>

class QBNSKViewControllerConfiguration {
 public:
  // 0: the custom QBAppStoreViewController; 1: the platform's store product
  // view controller as it is.
  int32_t viewControllerType() const { return viewControllerType_; }
  void setViewControllerType(int32_t type) { viewControllerType_ = type; }
  // The custom controller's presentation style; -1 keeps its own default.
  int64_t modalPresentationStyle() const { return modalPresentationStyle_; }
  void setModalPresentationStyle(int64_t style) { modalPresentationStyle_ = style; }
  // The custom controller's root view is a QBNAppStoreVCRootView (touches
  // outside the store content close the page) instead of a plain
  // QBAbstractView.
  bool useCustomRootView() const { return useCustomRootView_; }
  void setUseCustomRootView(bool use) { useCustomRootView_ = use; }
  // The custom controller refuses interactive dismissal (systems from 13.0).
  bool modalInPresentation() const { return modalInPresentation_; }
  void setModalInPresentation(bool modal) { modalInPresentation_ = modal; }

  // Type 0, no custom root view, style -1, not modal in presentation.
  static std::shared_ptr<QBNSKViewControllerConfiguration> defaultConfiguration() {
    return std::make_shared<QBNSKViewControllerConfiguration>();
  }

  // "SKViewController configuration: " and a dictionary of
  // "viewControllerType" ("QBSKStoreViewController" for a non-zero type,
  // "QBCustomViewController" for 0), "useCustomRootView" ("true"/"false"),
  // "modalPresentationStyle" (the number) and "modalInPresentation".
  std::string description() const;

 private:
  int32_t viewControllerType_ = 0;
  int64_t modalPresentationStyle_ = -1;
  bool useCustomRootView_ = false;
  bool modalInPresentation_ = false;
};
