#include "app/wall_tile.h"

#include <GL/gl.h>

#include <cstdlib>

namespace {

// The largest count of displays a wall takes either way, and the largest bezel: far beyond any
// real wall, small enough that no size below overflows.
constexpr int MAX_DISPLAYS = 64;
constexpr int MAX_BEZEL = 4096;

// A whole number in 0..limit written in decimal digits only.
bool parse_number(const std::string& text, int limit, int& out) {
  if (text.empty() || text.size() > 6) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  const long v = std::strtol(text.c_str(), nullptr, 10);
  if (v > limit) return false;
  out = static_cast<int>(v);
  return true;
}

// "AxB" or "A,B" into two numbers in 1..MAX_DISPLAYS.
bool parse_pair(const std::string& text, char separator, int& a, int& b) {
  const size_t at = text.find(separator);
  return at != std::string::npos && parse_number(text.substr(0, at), MAX_DISPLAYS, a) && a >= 1 &&
         parse_number(text.substr(at + 1), MAX_DISPLAYS, b) && b >= 1;
}

}  // namespace

WallPixels wall_pixels(const WallTile& tile, int32_t screen_width, int32_t screen_height) {
  return {int64_t(tile.columns) * screen_width + int64_t(tile.columns - 1) * tile.bezel,
          int64_t(tile.rows) * screen_height + int64_t(tile.rows - 1) * tile.bezel};
}

Letterbox wall_tile_viewport(const WallTile& tile, int32_t screen_width, int32_t screen_height) {
  const WallPixels wall = wall_pixels(tile, screen_width, screen_height);
  Letterbox box = letterbox_for(static_cast<int32_t>(wall.width), static_cast<int32_t>(wall.height));
  // The tile's corners on the wall; GL counts y from the bottom, the wall's rows from the top.
  const int64_t left = int64_t(tile.column - 1) * (screen_width + tile.bezel);
  const int64_t bottom = wall.height - int64_t(tile.row - 1) * (screen_height + tile.bezel) - screen_height;
  box.x = static_cast<int32_t>(box.x - left);
  box.y = static_cast<int32_t>(box.y - bottom);
  return box;
}

bool set_wall_tile_viewport(const WallTile& tile, int32_t screen_width, int32_t screen_height, std::string& error) {
  const Letterbox box = wall_tile_viewport(tile, screen_width, screen_height);
  GLint largest[2] = {0, 0};
  glGetIntegerv(GL_MAX_VIEWPORT_DIMS, largest);
  if (box.width > largest[0] || box.height > largest[1]) {
    error = "the wall's picture (" + std::to_string(box.width) + "x" + std::to_string(box.height) +
            ") is larger than this GL's largest viewport (" + std::to_string(largest[0]) + "x" +
            std::to_string(largest[1]) + ")";
    return false;
  }
  // Moved by whole pixels, the viewport rasterises every pixel of the tile as the wall-sized one
  // would: the tiles side by side are the whole picture.
  apply_letterbox(box);
  return true;
}

bool parse_wall_tile(const std::string& wall, const std::string& screen, const std::string& bezel, WallTile& tile,
                     std::string& error) {
  tile = WallTile{};
  if (wall.empty() && screen.empty()) {
    if (!bezel.empty()) error = "--bezel is for a wall: give --wall COLSxROWS and --screen COL,ROW too";
    return error.empty();
  }
  if (wall.empty() || screen.empty()) {
    error = wall.empty() ? "--screen needs --wall COLSxROWS" : "--wall needs --screen COL,ROW (this display's place)";
    return false;
  }
  if (!parse_pair(wall, 'x', tile.columns, tile.rows)) {
    error = "--wall \"" + wall + "\": not COLSxROWS, each 1.." + std::to_string(MAX_DISPLAYS);
    return false;
  }
  if (!parse_pair(screen, ',', tile.column, tile.row)) {
    error = "--screen \"" + screen + "\": not COL,ROW, counted from 1 (the top-left display is 1,1)";
    return false;
  }
  if (tile.column > tile.columns || tile.row > tile.rows) {
    error = "--screen " + screen + " is outside a wall of " + wall + " (the bottom-right display is " +
            std::to_string(tile.columns) + "," + std::to_string(tile.rows) + ")";
    return false;
  }
  if (!bezel.empty() && !parse_number(bezel, MAX_BEZEL, tile.bezel)) {
    error = "--bezel \"" + bezel + "\": not a whole number of pixels in 0.." + std::to_string(MAX_BEZEL);
    return false;
  }
  return true;
}
