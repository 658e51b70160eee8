#include "photos/area_shrink.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// The four channels of a pixel as one vector (GCC's and Clang's vector extension, on any target).
typedef float Pixel __attribute__((vector_size(16)));

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
  // Down first, a whole source row at a time (one multiply-add per byte, which vectorises), so
  // that the taps across, which do not, run only for the output's rows.
  const size_t src_values = size_t(src_width) * 4;
  std::vector<float> column(src_values);
  for (uint32_t i = 0; i < dst_height; ++i) {
    const uint8_t* row = src + size_t(down.first[i]) * src_pitch;
    const float first = down.weights[down.start[i]];
    for (size_t k = 0; k < src_values; ++k) column[k] = first * float(row[k]);
    row += src_pitch;
    for (uint32_t t = down.start[i] + 1; t < down.start[i + 1]; ++t, row += src_pitch) {
      const float w = down.weights[t];
      for (size_t k = 0; k < src_values; ++k) column[k] += w * float(row[k]);
    }
    uint8_t* out = dst + size_t(i) * dst_width * 4;
    for (uint32_t x = 0; x < dst_width; ++x) {
      Pixel sum = {0, 0, 0, 0};
      const float* p = &column[size_t(across.first[x]) * 4];
      for (uint32_t t = across.start[x]; t < across.start[x + 1]; ++t, p += 4) {
        Pixel v;
        std::memcpy(&v, p, sizeof v);
        sum += across.weights[t] * v;
      }
      // Every sum is a mean of bytes, so within [0, 255] but for rounding: a half added and cut off.
      for (int c = 0; c < 4; ++c) out[x * 4 + uint32_t(c)] = uint8_t(std::min(sum[c] + 0.5f, 255.0f));
    }
  }
}
