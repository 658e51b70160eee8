#pragma once
// What the show's scene makes of a layer, for sizing photos: layers sit at depth 4 under a 45°
// vertical field of view, and a layer of scale factor f spans ±f units, so on a screen H pixels
// high a unit is H / (2 × 4 × tan 22.5°) pixels.
#include <cmath>

inline constexpr double VIEW_HALF_HEIGHT = 1.6568542494923801;  // 4 × tan(22.5°)
inline constexpr double VIEW_HALF_WIDTH = VIEW_HALF_HEIGHT * 16.0 / 9.0;
inline constexpr int SHARP_SCREEN_HEIGHT = 2160;  // 4K: the largest screen photos are made sharp for

// The largest scale factor (1 + "scale") the choreography gives a photo layer, moves included.
inline constexpr double MAX_LAYER_FACTOR = 1.6;

// The side in pixels of a square photo shown at factor f on the 4K screen: one texel a pixel.
inline int sharp_side(double factor) {
  return static_cast<int>(std::ceil(2 * factor * SHARP_SCREEN_HEIGHT / (2 * VIEW_HALF_HEIGHT)));
}
