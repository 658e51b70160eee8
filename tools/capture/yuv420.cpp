#include "tools/capture/yuv420.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr int32_t YR = 5983, YG = 20127, YB = 2032;
constexpr int32_t UR = -6596, UG = -22188, UB = 28784;
constexpr int32_t VR = 28784, VG = -26145, VB = -2639;

uint8_t luma(const uint8_t* p) { return uint8_t(16 + ((YR * p[0] + YG * p[1] + YB * p[2] + (1 << 14)) >> 15)); }

// The chroma of the block whose top-left pixel is `top` (and `bottom` below it).
void chroma(const uint8_t* top, const uint8_t* bottom, uint8_t& u, uint8_t& v) {
  const int32_t r = top[0] + top[4] + bottom[0] + bottom[4];
  const int32_t g = top[1] + top[5] + bottom[1] + bottom[5];
  const int32_t b = top[2] + top[6] + bottom[2] + bottom[6];
  u = uint8_t(128 + ((UR * r + UG * g + UB * b + (1 << 17)) >> 18));
  v = uint8_t(128 + ((VR * r + VG * g + VB * b + (1 << 17)) >> 18));
}

// Output rows y and y + 1 and their chroma row from the input rows `top` and `bottom`, blocks
// [first, blocks); the SIMD path leaves it the blocks it has not done.
void rows_scalar(const uint8_t* top, const uint8_t* bottom, size_t first, size_t blocks, uint8_t* y0, uint8_t* y1,
                 uint8_t* u, uint8_t* v) {
  for (size_t i = first; i < blocks; ++i) {
    const uint8_t *t = top + 8 * i, *b = bottom + 8 * i;
    y0[2 * i] = luma(t), y0[2 * i + 1] = luma(t + 4);
    y1[2 * i] = luma(b), y1[2 * i + 1] = luma(b + 4);
    chroma(t, b, u[i], v[i]);
  }
}

#if defined(__SSE2__)
// Four pixels' sums of the multiply-adds in 32-bit lanes: each pixel's (R, G) and (B, A) pairs are
// multiplied and added by pmaddwd, then the two halves of each pixel are added.
inline __m128i weigh4(__m128i pixels16_lo, __m128i pixels16_hi, __m128i weights) {
  const __m128i a = _mm_madd_epi16(pixels16_lo, weights), b = _mm_madd_epi16(pixels16_hi, weights);
  const __m128 af = _mm_castsi128_ps(a), bf = _mm_castsi128_ps(b);
  const __m128i even = _mm_castps_si128(_mm_shuffle_ps(af, bf, _MM_SHUFFLE(2, 0, 2, 0)));
  const __m128i odd = _mm_castps_si128(_mm_shuffle_ps(af, bf, _MM_SHUFFLE(3, 1, 3, 1)));
  return _mm_add_epi32(even, odd);
}

// Y' of four pixels, as 32-bit lanes.
inline __m128i luma4(__m128i lo16, __m128i hi16) {
  const __m128i weights = _mm_setr_epi16(YR, YG, YB, 0, YR, YG, YB, 0);
  const __m128i sum = _mm_add_epi32(weigh4(lo16, hi16, weights), _mm_set1_epi32(1 << 14));
  return _mm_add_epi32(_mm_srai_epi32(sum, 15), _mm_set1_epi32(16));
}

// Blocks of two by two pixels, eight at a time: 16 pixels of each row.
size_t rows_sse2(const uint8_t* top, const uint8_t* bottom, size_t blocks, uint8_t* y0, uint8_t* y1, uint8_t* u,
                 uint8_t* v) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i u_weights = _mm_setr_epi16(UR, UG, UB, 0, UR, UG, UB, 0);
  const __m128i v_weights = _mm_setr_epi16(VR, VG, VB, 0, VR, VG, VB, 0);
  const __m128i chroma_round = _mm_set1_epi32(1 << 17), centre = _mm_set1_epi32(128);
  size_t i = 0;
  for (; i + 8 <= blocks; i += 8) {
    __m128i y_top[4], y_bottom[4], u32[2], v32[2];
    for (int q = 0; q < 4; ++q) {  // four pixels of each row at a time
      const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + 8 * i + 16 * q));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + 8 * i + 16 * q));
      const __m128i t_lo = _mm_unpacklo_epi8(t, zero), t_hi = _mm_unpackhi_epi8(t, zero);
      const __m128i b_lo = _mm_unpacklo_epi8(b, zero), b_hi = _mm_unpackhi_epi8(b, zero);
      y_top[q] = luma4(t_lo, t_hi);
      y_bottom[q] = luma4(b_lo, b_hi);
      // Each block's two columns: pixel 0 + pixel 1 of each row in the low half, 2 + 3 in the high.
      const __m128i cols_lo = _mm_add_epi16(t_lo, b_lo), cols_hi = _mm_add_epi16(t_hi, b_hi);
      const __m128i block_sums = _mm_add_epi16(_mm_unpacklo_epi64(cols_lo, cols_hi), _mm_unpackhi_epi64(cols_lo, cols_hi));
      // block_sums: ΣR ΣG ΣB ΣA of block 2q' and of block 2q' + 1; two of those make four blocks.
      if (q % 2 == 0) {
        u32[q / 2] = block_sums;
      } else {
        const __m128i first = u32[q / 2];
        const __m128i us = _mm_add_epi32(weigh4(first, block_sums, u_weights), chroma_round);
        const __m128i vs = _mm_add_epi32(weigh4(first, block_sums, v_weights), chroma_round);
        u32[q / 2] = _mm_add_epi32(_mm_srai_epi32(us, 18), centre);
        v32[q / 2] = _mm_add_epi32(_mm_srai_epi32(vs, 18), centre);
      }
    }
    const __m128i yt = _mm_packus_epi16(_mm_packs_epi32(y_top[0], y_top[1]), _mm_packs_epi32(y_top[2], y_top[3]));
    const __m128i yb =
        _mm_packus_epi16(_mm_packs_epi32(y_bottom[0], y_bottom[1]), _mm_packs_epi32(y_bottom[2], y_bottom[3]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(y0 + 2 * i), yt);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(y1 + 2 * i), yb);
    const __m128i uv = _mm_packus_epi16(_mm_packs_epi32(u32[0], u32[1]), _mm_packs_epi32(v32[0], v32[1]));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(u + i), uv);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(v + i), _mm_unpackhi_epi64(uv, uv));
  }
  return i;
}
#endif

}  // namespace

void rgba_bottom_up_to_yuv420(const uint8_t* rgba, int width, int height, uint8_t* yuv) {
  const size_t w = size_t(width), h = size_t(height), blocks = w / 2;
  uint8_t* y_plane = yuv;
  uint8_t* u_plane = yuv + w * h;
  uint8_t* v_plane = u_plane + blocks * (h / 2);
  for (size_t row = 0; row + 1 < h; row += 2) {
    // Output rows `row` and `row + 1` come from input rows h - 1 - row and h - 2 - row.
    const uint8_t* top = rgba + (h - 1 - row) * w * 4;
    const uint8_t* bottom = rgba + (h - 2 - row) * w * 4;
    uint8_t *y0 = y_plane + row * w, *y1 = y0 + w;
    uint8_t *u = u_plane + (row / 2) * blocks, *v = v_plane + (row / 2) * blocks;
    size_t done = 0;
#if defined(__SSE2__)
    done = rows_sse2(top, bottom, blocks, y0, y1, u, v);
#endif
    rows_scalar(top, bottom, done, blocks, y0, y1, u, v);
  }
}
