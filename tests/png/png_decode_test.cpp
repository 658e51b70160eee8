// png_decode on hand-made files: the header checks, the chunk walk, unfiltering, Adam7 and
// the conversion to RGBA, each with the result code and what a failure leaves behind.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "png/png_decode.h"
#include "png/result_codes.h"
#include "tests/png/png_builder.h"

namespace {

struct Decoded {
  uint32_t code = 0;
  PngInfo info;
  Bytes pixels;
};

Decoded decode(const Bytes& file) {
  Decoded d;
  d.info.width = d.info.height = 77;  // a reused PngInfo must come back fresh
  d.pixels = {1, 2, 3};
  d.code = png_decode(file, d.info, d.pixels);
  return d;
}

Bytes rgba(std::initializer_list<uint8_t> v) { return Bytes(v); }

// A 2 × 1 grey 8-bit image, the smallest valid file to mutate.
Bytes tiny_grey() {
  const Bytes rows = {10, 20};
  return simple_png({.width = 2, .height = 1}, with_filter_bytes(rows, 2));
}

TEST(PngDecodeInput, ShortInputsAndNoIend) {
  struct Case {
    const char* name;
    Bytes file;
    uint32_t code;
  };
  Bytes header_only = png_file({ihdr_chunk({.width = 3, .height = 4})});
  ASSERT_EQ(header_only.size(), 33u);
  const Case cases[] = {
      {"empty", {}, PNG_NO_INPUT},
      {"28 bytes", Bytes(header_only.begin(), header_only.begin() + 28), PNG_TOO_SHORT},
      {"1 byte", {137}, PNG_TOO_SHORT},
      {"33 bytes: signature and header only", header_only, PNG_NO_IEND},
      {"41 bytes: 8 more after the header", header_only + Bytes(8, 0), PNG_NO_IEND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded d = decode(c.file);
    EXPECT_EQ(d.code, c.code);
    EXPECT_TRUE(d.pixels.empty());
    if (c.code != PNG_NO_IEND) {
      EXPECT_EQ(d.info.width, 0u);
      EXPECT_EQ(d.info.height, 0u);
    }
  }
}

TEST(PngDecodeHeader, ChecksRunInOrderAndKeepTheFieldsRead) {
  struct Fields {
    uint32_t width = 0, height = 0, colour_type = 0, bit_depth = 0, compression_method = 0,
             filter_method = 0, interlace_method = 0;
  };
  struct Case {
    const char* name;
    size_t offset;  // byte of a valid file to change
    uint8_t value;
    uint32_t code;
    Fields expected;  // the fields a failure leaves
  };
  // The valid file: 2 × 1, bit depth 8, colour type 0.
  const Case cases[] = {
      {"signature", 0, 0x89 ^ 1, PNG_BAD_SIGNATURE, {}},
      {"last signature byte", 7, 0, PNG_BAD_SIGNATURE, {}},
      {"IHDR name", 12, 'i', PNG_NO_IHDR, {}},
      {"compression method", 26, 1, PNG_BAD_COMPRESSION_METHOD,
       {.width = 2, .height = 1, .colour_type = 0, .bit_depth = 8, .compression_method = 1}},
      {"filter method", 27, 1, PNG_BAD_FILTER_METHOD,
       {.width = 2, .height = 1, .bit_depth = 8, .filter_method = 1}},
      {"interlace method", 28, 2, PNG_BAD_INTERLACE_METHOD,
       {.width = 2, .height = 1, .bit_depth = 8, .interlace_method = 2}},
      {"colour type 5", 25, 5, PNG_BAD_COLOUR_TYPE,
       {.width = 2, .height = 1, .colour_type = 5, .bit_depth = 8}},
      {"colour type 7", 25, 7, PNG_BAD_COLOUR_TYPE,
       {.width = 2, .height = 1, .colour_type = 7, .bit_depth = 8}},
      {"bit depth 3", 24, 3, PNG_BAD_BIT_DEPTH, {.width = 2, .height = 1, .bit_depth = 3}},
      {"width 0", 19, 0, PNG_ZERO_WIDTH, {.width = 0, .height = 1, .bit_depth = 8}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes file = tiny_grey();
    file[c.offset] = c.value;
    const Decoded d = decode(file);
    EXPECT_EQ(d.code, c.code);
    EXPECT_EQ(d.info.width, c.expected.width);
    EXPECT_EQ(d.info.height, c.expected.height);
    EXPECT_EQ(d.info.bit_depth, c.expected.bit_depth);
    EXPECT_EQ(d.info.colour_type, c.expected.colour_type);
    EXPECT_EQ(d.info.compression_method, c.expected.compression_method);
    EXPECT_EQ(d.info.filter_method, c.expected.filter_method);
    EXPECT_EQ(d.info.interlace_method, c.expected.interlace_method);
    EXPECT_TRUE(d.pixels.empty());
  }
}

TEST(PngDecodeHeader, BitDepthsAllowedPerColourType) {
  const uint8_t depths[] = {0, 1, 2, 3, 4, 5, 8, 12, 16, 32};
  const uint8_t types[] = {0, 2, 3, 4, 6};
  for (uint8_t t : types) {
    for (uint8_t d : depths) {
      SCOPED_TRACE("colour type " + std::to_string(t) + ", depth " + std::to_string(d));
      const bool low = d == 1 || d == 2 || d == 4;
      const bool allowed = (t == 0 && (low || d == 8 || d == 16)) || (t == 3 && (low || d == 8)) ||
                           ((t == 2 || t == 4 || t == 6) && (d == 8 || d == 16));
      Bytes file = png_file({ihdr_chunk({.width = 1, .height = 1, .bit_depth = d, .colour_type = t}),
                             iend_chunk()});
      const uint32_t code = decode(file).code;
      // Allowed pairs pass the header and fail later, at the missing image data.
      if (allowed) {
        EXPECT_NE(code, PNG_BAD_BIT_DEPTH);
      } else {
        EXPECT_EQ(code, PNG_BAD_BIT_DEPTH);
      }
    }
  }
}

TEST(PngDecodeChunks, WalkFailures) {
  const Bytes head = png_file({ihdr_chunk({.width = 1, .height = 1, .colour_type = 3})});
  const Bytes grey = png_file({ihdr_chunk({.width = 1, .height = 1, .colour_type = 0})});
  const Bytes rgb = png_file({ihdr_chunk({.width = 1, .height = 1, .colour_type = 2})});
  const Bytes ga = png_file({ihdr_chunk({.width = 1, .height = 1, .colour_type = 4})});
  const Bytes rgba8 = png_file({ihdr_chunk({.width = 1, .height = 1, .colour_type = 6})});
  const Bytes pal2 = chunk("PLTE", Bytes(6, 9));
  struct Case {
    const char* name;
    Bytes file;
    uint32_t code;
  };
  const Case cases[] = {
      {"length above 2^31 - 1", head + be32(0x80000000u) + Bytes{'I', 'D', 'A', 'T', 0}, PNG_CHUNK_TOO_LONG},
      {"data past the end", head + be32(5) + Bytes{'t', 'E', 'X', 't', 1, 2, 3, 4}, PNG_CHUNK_PAST_END},
      {"ends after a chunk's CRC", head + chunk("tEXt", Bytes{1}), PNG_NO_IEND},
      {"PLTE of 771 bytes", head + chunk("PLTE", Bytes(771, 1)) + iend_chunk(), PNG_PALETTE_TOO_LONG},
      {"tRNS before PLTE", head + chunk("tRNS", Bytes{0}) + pal2 + iend_chunk(), PNG_TRNS_BEYOND_PALETTE},
      {"tRNS longer than the palette", head + pal2 + chunk("tRNS", Bytes{0, 0, 0}) + iend_chunk(),
       PNG_TRNS_BEYOND_PALETTE},
      {"grey tRNS of 1 byte", grey + chunk("tRNS", Bytes{0}) + iend_chunk(), PNG_TRNS_GREY_LENGTH},
      {"grey tRNS of 6 bytes", grey + chunk("tRNS", Bytes(6, 0)) + iend_chunk(), PNG_TRNS_GREY_LENGTH},
      {"RGB tRNS of 2 bytes", rgb + chunk("tRNS", Bytes(2, 0)) + iend_chunk(), PNG_TRNS_RGB_LENGTH},
      {"grey + alpha tRNS", ga + chunk("tRNS", Bytes(2, 0)) + iend_chunk(), PNG_TRNS_WITH_ALPHA},
      {"RGBA tRNS", rgba8 + chunk("tRNS", Bytes(6, 0)) + iend_chunk(), PNG_TRNS_WITH_ALPHA},
      {"unknown critical chunk", grey + chunk("ABCD", Bytes{}) + iend_chunk(), PNG_UNKNOWN_CRITICAL_CHUNK},
      {"second IHDR", grey + ihdr_chunk({}) + iend_chunk(), PNG_UNKNOWN_CRITICAL_CHUNK},
      {"lower-case idat is ancillary, so no image data", grey + chunk("iDAT", zlib_compress(Bytes{0, 5})) +
       iend_chunk(), 53u},
      {"no IDAT at all", grey + iend_chunk(), 53u},
      {"inflater code passes through", grey + chunk("IDAT", Bytes{0x78, 0x9D, 0, 0}) + iend_chunk(), 24u},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded d = decode(c.file);
    EXPECT_EQ(d.code, c.code);
    EXPECT_TRUE(d.pixels.empty());
    EXPECT_EQ(d.info.width, 1u);  // the header stays
  }
}

TEST(PngDecodeChunks, WrongCrcsDecodeLikeTheRightOnes) {
  const Bytes file = simple_png({.width = 2, .height = 2, .colour_type = 2},
                                with_filter_bytes(Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 6, 1),
                                {chunk("gAMA", be32(45455)), chunk("tRNS", Bytes{0, 1, 0, 2, 0, 3})});
  const Decoded good = decode(file);
  const Decoded bad = decode(with_bad_crcs(file));
  ASSERT_EQ(good.code, 0u);
  EXPECT_NE(file, with_bad_crcs(file));
  EXPECT_EQ(bad.code, 0u);
  EXPECT_EQ(bad.pixels, good.pixels);
}

TEST(PngDecodeChunks, AncillaryChunksSkippedAndIdatJoinedInFileOrder) {
  // Grey 8-bit, 3 × 2; the zlib stream cut into three IDAT chunks with other chunks between.
  const Bytes rows = {1, 2, 3, 4, 5, 6};
  const Bytes z = zlib_compress(with_filter_bytes(rows, 3));
  ASSERT_GE(z.size(), 6u);
  const Bytes a(z.begin(), z.begin() + 2), b(z.begin() + 2, z.begin() + 5), c(z.begin() + 5, z.end());
  const Bytes file = png_file({ihdr_chunk({.width = 3, .height = 2}), chunk("gAMA", be32(45455)),
                               chunk("IDAT", a), chunk("tEXt", Bytes{'k', 0, 'v'}), chunk("IDAT", Bytes{}),
                               chunk("IDAT", b), chunk("pHYs", Bytes(9, 1)), chunk("zzzz", Bytes(3, 0)),
                               chunk("IDAT", c), iend_chunk()});
  const Decoded d = decode(file);
  ASSERT_EQ(d.code, 0u);
  ASSERT_EQ(d.pixels.size(), 24u);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(d.pixels[4 * i], rows[i]);
    EXPECT_EQ(d.pixels[4 * i + 3], 255);
  }
}

TEST(PngDecodeChunks, IendEndsTheWalkEvenWithoutItsCrc) {
  Bytes file = tiny_grey();
  file.resize(file.size() - 3);  // one byte of IEND's CRC left
  EXPECT_EQ(decode(file).code, 0u);
  file.resize(file.size() - 1);  // the type ends the input: no room for a chunk
  EXPECT_EQ(decode(file).code, PNG_NO_IEND);
  Bytes trailing = tiny_grey() + Bytes{0xFF, 0xFF, 0xFF, 0xFF, 'J', 'U', 'N', 'K'};
  EXPECT_EQ(decode(trailing).code, 0u);
}

TEST(PngDecodePalette, SizesOrderAndTransparency) {
  // 4 × 1 palette 8-bit: indices 0, 1, 2, 255.
  const Bytes idx = with_filter_bytes(Bytes{0, 1, 2, 255}, 4);
  const PngHeader h = {.width = 4, .height = 1, .colour_type = 3};
  Bytes plte768(768);
  for (size_t i = 0; i < 768; ++i) plte768[i] = uint8_t(i / 3);
  {
    SCOPED_TRACE("768-byte PLTE after the IDAT, with tRNS");
    const Bytes file = png_file({ihdr_chunk(h), chunk("IDAT", zlib_compress(idx)), chunk("PLTE", plte768),
                                 chunk("tRNS", Bytes{10, 20}), iend_chunk()});
    const Decoded d = decode(file);
    ASSERT_EQ(d.code, 0u);
    EXPECT_EQ(d.info.palette.size(), 1024u);
    EXPECT_EQ(d.pixels, (Bytes{0, 0, 0, 10, 1, 1, 1, 20, 2, 2, 2, 255, 255, 255, 255, 255}));
  }
  {
    SCOPED_TRACE("770-byte PLTE: 256 entries, the walk goes on after its CRC");
    Bytes plte770 = plte768 + Bytes{7, 7};
    const Bytes file = png_file({ihdr_chunk(h), chunk("PLTE", plte770), chunk("tRNS", Bytes{0, 0, 30}),
                                 chunk("IDAT", zlib_compress(idx)), iend_chunk()});
    const Decoded d = decode(file);
    ASSERT_EQ(d.code, 0u);
    EXPECT_EQ(d.info.palette.size(), 1024u);
    EXPECT_EQ(d.pixels, (Bytes{0, 0, 0, 0, 1, 1, 1, 0, 2, 2, 2, 30, 255, 255, 255, 255}));
  }
  {
    SCOPED_TRACE("a later PLTE replaces the palette, alphas back at 255");
    const Bytes file = png_file({ihdr_chunk({.width = 1, .height = 1, .colour_type = 3}),
                                 chunk("PLTE", Bytes{1, 1, 1, 2, 2, 2}), chunk("tRNS", Bytes{0, 0}),
                                 chunk("PLTE", Bytes{5, 6, 7}), chunk("IDAT", zlib_compress(Bytes{0, 0})),
                                 iend_chunk()});
    const Decoded d = decode(file);
    ASSERT_EQ(d.code, 0u);
    EXPECT_EQ(d.pixels, rgba({5, 6, 7, 255}));
  }
  {
    SCOPED_TRACE("an empty tRNS before PLTE is allowed");
    const Bytes file = png_file({ihdr_chunk({.width = 1, .height = 1, .colour_type = 3}),
                                 chunk("tRNS", Bytes{}), chunk("PLTE", Bytes{5, 6, 7}),
                                 chunk("IDAT", zlib_compress(Bytes{0, 0})), iend_chunk()});
    EXPECT_EQ(decode(file).code, 0u);
  }
}

TEST(PngDecodePalette, IndexBeyondThePalette) {
  struct Case {
    const char* name;
    uint8_t depth;
    Bytes row;  // one row of 4 pixels, unfiltered
    uint32_t code;
  };
  // Three entries; the third pixel indexes entry 3.
  const Case cases[] = {
      {"bit depth 8", 8, {0, 1, 3, 0}, PNG_INDEX_BEYOND_PALETTE},
      {"bit depth 4", 4, {0x01, 0x30}, PNG_INDEX_BEYOND_PALETTE_LOW},
      {"bit depth 2", 2, {0b00011100}, PNG_INDEX_BEYOND_PALETTE_LOW},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes file = simple_png({.width = 4, .height = 1, .bit_depth = c.depth, .colour_type = 3},
                                  with_filter_bytes(c.row, c.row.size()),
                                  {chunk("PLTE", Bytes{10, 11, 12, 20, 21, 22, 30, 31, 32})});
    const Decoded d = decode(file);
    EXPECT_EQ(d.code, c.code);
    ASSERT_EQ(d.pixels.size(), 16u);
    EXPECT_EQ(Bytes(d.pixels.begin(), d.pixels.begin() + 8), (Bytes{10, 11, 12, 255, 20, 21, 22, 255}));
  }
  const Bytes no_palette = simple_png({.width = 1, .height = 1, .colour_type = 3}, Bytes{0, 0});
  EXPECT_EQ(decode(no_palette).code, PNG_INDEX_BEYOND_PALETTE);
}

TEST(PngDecodeConversion, SamplesToRgba) {
  struct Case {
    const char* name;
    PngHeader header;
    Bytes row;   // one unfiltered row
    Bytes trns;  // empty: none
    Bytes expected;
  };
  const Case cases[] = {
      {"grey 1-bit", {.width = 3, .bit_depth = 1}, {0b10100000}, {}, {255, 255, 255, 255, 0, 0, 0, 255, 255, 255, 255, 255}},
      {"grey 2-bit 0 1 2 3", {.width = 4, .bit_depth = 2}, {0b00011011}, {},
       {0, 0, 0, 255, 85, 85, 85, 255, 170, 170, 170, 255, 255, 255, 255, 255}},
      {"grey 2-bit with key 2", {.width = 4, .bit_depth = 2}, {0b00011011}, {0, 2},
       {0, 0, 0, 255, 85, 85, 85, 255, 170, 170, 170, 0, 255, 255, 255, 255}},
      {"grey 4-bit", {.width = 2, .bit_depth = 4}, {0x1F}, {}, {17, 17, 17, 255, 255, 255, 255, 255}},
      {"grey 8-bit with key 20", {.width = 2}, {20, 21}, {0, 20}, {20, 20, 20, 0, 21, 21, 21, 255}},
      {"grey 8-bit, key beyond 8 bits never matches", {.width = 1}, {20}, {1, 20}, {20, 20, 20, 255}},
      {"grey 16-bit keeps the first byte", {.width = 2, .bit_depth = 16}, {18, 171, 18, 172}, {18, 172},
       {18, 18, 18, 255, 18, 18, 18, 0}},
      {"RGB 8-bit key", {.width = 2, .colour_type = 2}, {1, 2, 3, 1, 2, 4}, {0, 1, 0, 2, 0, 3},
       {1, 2, 3, 0, 1, 2, 4, 255}},
      {"RGB 16-bit: a low byte off the key stays opaque", {.width = 2, .bit_depth = 16, .colour_type = 2},
       {1, 10, 2, 20, 3, 30, 1, 10, 2, 20, 3, 31}, {1, 10, 2, 20, 3, 30}, {1, 2, 3, 0, 1, 2, 3, 255}},
      {"grey + alpha 8-bit", {.width = 2, .colour_type = 4}, {9, 100, 8, 200}, {}, {9, 9, 9, 100, 8, 8, 8, 200}},
      {"grey + alpha 16-bit", {.width = 1, .bit_depth = 16, .colour_type = 4}, {9, 1, 100, 2}, {}, {9, 9, 9, 100}},
      {"RGBA 16-bit", {.width = 1, .bit_depth = 16, .colour_type = 6}, {1, 9, 2, 9, 3, 9, 4, 9}, {}, {1, 2, 3, 4}},
      {"RGBA 8-bit unchanged", {.width = 2, .colour_type = 6}, {1, 2, 3, 4, 250, 251, 252, 0}, {},
       {1, 2, 3, 4, 250, 251, 252, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes trns = c.trns.empty() ? Bytes{} : chunk("tRNS", c.trns);
    const Bytes file = c.trns.empty() ? simple_png(c.header, with_filter_bytes(c.row, c.row.size()))
                                      : simple_png(c.header, with_filter_bytes(c.row, c.row.size()), {trns});
    const Decoded d = decode(file);
    ASSERT_EQ(d.code, 0u);
    EXPECT_EQ(d.pixels, c.expected);
    EXPECT_EQ(d.info.key_defined, !c.trns.empty());
  }
}

TEST(PngDecodeConversion, LowDepthRowsRunOnAcrossBytes) {
  // Grey 1-bit, 3 × 3: rows of 3 bits each, packed in the raw image without spare bits, so
  // every row after the first starts inside a byte; the line's spare bits must not leak.
  const Bytes rows = {0b10111111, 0b01011111, 0b11011111};
  const Decoded d = decode(simple_png({.width = 3, .height = 3, .bit_depth = 1}, with_filter_bytes(rows, 1)));
  ASSERT_EQ(d.code, 0u);
  const uint8_t expected[9] = {255, 0, 255, 0, 255, 0, 255, 255, 0};
  for (size_t i = 0; i < 9; ++i) EXPECT_EQ(d.pixels[4 * i], expected[i]) << "pixel " << i;
}

TEST(PngDecodeFilters, PaethTies) {
  struct Case {
    const char* name;
    uint8_t left, up, upper_left, expected;
  };
  const Case cases[] = {
      {"all equal: left", 7, 7, 7, 7},
      {"left and upper left tie, up loses: left", 6, 12, 10, 6},
      {"left loses, up and upper left tie: up", 12, 6, 10, 6},
      {"left and up tie, upper left is closest: upper left", 2, 6, 4, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Grey 2 × 2. Row 0: upper left, up. Row 1 (Paeth): its first byte predicts from up
    // only, so it is stored as left - upper left; the second byte is stored as 0 and comes
    // out as the predictor itself.
    const Bytes data = {0, c.upper_left, c.up, 4, uint8_t(c.left - c.upper_left), 0};
    const Decoded d = decode(simple_png({.width = 2, .height = 2}, data));
    ASSERT_EQ(d.code, 0u);
    EXPECT_EQ(d.pixels[8], c.left);
    EXPECT_EQ(d.pixels[12], c.expected);
  }
}

TEST(PngDecodeFilters, EachFilterReconstructsRgb) {
  // RGB 8-bit, 2 × 2 (bw = 3). Row 0 raw: 10 20 30 40 50 60; row 1 raw: 1 2 3 200 250 100.
  const Bytes r0 = {10, 20, 30, 40, 50, 60}, r1 = {1, 2, 3, 200, 250, 100};
  struct Case {
    const char* name;
    Bytes row0, row1;  // filter type then filtered bytes
  };
  auto sub = [](const Bytes& r) {
    Bytes f = {1};
    for (size_t x = 0; x < r.size(); ++x) f.push_back(uint8_t(r[x] - (x >= 3 ? r[x - 3] : 0)));
    return f;
  };
  auto up = [&](const Bytes& r) {
    Bytes f = {2};
    for (size_t x = 0; x < r.size(); ++x) f.push_back(uint8_t(r[x] - r0[x]));
    return f;
  };
  auto avg = [&](const Bytes& r, const Bytes* prior) {
    Bytes f = {3};
    for (size_t x = 0; x < r.size(); ++x) {
      const unsigned left = x >= 3 ? r[x - 3] : 0, above = prior ? (*prior)[x] : 0;
      f.push_back(uint8_t(r[x] - (left + above) / 2));
    }
    return f;
  };
  const Bytes sub0 = sub(r0);
  const Case cases[] = {
      {"None, Sub", Bytes{0} + r0, sub(r1)},
      {"Sub first row, Up", sub(r0), up(r1)},
      {"Average without and with prior row", avg(r0, nullptr), avg(r1, &r0)},
      {"Up without prior row is None", Bytes{2} + r0, up(r1)},
      {"Paeth without prior row is Sub", Bytes{4} + Bytes(sub0.begin() + 1, sub0.end()), up(r1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded d = decode(simple_png({.width = 2, .height = 2, .colour_type = 2}, c.row0 + c.row1));
    ASSERT_EQ(d.code, 0u);
    EXPECT_EQ(d.pixels, (Bytes{10, 20, 30, 255, 40, 50, 60, 255, 1, 2, 3, 255, 200, 250, 100, 255}));
  }
}

TEST(PngDecodeFilters, FilterTypeAboveFourFails) {
  struct Case {
    const char* name;
    PngHeader header;
    Bytes data;
    size_t raw_size;
  };
  const Case cases[] = {
      {"second row, 8-bit", {.width = 2, .height = 2}, {0, 1, 2, 5, 3, 4}, 4},
      {"first row, 2-bit", {.width = 3, .height = 1, .bit_depth = 2}, {5, 0}, 1},
      {"interlaced, pass 7", {.width = 1, .height = 2, .interlace_method = 1}, {0, 9, 5, 9}, 2},
      {"interlaced, pass 1, RGBA", {.width = 1, .height = 1, .colour_type = 6, .interlace_method = 1},
       {255, 1, 2, 3, 4}, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded d = decode(simple_png(c.header, c.data));
    EXPECT_EQ(d.code, PNG_BAD_FILTER_TYPE);
    EXPECT_EQ(d.pixels.size(), c.raw_size);  // the raw image, partly filled
  }
}

TEST(PngDecodeAdam7, OneByOneAndWidthOne) {
  {
    SCOPED_TRACE("1 × 1: pass 1 only, one filter byte and one pixel");
    const Decoded d = decode(simple_png({.width = 1, .height = 1, .colour_type = 2, .interlace_method = 1},
                                        Bytes{0, 7, 8, 9}));
    ASSERT_EQ(d.code, 0u);
    EXPECT_EQ(d.pixels, rgba({7, 8, 9, 255}));
  }
  {
    SCOPED_TRACE("1 × 5: passes 2, 4 and 6 take no bytes");
    // Pass 1 row 0, pass 3 row 4, pass 5 row 2, pass 7 rows 1 and 3.
    // The last row is Up-filtered over the pass's previous row.
    const Bytes data = {0, 10, 0, 14, 0, 12, 0, 11, 2, 2};
    const Decoded d = decode(simple_png({.width = 1, .height = 5, .interlace_method = 1}, data));
    ASSERT_EQ(d.code, 0u);
    const uint8_t expected[5] = {10, 11, 12, 13, 14};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(d.pixels[4 * i], expected[i]) << "row " << i;
  }
  {
    SCOPED_TRACE("2-bit 5 × 1: pass pixels go to their columns at bit level");
    // At height 1 only passes 1, 2, 4 and 6 have rows: columns 0, 4, 2, then 1 and 3.
    const Bytes data = {0, 0b01000000,  // pass 1: column 0 = 1
                        0, 0b11000000,  // pass 2: column 4 = 3
                        0, 0b10000000,  // pass 4: column 2 = 2
                        0, 0b11010000};  // pass 6: columns 1, 3 = 3, 1
    const Decoded d = decode(simple_png({.width = 5, .height = 1, .bit_depth = 2, .interlace_method = 1}, data));
    ASSERT_EQ(d.code, 0u);
    const uint8_t expected[5] = {85, 255, 170, 85, 255};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(d.pixels[4 * i], expected[i]) << "column " << i;
  }
}

TEST(PngDecodeSizes, HeightZeroDecodesToNoPixels) {
  for (uint8_t interlace : {0, 1}) {
    SCOPED_TRACE(interlace);
    const Decoded d = decode(simple_png({.width = 5, .height = 0, .colour_type = 3, .interlace_method = interlace},
                                        Bytes{}));
    EXPECT_EQ(d.code, 0u);
    EXPECT_TRUE(d.pixels.empty());
    EXPECT_EQ(d.info.width, 5u);
  }
}

TEST(PngDecodeSizes, DataShorterThanTheRowsNeed) {
  struct Case {
    const char* name;
    PngHeader header;
    Bytes data;
  };
  const Case cases[] = {
      {"one byte short", {.width = 2, .height = 2}, {0, 1, 2, 0, 3}},
      {"filter bytes only", {.width = 4, .height = 3, .colour_type = 2}, {0, 0, 0}},
      {"nothing", {.width = 1, .height = 1}, {}},
      {"interlaced, pass 7 missing", {.width = 1, .height = 2, .interlace_method = 1}, {0, 1}},
      {"interlaced 8 × 8 RGB, last byte missing", {.width = 8, .height = 8, .colour_type = 2, .interlace_method = 1},
       Bytes(8 * 8 * 3 + 15 - 1, 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded d = decode(simple_png(c.header, c.data));
    EXPECT_EQ(d.code, PNG_ROWS_TRUNCATED);
    EXPECT_TRUE(d.pixels.empty());
  }
  // A bad filter type in a row the data hold whole is told before the missing rows; one in the
  // row that is cut short, or after it, is not.
  const Case bad_rows[] = {
      {"second of three rows", {.width = 2, .height = 3}, {0, 1, 2, 7, 3, 4, 0, 5}},
      {"first row, the rest missing", {.width = 4, .height = 4, .colour_type = 2}, Bytes{7} + Bytes(12, 0)},
      {"interlaced, pass 2", {.width = 8, .height = 8, .interlace_method = 1}, {0, 1, 7, 2, 0}},
  };
  for (const Case& c : bad_rows) {
    SCOPED_TRACE(c.name);
    const Decoded d = decode(simple_png(c.header, c.data));
    EXPECT_EQ(d.code, PNG_BAD_FILTER_TYPE);
    EXPECT_TRUE(d.pixels.empty());  // told from the filter bytes alone: no raw image was made
  }
  EXPECT_EQ(decode(simple_png({.width = 2, .height = 3}, Bytes{0, 1, 2, 7, 3})).code, PNG_ROWS_TRUNCATED);
  EXPECT_EQ(decode(simple_png({.width = 2, .height = 3}, Bytes{0, 1, 2, 0, 3, 4, 7})).code, PNG_ROWS_TRUNCATED);
  // The exact size decodes; more than needed too (the rest is ignored).
  EXPECT_EQ(decode(simple_png({.width = 8, .height = 8, .colour_type = 2, .interlace_method = 1},
                              Bytes(8 * 8 * 3 + 15, 0))).code, 0u);
  EXPECT_EQ(decode(simple_png({.width = 2, .height = 2}, Bytes(7, 0))).code, 0u);
}

TEST(PngDecodeSizes, HugeHeadersAreRejectedBeforeAllocating) {
  struct Case {
    const char* name;
    PngHeader header;
    uint32_t code;
  };
  const Case cases[] = {
      {"65535 × 65535 RGBA", {.width = 65535, .height = 65535, .colour_type = 6}, PNG_IMAGE_TOO_LARGE},
      {"2^32 - 1 square RGBA 16-bit", {.width = 0xFFFFFFFF, .height = 0xFFFFFFFF, .bit_depth = 16, .colour_type = 6},
       PNG_IMAGE_TOO_LARGE},
      {"one row 2^32 - 1 wide", {.width = 0xFFFFFFFF, .height = 1}, PNG_IMAGE_TOO_LARGE},
      {"height 0 but 2^32 - 1 wide", {.width = 0xFFFFFFFF, .height = 0, .bit_depth = 16, .colour_type = 2},
       PNG_IMAGE_TOO_LARGE},
      {"16385 × 16384 grey 1-bit: output over the cap", {.width = 16385, .height = 16384, .bit_depth = 1},
       PNG_IMAGE_TOO_LARGE},
      {"4096 × 4096 RGBA from a few bytes", {.width = 4096, .height = 4096, .colour_type = 6}, PNG_ROWS_TRUNCATED},
      {"interlaced 8000 × 8000 RGB", {.width = 8000, .height = 8000, .colour_type = 2, .interlace_method = 1},
       PNG_ROWS_TRUNCATED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes file = simple_png(c.header, Bytes(64, 0));
    EXPECT_LT(file.size(), 120u);
    const Decoded d = decode(file);
    EXPECT_EQ(d.code, c.code);
    EXPECT_TRUE(d.pixels.empty());
  }
}

// Image data far too small for a huge image still go through the inflater: its code is the call's.
TEST(PngDecodeSizes, TinyDataForAHugeImageGiveTheInflatersCode) {
  const PngHeader huge{.width = 4096, .height = 4096, .colour_type = 6};
  const Bytes header_check_wrong = {0x78, 0x9D, 0x03, 0x00};
  const Bytes block_type_3 = {0x78, 0x9C, 0x07, 0x00};  // final block of type 3
  const Bytes empty_stream = zlib_compress(Bytes{});
  const struct {
    const char* name;
    Bytes idat;
    uint32_t code;
  } cases[] = {
      {"zlib header check wrong", header_check_wrong, 24},
      {"block type 3", block_type_3, 20},
      {"a sound, empty stream", empty_stream, PNG_ROWS_TRUNCATED},
      {"one byte", {0x78}, 53},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (bool exact : {false, true}) {
      PngInfo info;
      Bytes pixels;
      const Bytes file = png_file({ihdr_chunk(huge), chunk("IDAT", c.idat), iend_chunk()});
      EXPECT_EQ(exact ? png_decode_exact(file, info, pixels) : png_decode(file, info, pixels), c.code);
      EXPECT_TRUE(pixels.empty());
    }
  }
}

TEST(PngDecodeResult, EveryCodeHasItsOwnText) {
  const uint32_t codes[] = {0,  10, 11, 13, 14, 15, 18, 20, 21, 23, 24, 25, 26, 27, 28, 29, 30, 31,
                            32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 46, 47, 48, 49, 50, 51, 52,
                            53, 55, 63, 64, 69, 90, 91, 92, 93, 100, 101, 102, 103};
  const std::string unknown = describe_result(9999);
  std::set<std::string> seen;
  for (uint32_t code : codes) {
    SCOPED_TRACE(code);
    const std::string text = describe_result(code);
    EXPECT_NE(text, unknown);
    EXPECT_TRUE(seen.insert(text).second) << "shared text: " << text;
  }
}

}  // namespace
