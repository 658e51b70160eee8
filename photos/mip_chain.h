#pragma once
// The mipmap levels of a texture, made on a worker rather than by the driver: llvmpipe's
// glGenerateMipmap runs on the thread that draws, and a photo that shrinks to an inset without
// them shimmers.
#include <cstdint>
#include <vector>

#include "photos/open_photo_size.h"

// Level k is max(1, width >> k) × max(1, height >> k), down to 1 × 1; each pixel the mean of the
// 2 × 2 pixels above it (an odd last row or column of the level above is left out). Level 0 is
// `level0` itself, RGBA in either row order (every level keeps it).
std::vector<std::vector<uint8_t>> build_mip_chain(std::vector<uint8_t> level0, PixelSize size);

PixelSize mip_level_size(PixelSize size, uint32_t level);
