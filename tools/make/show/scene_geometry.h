#pragma once
// What the show's scene makes of a layer: layers sit at depth 4 under a 45° vertical field of
// view, so the 16:9 screen spans ±VIEW_HALF_WIDTH × ±VIEW_HALF_HEIGHT units; a layer of scale
// factor f (1 + "scale") spans ±f units, an open photo's square shortened along the photo's
// shorter side. On a screen H pixels high a unit is H / (2 × VIEW_HALF_HEIGHT) pixels.
#include <algorithm>
#include <cmath>

inline constexpr double VIEW_HALF_HEIGHT = 1.6568542494923801;  // 4 × tan(22.5°)
inline constexpr double VIEW_HALF_WIDTH = VIEW_HALF_HEIGHT * 16.0 / 9.0;
inline constexpr int SHARP_SCREEN_HEIGHT = 2160;  // 4K: the largest screen photos are made sharp for

// Half the width and half the height a photo of `aspect` (width / height) spans at factor f.
inline double half_width(double aspect, double f) { return f * std::min(1.0, aspect); }
inline double half_height(double aspect, double f) { return f * std::min(1.0, 1.0 / aspect); }

// The smallest factor at which a photo of `aspect` covers the whole screen.
inline double cover_factor(double aspect) {
  return std::max(VIEW_HALF_WIDTH / std::min(1.0, aspect), VIEW_HALF_HEIGHT / std::min(1.0, 1.0 / aspect));
}

// The side in pixels of a square photo shown at factor f on the 4K screen: one texel a pixel.
inline int sharp_side(double factor) {
  return static_cast<int>(std::ceil(2 * factor * SHARP_SCREEN_HEIGHT / (2 * VIEW_HALF_HEIGHT)));
}

// The screen a photo is judged on: the largest factor at which a photo whose long side has
// `long_side` pixels is shown with each of its pixels at most twice as large (a unit of the screen
// is REFERENCE_SCREEN_HEIGHT / (2 × VIEW_HALF_HEIGHT) pixels; the long side spans 2f units).
inline constexpr int REFERENCE_SCREEN_HEIGHT = 1080;
inline double unenlarged_factor(int long_side) {
  return 2.0 * long_side * VIEW_HALF_HEIGHT / REFERENCE_SCREEN_HEIGHT;
}
