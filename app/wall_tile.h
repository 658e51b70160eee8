#pragma once
// One display of a wall of displays. The show's 16:9 letterboxed picture is fitted to the whole
// wall, whose size in pixels is the displays' plus the bezels between them (so that a line runs
// straight across a gap, the pixels it would have under the bezel being hidden there), and each
// display draws its own tile of it. Columns count from the left and rows from the top, both from 1.
#include <cstdint>
#include <string>

#include "app/letterbox.h"

struct WallTile {
  int columns = 1, rows = 1;  // the wall's size in displays
  int column = 1, row = 1;    // this display's place
  int bezel = 0;              // pixels hidden between two neighbouring displays
};

// The wall's size in pixels for displays of `screen_width` × `screen_height`.
struct WallPixels {
  int64_t width, height;
};
WallPixels wall_pixels(const WallTile& tile, int32_t screen_width, int32_t screen_height);

// The viewport that draws this tile: the wall's letterbox (letterbox_for at the wall's size) moved
// so that the tile's bottom-left corner is the framebuffer's origin. Its size is the whole
// picture's, mostly off the framebuffer; the aspect is the wall's. A wall of 1 × 1 is the
// letterbox itself.
Letterbox wall_tile_viewport(const WallTile& tile, int32_t screen_width, int32_t screen_height);

// Viewport and projection for this tile, as set_letterbox_viewport sets them for a screen. False,
// with `error`, when the wall's picture is larger than the GL's largest viewport.
bool set_wall_tile_viewport(const WallTile& tile, int32_t screen_width, int32_t screen_height, std::string& error);

// --wall COLSxROWS, --screen COL,ROW and --bezel PX as the tools take them (empty text: not
// given). False, with a one-line `error`, when one is malformed, --screen lies outside the wall,
// or one is given without the other (--bezel alone is an error too).
bool parse_wall_tile(const std::string& wall, const std::string& screen, const std::string& bezel, WallTile& tile,
                     std::string& error);
