// png_decode against libpng as an oracle: random images of every colour type, bit depth
// and interlace, with and without tRNS, written by libpng with all its filters, decoded by
// both; libpng's native samples are reduced to RGBA by the decoder's rules (first byte of
// 16-bit samples, colour keys compared at full precision, grey scaled exactly). Every
// truncation of a few such files must fail cleanly.
#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <random>
#include <string>

#include "png/png_decode.h"
#include "tests/png/corpus_files.h"
#include "tests/png/png_builder.h"

namespace {

// An image in the format's own sample layout: rows of packed samples, 16-bit big-endian.
struct NativeImage {
  uint32_t width = 0, height = 0;
  int colour_type = 0, bit_depth = 8, interlace = 0;
  std::vector<Bytes> rows;
  std::vector<png_color> palette;
  Bytes trns_alpha;         // palette alphas
  bool has_key = false;     // greyscale or RGB colour key
  png_color_16 key{};       // as stored
};

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

// Writes `im` with libpng. The row pointers are made before setjmp, so nothing with a
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

// Decodes with libpng into native rows (deinterlaced, no transforms) plus palette and tRNS.
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

// The decoder's rules applied to native samples.
Bytes reduce_to_rgba(const NativeImage& im) {
  Bytes out;
  const int d = im.bit_depth;
  auto byte = [d](uint32_t s) { return uint8_t(d == 16 ? s >> 8 : d == 8 ? s : s * 255 / ((1u << d) - 1)); };
  for (const Bytes& row : im.rows) {
    for (size_t x = 0; x < im.width; ++x) {
      switch (im.colour_type) {
        case 0: {
          const uint32_t g = sample(row, x, d);
          const bool keyed = im.has_key && g == im.key.gray;
          out.insert(out.end(), {byte(g), byte(g), byte(g), uint8_t(keyed ? 0 : 255)});
          break;
        }
        case 2: {
          const uint32_t r = sample(row, 3 * x, d), g = sample(row, 3 * x + 1, d), b = sample(row, 3 * x + 2, d);
          const bool keyed = im.has_key && r == im.key.red && g == im.key.green && b == im.key.blue;
          out.insert(out.end(), {byte(r), byte(g), byte(b), uint8_t(keyed ? 0 : 255)});
          break;
        }
        case 3: {
          const uint32_t i = sample(row, x, d);
          const png_color c = im.palette.at(i);
          out.insert(out.end(), {c.red, c.green, c.blue, i < im.trns_alpha.size() ? im.trns_alpha[i] : uint8_t(255)});
          break;
        }
        case 4: {
          const uint8_t g = byte(sample(row, 2 * x, d));
          out.insert(out.end(), {g, g, g, byte(sample(row, 2 * x + 1, d))});
          break;
        }
        default:
          for (int c = 0; c < 4; ++c) out.push_back(byte(sample(row, 4 * x + c, d)));
      }
    }
  }
  return out;
}

// Random content; with a colour key, a quarter of the pixels are the key itself and, at 16
// bits, an eighth differ from it only in the low byte of one sample.
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

struct Format {
  int colour_type, bit_depth;
};
constexpr Format FORMATS[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                              {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};

TEST(PngDecodeLibpng, RandomImagesMatchPixelForPixel) {
  std::mt19937 rng(20261208);
  int compared = 0;
  for (const Format& f : FORMATS) {
    for (int interlace : {0, 1}) {
      for (bool trns : {false, true}) {
        if (trns && (f.colour_type == 4 || f.colour_type == 6)) continue;
        for (int round = 0; round < 6; ++round) {
          const NativeImage im = random_image(rng, f.colour_type, f.bit_depth, interlace, trns);
          SCOPED_TRACE("colour type " + std::to_string(f.colour_type) + ", depth " + std::to_string(f.bit_depth) +
                       ", interlace " + std::to_string(interlace) + ", tRNS " + std::to_string(trns) + ", " +
                       std::to_string(im.width) + " × " + std::to_string(im.height));
          Bytes file;
          const int level = round % 4 == 0 ? 0 : 1 + round;  // level 0: stored blocks
          ASSERT_TRUE(write_with_libpng(im, level, round % 2 ? 97 : 8192, file));
          NativeImage oracle;
          ASSERT_TRUE(read_with_libpng(file, oracle));
          PngInfo info;
          Bytes pixels;
          ASSERT_EQ(png_decode(file, info, pixels), 0u);
          EXPECT_EQ(info.width, im.width);
          EXPECT_EQ(info.height, im.height);
          EXPECT_EQ(info.key_defined, oracle.has_key);
          const Bytes expected = reduce_to_rgba(oracle);
          ASSERT_EQ(pixels.size(), expected.size());
          size_t first_difference = 0;
          while (first_difference < pixels.size() && pixels[first_difference] == expected[first_difference])
            ++first_difference;
          EXPECT_EQ(first_difference, pixels.size()) << "first difference at pixel " << first_difference / 4;
          Bytes reference;
          ASSERT_EQ(png_decode_exact(file, info, reference), 0u);
          EXPECT_TRUE(reference == pixels);
          ++compared;
        }
      }
    }
  }
  EXPECT_EQ(compared, 6 * (15 * 2 + 11 * 2));
}

// Real photographs of every kind the corpus holds (RGB, RGBA, grey, palette, 16 bits, 1 bit).
TEST(PngDecodeLibpng, CorpusPhotographsMatchPixelForPixel) {
  const auto files = corpus::files("photos", ".png");
  if (files.empty()) GTEST_SKIP() << "no corpus: run scripts/corpus.sh";
  for (const auto& path : files) {
    SCOPED_TRACE(corpus::label(path));
    const Bytes file = corpus::read(path);
    NativeImage oracle;
    ASSERT_TRUE(read_with_libpng(file, oracle));
    PngInfo info;
    Bytes pixels;
    ASSERT_EQ(png_decode(file, info, pixels), 0u);
    EXPECT_TRUE(pixels == reduce_to_rgba(oracle));
  }
}

TEST(PngDecodeLibpng, EveryTruncationFails) {
  std::mt19937 rng(7);
  const Format formats[] = {{6, 8}, {3, 2}, {2, 16}, {0, 1}};
  for (const Format& f : formats) {
    for (int interlace : {0, 1}) {
      NativeImage im = random_image(rng, f.colour_type, f.bit_depth, interlace, f.colour_type != 6);
      Bytes file;
      ASSERT_TRUE(write_with_libpng(im, 6, 64, file));
      PngInfo info;
      Bytes pixels;
      ASSERT_EQ(png_decode(file, info, pixels), 0u);
      // Up to the end of IEND's type plus one byte the file decodes; its CRC is never read.
      for (size_t n = 0; n < file.size(); ++n) {
        const Bytes prefix(file.begin(), file.begin() + n);  // exact size: a read past it is caught
        const uint32_t code = png_decode(prefix, info, pixels);
        if (n + 3 >= file.size()) {
          EXPECT_EQ(code, 0u) << "prefix " << n;
        } else {
          EXPECT_NE(code, 0u) << "colour type " << f.colour_type << ", prefix of " << n << " bytes";
        }
      }
    }
  }
}

}  // namespace
