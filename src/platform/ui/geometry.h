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

// A 2-D affine transform, applied as x' = a*x + c*y + tx, y' = b*x + d*y + ty.
// Positive rotation angles turn clockwise on screen (the y axis points down).
struct AffineTransform {
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

  static constexpr AffineTransform identity() { return AffineTransform{}; }
  // Quarter turns give exact 0 and +-1 entries, so frames of turned views stay
  // whole numbers.
  static AffineTransform rotation(double angle) {
    auto snap = [](double v) { return std::fabs(v) < 1e-12 ? 0.0 : v; };
    const double cs = snap(std::cos(angle)), sn = snap(std::sin(angle));
    return AffineTransform{cs, sn, -sn, cs, 0, 0};
  }
  static constexpr AffineTransform scale(double sx, double sy) { return AffineTransform{sx, 0, 0, sy, 0, 0}; }
  // This transform followed by `then`.
  AffineTransform concat(const AffineTransform& then) const {
    return AffineTransform{a * then.a + b * then.c,           a * then.b + b * then.d,
                           c * then.a + d * then.c,           c * then.b + d * then.d,
                           tx * then.a + ty * then.c + then.tx, tx * then.b + ty * then.d + then.ty};
  }
  // The inverse; the identity for a transform that has none (zero determinant).
  AffineTransform inverted() const {
    const double det = a * d - b * c;
    if (det == 0) return identity();
    return AffineTransform{d / det, -b / det, -c / det, a / det, (c * ty - d * tx) / det, (b * tx - a * ty) / det};
  }
  Point apply(Point p) const { return Point{a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
  bool isIdentity() const { return *this == AffineTransform{}; }
  // The rotation angle in (-pi, pi].
  double angle() const { return std::atan2(b, a); }
  bool operator==(const AffineTransform&) const = default;
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
