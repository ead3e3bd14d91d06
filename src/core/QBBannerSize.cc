#include "quillborne/QBBannerSize.h"

QBBannerSize QBBannerSize::BANNER() { return QBBannerSize(kBanner, 320, 50); }
QBBannerSize QBBannerSize::LARGE() { return QBBannerSize(kLarge, 320, 90); }
QBBannerSize QBBannerSize::RECTANGLE() { return QBBannerSize(kRectangle, 300, 250); }
QBBannerSize QBBannerSize::SMART() { return QBBannerSize(kSmart, 320, 50); }

QBBannerSize QBBannerSize::initWithDescription(std::string description, int width, int height) {
  return QBBannerSize(std::move(description), width, height);
}

QBBannerSize QBBannerSize::initWithWidth(int width, int height) { return QBBannerSize(kCustom, width, height); }
