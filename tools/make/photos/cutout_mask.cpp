#include "tools/make/photos/cutout_mask.h"

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

std::vector<uint8_t> cutout_mask(Cutout cutout, int width, int height) {
  std::vector<uint8_t> mask(static_cast<size_t>(width) * height, 255);
  if (cutout == Cutout::None) return mask;
  const double cx = width / 2.0, cy = height / 2.0;
  const double shorter = std::min(width, height);
  const double soft = std::max(1.5, shorter / 300.0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double px = x + 0.5 - cx, py = y + 0.5 - cy;
      double inside = 0;  // pixels inside the edge of the part shown
      double edge = soft;
      switch (cutout) {
        case Cutout::Cameo: {
          // An oval, its edge softened over a wider band, as a cameo's is.
          const double rx = width * 0.44, ry = height * 0.46;
          const double k = std::sqrt((px * px) / (rx * rx) + (py * py) / (ry * ry));
          inside = (1 - k) * std::min(rx, ry);
          edge = soft * 4;
          break;
        }
        case Cutout::Frame: {
          // Outside a rounded window of half-extents 0.35 × the sides, corner radius 5% of the width.
          const double r = width * 0.05;
          const double qx = std::abs(px) - (width * 0.35 - r), qy = std::abs(py) - (height * 0.35 - r);
          inside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0)) + std::min(std::max(qx, qy), 0.0) - r;
          break;
        }
        case Cutout::Iris:
          inside = std::hypot(px, py) - height * 0.15;
          break;
        case Cutout::Circle:
          inside = shorter * 0.49 - std::hypot(px, py);
          break;
        case Cutout::None:
          break;
      }
      mask[static_cast<size_t>(y) * width + x] = coverage(inside, edge);
    }
  }
  return mask;
}
