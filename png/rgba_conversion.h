#pragma once
// Samples at the image's own bit depth to 8-bit RGBA, by the decoder's rules: 16-bit samples keep
// their first (most significant) byte, colour keys compare with the full stored sample, grey
// below 8 bits is scaled exactly.
#include <cstdint>

#include "png/png_info.h"

// `count` pixels of `raw`, packed without spare bits from bit 0 on, to RGBA at out. Returns 0,
// or for a palette index beyond the palette PNG_INDEX_BEYOND_PALETTE (bit depth 8) or
// PNG_INDEX_BEYOND_PALETTE_LOW (below 8), the pixels before it converted.
uint32_t pixels_to_rgba(const PngInfo& info, const uint8_t* raw, uint64_t count, uint8_t* out);
