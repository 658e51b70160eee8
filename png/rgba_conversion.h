#pragma once
// Samples at the image's own bit depth to 8-bit RGBA, by the decoder's rules: 16-bit samples keep
// their first (most significant) byte, colour keys compare with the full stored sample, grey
// below 8 bits is scaled exactly.
#include <cstdint>

#include "png/png_info.h"

// `count` pixels of `raw`, packed without spare bits from bit 0 on, to RGBA at out. Returns 0,
// or for a palette index beyond the palette PNG_INDEX_BEYOND_PALETTE (bit depth 8) or
// PNG_INDEX_BEYOND_PALETTE_LOW (below 8), the pixels before it converted; at bit depth 8 the
// bytes from it on are then zero (the callers hand over zeroed memory, which so stays as it was).
uint32_t pixels_to_rgba(const PngInfo& info, const uint8_t* raw, uint64_t count, uint8_t* out);

// The palette as RGBA words, an index beyond it reading zero: made once an image, not once a row.
struct PaletteWords {
  uint32_t words[256];
  uint32_t entries;
};
PaletteWords palette_words(const PngInfo& info);
// `count` 8-bit palette indexes to RGBA, as pixels_to_rgba converts them: true, or false for an
// index beyond the palette, the bytes from its pixel on then zero.
bool palette8_to_rgba(const PaletteWords& palette, const uint8_t* raw, uint64_t count, uint8_t* out);
