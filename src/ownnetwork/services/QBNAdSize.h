#pragma once
// The banner size of an own-network ad instance, in points.
#include <cstdint>
#include <string>
#include <utility>

class QBNAdSize {
 public:
  QBNAdSize(std::string label, int32_t width, int32_t height)
      : label_(std::move(label)), width_(width), height_(height) {}

  const std::string& label() const { return label_; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }

  // Both sides 0.
  bool isZero() const { return width_ == 0 && height_ == 0; }
  // Both sides greater than 0.
  bool isDrawable() const { return width_ > 0 && height_ > 0; }

 private:
  std::string label_;
  int32_t width_;
  int32_t height_;
};
