#pragma once
// A GIF's first image through giflib, as the 8-bit surface SDL_image's GIF loader makes of it: the
// image's own size, its local colour map or else the global one, the transparent index of the last
// graphic control before it as the colour key. SDL_image's loader is not used: on damaged LZW data
// it writes outside its buffers (a 69-byte file crashes it), where giflib stops with an error.
#include <cstdint>
#include <span>

#include "photos/surface_ptr.h"

// Null when the bytes are no GIF or its first image cannot be started; an image whose data ends
// or breaks partway keeps the rows read so far and index 0 below them, as SDL_image's did.
SurfacePtr decode_gif(std::span<const uint8_t> bytes);
