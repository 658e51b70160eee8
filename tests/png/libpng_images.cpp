// libpng as a writer and reader of test images.
#include "tests/png/libpng_images.h"

#include <algorithm>
#include <csetjmp>
#include <cstring>

namespace {

struct MemoryReader {
  const Bytes* bytes;
  size_t at;
};

void read_from_memory(png_structp png, png_bytep out, png_size_t n) {
  auto* r = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (r->at + n > r->bytes->size()) png_error(png, "read past the end");
  std::memcpy(out, r->bytes->data() + r->at, n);
  r->at += n;
}

void write_to_memory(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}

void flush_nothing(png_structp) {}

}  // namespace

int channels(int colour_type) {
  switch (colour_type) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
  }
}

size_t row_bytes(const NativeImage& im) {
  return (size_t{im.width} * channels(im.colour_type) * im.bit_depth + 7) / 8;
}

uint32_t sample(const Bytes& row, size_t index, int depth) {
  if (depth == 16) return uint32_t{row[2 * index]} << 8 | row[2 * index + 1];
  if (depth == 8) return row[index];
  const size_t bit = index * depth;
  return (row[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
}

void set_sample(Bytes& row, size_t index, int depth, uint32_t v) {
  if (depth == 16) {
    row[2 * index] = uint8_t(v >> 8);
    row[2 * index + 1] = uint8_t(v);
  } else if (depth == 8) {
    row[index] = uint8_t(v);
  } else {
    const size_t bit = index * depth;
    row[bit / 8] |= uint8_t(v << (8 - depth - bit % 8));
  }
}


// The row pointers are made before setjmp, so nothing with a
// destructor is live across a longjmp.
bool write_with_libpng(const NativeImage& im, int level, size_t idat_size, Bytes& out) {
  std::vector<png_bytep> pointers;
  for (const Bytes& r : im.rows) pointers.push_back(const_cast<png_bytep>(r.data()));
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &out, write_to_memory, flush_nothing);
  png_set_IHDR(png, info, im.width, im.height, im.bit_depth, im.colour_type,
               im.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!im.palette.empty()) png_set_PLTE(png, info, im.palette.data(), int(im.palette.size()));
  if (!im.trns_alpha.empty())
    png_set_tRNS(png, info, im.trns_alpha.data(), int(im.trns_alpha.size()), nullptr);
  if (im.has_key) png_set_tRNS(png, info, nullptr, 0, &im.key);
  png_set_filter(png, 0, PNG_ALL_FILTERS);
  png_set_compression_level(png, level);
  png_set_compression_buffer_size(png, idat_size);
  png_write_info(png, info);
  png_write_image(png, pointers.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

bool read_with_libpng(const Bytes& file, NativeImage& im) {
  MemoryReader reader{&file, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &reader, read_from_memory);
  png_read_info(png, info);
  im.width = png_get_image_width(png, info);
  im.height = png_get_image_height(png, info);
  im.colour_type = png_get_color_type(png, info);
  im.bit_depth = png_get_bit_depth(png, info);
  png_colorp plte = nullptr;
  int entries = 0;
  if (png_get_PLTE(png, info, &plte, &entries)) im.palette.assign(plte, plte + entries);
  png_bytep alpha = nullptr;
  int trans = 0;
  png_color_16p key = nullptr;
  if (png_get_tRNS(png, info, &alpha, &trans, &key)) {
    if (im.colour_type == 3) {
      im.trns_alpha.assign(alpha, alpha + trans);
    } else {
      im.has_key = true;
      im.key = *key;
    }
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  im.rows.assign(im.height, Bytes(png_get_rowbytes(png, info)));
  std::vector<png_bytep> pointers;
  for (Bytes& r : im.rows) pointers.push_back(r.data());
  png_read_image(png, pointers.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

NativeImage random_image(std::mt19937& rng, int colour_type, int bit_depth, int interlace, bool trns) {
  NativeImage im;
  im.colour_type = colour_type;
  im.bit_depth = bit_depth;
  im.interlace = interlace;
  im.width = std::uniform_int_distribution<uint32_t>(1, 67)(rng);
  im.height = std::uniform_int_distribution<uint32_t>(1, 67)(rng);
  const uint32_t max_sample = (1u << bit_depth) - 1;
  auto any = [&](uint32_t hi) { return std::uniform_int_distribution<uint32_t>(0, hi)(rng); };
  const int n = channels(colour_type);
  uint32_t entries = 0;
  if (colour_type == 3) {
    entries = 1 + any(std::min(255u, max_sample));
    for (uint32_t i = 0; i < entries; ++i)
      im.palette.push_back({uint8_t(any(255)), uint8_t(any(255)), uint8_t(any(255))});
    if (trns)
      for (uint32_t i = 0, k = any(entries); i < k; ++i) im.trns_alpha.push_back(uint8_t(any(255)));
  }
  uint32_t key[3] = {any(max_sample), any(max_sample), any(max_sample)};
  if (trns && (colour_type == 0 || colour_type == 2)) {
    im.has_key = true;
    im.key.gray = im.key.red = uint16_t(key[0]);
    im.key.green = uint16_t(colour_type == 0 ? key[0] : key[1]);
    im.key.blue = uint16_t(colour_type == 0 ? key[0] : key[2]);
    if (colour_type == 0) key[1] = key[2] = key[0];
  }
  for (uint32_t y = 0; y < im.height; ++y) {
    Bytes row(row_bytes(im));
    for (uint32_t x = 0; x < im.width; ++x) {
      const uint32_t pick = any(7);
      for (int c = 0; c < n; ++c) {
        uint32_t v = colour_type == 3 ? any(entries - 1) : any(max_sample);
        if (im.has_key && pick < 2) v = key[c];
        if (im.has_key && pick == 2 && bit_depth == 16) v = c == 0 ? (key[c] ^ 1) : key[c];
        set_sample(row, x * n + c, bit_depth, v);
      }
    }
    im.rows.push_back(std::move(row));
  }
  return im;
}
