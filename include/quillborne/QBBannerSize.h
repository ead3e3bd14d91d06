#pragma once
// A banner size: a description ("BANNER", "LARGE", "RECTANGLE", "SMART",
// "CUSTOM" or any text the application gives), a width and height in points
// and an adaptive flag. Plain value: copyable and safe to share between
// threads.
#include <string>
#include <utility>

class QBBannerSize {
 public:
  static constexpr const char* kBanner = "BANNER";
  static constexpr const char* kLarge = "LARGE";
  static constexpr const char* kRectangle = "RECTANGLE";
  static constexpr const char* kSmart = "SMART";
  static constexpr const char* kCustom = "CUSTOM";

  // The standard sizes: BANNER 320x50, LARGE 320x90, RECTANGLE 300x250 and
  // SMART, which reports 320x50 and lets the banner manager pick the size
  // that fits the screen. None of them is adaptive.
  static QBBannerSize BANNER();
  static QBBannerSize LARGE();
  static QBBannerSize RECTANGLE();
  static QBBannerSize SMART();

  // A size with exactly this description, width and height; not adaptive.
  static QBBannerSize initWithDescription(std::string description, int width, int height);
  // A "CUSTOM" size of this width and height; not adaptive.
  static QBBannerSize initWithWidth(int width, int height);

  // BANNER.
  QBBannerSize() : QBBannerSize(kBanner, 320, 50) {}

  const std::string& sizeDescription() const { return description_; }
  int width() const { return width_; }
  int height() const { return height_; }
  // Adaptive banners let the banner manager adjust the height to the width.
  bool isAdaptive() const { return adaptive_; }
  void setAdaptive(bool adaptive) { adaptive_ = adaptive; }
  bool isSmart() const { return description_ == kSmart; }

  bool operator==(const QBBannerSize&) const = default;

 private:
  QBBannerSize(std::string description, int width, int height)
      : description_(std::move(description)), width_(width), height_(height) {}

  std::string description_;
  int width_ = 0;
  int height_ = 0;
  bool adaptive_ = false;
};
