#include "demo/photo_painter.h"

#include <algorithm>
#include <cmath>

namespace {

struct Rgb {
  double r, g, b;
};

// Hue in turns, full saturation and value scaled by v.
Rgb hue(double h, double v = 1.0) {
  h -= std::floor(h);
  const double x = h * 6.0;
  const int sector = static_cast<int>(x) % 6;
  const double f = x - std::floor(x);
  const double up = f, down = 1.0 - f;
  Rgb c{};
  switch (sector) {
    case 0: c = {1, up, 0}; break;
    case 1: c = {down, 1, 0}; break;
    case 2: c = {0, 1, up}; break;
    case 3: c = {0, down, 1}; break;
    case 4: c = {up, 0, 1}; break;
    default: c = {1, 0, down}; break;
  }
  return {c.r * v, c.g * v, c.b * v};
}

Rgb mix(Rgb a, Rgb b, double t) { return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }

// One pattern per index: the style cycles through six families, the colours by the golden angle,
// so that no two pictures look alike. (u, v) run over [0, 1) × [0, 1), aspect = width / height.
Rgb pattern(int index, double u, double v, double aspect) {
  const double base = index * 0.381966;  // golden ratio conjugate: hues spread evenly
  const double x = (u - 0.5) * aspect, y = v - 0.5;
  const double r = std::sqrt(x * x + y * y), a = std::atan2(y, x);
  const double k = 1.0 + index % 4;
  switch (index % 6) {
    case 0: {  // plasma
      const double p = std::sin(x * 7 * k) + std::sin(y * 9 + x * 3) + std::sin(r * 14 - index);
      return hue(base + p * 0.12, 0.75 + 0.25 * std::sin(p * 2));
    }
    case 1: {  // rings
      const double ring = 0.5 + 0.5 * std::cos(r * (30 + 6 * k));
      return mix(hue(base, 0.35), hue(base + 0.15 + r * 0.3), ring);
    }
    case 2: {  // diagonal stripes over a sweep of hues
      const double stripe = std::fmod((x + y) * (6 + 2 * k) + 100.0, 1.0) < 0.5 ? 1.0 : 0.55;
      return hue(base + u * 0.35, stripe);
    }
    case 3: {  // checkerboard drifting in hue
      const int cx = static_cast<int>(std::floor(u * 16)), cy = static_cast<int>(std::floor(v * 9));
      return (cx + cy) % 2 ? hue(base + v * 0.25, 0.95) : hue(base + 0.5 + u * 0.2, 0.45);
    }
    case 4: {  // sunburst
      const double ray = 0.5 + 0.5 * std::cos(a * (8 + 2 * k));
      return mix(hue(base + 0.5, 0.4), hue(base + r * 0.4), ray * std::clamp(1.4 - r, 0.0, 1.0));
    }
    default: {  // soft blobs
      double field = 0;
      for (int i = 0; i < 5; ++i) {
        const double bx = std::cos(i * 2.4 + index) * 0.55 * aspect, by = std::sin(i * 1.7 + index) * 0.35;
        field += 0.05 / ((x - bx) * (x - bx) + (y - by) * (y - by) + 0.004);
      }
      return mix(hue(base + 0.6, 0.5), hue(base + field * 0.01), std::clamp(field / 4.0, 0.0, 1.0));
    }
  }
}

// How opaque the picture is at (u, v) when it has a cutout: one shape per index.
double cutout_alpha(int index, double u, double v, double aspect, bool hard) {
  const double x = (u - 0.5) * aspect, y = v - 0.5;
  double inside;  // > 0 inside the shape, in picture heights
  // The few photos with alpha each get a different shape; the rest follow the index.
  const int shape = index == 4 ? 0 : index == 12 ? 1 : index == 20 ? 2 : index == 36 ? 3 : index % 4;
  switch (shape) {
    case 0: {  // a disc
      inside = 0.45 - std::sqrt(x * x + y * y);
      break;
    }
    case 1: {  // a five-pointed star
      const double a = std::atan2(y, x), r = std::sqrt(x * x + y * y);
      inside = 0.28 + 0.16 * std::cos(5 * a) - r;
      break;
    }
    case 2: {  // a rounded frame with a hole
      const double dx = std::max(std::abs(x) - 0.6 * aspect + 0.1, 0.0), dy = std::max(std::abs(y) - 0.35, 0.0);
      const double outer = 0.12 - std::sqrt(dx * dx + dy * dy);
      inside = std::min(outer, std::sqrt(x * x + y * y) - 0.2);
      break;
    }
    default:  // fading out towards the right
      return hard ? (u < 0.6 ? 1.0 : 0.0) : std::clamp(1.3 - u * 1.3, 0.0, 1.0);
  }
  if (hard) return inside > 0 ? 1.0 : 0.0;
  return std::clamp(0.5 + inside * 40.0, 0.0, 1.0);
}

constexpr int BACKDROP_PHOTO = 17;

constexpr uint8_t DIGITS[10][7] = {
    {0b01110, 0b10001, 0b10011, 0b10101, 0b11001, 0b10001, 0b01110},
    {0b00100, 0b01100, 0b00100, 0b00100, 0b00100, 0b00100, 0b01110},
    {0b01110, 0b10001, 0b00001, 0b00010, 0b00100, 0b01000, 0b11111},
    {0b11110, 0b00001, 0b00001, 0b01110, 0b00001, 0b00001, 0b11110},
    {0b00010, 0b00110, 0b01010, 0b10010, 0b11111, 0b00010, 0b00010},
    {0b11111, 0b10000, 0b11110, 0b00001, 0b00001, 0b10001, 0b01110},
    {0b00110, 0b01000, 0b10000, 0b11110, 0b10001, 0b10001, 0b01110},
    {0b11111, 0b00001, 0b00010, 0b00100, 0b01000, 0b01000, 0b01000},
    {0b01110, 0b10001, 0b10001, 0b01110, 0b10001, 0b10001, 0b01110},
    {0b01110, 0b10001, 0b10001, 0b01111, 0b00001, 0b00010, 0b01100},
};

void fill(Picture& p, int x0, int y0, int w, int h, uint8_t r, uint8_t g, uint8_t b) {
  for (int y = std::max(y0, 0); y < std::min(y0 + h, p.height); ++y)
    for (int x = std::max(x0, 0); x < std::min(x0 + w, p.width); ++x) {
      uint8_t* px = &p.rgba[(static_cast<size_t>(y) * p.width + x) * 4];
      px[0] = r, px[1] = g, px[2] = b, px[3] = 255;
    }
}

// Two digits, a third of the picture high, white on a dark shadow, always opaque.
void draw_index(Picture& p, int index) {
  int cell = std::max(p.height / 21, 2);
  int left = cell, top = cell;
  if (index == BACKDROP_PHOTO) {
    // The backdrop is shown enlarged three times, so only its middle band of about 55% of its
    // height is on screen: its digits go, smaller, into the top-left corner of that band.
    cell = std::max(p.height / 45, 2);
    left = p.width / 25;
    top = p.height * 25 / 100;
  }
  const int shadow = std::max(cell / 4, 1);
  const int digits[2] = {index / 10, index % 10};
  for (int pass = 0; pass < 2; ++pass)
    for (int d = 0; d < 2; ++d)
      for (int row = 0; row < 7; ++row)
        for (int col = 0; col < 5; ++col) {
          if (!(DIGITS[digits[d]][row] >> (4 - col) & 1)) continue;
          const int x = left + (d * 6 + col) * cell, y = top + row * cell;
          if (pass == 0)
            fill(p, x + shadow, y + shadow, cell, cell, 20, 20, 30);
          else
            fill(p, x, y, cell, cell, 255, 255, 255);
        }
}

}  // namespace

Picture paint_photo(int index, int width, int height, bool cutout, bool hard_cutout) {
  Picture p;
  p.width = width;
  p.height = height;
  p.rgba.resize(static_cast<size_t>(width) * height * 4);
  const double aspect = static_cast<double>(width) / height;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const double u = (x + 0.5) / width, v = (y + 0.5) / height;
      const Rgb c = pattern(index, u, v, aspect);
      const double alpha = cutout || hard_cutout ? cutout_alpha(index, u, v, aspect, hard_cutout) : 1.0;
      uint8_t* px = &p.rgba[(static_cast<size_t>(y) * width + x) * 4];
      px[0] = static_cast<uint8_t>(std::lround(std::clamp(c.r, 0.0, 1.0) * 255));
      px[1] = static_cast<uint8_t>(std::lround(std::clamp(c.g, 0.0, 1.0) * 255));
      px[2] = static_cast<uint8_t>(std::lround(std::clamp(c.b, 0.0, 1.0) * 255));
      px[3] = static_cast<uint8_t>(std::lround(alpha * 255));
    }
  draw_index(p, index);
  return p;
}
