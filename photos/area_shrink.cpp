#include "photos/area_shrink.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// For each output position, the source positions it covers and their weights (summing to 1).
struct Taps {
  std::vector<uint32_t> first;  // first source position of output i
  std::vector<uint32_t> start;  // where output i's weights begin in `weights`; one past the last at the end
  std::vector<float> weights;
};

Taps area_taps(uint32_t src, uint32_t dst) {
  Taps taps;
  taps.first.resize(dst);
  taps.start.resize(dst + 1);
  const double scale = double(src) / dst;
  for (uint32_t i = 0; i < dst; ++i) {
    const double from = i * scale, to = std::min(double(src), (i + 1) * scale);
    const uint32_t first = std::min(src - 1, uint32_t(from));
    taps.first[i] = first;
    taps.start[i] = uint32_t(taps.weights.size());
    for (uint32_t j = first; j < src && j < to; ++j) {
      const double covered = std::min(to, j + 1.0) - std::max(from, double(j));
      if (covered > 0) taps.weights.push_back(float(covered / scale));
      else if (j == first) taps.weights.push_back(0.0f);  // keeps first and the weights in step
    }
  }
  taps.start[dst] = uint32_t(taps.weights.size());
  return taps;
}

}  // namespace

void shrink_by_area(const uint8_t* src, uint32_t src_width, uint32_t src_height, size_t src_pitch, uint8_t* dst,
                    uint32_t dst_width, uint32_t dst_height) {
  if (dst_width == 0 || dst_height == 0) return;
  const Taps across = area_taps(src_width, dst_width), down = area_taps(src_height, dst_height);
  const size_t row_values = size_t(dst_width) * 4;
  std::vector<float> narrowed(row_values), sum(row_values);
  uint32_t narrowed_row = UINT32_MAX;  // the source row `narrowed` holds: rows are shared at the seams

  const auto narrow = [&](uint32_t y) {
    const uint8_t* row = src + size_t(y) * src_pitch;
    for (uint32_t i = 0; i < dst_width; ++i) {
      float r = 0, g = 0, b = 0, a = 0;
      const uint8_t* p = row + size_t(across.first[i]) * 4;
      for (uint32_t t = across.start[i]; t < across.start[i + 1]; ++t, p += 4) {
        const float w = across.weights[t];
        r += w * p[0], g += w * p[1], b += w * p[2], a += w * p[3];
      }
      float* out = &narrowed[size_t(i) * 4];
      out[0] = r, out[1] = g, out[2] = b, out[3] = a;
    }
    narrowed_row = y;
  };

  for (uint32_t i = 0; i < dst_height; ++i) {
    std::fill(sum.begin(), sum.end(), 0.0f);
    uint32_t y = down.first[i];
    for (uint32_t t = down.start[i]; t < down.start[i + 1]; ++t, ++y) {
      if (narrowed_row != y) narrow(y);
      const float w = down.weights[t];
      for (size_t k = 0; k < row_values; ++k) sum[k] += w * narrowed[k];
    }
    uint8_t* out = dst + size_t(i) * row_values;
    // Every sum is a mean of bytes, so within [0, 255] but for rounding: a half added and cut off.
    for (size_t k = 0; k < row_values; ++k) out[k] = uint8_t(std::min(sum[k] + 0.5f, 255.0f));
  }
}
