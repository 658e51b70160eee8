#pragma once
// The alpha of the cut-out catalogue entries, drawn in plain arithmetic: 255 where the photo
// shows, 0 where it is cut away, a soft edge of a few pixels between.
#include <cstdint>
#include <vector>

#include "tools/make/catalogue_plan.h"

// side × side bytes, top row first. Cameo: an oval of 92% of the side; Frame: the photo with a
// rounded window of 70% of the side cut from its middle; Iris: a round hole of 30% of the side.
// Any other role: all 255.
std::vector<uint8_t> cutout_mask(EntryRole role, int side);
