// png_decode against png_decode_exact, its oracle: the same result code, header fields, palette,
// colour key and pixels (failure leftovers included) for every truncation and every single-byte
// corruption of a few small photographs of the corpus, and of generated files when there is none.
#include <gtest/gtest.h>

#include <string>

#include "png/png_decode.h"
#include "tests/png/corpus_files.h"
#include "tests/png/png_builder.h"

namespace {

bool same_decode(const Bytes& file, const std::string& what, uint32_t cpu = CPU_ANY) {
  const Bytes exact_size(file);  // the sanitizer sees any read past the input
  PngInfo fast_info, exact_info;
  Bytes fast_pixels, exact_pixels;
  const uint32_t fast = png_decode_with(exact_size, fast_info, fast_pixels, cpu);
  const uint32_t exact = png_decode_exact(exact_size, exact_info, exact_pixels);
  EXPECT_EQ(fast, exact) << what << ", processor extensions " << cpu;
  const bool same_info = fast_info.width == exact_info.width && fast_info.height == exact_info.height &&
                         fast_info.colour_type == exact_info.colour_type && fast_info.bit_depth == exact_info.bit_depth &&
                         fast_info.interlace_method == exact_info.interlace_method &&
                         fast_info.key_defined == exact_info.key_defined && fast_info.key_r == exact_info.key_r &&
                         fast_info.key_g == exact_info.key_g && fast_info.key_b == exact_info.key_b &&
                         fast_info.palette == exact_info.palette;
  EXPECT_TRUE(same_info) << what;
  EXPECT_TRUE(fast_pixels == exact_pixels) << what << ", processor extensions " << cpu << ": other pixels (code "
                                           << exact << ")";
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

// Every colour type and bit depth, every filter type in every row position, odd widths, colour keys
// and palettes of a few entries (so that indexes beyond them occur): the rows are arbitrary bytes,
// which unfilter to something definite whatever they are. Each processor path on its own, so that
// the portable paths are checked on machines that have the extensions too.
TEST(PngDecodeDifferential, EveryFormatFilterAndProcessorPath) {
  struct Format {
    uint8_t colour_type, bit_depth, samples;
  };
  const Format formats[] = {{0, 1, 1}, {0, 2, 1}, {0, 4, 1}, {0, 8, 1}, {0, 16, 1}, {2, 8, 3}, {2, 16, 3},
                            {3, 1, 1}, {3, 2, 1}, {3, 4, 1}, {3, 8, 1}, {4, 8, 2}, {4, 16, 2}, {6, 8, 4},
                            {6, 16, 4}};
  uint32_t seed = 99;
  auto next = [&] { return seed = seed * 1664525u + 1013904223u, uint8_t(seed >> 24); };
  for (const Format& f : formats)
    for (const uint32_t width : {1u, 2u, 3u, 13u, 40u}) {
      const uint32_t height = 7;
      const size_t line = (size_t{width} * f.bit_depth * f.samples + 7) / 8;
      Bytes rows;
      for (uint32_t y = 0; y < height; ++y) {
        rows.push_back(uint8_t((y + width) % 5));  // every filter type, in a different row each width
        for (size_t i = 0; i < line; ++i) rows.push_back(next() & (y == 3 ? 0x0F : 0xFF));  // also near-flat
      }
      std::vector<Bytes> extras = {{}};
      if (f.colour_type == 3) extras = {chunk("PLTE", Bytes(3 * 12, 77)), chunk("PLTE", Bytes(3 * 256, 5))};
      if (f.colour_type == 0) extras.push_back(chunk("tRNS", Bytes{0, 3}));
      if (f.colour_type == 2) extras.push_back(chunk("tRNS", Bytes{0, rows[2], 0, rows[3], 0, rows[4]}));
      for (const Bytes& extra : extras) {
        const Bytes file = extra.empty()
                               ? simple_png({.width = width, .height = height, .bit_depth = f.bit_depth,
                                             .colour_type = f.colour_type},
                                            rows)
                               : simple_png({.width = width, .height = height, .bit_depth = f.bit_depth,
                                             .colour_type = f.colour_type},
                                            rows, {extra});
        const std::string what = "colour type " + std::to_string(f.colour_type) + " at " +
                                 std::to_string(f.bit_depth) + " bits, width " + std::to_string(width) +
                                 (extra.empty() ? "" : " with " + std::to_string(extra.size()) + "-byte chunk");
        for (const uint32_t cpu : CPU_LEVELS)
          if (!same_decode(file, what, cpu)) return;
      }
    }
}

// Images large enough for the rows to be taken while the data are still inflating: whole, with a
// bad filter type far down (found after many rows are done), and with the data cut short (the
// inflater fails after it has reported rows).
TEST(PngDecodeDifferential, RowsTakenWhileInflating) {
  struct Format {
    uint8_t colour_type, bit_depth, samples;
  };
  uint32_t seed = 5;
  auto next = [&] { return seed = seed * 1664525u + 1013904223u, uint8_t(seed >> 24); };
  for (const Format f : {Format{0, 8, 1}, Format{2, 8, 3}, Format{6, 8, 4}, Format{3, 8, 1}, Format{0, 1, 1}}) {
    const uint32_t width = 400, height = 300;
    const size_t line = (size_t{width} * f.bit_depth * f.samples + 7) / 8;
    Bytes rows;
    for (uint32_t y = 0; y < height; ++y) {
      rows.push_back(uint8_t(y % 5));
      for (size_t i = 0; i < line; ++i) rows.push_back(uint8_t(next() % 8 + (i / 64) * 3));  // smooth-ish
    }
    Bytes bad_filter = rows;
    bad_filter[250 * (line + 1)] = 7;
    const PngHeader header{.width = width, .height = height, .bit_depth = f.bit_depth, .colour_type = f.colour_type};
    const Bytes plte = chunk("PLTE", Bytes(3 * 256, 9));
    auto file = [&](const Bytes& r) { return f.colour_type == 3 ? simple_png(header, r, {plte}) : simple_png(header, r); };
    const Bytes whole = file(rows);
    const Bytes cut(whole.begin(), whole.begin() + long(whole.size() * 4 / 5));  // no IEND: the chunk walk fails
    Bytes short_data = zlib_compress(Bytes(rows.begin(), rows.begin() + long(rows.size() * 4 / 5)));
    short_data.resize(short_data.size() - 4);  // and no final block either
    const Bytes truncated = f.colour_type == 3 ? png_file({ihdr_chunk(header), plte, chunk("IDAT", short_data), iend_chunk()})
                                               : png_file({ihdr_chunk(header), chunk("IDAT", short_data), iend_chunk()});
    const std::string what = "colour type " + std::to_string(f.colour_type) + " at " + std::to_string(f.bit_depth);
    for (const uint32_t cpu : {CPU_ANY, CPU_PORTABLE}) {
      same_decode(whole, what, cpu);
      same_decode(file(bad_filter), what + ", bad filter type in row 250", cpu);
      same_decode(cut, what + ", file cut", cpu);
      same_decode(truncated, what + ", image data cut", cpu);
    }
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
