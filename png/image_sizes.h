#pragma once
// How large every buffer of one image is, worked out from its header before anything is allocated.
#include <cstdint>

#include "png/png_info.h"

// Bits per pixel of an allowed colour type and bit depth, 0 for a pair the format does
// not allow.
uint32_t bits_per_pixel(uint32_t colour_type, uint32_t bit_depth);

// Size arithmetic: every product is checked, so no file can wrap a size into a small one.
inline bool mul(uint64_t a, uint64_t b, uint64_t& out) { return !__builtin_mul_overflow(a, b, &out); }
inline bool add(uint64_t a, uint64_t b, uint64_t& out) { return !__builtin_add_overflow(a, b, &out); }

// Bytes of a row of n pixels: (n × bpp + 7) div 8.
uint64_t line_bytes(uint64_t n, uint32_t bpp);

// Every buffer size of one image, worked out from the header before anything is allocated.
struct ImageSizes {
  uint64_t line = 0;      // line bytes of a full-width row (and of each line buffer)
  uint64_t raw = 0;       // raw image: all rows packed without spare bits
  uint64_t rows = 0;      // decompressed bytes the rows (or the seven passes) take
  uint64_t estimate = 0;  // first guess at the decompressed size, as the inflater is pre-sized
  uint64_t pixels = 0;    // the RGBA output
};

// False when a size overflows 64 bits or exceeds PNG_MAX_BUFFER_BYTES.
bool image_sizes(const PngInfo& info, uint32_t bpp, ImageSizes& s);
