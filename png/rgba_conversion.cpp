// Conversion of raw samples to RGBA, pixel i to output bytes 4i ... 4i + 3. Below 8 bits the
// samples run on from pixel to pixel, across rows when the whole image is given at once.
#include "png/rgba_conversion.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "png/packed_bits.h"
#include "png/result_codes.h"

namespace {

uint32_t read_be16(const uint8_t* p) { return uint32_t{p[0]} << 8 | p[1]; }

void store_word(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

void grey_to_rgba(const PngInfo& info, const uint8_t* raw, uint64_t count, uint8_t* out) {
  const uint32_t d = info.bit_depth;
  const bool key = info.key_defined;
  if (d == 16) {
    for (uint64_t i = 0; i < count; ++i, out += 4) {
      const uint32_t g = read_be16(raw + 2 * i);
      out[0] = out[1] = out[2] = raw[2 * i];
      out[3] = key && g == info.key_r ? 0 : 255;
    }
  } else if (d == 8) {
    // A pixel a word (R in the lowest byte on the little-endian machines this runs on): the
    // compiler makes the loop without a key into vector code.
    if (!key) {
      for (uint64_t i = 0; i < count; ++i) store_word(out + 4 * i, raw[i] * 0x010101u | 0xFF000000u);
    } else {
      for (uint64_t i = 0; i < count; ++i)
        store_word(out + 4 * i, raw[i] * 0x010101u | (raw[i] == info.key_r ? 0u : 0xFF000000u));
    }
  } else {
    const uint32_t scale = 255 / ((1u << d) - 1);  // exact: 255, 85 or 17
    uint64_t pos = 0;
    for (uint64_t i = 0; i < count; ++i, out += 4) {
      const uint32_t s = read_bits_msb(raw, pos, d);
      out[0] = out[1] = out[2] = uint8_t(s * scale);
      out[3] = key && s == info.key_r ? 0 : 255;
    }
  }
}

void rgb_to_rgba(const PngInfo& info, const uint8_t* raw, uint64_t count, uint8_t* out) {
  const bool key = info.key_defined;
  if (info.bit_depth == 16) {
    for (uint64_t i = 0; i < count; ++i, raw += 6, out += 4) {
      out[0] = raw[0];
      out[1] = raw[2];
      out[2] = raw[4];
      const bool keyed = key && read_be16(raw) == info.key_r && read_be16(raw + 2) == info.key_g &&
                         read_be16(raw + 4) == info.key_b;
      out[3] = keyed ? 0 : 255;
    }
  } else {
    for (uint64_t i = 0; i < count; ++i, raw += 3, out += 4) {
      out[0] = raw[0];
      out[1] = raw[1];
      out[2] = raw[2];
      const bool keyed = key && raw[0] == info.key_r && raw[1] == info.key_g && raw[2] == info.key_b;
      out[3] = keyed ? 0 : 255;
    }
  }
}

}  // namespace

PaletteWords palette_words(const PngInfo& info) {
  PaletteWords p;
  p.entries = uint32_t(std::min<size_t>(info.palette.size() / 4, 256));
  if (p.entries != 0) std::memcpy(p.words, info.palette.data(), 4 * p.entries);  // an empty palette may have no data
  std::memset(p.words + p.entries, 0, 4 * (256 - p.entries));
  return p;
}

// Without the bit reader and without a branch a pixel: indexes beyond the palette read a zero word,
// and are looked for only once the run is done; the pixels from the first of them on are then
// zeroed again.
bool palette8_to_rgba(const PaletteWords& palette, const uint8_t* raw, uint64_t count, uint8_t* out) {
  // In locals: the stores, of bytes, could otherwise alias the palette, which would then be read
  // again for every pixel.
  const uint32_t entries = palette.entries;
  const uint32_t* const words = palette.words;
  // Two passes over the indexes: the largest, sixteen at a time where there are vectors (byte by
  // byte, the maximum is one long chain of dependent steps, slower than all the lookups), then
  // the lookups, four at a time.
  uint8_t highest = 0;
  uint64_t i = 0;
#if defined(__SSE2__)
  __m128i sixteen = _mm_setzero_si128();
  for (; i + 16 <= count; i += 16)
    sixteen = _mm_max_epu8(sixteen, _mm_loadu_si128(reinterpret_cast<const __m128i*>(raw + i)));
  uint8_t lanes[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), sixteen);
  for (uint8_t lane : lanes) highest = std::max(highest, lane);
#endif
  for (; i < count; ++i) highest = std::max(highest, raw[i]);
  i = 0;
  for (; i + 4 <= count; i += 4) {
    uint32_t four;
    std::memcpy(&four, raw + i, 4);
    store_word(out + 4 * i, words[four & 255]);
    store_word(out + 4 * i + 4, words[(four >> 8) & 255]);
    store_word(out + 4 * i + 8, words[(four >> 16) & 255]);
    store_word(out + 4 * i + 12, words[four >> 24]);
  }
  for (; i < count; ++i) store_word(out + 4 * i, words[raw[i]]);
  if (highest < entries) return true;
  uint64_t first = 0;
  while (raw[first] < entries) ++first;
  std::memset(out + 4 * first, 0, 4 * (count - first));
  return false;
}

namespace {

uint32_t palette_to_rgba(const PngInfo& info, const uint8_t* raw, uint64_t count, uint8_t* out) {
  const uint32_t d = info.bit_depth;
  const uint32_t entries = uint32_t(info.palette.size() / 4);
  if (d == 8) return palette8_to_rgba(palette_words(info), raw, count, out) ? PNG_OK : PNG_INDEX_BEYOND_PALETTE;
  uint64_t pos = 0;
  for (uint64_t i = 0; i < count; ++i, out += 4) {
    const uint32_t s = read_bits_msb(raw, pos, d);
    if (s >= entries) return PNG_INDEX_BEYOND_PALETTE_LOW;
    std::memcpy(out, &info.palette[4 * s], 4);
  }
  return PNG_OK;
}

void grey_alpha_to_rgba(const PngInfo& info, const uint8_t* raw, uint64_t count, uint8_t* out) {
  if (info.bit_depth == 8) {
    for (uint64_t i = 0; i < count; ++i) store_word(out + 4 * i, raw[2 * i] * 0x010101u | uint32_t{raw[2 * i + 1]} << 24);
    return;
  }
  const uint32_t step = info.bit_depth / 4;  // bytes per pixel: 2 or 4
  const uint32_t alpha = info.bit_depth / 8;  // offset of the alpha sample
  for (uint64_t i = 0; i < count; ++i, raw += step, out += 4) {
    out[0] = out[1] = out[2] = raw[0];
    out[3] = raw[alpha];
  }
}

void rgba16_to_rgba(const uint8_t* raw, uint64_t count, uint8_t* out) {
  for (uint64_t i = 0; i < count; ++i, raw += 8, out += 4) {
    out[0] = raw[0];
    out[1] = raw[2];
    out[2] = raw[4];
    out[3] = raw[6];
  }
}

}  // namespace

uint32_t pixels_to_rgba(const PngInfo& info, const uint8_t* raw, uint64_t count, uint8_t* out) {
  switch (info.colour_type) {
    case 0: grey_to_rgba(info, raw, count, out); return PNG_OK;
    case 2: rgb_to_rgba(info, raw, count, out); return PNG_OK;
    case 3: return palette_to_rgba(info, raw, count, out);
    case 4: grey_alpha_to_rgba(info, raw, count, out); return PNG_OK;
    default:
      if (info.bit_depth == 8) {
        std::memcpy(out, raw, count * 4);
      } else {
        rgba16_to_rgba(raw, count, out);
      }
      return PNG_OK;
  }
}
