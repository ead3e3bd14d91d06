#pragma once
// Plain geometry and colour values of the headless UI layer, in points.
#include <cmath>

namespace platform {

struct Point {
  double x = 0;
  double y = 0;
  bool operator==(const Point&) const = default;
};

struct Size {
  double width = 0;
  double height = 0;
  bool operator==(const Size&) const = default;
};

struct Rect {
  Point origin;
  Size size;

  static constexpr Rect make(double x, double y, double width, double height) {
    return Rect{Point{x, y}, Size{width, height}};
  }
  double minX() const { return std::fmin(origin.x, origin.x + size.width); }
  double maxX() const { return std::fmax(origin.x, origin.x + size.width); }
  double minY() const { return std::fmin(origin.y, origin.y + size.height); }
  double maxY() const { return std::fmax(origin.y, origin.y + size.height); }
  double width() const { return std::fabs(size.width); }
  double height() const { return std::fabs(size.height); }
  Point center() const { return Point{origin.x + size.width / 2, origin.y + size.height / 2}; }
  bool isEmpty() const { return size.width == 0 || size.height == 0; }
  // Half-open, as hit-testing treats a frame: the left and top edges belong to
  // the rectangle, the right and bottom edges do not.
  bool contains(Point p) const {
    return !isEmpty() && p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
  }
  bool operator==(const Rect&) const = default;
};

struct EdgeInsets {
  double top = 0, left = 0, bottom = 0, right = 0;
  bool operator==(const EdgeInsets&) const = default;
};

// An RGBA colour with components in [0, 1].
struct Color {
  double red = 0;
  double green = 0;
  double blue = 0;
  double alpha = 0;

  static constexpr Color clear() { return Color{0, 0, 0, 0}; }
  static constexpr Color black() { return Color{0, 0, 0, 1}; }
  static constexpr Color white() { return Color{1, 1, 1, 1}; }
  bool operator==(const Color&) const = default;
};

}  // namespace platform
