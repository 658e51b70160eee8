#pragma once
// Samples at the image's own bit depth to 8-bit RGBA, by the decoder's rules: 16-bit samples keep
// their first (most significant) byte, colour keys compare with the full stored sample, grey
// below 8 bits is scaled exactly.
#include <cstdint>

#include "png/png_decode.h"

// n bits from bit position `pos` of buf, where bit k is bit 7 - (k mod 8) of byte k div 8;
// the first bit read is the most significant of the result. pos advances by n.
inline uint32_t read_bits_msb(const uint8_t* buf, uint64_t& pos, uint32_t n) {
  uint32_t v = 0;
  for (uint32_t i = 0; i < n; ++i, ++pos) v = v << 1 | ((buf[pos >> 3] >> (7 - (pos & 7))) & 1);
  return v;
}

// `count` pixels of `raw`, packed without spare bits from bit 0 on, to RGBA at out. Returns 0,
// or for a palette index beyond the palette PNG_INDEX_BEYOND_PALETTE (bit depth 8) or
// PNG_INDEX_BEYOND_PALETTE_LOW (below 8), the pixels before it converted.
uint32_t pixels_to_rgba(const PngInfo& info, const uint8_t* raw, uint64_t count, uint8_t* out);
