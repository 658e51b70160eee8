#pragma once
// Paints the demo's pictures: a colourful pattern of its own for every index, with the index in
// big digits in the top-left corner, so that a glance at the screen tells which photo is shown.
#include <cstdint>
#include <vector>

struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;  // top row first, R G B A
};

// `cutout`: parts of the picture are transparent (soft edges), for the photos that carry alpha.
// `hard_cutout`: transparency is all or nothing, as a GIF can hold it.
Picture paint_photo(int index, int width, int height, bool cutout, bool hard_cutout);
