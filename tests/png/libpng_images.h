#pragma once
// Images in the PNG format's own sample layout, written and read by libpng (an oracle and a
// source of test files only): every colour type, bit depth, interlace and tRNS.
#include <png.h>

#include <random>
#include <vector>

#include "tests/png/png_builder.h"

// Rows of packed samples, 16-bit big-endian.
struct NativeImage {
  uint32_t width = 0, height = 0;
  int colour_type = 0, bit_depth = 8, interlace = 0;
  std::vector<Bytes> rows;
  std::vector<png_color> palette;
  Bytes trns_alpha;         // palette alphas
  bool has_key = false;     // greyscale or RGB colour key
  png_color_16 key{};       // as stored
};

int channels(int colour_type);
size_t row_bytes(const NativeImage& im);
uint32_t sample(const Bytes& row, size_t index, int depth);
void set_sample(Bytes& row, size_t index, int depth, uint32_t v);

// Writes `im` with libpng, all its filters, at zlib `level`, IDAT chunks of `idat_size` bytes.
bool write_with_libpng(const NativeImage& im, int level, size_t idat_size, Bytes& out);
// Decodes with libpng into native rows (deinterlaced, no transforms) plus palette and tRNS.
bool read_with_libpng(const Bytes& file, NativeImage& im);

// Random content of 1 to 67 pixels a side; with a colour key, a quarter of the pixels are the key
// itself and, at 16 bits, an eighth differ from it only in the low byte of one sample.
NativeImage random_image(std::mt19937& rng, int colour_type, int bit_depth, int interlace, bool trns);
