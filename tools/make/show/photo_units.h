#pragma once
// How photos share the screen, by their shapes, in the order they are shown: a landscape fills the
// screen on its own; two portraits (or squares) stand side by side, or a portrait beside the
// landscape next to it; a panorama spans the screen's width; a portrait with no partner stands
// alone. Whatever a unit leaves of the screen, the backdrop fills.
#include <vector>

enum class UnitKind {
  Fill,  // one landscape covering the screen, zooming and panning inside it
  Band,  // one panorama across the screen's width, whole
  Pair,  // two photos side by side at one height, whole (two portraits, or a portrait and a landscape)
  Solo,  // one portrait or square, whole, at the screen's height
};

struct PhotoUnit {
  UnitKind kind = UnitKind::Fill;
  int first = 0;    // index of the photo shown (on the left in a pair)
  int second = -1;  // the pair's right photo
  int photos() const { return second < 0 ? 1 : 2; }
  // How long the unit is held, against a single photo's hold: two photos take longer to see.
  double weight() const { return second < 0 ? 1.0 : 1.6; }
};

// Landscapes from this aspect (width / height) up; narrower photos are paired.
inline constexpr double LANDSCAPE_ASPECT = 1.2;
// Panoramas from this aspect up: filling the screen would cut most of them away.
inline constexpr double PANORAMA_ASPECT = 2.3;

// The units of photos of these aspects, in order; every photo in exactly one unit. A photo that
// may not `fill` the screen (too few pixels for it) is paired as a portrait is; one that stands
// `alone` (far too few) is always a unit of its own. One that is `lone` (a card is shown over it)
// is a unit of its own too, but as its shape would be shown alone: a landscape still fills the
// screen. All by photo; empty: none.
std::vector<PhotoUnit> group_photos(const std::vector<double>& aspects, const std::vector<bool>& fill = {},
                                    const std::vector<bool>& alone = {}, const std::vector<bool>& lone = {});
