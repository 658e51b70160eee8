#include "tools/make/photos/caption_place.h"

#include <algorithm>
#include <cmath>

namespace {

bool overlaps(const PixelBox& a, const PixelBox& b) {
  return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height && b.top < a.top + a.height;
}

}  // namespace

std::optional<PixelBox> place_caption(int photo_w, int photo_h, int caption_w, int caption_h, int margin,
                                      const SeenPart& seen, const std::vector<PixelBox>& faces) {
  const int left = static_cast<int>(std::ceil(std::clamp(seen.left, 0.0, 1.0) * photo_w)) + margin;
  const int right = static_cast<int>(std::floor(std::clamp(seen.right, 0.0, 1.0) * photo_w)) - margin;
  const int top = static_cast<int>(std::ceil(std::clamp(seen.top, 0.0, 1.0) * photo_h)) + margin;
  const int bottom = static_cast<int>(std::floor(std::clamp(seen.bottom, 0.0, 1.0) * photo_h)) - margin;
  if (caption_w <= 0 || caption_h <= 0 || right - left < caption_w || bottom - top < caption_h) return std::nullopt;
  std::vector<PixelBox> keep_off;
  for (const PixelBox& f : faces) {
    const int gx = (f.width + 9) / 10, gy = (f.height + 9) / 10;
    keep_off.push_back({f.left - gx, f.top - gy, f.width + 2 * gx, f.height + 2 * gy});
  }
  auto free = [&](const PixelBox& b) {
    return std::none_of(keep_off.begin(), keep_off.end(), [&](const PixelBox& f) { return overlaps(b, f); });
  };
  const int x_right = right - caption_w, x_left = left, y_bottom = bottom - caption_h, y_top = top;
  // The corners, the bottom right first (where a photo's date has always been stamped), then along
  // the bottom and the top from the right, a quarter of the caption at a time.
  std::vector<PixelBox> tries = {{x_right, y_bottom, caption_w, caption_h},
                                 {x_left, y_bottom, caption_w, caption_h},
                                 {x_right, y_top, caption_w, caption_h},
                                 {x_left, y_top, caption_w, caption_h}};
  const int step = std::max(1, caption_w / 4);
  for (int y : {y_bottom, y_top})
    for (int x = x_right - step; x > x_left; x -= step) tries.push_back({x, y, caption_w, caption_h});
  for (const PixelBox& b : tries)
    if (free(b)) return b;
  return std::nullopt;
}
