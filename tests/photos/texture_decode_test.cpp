// The decode halves of the loaders: files to pixels, no GL. What each path makes of PNG, JPEG,
// GIF and BMP files, of files that lie about their format, and of files that are not there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <future>
#include <vector>

#include <SDL.h>
#include <SDL_image.h>

#include "photos/texture_loaders.h"
#include "tests/photos/test_images.h"
#include "tests/support/temp_dir.h"

namespace {

using teximg::Rgba;
using Kind = TextureImage::Kind;
namespace fs = std::filesystem;

constexpr Rgba RED{255, 0, 0, 255}, BLUE{0, 0, 255, 255}, GREEN{0, 255, 0, 255}, BLACK{0, 0, 0, 255};

class TextureDecode : public ::testing::Test {
 protected:
  std::string file(const std::string& name) const { return (dir_ / name).string(); }

  TempDir temp_{TempDir::WorkingDirectory::Keep};
  const fs::path dir_ = temp_.path();
};

// Red above, blue below: which way up a texture came out shows at a glance.
Rgba red_over_blue(int, int y, int height) { return y < height / 2 ? RED : BLUE; }

Rgba at(const TextureImage& image, uint32_t x, uint32_t y_from_top) {
  return teximg::pixel_from_top(image.pixels, image.width, image.height, x, y_from_top);
}

// The 300 × 200 PNG of the show's file path: a gradient, with a half-transparent pixel at (10, 20).
Rgba gradient_with_glass(int x, int y) {
  if (x == 10 && y == 20) return {200, 100, 50, 128};
  return {uint8_t(x), uint8_t(y), uint8_t(x + y), 255};
}

TEST_F(TextureDecode, FileTexturePngKeepsSizeAlphaAndTurnsOver) {
  ASSERT_TRUE(teximg::write_png(file("photo.png"), 300, 200, gradient_with_glass));
  const TextureImage image = decode_file_texture(file("photo.png"));
  ASSERT_EQ(image.kind, Kind::FileTexture);
  ASSERT_EQ(image.width, 300u);
  ASSERT_EQ(image.height, 200u);
  ASSERT_EQ(image.pixels.size(), 300u * 200 * 4);
  int wrong = 0;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 300; ++x) wrong += !(at(image, x, y) == gradient_with_glass(x, y));
  }
  EXPECT_EQ(wrong, 0);
  // Memory row 199 is the picture's top row; the half-transparent pixel keeps its colour unpremultiplied.
  EXPECT_EQ(image.pixels[(199 * 300 + 5) * 4], 5);
  EXPECT_EQ(at(image, 10, 20), (Rgba{200, 100, 50, 128}));
}

TEST_F(TextureDecode, FileTextureReadsEveryCodecAtItsOwnSize) {
  const auto paint = [](int x, int y) { return red_over_blue(x, y, 30); };
  ASSERT_TRUE(teximg::write_jpeg(file("a.jpg"), 40, 30, paint));
  ASSERT_TRUE(teximg::write_bmp(file("a.bmp"), 40, 30, paint));
  ASSERT_TRUE(teximg::write_gif(file("a.gif"), 2, 2, {RED, BLUE}, {0, 0, 1, 1}, -1));
  const struct {
    const char* name;
    uint32_t w, h;
    int tolerance;
  } cases[] = {{"a.jpg", 40, 30, 8}, {"a.bmp", 40, 30, 0}, {"a.gif", 2, 2, 0}};
  for (const auto& c : cases) {
    const TextureImage image = decode_file_texture(file(c.name));
    ASSERT_EQ(image.kind, Kind::FileTexture) << c.name;
    EXPECT_EQ(image.width, c.w) << c.name;
    EXPECT_EQ(image.height, c.h) << c.name;
    EXPECT_PRED3(teximg::near, at(image, 0, 0), RED, c.tolerance) << c.name << " " << at(image, 0, 0);
    EXPECT_PRED3(teximg::near, at(image, 0, c.h - 1), BLUE, c.tolerance) << c.name;
  }
}

TEST_F(TextureDecode, FileTextureKeepsBlackOpaque) {
  ASSERT_TRUE(teximg::write_png(file("black.png"), 2, 2, [](int, int) { return BLACK; }));
  EXPECT_EQ(at(decode_file_texture(file("black.png")), 1, 1), BLACK);
}

TEST_F(TextureDecode, PictureJpegFillsTheSquareUprightAndOpaque) {
  ASSERT_TRUE(teximg::write_jpeg(file("photo.jpg"), 640, 480, [](int x, int y) { return red_over_blue(x, y, 480); }));
  const TextureImage image = decode_picture_image(file("photo.jpg"), 64);
  ASSERT_EQ(image.kind, Kind::Picture);
  ASSERT_EQ(image.width, 64u);
  ASSERT_EQ(image.height, 64u);
  int opaque = 0;
  for (size_t i = 3; i < image.pixels.size(); i += 4) opaque += image.pixels[i] == 255;
  EXPECT_EQ(opaque, 64 * 64);
  // The whole picture covers the whole square, aspect not kept: its top half on the square's top half.
  for (uint32_t x : {0u, 31u, 63u}) {
    EXPECT_PRED3(teximg::near, at(image, x, 0), RED, 8) << at(image, x, 0);
    EXPECT_PRED3(teximg::near, at(image, x, 30), RED, 8);
    EXPECT_PRED3(teximg::near, at(image, x, 33), BLUE, 8);
    EXPECT_PRED3(teximg::near, at(image, x, 63), BLUE, 8) << at(image, x, 63);
  }
}

TEST_F(TextureDecode, PictureGifTransparencyComesOutOpaqueBlack) {
  // 8 × 8: the left half transparent (index 2), the right half green.
  std::vector<uint8_t> indexes(64);
  for (int i = 0; i < 64; ++i) indexes[i] = (i % 8) < 4 ? 2 : 1;
  ASSERT_TRUE(teximg::write_gif(file("glass.gif"), 8, 8, {RED, GREEN, Rgba{250, 250, 250, 255}}, indexes, 2));
  const TextureImage image = decode_picture_image(file("glass.gif"), 64);
  ASSERT_EQ(image.kind, Kind::Picture);
  for (uint32_t y : {0u, 32u, 63u}) {
    EXPECT_EQ(at(image, 2, y), BLACK) << "transparent at row " << y;
    EXPECT_EQ(at(image, 61, y), GREEN) << "opaque at row " << y;
    // The bilinear edge between them blends into black, never into the hidden colour.
    for (uint32_t x = 0; x < 64; ++x) {
      const Rgba c = at(image, x, y);
      EXPECT_TRUE(c.r == 0 && c.b == 0 && c.a == 255) << "x " << x << ": " << c;
    }
  }
}

// The squares of earlier pictures are reused as they are: nothing of what they held may show, at
// an odd side (the middle row) as at an even one.
TEST_F(TextureDecode, PictureSquareDrawnIntoUsedStorageIsTheSameAsFresh) {
  std::vector<uint8_t> indexes(64);
  for (int i = 0; i < 64; ++i) indexes[i] = (i % 8) < 4 ? 2 : 1;
  ASSERT_TRUE(teximg::write_gif(file("glass.gif"), 8, 8, {RED, GREEN, Rgba{250, 250, 250, 255}}, indexes, 2));
  ASSERT_TRUE(teximg::write_jpeg(file("photo.jpg"), 40, 30, [](int x, int y) { return red_over_blue(x, y, 30); }));
  for (const char* name : {"glass.gif", "photo.jpg"})
    for (int side : {33, 64}) {
      const TextureImage fresh = decode_picture_image(file(name), side);
      std::vector<uint8_t> used(size_t(64) * 64 * 4, 0x77);  // alpha 0x77 and a colour of its own
      const TextureImage reused = decode_picture_image(file(name), side, std::move(used));
      ASSERT_EQ(fresh.kind, Kind::Picture);
      EXPECT_TRUE(fresh.pixels == reused.pixels) << name << " at side " << side;
      EXPECT_EQ(at(fresh, uint32_t(side) - 1, uint32_t(side) / 2).a, 255) << name << " at side " << side;
    }
}

// An opaque picture is stretched straight into the square, upside down: the square must be SDL's
// stretch of the decoded picture, turned over, to the byte, at odd and even sides and scales.
TEST_F(TextureDecode, OpaquePictureSquareIsTheStretchTurnedOver) {
  ASSERT_TRUE(teximg::write_jpeg(file("photo.jpg"), 97, 61, [](int x, int y) {
    return Rgba{uint8_t(x * 5), uint8_t(y * 7), uint8_t(x * y), 255};
  }));
  SDL_Surface* decoded = IMG_Load(file("photo.jpg").c_str());
  ASSERT_NE(decoded, nullptr);
  SDL_Surface* rgba = SDL_ConvertSurfaceFormat(decoded, SDL_PIXELFORMAT_RGBA32, 0);
  ASSERT_NE(rgba, nullptr);
  for (int side : {1, 33, 64, 200}) {
    std::vector<uint8_t> plain(size_t(side) * side * 4);
    SDL_Surface* target =
        SDL_CreateRGBSurfaceWithFormatFrom(plain.data(), side, side, 32, side * 4, SDL_PIXELFORMAT_RGBA32);
    ASSERT_EQ(SDL_SoftStretchLinear(rgba, nullptr, target, nullptr), 0);
    SDL_FreeSurface(target);
    std::vector<uint8_t> turned(plain.size());
    for (int y = 0; y < side; ++y)
      std::copy_n(plain.begin() + long(y) * side * 4, side * 4, turned.begin() + long(side - 1 - y) * side * 4);
    const TextureImage image = decode_picture_image(file("photo.jpg"), side);
    EXPECT_TRUE(image.pixels == turned) << "side " << side;
  }
  SDL_FreeSurface(rgba);
  SDL_FreeSurface(decoded);
}

TEST_F(TextureDecode, PictureBmpIsDrawnToo) {
  ASSERT_TRUE(teximg::write_bmp(file("photo.bmp"), 20, 20, [](int x, int y) { return red_over_blue(x, y, 20); }));
  const TextureImage image = decode_picture_image(file("photo.bmp"), 32);
  ASSERT_EQ(image.kind, Kind::Picture);
  EXPECT_EQ(at(image, 16, 0), RED);
  EXPECT_EQ(at(image, 16, 31), BLUE);
}

TEST_F(TextureDecode, PicturePngTakesTheFallback) {
  // 3 × 3 with a pure black corner: the fallback's 4 × 4, nearest neighbour, black see-through.
  const auto paint = [](int x, int y) -> Rgba {
    if (x == 0 && y == 0) return BLACK;
    return {uint8_t(10 * x + 1), uint8_t(10 * y + 1), 0, 255};
  };
  ASSERT_TRUE(teximg::write_png(file("small.png"), 3, 3, paint));
  const TextureImage image = decode_picture_image(file("small.png"), 64);
  ASSERT_EQ(image.kind, Kind::PngFallback);
  ASSERT_EQ(image.width, 4u);
  ASSERT_EQ(image.height, 4u);
  const int source[4] = {0, 0, 1, 2};
  for (uint32_t y = 0; y < 4; ++y) {
    for (uint32_t x = 0; x < 4; ++x) {
      Rgba want = paint(source[x], source[y]);
      if (want == BLACK) want.a = 0;
      EXPECT_EQ(at(image, x, y), want) << x << ", " << y;
    }
  }
  EXPECT_EQ(decode_png_fallback(file("small.png")).pixels, image.pixels);
}

TEST_F(TextureDecode, FallbackSizesArePowersOfTwo) {
  ASSERT_TRUE(teximg::write_png(file("photo.png"), 300, 200, gradient_with_glass));
  const TextureImage image = decode_picture_image(file("photo.png"), 64);
  ASSERT_EQ(image.kind, Kind::PngFallback);
  EXPECT_EQ(image.width, 512u);
  EXPECT_EQ(image.height, 256u);
  EXPECT_EQ(image.pixels.size(), 512u * 256 * 4);
  EXPECT_EQ(at(image, 2, 1), gradient_with_glass(1, 0));  // columns 2 and row 1 come from source 1 and 0
  EXPECT_EQ(at(image, 511, 255), gradient_with_glass(299, 199));
  EXPECT_EQ(at(image, 0, 0), (Rgba{0, 0, 0, 0}));  // the gradient's pure black corner
}

// A wheat field under a blue sky, smooth enough that JPEG keeps it within a few levels.
Rgba wheat_field(int x, int y) {
  const double wave = std::sin(x * 0.09) * std::cos(y * 0.13);
  if (y < 40) return {uint8_t(60 + y), uint8_t(110 + y), uint8_t(215 - y / 2), 255};
  return {uint8_t(200 + 30 * wave), uint8_t(160 + 25 * wave), uint8_t(60 + 20 * wave), 255};
}

// Four-channel JPEGs of the field, as print software and cameras write them, on both loaders:
// opaque, and within JPEG's loss of the RGB original. SDL_image alone turns the wheat blue.
TEST_F(TextureDecode, CmykAndYcckJpegsShowTheirColoursOnBothLoaders) {
  constexpr int SIDE = 96;
  ASSERT_TRUE(teximg::write_png(file("field.png"), SIDE, SIDE, wheat_field));
  ASSERT_TRUE(teximg::write_bmp(file("field.bmp"), SIDE, SIDE, wheat_field));
  const std::string magick = "convert '" + file("field.png") + "' -colorspace CMYK -quality 95 '" +
                             file("magick.jpg") + "'";
  ASSERT_EQ(std::system(magick.c_str()), 0) << magick;  // ImageMagick writes Adobe's YCCK
  ASSERT_TRUE(teximg::write_cmyk_jpeg(file("cmyk.jpg"), SIDE, SIDE, wheat_field, {false, true}));
  ASSERT_TRUE(teximg::write_cmyk_jpeg(file("ycck.jpg"), SIDE, SIDE, wheat_field, {true, true}));
  ASSERT_TRUE(teximg::write_cmyk_jpeg(file("plain.jpg"), SIDE, SIDE, wheat_field, {false, false}));

  const TextureImage file_original = decode_file_texture(file("field.png"));
  const TextureImage picture_original = decode_picture_image(file("field.bmp"), SIDE);
  ASSERT_EQ(file_original.kind, Kind::FileTexture);
  ASSERT_EQ(picture_original.kind, Kind::Picture);
  // Pixels further than JPEG's loss from the original, and the largest difference seen.
  const auto compare = [](const TextureImage& got, const TextureImage& want, const std::string& what) {
    ASSERT_EQ(got.kind, want.kind) << what;
    ASSERT_EQ(got.pixels.size(), want.pixels.size()) << what;
    int off = 0, worst = 0;
    for (size_t i = 0; i < got.pixels.size(); ++i) {
      const int d = std::abs(int(got.pixels[i]) - int(want.pixels[i]));
      worst = std::max(worst, d);
      off += d > 6;
    }
    EXPECT_EQ(off, 0) << what << ": largest difference " << worst << ", at first pixel " << at(got, 0, 60)
                      << " for " << at(want, 0, 60);
  };
  for (const char* name : {"magick.jpg", "cmyk.jpg", "ycck.jpg", "plain.jpg"}) {
    compare(decode_file_texture(file(name)), file_original, std::string(name) + " through load_file_texture");
    compare(decode_picture_image(file(name), SIDE), picture_original, std::string(name) + " on the picture path");
  }
}

// The load sequence's memory budget relies on these: never below what the decode gives, and
// exact where the header tells the size.
TEST_F(TextureDecode, SizesFromTheHeaderMatchTheDecodedPixels) {
  const auto paint = [](int x, int y) { return red_over_blue(x, y, 30); };
  ASSERT_TRUE(teximg::write_png(file("a.png"), 300, 200, gradient_with_glass));
  ASSERT_TRUE(teximg::write_jpeg(file("a.jpg"), 40, 30, paint));
  ASSERT_TRUE(teximg::write_cmyk_jpeg(file("cmyk.jpg"), 33, 17, paint, {}));
  ASSERT_TRUE(teximg::write_bmp(file("a.bmp"), 40, 30, paint));
  ASSERT_TRUE(teximg::write_gif(file("a.gif"), 2, 2, {RED, BLUE}, {0, 0, 1, 1}, -1));
  // A JPEG whose frame header comes after a large application segment, as a camera's EXIF puts it.
  std::ifstream in(file("a.jpg"), std::ios::binary);
  std::vector<uint8_t> jpeg{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::vector<uint8_t> exif = {0xFF, 0xE1, 0xFF, 0xF0};
  exif.resize(2 + 0xFFF0, 0xFF);
  jpeg.insert(jpeg.begin() + 2, exif.begin(), exif.end());
  ASSERT_TRUE(teximg::write_bytes(file("exif.jpg"), jpeg));
  const struct {
    const char* name;
    size_t file_bytes;  // told by the header; 0 where there is none
  } cases[] = {{"a.png", 300 * 200 * 4}, {"a.jpg", 40 * 30 * 4}, {"cmyk.jpg", 33 * 17 * 4}, {"exif.jpg", 40 * 30 * 4},
               {"a.bmp", 40 * 30 * 4},   {"a.gif", 2 * 2 * 4},  {"missing.png", 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(file_texture_bytes(file(c.name)), c.file_bytes) << c.name;
    if (c.file_bytes) {
      EXPECT_EQ(decode_file_texture(file(c.name)).pixels.size(), c.file_bytes) << c.name;
    }
    EXPECT_GE(picture_image_bytes(file(c.name), 64), decode_picture_image(file(c.name), 64).pixels.size()) << c.name;
  }
  EXPECT_EQ(picture_image_bytes(file("a.png"), 64), 512u * 256 * 4);  // the fallback's powers of two
  EXPECT_EQ(picture_image_bytes(file("exif.jpg"), 64), 64u * 64 * 4);
}

TEST_F(TextureDecode, FormatIsToldByContentNotName) {
  const auto paint = [](int x, int y) { return red_over_blue(x, y, 16); };
  ASSERT_TRUE(teximg::write_jpeg(file("jpeg.png"), 16, 16, paint));
  ASSERT_TRUE(teximg::write_png(file("png.jpg"), 16, 16, paint));
  EXPECT_EQ(decode_picture_image(file("jpeg.png"), 32).kind, Kind::Picture);
  EXPECT_EQ(decode_picture_image(file("png.jpg"), 32).kind, Kind::PngFallback);
  EXPECT_EQ(decode_file_texture(file("png.jpg")).kind, Kind::FileTexture);
}

TEST_F(TextureDecode, UnreadableFilesGiveNothingOnEveryPath) {
  ASSERT_TRUE(teximg::write_bytes(file("empty.jpg"), {}));
  ASSERT_TRUE(teximg::write_bytes(file("cut.jpg"), {0xFF, 0xD8, 0xFF, 0xE0, 0x00}));
  ASSERT_TRUE(teximg::write_bytes(file("cut.gif"), {'G', 'I', 'F', '8', '9', 'a', 4}));
  ASSERT_TRUE(teximg::write_bytes(file("cut.png"), {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0}));
  // An 8 × 8 PNG as ImageMagick writes it, cut inside its cHRM chunk: the codecs' libpng used to
  // read that chunk again and again, for ever.
  ASSERT_TRUE(teximg::write_bytes(
      file("cut-chrm.png"),
      {0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52,
       0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x08, 0x01, 0x03, 0x00, 0x00, 0x00, 0xfe, 0xc1, 0x2c,
       0xc8, 0x00, 0x00, 0x00, 0x04, 0x67, 0x41, 0x4d, 0x41, 0x00, 0x00, 0xb1, 0x8f, 0x0b, 0xfc, 0x61,
       0x05, 0x00, 0x00, 0x00, 0x20, 0x63, 0x48, 0x52, 0x4d, 0x00, 0x00, 0x7a}));
  ASSERT_TRUE(teximg::write_bytes(file("text.txt"), {'h', 'e', 'l', 'l', 'o'}));
  fs::create_directory(dir_ / "folder.png");
  for (const char* name : {"missing.png", "missing.jpg", "empty.jpg", "cut.jpg", "cut.gif", "cut.png", "cut-chrm.png",
                           "text.txt", "folder.png"}) {
    EXPECT_EQ(decode_file_texture(file(name)).kind, Kind::None) << name;
    const TextureImage picture = decode_picture_image(file(name), 32);
    EXPECT_EQ(picture.kind, Kind::None) << name;
    EXPECT_TRUE(picture.pixels.empty()) << name;
    EXPECT_EQ(decode_png_fallback(file(name)).kind, Kind::None) << name;
  }
  // And the next file loads as usual.
  ASSERT_TRUE(teximg::write_png(file("after.png"), 2, 2, [](int, int) { return RED; }));
  EXPECT_EQ(decode_file_texture(file("after.png")).kind, Kind::FileTexture);
  EXPECT_EQ(decode_picture_image(file("after.png"), 32).kind, Kind::PngFallback);
}

TEST_F(TextureDecode, PictureSquareOutsideTheRuleGivesNothing) {
  ASSERT_TRUE(teximg::write_bmp(file("p.bmp"), 4, 4, [](int, int) { return RED; }));
  for (int side : {0, -1, 4097}) EXPECT_EQ(decode_picture_image(file("p.bmp"), side).kind, Kind::None) << side;
  EXPECT_EQ(decode_picture_image(file("p.bmp"), 1).kind, Kind::Picture);
}

TEST(LoadPicture, TellsOpenedFromMadeAPicture) {
  const TempDir temp(TempDir::WorkingDirectory::Keep);
  const fs::path& dir = temp.path();
  ASSERT_TRUE(teximg::write_bmp((dir / "a.bmp").string(), 4, 4, [](int, int) { return RED; }));
  ASSERT_TRUE(teximg::write_png((dir / "a.png").string(), 4, 4, [](int, int) { return RED; }));
  const struct {
    const char* name;
    bool opened, picture;
  } cases[] = {{"a.bmp", true, true}, {"a.png", true, false}, {"none.bmp", false, false}};
  for (const auto& c : cases) {
    PictureImage record;
    EXPECT_EQ(load_picture((dir / c.name).string(), record), c.opened) << c.name;
    EXPECT_EQ(record.picture != nullptr, c.picture) << c.name;
  }
  // A record reused for a file without a picture does not keep the old one.
  PictureImage record;
  load_picture((dir / "a.bmp").string(), record);
  load_picture((dir / "a.png").string(), record);
  EXPECT_EQ(record.picture, nullptr);
}

TEST_F(TextureDecode, DrawPictureLaysOverTheCanvasAndClips) {
  std::vector<uint8_t> indexes(16, 1);
  indexes[0] = 0;  // the top-left pixel transparent
  ASSERT_TRUE(teximg::write_gif(file("g.gif"), 4, 4, {RED, BLUE}, indexes, 0));
  PictureImage record;
  ASSERT_TRUE(load_picture(file("g.gif"), record));
  ASSERT_NE(record.picture, nullptr);
  // A white 8 × 8 canvas, the picture drawn 1:1 at (2, 2): the transparent pixel keeps the white.
  std::vector<uint8_t> canvas(8 * 8 * 4, 255);
  draw_picture(record, PixelRect{2, 2, 6, 6}, canvas.data(), 8, 8);
  const auto px = [&](int x, int y) {
    const uint8_t* p = &canvas[(y * 8 + x) * 4];
    return Rgba{p[0], p[1], p[2], p[3]};
  };
  EXPECT_EQ(px(1, 1), (Rgba{255, 255, 255, 255}));
  EXPECT_EQ(px(2, 2), (Rgba{255, 255, 255, 255}));
  EXPECT_EQ(px(3, 2), BLUE);
  EXPECT_EQ(px(5, 5), BLUE);
  EXPECT_EQ(px(6, 6), (Rgba{255, 255, 255, 255}));
  // Rectangles hanging over any edge, empty or turned over: drawn in part or not at all, never past the canvas.
  for (PixelRect r : {PixelRect{-3, -3, 3, 3}, PixelRect{5, 5, 12, 12}, PixelRect{-100, 2, 100, 4},
                      PixelRect{4, 4, 4, 9}, PixelRect{6, 6, 2, 2}, PixelRect{20, 20, 30, 30},
                      PixelRect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}}) {
    draw_picture(record, r, canvas.data(), 8, 8);
  }
  // The rectangle hanging off the bottom-right corner drew its visible part there.
  EXPECT_PRED3(teximg::near, px(7, 7), BLUE, 3) << px(7, 7);
}

TEST_F(TextureDecode, DrawOpaquePictureCoversOnlyItsRectangle) {
  ASSERT_TRUE(teximg::write_bmp(file("o.bmp"), 2, 2, [](int x, int) { return x == 0 ? RED : BLUE; }));
  PictureImage record;
  ASSERT_TRUE(load_picture(file("o.bmp"), record));
  std::vector<uint8_t> canvas(10 * 6 * 4, 255);
  draw_picture(record, PixelRect{3, 1, 7, 5}, canvas.data(), 10, 6);
  int white_outside = 0, inside = 0;
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 10; ++x) {
      const uint8_t* p = &canvas[(y * 10 + x) * 4];
      const Rgba c{p[0], p[1], p[2], p[3]};
      if (x >= 3 && x < 7 && y >= 1 && y < 5) {
        inside += c.g == 0 && c.a == 255 && c.r + c.b >= 250;  // red to blue, nothing of the white
      } else {
        white_outside += c == Rgba{255, 255, 255, 255};
      }
    }
  }
  EXPECT_EQ(inside, 16);
  EXPECT_EQ(white_outside, 60 - 16);
  EXPECT_EQ(canvas[(1 * 10 + 3) * 4], 255);  // the left column red,
  EXPECT_EQ(canvas[(1 * 10 + 6) * 4 + 2], 255);  // the right one blue
}

TEST_F(TextureDecode, DecodesOnWorkerThreadsAsOnOne) {
  // The load sequence decodes ahead on worker threads: the results must not depend on that.
  std::vector<std::string> files;
  for (int i = 0; i < 6; ++i) {
    const auto paint = [i](int x, int y) { return Rgba{uint8_t(x * 7 + i), uint8_t(y * 5), uint8_t(i * 30), 255}; };
    files.push_back(file("p" + std::to_string(i) + (i % 2 ? ".jpg" : ".png")));
    ASSERT_TRUE(i % 2 ? teximg::write_jpeg(files.back(), 33, 21, paint) : teximg::write_png(files.back(), 33, 21, paint));
  }
  // The workers go first: run on its own (as ctest runs each case), the codecs' first use is theirs.
  std::vector<std::future<std::pair<TextureImage, TextureImage>>> jobs;
  for (const auto& f : files) {
    jobs.push_back(std::async(std::launch::async, [f] {
      return std::make_pair(decode_file_texture(f), decode_picture_image(f, 64));
    }));
  }
  std::vector<TextureImage> serial_file, serial_picture;
  for (const auto& f : files) {
    serial_file.push_back(decode_file_texture(f));
    serial_picture.push_back(decode_picture_image(f, 64));
  }
  for (size_t i = 0; i < files.size(); ++i) {
    auto [file_image, picture_image] = jobs[i].get();
    EXPECT_EQ(file_image.pixels, serial_file[i].pixels) << files[i];
    EXPECT_EQ(picture_image.kind, serial_picture[i].kind) << files[i];
    EXPECT_EQ(picture_image.pixels, serial_picture[i].pixels) << files[i];
  }
}

}  // namespace
