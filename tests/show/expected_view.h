#pragma once
// Where the show's camera puts things, worked out from first principles (a 45° vertical field of
// view, the eye at the origin looking down −z) rather than from the code under test, and a
// pixel-by-pixel check of a drawn convex shape against its expected outline.
#include <array>
#include <cmath>
#include <numbers>

#include "tests/support/gl_harness.h"

namespace expected {

struct Vec3 {
  double x, y, z;
};

struct Point {
  double x, y;  // window pixels, x from the left edge, y from the top edge
};

// A screen and the viewport the letterbox rule gives it (x, y from the bottom, as GL counts).
struct Screen {
  int width, height;
  int viewport_x, viewport_y, viewport_width, viewport_height;
  double aspect;
};
inline constexpr Screen WIDE{640, 360, 0, 0, 640, 360, 640.0 / 360.0};
inline constexpr Screen FOUR_THIRDS{1024, 768, 0, 96, 1024, 576, 1.77777};

inline double radians(double degrees) { return degrees * std::numbers::pi / 180.0; }

// Half the visible extent of the picture at distance `depth` in front of the eye.
inline double half_height_at(double depth) { return depth * std::tan(radians(22.5)); }
inline double half_width_at(const Screen& s, double depth) { return s.aspect * half_height_at(depth); }

// A point in eye space (z < 0 in front of the eye) to its window pixel.
inline Point to_pixels(const Screen& s, Vec3 p) {
  const double depth = -p.z;
  const double ndc_x = p.x / half_width_at(s, depth);
  const double ndc_y = p.y / half_height_at(depth);
  const double gl_x = s.viewport_x + (ndc_x + 1) / 2 * s.viewport_width;
  const double gl_y = s.viewport_y + (ndc_y + 1) / 2 * s.viewport_height;
  return {gl_x, s.height - gl_y};
}

inline Vec3 rotate_x(Vec3 p, double degrees) {
  const double c = std::cos(radians(degrees)), s = std::sin(radians(degrees));
  return {p.x, c * p.y - s * p.z, s * p.y + c * p.z};
}
inline Vec3 rotate_y(Vec3 p, double degrees) {
  const double c = std::cos(radians(degrees)), s = std::sin(radians(degrees));
  return {c * p.x + s * p.z, p.y, -s * p.x + c * p.z};
}
inline Vec3 rotate_z(Vec3 p, double degrees) {
  const double c = std::cos(radians(degrees)), s = std::sin(radians(degrees));
  return {c * p.x - s * p.y, s * p.x + c * p.y, p.z};
}

// The values of one layer's ten tracks.
struct Layer {
  float n = 0, x = 0, y = 0, r = 0, g = 0, b = 0, scale = 0, rotx = 0, roty = 0, rotz = 0;
};

inline constexpr double DEPTH = 4.0;

// A point of the 2 × 2 quad (z = 0) through the layer's transform T · Rx · Ry · Rz · S into eye space.
inline Vec3 place(const Layer& l, Vec3 p) {
  const double s = static_cast<double>(l.scale) + 1.0;
  p = {p.x * s, p.y * s, p.z};
  p = rotate_x(rotate_y(rotate_z(p, l.rotz), l.roty), l.rotx);
  return {p.x + l.x, p.y + l.y, p.z - DEPTH};
}

// The quad's corners on screen, in the order of its vertices.
inline std::array<Point, 4> outline(const Screen& s, const Layer& l) {
  std::array<Point, 4> corners;
  const Vec3 quad[4] = {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
  for (int i = 0; i < 4; ++i) corners[i] = to_pixels(s, place(l, quad[i]));
  return corners;
}

// Signed distance in pixels from `p` to the boundary of a convex polygon: positive inside.
inline double inside_by(const std::array<Point, 4>& polygon, Point p) {
  double area = 0;
  for (int i = 0; i < 4; ++i) {
    const Point a = polygon[i], b = polygon[(i + 1) % 4];
    area += a.x * b.y - b.x * a.y;
  }
  const double orientation = area >= 0 ? 1.0 : -1.0;
  double nearest = 1e300;
  for (int i = 0; i < 4; ++i) {
    const Point a = polygon[i], b = polygon[(i + 1) % 4];
    const double length = std::hypot(b.x - a.x, b.y - a.y);
    if (length == 0) continue;
    const double side = orientation * ((b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x)) / length;
    nearest = std::min(nearest, side);
  }
  // A polygon of no area has no inside.
  return std::fabs(area) < 1e-9 ? -1e300 : nearest;
}

// Pixels whose centre lies more than one pixel inside `polygon` that do not match, plus pixels
// more than one pixel outside that do: 0 when the shape is where it should be, within one pixel.
template <typename Match>
int misplaced_pixels(const gltest::Frame& frame, const std::array<Point, 4>& polygon, Match match) {
  int wrong = 0;
  for (int y = 0; y < frame.height; ++y) {
    for (int x = 0; x < frame.width; ++x) {
      const double d = inside_by(polygon, {x + 0.5, y + 0.5});
      if (d > -1.0 && d < 1.0) continue;
      if ((d >= 1.0) != match(frame.at(x, y))) ++wrong;
    }
  }
  return wrong;
}

}  // namespace expected
