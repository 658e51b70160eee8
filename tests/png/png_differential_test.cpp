// png_decode against png_decode_exact, its oracle: the same result code, header fields, palette,
// colour key and pixels (failure leftovers included) for every truncation and every single-byte
// corruption of a few small photographs of the corpus, and of generated files when there is none.
#include <gtest/gtest.h>

#include <string>

#include "png/png_decode.h"
#include "tests/png/corpus_files.h"
#include "tests/png/png_builder.h"

namespace {

bool same_decode(const Bytes& file, const std::string& what) {
  const Bytes exact_size(file);  // the sanitizer sees any read past the input
  PngInfo fast_info, exact_info;
  Bytes fast_pixels, exact_pixels;
  const uint32_t fast = png_decode(exact_size, fast_info, fast_pixels);
  const uint32_t exact = png_decode_exact(exact_size, exact_info, exact_pixels);
  EXPECT_EQ(fast, exact) << what;
  const bool same_info = fast_info.width == exact_info.width && fast_info.height == exact_info.height &&
                         fast_info.colour_type == exact_info.colour_type && fast_info.bit_depth == exact_info.bit_depth &&
                         fast_info.interlace_method == exact_info.interlace_method &&
                         fast_info.key_defined == exact_info.key_defined && fast_info.key_r == exact_info.key_r &&
                         fast_info.key_g == exact_info.key_g && fast_info.key_b == exact_info.key_b &&
                         fast_info.palette == exact_info.palette;
  EXPECT_TRUE(same_info) << what;
  EXPECT_TRUE(fast_pixels == exact_pixels) << what << ": other pixels (code " << exact << ")";
  return fast == exact && same_info && fast_pixels == exact_pixels;
}

void every_cut_and_corruption(const Bytes& file, const std::string& what) {
  if (!same_decode(file, what)) return;
  for (size_t n = 0; n < file.size(); ++n)
    if (!same_decode(Bytes(file.begin(), file.begin() + long(n)), what + " cut to " + std::to_string(n))) return;
  for (size_t at = 0; at < file.size(); ++at)
    for (const uint8_t mask : {0xFF, 0x01, 0x20}) {
      Bytes bad = file;
      bad[at] ^= mask;
      if (!same_decode(bad, what + " byte " + std::to_string(at) + " ^ " + std::to_string(mask))) return;
    }
}

TEST(PngDecodeDifferential, CorpusPhotographsCutAndCorrupted) {
  const char* const names[] = {"chessboard_RGB.png", "green_palette.png", "palette_color.png",
                               "checker_bilevel.png", "foo3x5x4indexed.png"};
  int tried = 0;
  for (const auto& path : corpus::files("photos", ".png"))
    for (const char* name : names)
      if (path.filename() == name) {
        every_cut_and_corruption(corpus::read(path), corpus::label(path));
        ++tried;
      }
  if (tried == 0) GTEST_SKIP() << "no corpus: run scripts/corpus.sh";
}

// Without the corpus too: small files of the kinds the fast path treats apart (8-bit RGB and RGBA
// straight to RGBA, with a colour key; the rest through a line buffer; interlaced by the reference).
TEST(PngDecodeDifferential, GeneratedFilesCutAndCorrupted) {
  Bytes rgb, rgba, palette;
  for (int i = 0; i < 6 * (3 * 7 + 1); ++i) rgb.push_back(uint8_t(i % (3 * 7 + 1) == 0 ? i / 22 % 5 : i * 37));
  for (int i = 0; i < 5 * (4 * 6 + 1); ++i) rgba.push_back(uint8_t(i % 25 == 0 ? 4 - i / 25 % 5 : i * 11));
  for (int i = 0; i < 4 * 5; ++i) palette.push_back(uint8_t(i % 5 == 0 ? 0 : i % 3));
  const Bytes files[] = {
      simple_png({.width = 7, .height = 6, .colour_type = 2}, rgb, {chunk("tRNS", Bytes{0, 37, 0, 74, 0, 111})}),
      simple_png({.width = 6, .height = 5, .colour_type = 6}, rgba),
      simple_png({.width = 4, .height = 4, .colour_type = 3}, palette,
                 {chunk("PLTE", Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9}), chunk("tRNS", Bytes{0, 128})}),
  };
  for (size_t i = 0; i < std::size(files); ++i) {
    PngInfo info;
    Bytes pixels;
    ASSERT_EQ(png_decode(files[i], info, pixels), 0u) << i;
    every_cut_and_corruption(files[i], "file " + std::to_string(i));
  }
}

}  // namespace
