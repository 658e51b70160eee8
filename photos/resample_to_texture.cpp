#include <cstring>

#include "photos/texture_loaders.h"

namespace {

// Integer stepping through a source axis: after each destination step the position moves on by
// q = source / destination and the error by r = source mod destination, carrying one more step
// whenever the error reaches the destination size. Position k is thus ⌊k × source / destination⌋,
// with additions only.
struct Stepper {
  uint32_t q, r, d;
  uint32_t at = 0, error = 0;
  Stepper(uint32_t source, uint32_t dest) : q(source / dest), r(source % dest), d(dest) {}
  void step() {
    at += q;
    error += r;  // error < d and r < d, so this stays below 2^32 for any 32-bit d
    if (error >= d) {
      error -= d;
      ++at;
    }
  }
};

}  // namespace

// Fills the destination from its last memory row to its first, so that the source's top row ends
// up last and GL sees the picture upright. A destination row that takes the same source row as the
// one before it is a copy of that row rather than a fresh sample.
void resample_to_texture(uint8_t* dst, const uint8_t* src, uint32_t src_width, uint32_t src_height,
                         uint32_t dst_width, uint32_t dst_height) {
  if (!dst || !src || src_width == 0 || src_height == 0 || dst_width == 0 || dst_height == 0) return;
  const size_t dst_stride = size_t(dst_width) * 4;
  const size_t src_stride = size_t(src_width) * 4;

  Stepper row(src_height, dst_height);
  uint32_t previous_source_row = 0;
  for (uint32_t k = 0; k < dst_height; ++k, row.step()) {
    uint8_t* out = dst + size_t(dst_height - 1 - k) * dst_stride;
    if (k > 0 && row.at == previous_source_row) {
      std::memcpy(out, out + dst_stride, dst_stride);  // the row just written sits next above in memory
      continue;
    }
    previous_source_row = row.at;
    const uint8_t* in = src + size_t(row.at) * src_stride;
    Stepper column(src_width, dst_width);
    for (uint32_t j = 0; j < dst_width; ++j, column.step()) {
      uint8_t* p = out + size_t(j) * 4;
      std::memcpy(p, in + size_t(column.at) * 4, 4);
      if (p[0] == 0 && p[1] == 0 && p[2] == 0) p[3] = 0;  // pure black is see-through on this path
    }
  }
}
