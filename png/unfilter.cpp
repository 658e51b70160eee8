// The five filters of the format. unfilter_scanline is the definition, one byte at a time;
// unfilter_row_to_rgba gives the same bytes for 8-bit RGB and RGBA rows a pixel at a time, the
// pixel's samples side by side in one register (SSE2 or SSSE3 when the processor has them and the
// caller allows them; plain C++ otherwise), which is
// where Sub, Average and Paeth, each waiting on the pixel to its left, spend their time. It
// writes RGBA directly, so 8-bit RGB needs neither a line buffer nor a conversion pass: the
// prior row is the RGBA row above, whose alpha lane is computed along and then overwritten.
#include "png/unfilter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <tmmintrin.h>
#endif

#include "png/cpu_features.h"
#include "png/result_codes.h"

namespace {

// The Paeth predictor: of left (a), up (b) and upper left (c), the one closest to
// a + b - c, ties going to a, then b.
uint8_t paeth_predictor(int16_t a, int16_t b, int16_t c) {
  const int16_t p = int16_t(a + b - c);
  const int16_t pa = int16_t(std::abs(p - a)), pb = int16_t(std::abs(p - b)),
                pc = int16_t(std::abs(p - c));
  if (pa <= pb && pa <= pc) return uint8_t(a);
  return uint8_t(pb <= pc ? b : c);
}

}  // namespace

uint32_t unfilter_scanline(uint8_t* out, uint8_t filter_type, const uint8_t* in, const uint8_t* prior,
                           size_t bw, size_t length) {
  const size_t first = std::min(bw, length);  // bytes of the first pixel: no left neighbour
  switch (filter_type) {
    case 0:  // None
      std::memcpy(out, in, length);
      return PNG_OK;
    case 1:  // Sub
      for (size_t x = 0; x < first; ++x) out[x] = in[x];
      for (size_t x = bw; x < length; ++x) out[x] = uint8_t(in[x] + out[x - bw]);
      return PNG_OK;
    case 2:  // Up
      if (!prior) {
        std::memcpy(out, in, length);
      } else {
        for (size_t x = 0; x < length; ++x) out[x] = uint8_t(in[x] + prior[x]);
      }
      return PNG_OK;
    case 3:  // Average, the sum taken in more than 8 bits
      if (!prior) {
        for (size_t x = 0; x < first; ++x) out[x] = in[x];
        for (size_t x = bw; x < length; ++x) out[x] = uint8_t(in[x] + (out[x - bw] >> 1));
      } else {
        for (size_t x = 0; x < first; ++x) out[x] = uint8_t(in[x] + (prior[x] >> 1));
        for (size_t x = bw; x < length; ++x)
          out[x] = uint8_t(in[x] + ((unsigned{out[x - bw]} + prior[x]) >> 1));
      }
      return PNG_OK;
    case 4:  // Paeth; without a prior row it reduces to Sub
      if (!prior) {
        for (size_t x = 0; x < first; ++x) out[x] = in[x];
        for (size_t x = bw; x < length; ++x) out[x] = uint8_t(in[x] + out[x - bw]);
      } else {
        for (size_t x = 0; x < first; ++x) out[x] = uint8_t(in[x] + paeth_predictor(0, prior[x], 0));
        for (size_t x = bw; x < length; ++x)
          out[x] = uint8_t(in[x] + paeth_predictor(out[x - bw], prior[x], prior[x - bw]));
      }
      return PNG_OK;
    default:
      return PNG_BAD_FILTER_TYPE;  // filter type above 4; nothing written
  }
}


namespace {

// The Paeth predictor without branches: on photographs its choice is a coin toss for the branch
// predictor, and at one or two bytes a pixel every byte waits on the one before it. The same
// distances as paeth_predictor: p - a = b - c, p - b = a - c, p - c = a + b - 2c.
inline int paeth_branchless(int a, int b, int c) {
  const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
  const int b_or_c = pb <= pc ? b : c;
  return pa <= pb && pa <= pc ? a : b_or_c;
}

// Bytes from x = BW on; the first pixel's BW bytes are done by the caller. BW = 0: bw at run time.
template <size_t BW>
void paeth_bytes(uint8_t* out, const uint8_t* in, const uint8_t* prior, size_t bw, size_t length) {
  const size_t step = BW ? BW : bw;
  for (size_t x = step; x < length; ++x)
    out[x] = uint8_t(in[x] + paeth_branchless(out[x - step], prior[x], prior[x - step]));
}

template <size_t BW>
void average_bytes(uint8_t* out, const uint8_t* in, const uint8_t* prior, size_t bw, size_t length) {
  const size_t step = BW ? BW : bw;
  for (size_t x = step; x < length; ++x) out[x] = uint8_t(in[x] + ((unsigned{out[x - step]} + prior[x]) >> 1));
}

template <size_t BW>
void sub_bytes(uint8_t* out, const uint8_t* in, size_t bw, size_t length) {
  const size_t step = BW ? BW : bw;
  for (size_t x = step; x < length; ++x) out[x] = uint8_t(in[x] + out[x - step]);
}

template <size_t BW>
void unfilter_serial(uint8_t* out, uint8_t filter_type, const uint8_t* in, const uint8_t* prior, size_t bw,
                     size_t length) {
  const size_t first = std::min(bw, length);
  if (filter_type == 1 || !prior) {  // Sub; Average and Paeth without a prior row are Sub-like
    if (filter_type == 3) {
      for (size_t x = 0; x < first; ++x) out[x] = in[x];
      const size_t step = BW ? BW : bw;
      for (size_t x = step; x < length; ++x) out[x] = uint8_t(in[x] + (out[x - step] >> 1));
      return;
    }
    for (size_t x = 0; x < first; ++x) out[x] = in[x];
    sub_bytes<BW>(out, in, bw, length);
    return;
  }
  if (filter_type == 3) {
    for (size_t x = 0; x < first; ++x) out[x] = uint8_t(in[x] + (prior[x] >> 1));
    average_bytes<BW>(out, in, prior, bw, length);
  } else {
    for (size_t x = 0; x < first; ++x) out[x] = uint8_t(in[x] + prior[x]);  // Paeth of (0, up, 0) is up
    paeth_bytes<BW>(out, in, prior, bw, length);
  }
}

}  // namespace

uint32_t unfilter_scanline_fast(uint8_t* out, uint8_t filter_type, const uint8_t* in, const uint8_t* prior,
                                size_t bw, size_t length) {
  // None and Up have no chain from byte to byte, and the reference's loops vectorise.
  if (filter_type == 0 || filter_type == 2 || filter_type > 4)
    return unfilter_scanline(out, filter_type, in, prior, bw, length);
  switch (bw) {
    case 1: unfilter_serial<1>(out, filter_type, in, prior, bw, length); break;
    case 2: unfilter_serial<2>(out, filter_type, in, prior, bw, length); break;
    case 3: unfilter_serial<3>(out, filter_type, in, prior, bw, length); break;
    case 4: unfilter_serial<4>(out, filter_type, in, prior, bw, length); break;
    default: unfilter_serial<0>(out, filter_type, in, prior, bw, length); break;
  }
  return PNG_OK;
}

namespace {

// Pixels as 32-bit words of four byte lanes (R in the lowest byte on the little-endian machines
// this runs on). `C` input samples per pixel; an RGB pixel reads 3 bytes only, so that the last
// pixel of the data never reads past it.
template <int C>
uint32_t load_pixel(const uint8_t* p) {
  if constexpr (C == 4) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  } else {
    // Assembled in registers: three bytes copied to memory and read back as four stall the load.
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
  }
}

void store_pixel(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// Lane-wise byte sum modulo 256, and lane-wise floor((a + b) / 2), without carries between lanes.
uint32_t add_lanes(uint32_t a, uint32_t b) { return ((a & 0x7F7F7F7Fu) + (b & 0x7F7F7F7Fu)) ^ ((a ^ b) & 0x80808080u); }
uint32_t average_lanes(uint32_t a, uint32_t b) { return (a & b) + (((a ^ b) & 0xFEFEFEFEu) >> 1); }

// ---- Plain C++: the samples of a pixel side by side in a 32-bit word ----

template <int C>
void paeth_row_portable(uint8_t* out, const uint8_t* in, const uint8_t* prior, size_t width, uint32_t alpha) {
  for (size_t x = 0; x < width; ++x) {
    const uint32_t f = load_pixel<C>(in + C * x), up = load_pixel<4>(prior + 4 * x);
    const uint32_t left = x ? load_pixel<4>(out + 4 * x - 4) : 0, upper_left = x ? load_pixel<4>(prior + 4 * x - 4) : 0;
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) {
      const int shift = 8 * k;
      const uint8_t p = paeth_predictor(int16_t((left >> shift) & 0xFF), int16_t((up >> shift) & 0xFF),
                                        int16_t((upper_left >> shift) & 0xFF));
      v |= uint32_t(uint8_t(((f >> shift) & 0xFF) + p)) << shift;
    }
    store_pixel(out + 4 * x, v | alpha);
  }
}

template <int C>
void sub_row_portable(uint8_t* out, const uint8_t* in, size_t width, uint32_t alpha) {
  uint32_t left = 0;
  for (size_t x = 0; x < width; ++x) {
    left = add_lanes(load_pixel<C>(in + C * x), left);
    store_pixel(out + 4 * x, left | alpha);
  }
}

template <int C>
void average_row_portable(uint8_t* out, const uint8_t* in, const uint8_t* prior, size_t width, uint32_t alpha) {
  uint32_t left = 0;
  for (size_t x = 0; x < width; ++x) {
    const uint32_t up = prior ? load_pixel<4>(prior + 4 * x) : 0;
    left = add_lanes(load_pixel<C>(in + C * x), average_lanes(left, up));
    store_pixel(out + 4 * x, left | alpha);
  }
}

#if defined(__SSE2__)
// ---- SSE2 (every x86-64 processor): the pixel in the low lanes of a register ----

__m128i widen(uint32_t pixel) { return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(pixel)), _mm_setzero_si128()); }
__m128i abs16_sse2(__m128i x) { return _mm_max_epi16(x, _mm_sub_epi16(_mm_setzero_si128(), x)); }
// mask ? x : y, lane by lane
__m128i select(__m128i mask, __m128i x, __m128i y) { return _mm_or_si128(_mm_and_si128(mask, x), _mm_andnot_si128(mask, y)); }

// The predictor in 16-bit lanes: p - a = b - c, p - b = a - c, p - c = (b - c) + (a - c). ABS is
// the absolute value of 16-bit lanes, the one step SSSE3 does in one instruction.
template <int C, __m128i (*ABS)(__m128i)>
inline __attribute__((always_inline)) void paeth_row_simd(uint8_t* out, const uint8_t* in, const uint8_t* prior,
                                                          size_t width, uint32_t alpha) {
  __m128i a = _mm_setzero_si128(), c = _mm_setzero_si128();
  const __m128i low_byte = _mm_set1_epi16(0xFF);
  for (size_t x = 0; x < width; ++x) {
    const __m128i b = widen(load_pixel<4>(prior + 4 * x));
    const __m128i bc = _mm_sub_epi16(b, c), ac = _mm_sub_epi16(a, c);
    const __m128i pa = ABS(bc), pb = ABS(ac), pc = ABS(_mm_add_epi16(bc, ac));
    const __m128i not_a = _mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc));
    const __m128i predicted = select(not_a, select(_mm_cmpgt_epi16(pb, pc), c, b), a);
    a = _mm_and_si128(_mm_add_epi16(widen(load_pixel<C>(in + C * x)), predicted), low_byte);
    store_pixel(out + 4 * x, uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(a, a))) | alpha);
    c = b;
  }
}

template <int C>
void paeth_row_sse2(uint8_t* out, const uint8_t* in, const uint8_t* prior, size_t width, uint32_t alpha) {
  paeth_row_simd<C, abs16_sse2>(out, in, prior, width, alpha);
}

// Sub and Average: the chain from one pixel to the next is one or a few instructions. Average's
// floor((left + up) / 2) is the rounding-up average minus the bit that rounding added.
template <int C>
void sub_row_sse2(uint8_t* out, const uint8_t* in, size_t width, uint32_t alpha) {
  __m128i left = _mm_setzero_si128();
  for (size_t x = 0; x < width; ++x) {
    left = _mm_add_epi8(_mm_cvtsi32_si128(int(load_pixel<C>(in + C * x))), left);
    store_pixel(out + 4 * x, uint32_t(_mm_cvtsi128_si32(left)) | alpha);
  }
}

template <int C>
void average_row_sse2(uint8_t* out, const uint8_t* in, const uint8_t* prior, size_t width, uint32_t alpha) {
  const __m128i one = _mm_set1_epi8(1);
  __m128i left = _mm_setzero_si128();
  for (size_t x = 0; x < width; ++x) {
    const __m128i up = prior ? _mm_cvtsi32_si128(int(load_pixel<4>(prior + 4 * x))) : _mm_setzero_si128();
    const __m128i mean = _mm_sub_epi8(_mm_avg_epu8(left, up), _mm_and_si128(_mm_xor_si128(left, up), one));
    left = _mm_add_epi8(_mm_cvtsi32_si128(int(load_pixel<C>(in + C * x))), mean);
    store_pixel(out + 4 * x, uint32_t(_mm_cvtsi128_si32(left)) | alpha);
  }
}

// ---- SSSE3: pabsw ----
__attribute__((target("ssse3"))) inline __m128i abs16_ssse3(__m128i x) { return _mm_abs_epi16(x); }

template <int C>
__attribute__((target("ssse3"))) void paeth_row_ssse3(uint8_t* out, const uint8_t* in, const uint8_t* prior,
                                                      size_t width, uint32_t alpha) {
  paeth_row_simd<C, abs16_ssse3>(out, in, prior, width, alpha);
}
#endif

// The row functions of one processor path.
template <int C>
struct RowPath {
  void (*sub)(uint8_t*, const uint8_t*, size_t, uint32_t);
  void (*average)(uint8_t*, const uint8_t*, const uint8_t*, size_t, uint32_t);
  void (*paeth)(uint8_t*, const uint8_t*, const uint8_t*, size_t, uint32_t);
};

template <int C>
RowPath<C> row_path(uint32_t cpu) {
  const uint32_t have = cpu & cpu_features();
#if defined(__SSE2__)
  if (have & CPU_SSE2)
    return {sub_row_sse2<C>, average_row_sse2<C>, (have & CPU_SSSE3) ? paeth_row_ssse3<C> : paeth_row_sse2<C>};
#endif
  (void)have;
  return {sub_row_portable<C>, average_row_portable<C>, paeth_row_portable<C>};
}

template <int C>
bool row_to_rgba(uint8_t* out, uint8_t filter_type, const uint8_t* in, const uint8_t* prior, size_t width,
                 uint32_t cpu) {
  const uint32_t alpha = C == 3 ? 0xFF000000u : 0;
  if (!prior) {  // the row above is all zeros: Up is None, Paeth is Sub
    if (filter_type == 2) filter_type = 0;
    if (filter_type == 4) filter_type = 1;
  }
  const RowPath<C> path = row_path<C>(cpu);
  switch (filter_type) {
    case 0:
      for (size_t x = 0; x < width; ++x) store_pixel(out + 4 * x, load_pixel<C>(in + C * x) | alpha);
      return true;
    case 1:
      path.sub(out, in, width, alpha);
      return true;
    case 2:
      for (size_t x = 0; x < width; ++x)
        store_pixel(out + 4 * x, add_lanes(load_pixel<C>(in + C * x), load_pixel<4>(prior + 4 * x)) | alpha);
      return true;
    case 3:
      path.average(out, in, prior, width, alpha);
      return true;
    case 4:
      path.paeth(out, in, prior, width, alpha);
      return true;
    default:
      return false;
  }
}

}  // namespace

bool unfilter_row_to_rgba(uint8_t* out, uint8_t filter_type, const uint8_t* in, const uint8_t* prior,
                          size_t width, int channels, uint32_t cpu) {
  return channels == 3 ? row_to_rgba<3>(out, filter_type, in, prior, width, cpu)
                       : row_to_rgba<4>(out, filter_type, in, prior, width, cpu);
}
