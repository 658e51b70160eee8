#include "tools/make/cutout_mask.h"

#include <algorithm>
#include <cmath>

namespace {

// Coverage of a pixel whose centre lies `d` pixels inside an edge (negative: outside), with an
// edge `soft` pixels wide.
uint8_t coverage(double d, double soft) {
  const double v = std::clamp(0.5 + d / soft, 0.0, 1.0);
  return static_cast<uint8_t>(std::lround(v * 255));
}

}  // namespace

std::vector<uint8_t> cutout_mask(EntryRole role, int side) {
  std::vector<uint8_t> mask(static_cast<size_t>(side) * side, 255);
  const double c = side / 2.0;
  const double soft = std::max(1.5, side / 300.0);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const double px = x + 0.5 - c, py = y + 0.5 - c;
      double inside = 0;  // pixels inside the shown part's edge
      switch (role) {
        case EntryRole::Cameo: {
          // An oval slightly taller than wide, its edge softened over a wider band.
          const double rx = side * 0.42, ry = side * 0.46;
          const double k = std::sqrt((px * px) / (rx * rx) + (py * py) / (ry * ry));
          inside = (1 - k) * std::min(rx, ry);
          mask[static_cast<size_t>(y) * side + x] = coverage(inside, soft * 4);
          continue;
        }
        case EntryRole::Frame: {
          // Outside a rounded square window of half-side 0.35 × side, corner radius 0.05 × side.
          const double h = side * 0.35, r = side * 0.05;
          const double qx = std::abs(px) - (h - r), qy = std::abs(py) - (h - r);
          const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0)) + std::min(std::max(qx, qy), 0.0) - r;
          inside = outside;
          break;
        }
        case EntryRole::Iris:
          inside = std::hypot(px, py) - side * 0.15;
          break;
        default:
          continue;
      }
      mask[static_cast<size_t>(y) * side + x] = coverage(inside, soft);
    }
  }
  return mask;
}
