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
#include "tests/png/libpng_images.h"
#include "tests/png/png_builder.h"

namespace {

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
