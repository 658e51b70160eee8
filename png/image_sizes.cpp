// Size arithmetic: every product is checked, so no file can wrap a size into a small one.
#include "png/image_sizes.h"

#include <algorithm>

#include "png/adam7_passes.h"
#include "png/result_codes.h"

// Bits per pixel of an allowed colour type and bit depth, 0 for a pair the format does
// not allow.
uint32_t bits_per_pixel(uint32_t colour_type, uint32_t bit_depth) {
  const bool low = bit_depth == 1 || bit_depth == 2 || bit_depth == 4;
  const bool high = bit_depth == 8 || bit_depth == 16;
  switch (colour_type) {
    case 0: return low || high ? bit_depth : 0;
    case 2: return high ? 3 * bit_depth : 0;
    case 3: return low || bit_depth == 8 ? bit_depth : 0;
    case 4: return high ? 2 * bit_depth : 0;
    case 6: return high ? 4 * bit_depth : 0;
    default: return 0;
  }
}

// Bytes of a row of n pixels: (n × bpp + 7) div 8. n < 2^32 and bpp <= 64, so this cannot
// overflow 64 bits.
uint64_t line_bytes(uint64_t n, uint32_t bpp) { return (n * bpp + 7) / 8; }

// False when a size overflows 64 bits or exceeds PNG_MAX_BUFFER_BYTES.
bool image_sizes(const PngInfo& info, uint32_t bpp, ImageSizes& s) {
  const uint64_t w = info.width, h = info.height;
  uint64_t t = 0;
  s.line = line_bytes(w, bpp);
  // raw = (w × h × bpp + 7) div 8
  if (!mul(w, h, t) || !mul(t, bpp, t) || !add(t, 7, t)) return false;
  s.raw = t / 8;
  // estimate = (w × (h × bpp + 7)) div 8 + h
  if (!mul(h, bpp, t) || !add(t, 7, t) || !mul(w, t, t)) return false;
  if (!add(t / 8, h, s.estimate)) return false;
  if (!mul(w, h, t) || !mul(t, 4, s.pixels)) return false;
  if (info.interlace_method == 0) {
    if (!mul(h, s.line + 1, s.rows)) return false;
  } else {
    s.rows = 0;
    for (const Adam7Pass& p : ADAM7) {
      const uint64_t pw = pass_width(p, w), ph = pass_height(p, h);
      if (pw == 0) continue;  // an empty pass has no filter-type bytes either
      if (!mul(ph, line_bytes(pw, bpp) + 1, t) || !add(s.rows, t, s.rows)) return false;
    }
  }
  const uint64_t largest = std::max({s.line, s.raw, s.rows, s.estimate, s.pixels});
  return largest <= PNG_MAX_BUFFER_BYTES;
}
