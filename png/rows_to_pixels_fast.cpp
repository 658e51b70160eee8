#include "png/rows_to_pixels_fast.h"

#include "png/rgba_conversion.h"
#include "png/unfilter.h"

FastRows::FastRows(const PngInfo& info, uint32_t bpp, const ImageSizes& sizes, uint32_t cpu,
                   std::vector<uint8_t>& pixels)
    : info_(info), bpp_(bpp), sizes_(sizes), cpu_(cpu), pixels_(pixels) {
  failed_ = info.interlace_method != 0;
  if (info.colour_type == 3 && info.bit_depth == 8) palette_ = palette_words(info);
}

bool FastRows::add(const uint8_t* data, uint64_t available) {
  const uint64_t row_bytes = sizes_.line + 1;
  // Nothing is allocated before the first row has been inflated: a file whose header promises far
  // more than its data holds then costs no more than the inflater's output.
  if (!failed_ && available >= row_bytes && pixels_.size() != sizes_.pixels) {
    pixels_.resize(sizes_.pixels);
    if (!(info_.bit_depth == 8 && (info_.colour_type == 2 || info_.colour_type == 6))) lines_.resize(2 * sizes_.line);
  }
  while (!failed_ && rows_done_ < info_.height && (rows_done_ + 1) * row_bytes <= available) {
    if (!add_row(data, rows_done_)) failed_ = true;
    ++rows_done_;
  }
  return !failed_;
}

bool FastRows::add_row(const uint8_t* data, uint64_t y) {
  const size_t line = sizes_.line, width = info_.width, out_line = width * 4;
  uint8_t* out = pixels_.data() + y * out_line;
  const uint8_t* row = data + y * (line + 1);
  if (info_.bit_depth == 8 && (info_.colour_type == 2 || info_.colour_type == 6)) {
    const int channels = info_.colour_type == 2 ? 3 : 4;
    if (!unfilter_row_to_rgba(out, row[0], row + 1, y ? out - out_line : nullptr, width, channels, cpu_)) return false;
    if (channels == 3 && info_.key_defined)
      for (uint8_t* p = out; p < out + out_line; p += 4)
        if (p[0] == info_.key_r && p[1] == info_.key_g && p[2] == info_.key_b) p[3] = 0;
    return true;
  }
  // Rows of filter type None are converted where they lie; the others are reconstructed into the
  // line buffer that does not hold the prior row.
  const uint8_t* prior = prior_line_ < 0    ? nullptr
                         : prior_line_ == 2 ? data + (y - 1) * (line + 1) + 1
                                            : lines_.data() + prior_line_ * line;
  if (y == 0) prior = nullptr;
  const uint8_t* reconstructed = row + 1;
  int64_t where = 2;
  if (row[0] != 0) {
    where = int64_t(y & 1);
    uint8_t* target = lines_.data() + where * line;
    if (unfilter_scanline_fast(target, row[0], row + 1, prior, (bpp_ + 7) / 8, line)) return false;
    reconstructed = target;
  }
  if (info_.colour_type == 3 && info_.bit_depth == 8) {
    if (!palette8_to_rgba(palette_, reconstructed, width, out)) return false;
  } else if (pixels_to_rgba(info_, reconstructed, width, out)) {
    return false;
  }
  prior_line_ = where;
  return true;
}

bool rows_to_pixels_fast(const uint8_t* data, const PngInfo& info, uint32_t bpp, const ImageSizes& sizes,
                         uint32_t cpu, std::vector<uint8_t>& pixels) {
  FastRows rows(info, bpp, sizes, cpu, pixels);
  return rows.add(data, sizes.rows) && rows.complete();
}
