#include "png/rows_to_pixels_fast.h"

#include "png/rgba_conversion.h"
#include "png/unfilter.h"

bool rows_to_pixels_fast(const uint8_t* data, const PngInfo& info, uint32_t bpp, const ImageSizes& sizes,
                         std::vector<uint8_t>& pixels) {
  if (info.interlace_method != 0) return false;
  const size_t line = sizes.line, width = info.width, out_line = width * 4;
  pixels.resize(sizes.pixels);
  uint8_t* out = pixels.data();
  if (info.bit_depth == 8 && (info.colour_type == 2 || info.colour_type == 6)) {
    const int channels = info.colour_type == 2 ? 3 : 4;
    for (size_t y = 0; y < info.height; ++y, out += out_line) {
      const uint8_t* row = data + y * (line + 1);
      if (!unfilter_row_to_rgba(out, row[0], row + 1, y ? out - out_line : nullptr, width, channels)) return false;
      if (channels == 3 && info.key_defined)
        for (uint8_t* p = out; p < out + out_line; p += 4)
          if (p[0] == info.key_r && p[1] == info.key_g && p[2] == info.key_b) p[3] = 0;
    }
    return true;
  }
  // Rows of filter type None are converted where they lie; the others are reconstructed into the
  // line buffer that does not hold the prior row.
  std::vector<uint8_t> lines(2 * line);
  const uint8_t* prior = nullptr;
  for (size_t y = 0; y < info.height; ++y, out += out_line) {
    const uint8_t* row = data + y * (line + 1);
    const uint8_t* reconstructed = row + 1;
    if (row[0] != 0) {
      uint8_t* target = lines.data() + (y & 1) * line;
      if (unfilter_scanline(target, row[0], row + 1, prior, (bpp + 7) / 8, line)) return false;
      reconstructed = target;
    }
    if (pixels_to_rgba(info, reconstructed, width, out)) return false;
    prior = reconstructed;
  }
  return true;
}
