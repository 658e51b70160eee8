#pragma once
// The alpha of the cut-out catalogue entries, drawn in plain arithmetic: 255 where the photo
// shows, 0 where it is cut away, a soft edge of a few pixels between.
#include <cstdint>
#include <vector>


enum class Cutout {
  None,
  Cameo,   // a soft-edged oval, 88% of the width and 92% of the height across
  Frame,   // the photo with a rounded window of 70% of its width and height cut from its middle
  Iris,    // a round hole 30% of the height across
  Circle,  // a circle as wide as the shorter side, transparent around it
};

// width × height bytes, top row first. None: all 255.
std::vector<uint8_t> cutout_mask(Cutout cutout, int width, int height);
