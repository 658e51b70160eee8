// Conversion of raw samples to RGBA, pixel i to output bytes 4i ... 4i + 3. Below 8 bits the
// samples run on from pixel to pixel, across rows when the whole image is given at once.
#include "png/rgba_conversion.h"

#include <cstring>

#include "png/packed_bits.h"
#include "png/result_codes.h"

namespace {

uint32_t read_be16(const uint8_t* p) { return uint32_t{p[0]} << 8 | p[1]; }

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
    for (uint64_t i = 0; i < count; ++i, out += 4) {
      out[0] = out[1] = out[2] = raw[i];
      out[3] = key && raw[i] == info.key_r ? 0 : 255;
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

uint32_t palette_to_rgba(const PngInfo& info, const uint8_t* raw, uint64_t count, uint8_t* out) {
  const uint32_t d = info.bit_depth;
  const uint32_t entries = uint32_t(info.palette.size() / 4);
  if (d == 8) {  // the common case, without the bit reader
    const uint8_t* palette = info.palette.data();
    for (uint64_t i = 0; i < count; ++i, out += 4) {
      if (raw[i] >= entries) return PNG_INDEX_BEYOND_PALETTE;
      std::memcpy(out, palette + 4 * raw[i], 4);
    }
    return PNG_OK;
  }
  uint64_t pos = 0;
  for (uint64_t i = 0; i < count; ++i, out += 4) {
    const uint32_t s = d == 8 ? raw[i] : read_bits_msb(raw, pos, d);
    if (s >= entries) return d == 8 ? PNG_INDEX_BEYOND_PALETTE : PNG_INDEX_BEYOND_PALETTE_LOW;
    std::memcpy(out, &info.palette[4 * s], 4);
  }
  return PNG_OK;
}

void grey_alpha_to_rgba(const PngInfo& info, const uint8_t* raw, uint64_t count, uint8_t* out) {
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
