#include "png/adam7_unfilter.h"

#include <cstring>
#include <utility>
#include <vector>

#include "png/adam7_passes.h"
#include "png/packed_bits.h"
#include "png/result_codes.h"
#include "png/unfilter.h"

namespace {

// One Adam7 pass: its rows from `data` on (advanced past the pass), each unfiltered into one
// line buffer over the other, holding its prior row, and its pixels spread to their places in
// the raw image. A pass of width or height 0 takes no bytes and does nothing.
uint32_t adam7_pass(const Adam7Pass& p, const uint8_t*& data, const PngInfo& info, uint32_t bpp,
                    uint8_t* current, uint8_t* previous, uint8_t* raw) {
  const uint64_t w = info.width;
  const uint64_t pw = pass_width(p, w), ph = pass_height(p, info.height);
  if (pw == 0 || ph == 0) return PNG_OK;
  const size_t line = line_bytes(pw, bpp), bw = (bpp + 7) / 8;
  for (uint64_t y = 0; y < ph; ++y) {
    const uint8_t* prior = y == 0 ? nullptr : previous;
    if (uint32_t r = unfilter_scanline(current, data[0], data + 1, prior, bw, line)) return r;
    data += line + 1;
    const uint64_t first = (p.y0 + y * p.dy) * w + p.x0;  // pixel index of the row's first pixel
    if (bpp >= 8) {
      for (uint64_t i = 0; i < pw; ++i)
        std::memcpy(raw + bw * (first + i * p.dx), current + i * bw, bw);
    } else {
      uint64_t from = 0;
      for (uint64_t i = 0; i < pw; ++i) {
        uint64_t to = bpp * (first + i * p.dx);
        write_bits_msb(raw, to, read_bits_msb(current, from, bpp), bpp);
      }
    }
    std::swap(current, previous);
  }
  return PNG_OK;
}

}  // namespace

uint32_t unfilter_passes(const uint8_t* data, const PngInfo& info, uint32_t bpp, const ImageSizes& sizes,
                         uint8_t* raw) {
  std::vector<uint8_t> current(sizes.line), previous(sizes.line);
  for (const Adam7Pass& p : ADAM7)
    if (uint32_t r = adam7_pass(p, data, info, bpp, current.data(), previous.data(), raw)) return r;
  return PNG_OK;
}
