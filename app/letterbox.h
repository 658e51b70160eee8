#pragma once
// The 16:9 picture inside any screen: full viewport when the screen is (almost) 16:9, otherwise a
// band of the screen's full width and 16:9 height, centred vertically (it overfills a wider screen).
#include <cstdint>

inline constexpr float LETTERBOX_ASPECT = 1.77777f;

struct Letterbox {
  int32_t x, y, width, height;  // the viewport
  float aspect;                 // handed to the perspective projection
};

Letterbox letterbox_for(int32_t screen_width, int32_t screen_height);

// Viewport and projection (45° vertical field of view, near 0.1, far 100) from the screen size;
// leaves the modelview matrix current and set to identity.
void set_letterbox_viewport(int32_t screen_width, int32_t screen_height);
// The same for a letterbox worked out otherwise (one display's tile of a wall, wall_tile.h).
void apply_letterbox(const Letterbox& box);
