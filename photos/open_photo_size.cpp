#include "photos/open_photo_size.h"

#include <algorithm>
#include <cmath>

uint32_t open_photo_long_side(uint32_t screen_height, float largest_scale_factor, uint32_t max_texture_size) {
  constexpr double PIXELS_PER_SCREEN_HEIGHT_AND_SCALE = 0.69;
  constexpr uint32_t SMALLEST = 16;
  const double f = std::isfinite(largest_scale_factor) ? std::fabs(double(largest_scale_factor)) : 0.0;
  const double needed = std::ceil(PIXELS_PER_SCREEN_HEIGHT_AND_SCALE * screen_height * f);
  const double most = std::min(2.0 * screen_height, double(max_texture_size));
  return uint32_t(std::max(double(SMALLEST), std::min(needed, most)));
}

PixelSize open_photo_texture_size(uint32_t width, uint32_t height, uint32_t long_side) {
  const uint32_t longest = std::max(width, height);
  if (longest <= long_side || longest == 0) return {width, height};
  const auto side = [&](uint32_t s) {
    return std::max<uint32_t>(1, uint32_t(std::lround(double(s) * long_side / longest)));
  };
  return {side(width), side(height)};
}

uint32_t jpeg_scale_denominator(PixelSize stored, PixelSize target) {
  for (uint32_t denominator = 8; denominator > 1; denominator /= 2) {
    // libjpeg rounds a scaled side up.
    const uint32_t w = (stored.width + denominator - 1) / denominator;
    const uint32_t h = (stored.height + denominator - 1) / denominator;
    if (w >= target.width && h >= target.height) return denominator;
  }
  return 1;
}

uint64_t mipmapped_bytes(PixelSize size) {
  if (size.width == 0 || size.height == 0) return 0;
  uint64_t bytes = 0;
  for (uint64_t w = size.width, h = size.height;; w = std::max<uint64_t>(1, w / 2), h = std::max<uint64_t>(1, h / 2)) {
    bytes += w * h * 4;
    if (w == 1 && h == 1) break;
  }
  return bytes;
}
