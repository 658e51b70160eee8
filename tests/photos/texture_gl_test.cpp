// The upload halves under a real GL: sizes, filters, edges, the enable state, the image read back
// with glGetTexImage, and what a failed load leaves behind.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "photos/texture_loaders.h"
#include "tests/photos/test_images.h"
#include "tests/support/gl_harness.h"

namespace {

using teximg::Rgba;
namespace fs = std::filesystem;

constexpr Rgba RED{255, 0, 0, 255}, BLUE{0, 0, 255, 255}, GREEN{0, 255, 0, 255}, BLACK{0, 0, 0, 255};

// What GL holds for one texture name.
struct TextureState {
  GLint width = 0, height = 0;
  GLint min_filter = 0, mag_filter = 0, wrap_s = 0, wrap_t = 0;
  std::vector<uint8_t> pixels;  // level 0 as RGBA, GL's first row (t = 0) first

  Rgba at(int x, int y_from_top) const {
    return teximg::pixel_from_top(pixels, uint32_t(width), uint32_t(height), uint32_t(x), uint32_t(y_from_top));
  }
};

TextureState read_texture(GLuint name) {
  TextureState t;
  glBindTexture(GL_TEXTURE_2D, name);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &t.width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &t.height);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &t.min_filter);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &t.mag_filter);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &t.wrap_s);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &t.wrap_t);
  if (t.width > 0 && t.height > 0) {
    t.pixels.resize(size_t(t.width) * t.height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, t.pixels.data());
  }
  return t;
}

GLint bound_texture() {
  GLint name = -1;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
  return name;
}

Rgba red_over_blue(int, int y, int height) { return y < height / 2 ? RED : BLUE; }

Rgba gradient_with_glass(int x, int y) {
  if (x == 10 && y == 20) return {200, 100, 50, 128};
  return {uint8_t(x), uint8_t(y), uint8_t(x + y), 255};
}

class TextureUpload : public ::testing::Test {
 protected:
  void SetUp() override {
    harness_ = std::make_unique<gltest::GlHarness>(64, 36);
    ASSERT_TRUE(harness_->ok()) << harness_->error();
    glDisable(GL_TEXTURE_2D);
  }
  void TearDown() override {
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  }
  std::string file(const std::string& name) const { return (dir_ / name).string(); }
  static bool texturing() { return glIsEnabled(GL_TEXTURE_2D) == GL_TRUE; }

  std::unique_ptr<gltest::GlHarness> harness_;
  TempDir temp_{TempDir::WorkingDirectory::Keep};
  const fs::path dir_ = temp_.path();
};

TEST_F(TextureUpload, FileTextureIsTheImageClampedAtItsOwnSize) {
  ASSERT_TRUE(teximg::write_png(file("photo.png"), 300, 200, gradient_with_glass));
  load_file_texture(file("photo.png"), 5);
  EXPECT_EQ(bound_texture(), 5);
  EXPECT_FALSE(texturing()) << "the file loader leaves the enable alone";
  const TextureState t = read_texture(5);
  ASSERT_EQ(t.width, 300);
  ASSERT_EQ(t.height, 200);
  EXPECT_EQ(t.min_filter, GL_LINEAR);
  EXPECT_EQ(t.mag_filter, GL_LINEAR);
  EXPECT_EQ(t.wrap_s, GL_CLAMP);
  EXPECT_EQ(t.wrap_t, GL_CLAMP);
  int wrong = 0;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 300; ++x) wrong += !(t.at(x, y) == gradient_with_glass(x, y));
  }
  EXPECT_EQ(wrong, 0);
  // The image's top row is the texture's last row (t = 1); the half-transparent pixel kept its alpha.
  EXPECT_EQ(t.pixels[(199 * 300 + 7) * 4], 7);
  EXPECT_EQ(t.at(10, 20), (Rgba{200, 100, 50, 128}));
}

TEST_F(TextureUpload, PictureJpegFillsTheSquareOpaqueWithItsTopAtT1) {
  ASSERT_TRUE(teximg::write_jpeg(file("photo.jpg"), 640, 480, [](int x, int y) { return red_over_blue(x, y, 480); }));
  const int side = picture_square_side_from_gl();
  GLint max = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
  ASSERT_EQ(side, picture_square_side(max));
  ASSERT_GT(side, 0);

  PictureImage record(file("photo.jpg"), 6);
  EXPECT_NE(record.picture, nullptr);
  EXPECT_EQ(bound_texture(), 6);
  EXPECT_TRUE(texturing()) << "the picture path enables texturing before it binds";
  const TextureState t = read_texture(6);
  ASSERT_EQ(t.width, side);
  ASSERT_EQ(t.height, side);
  EXPECT_EQ(t.mag_filter, GL_LINEAR);
  EXPECT_EQ(t.min_filter, GL_LINEAR);
  EXPECT_EQ(t.wrap_s, GL_REPEAT);
  EXPECT_EQ(t.wrap_t, GL_REPEAT);
  size_t opaque = 0;
  for (size_t i = 3; i < t.pixels.size(); i += 4) opaque += t.pixels[i] == 255;
  EXPECT_EQ(opaque, size_t(side) * side);
  // The whole picture over the whole square: red along the top edge (the last row), blue along the bottom.
  for (int x : {0, side / 2, side - 1}) {
    EXPECT_PRED3(teximg::near, t.at(x, 0), RED, 8) << t.at(x, 0);
    EXPECT_PRED3(teximg::near, t.at(x, side / 2 - side / 16), RED, 8);
    EXPECT_PRED3(teximg::near, t.at(x, side / 2 + side / 16), BLUE, 8);
    EXPECT_PRED3(teximg::near, t.at(x, side - 1), BLUE, 8) << t.at(x, side - 1);
  }
}

TEST_F(TextureUpload, PictureGifTransparencyIsOpaqueBlack) {
  std::vector<uint8_t> indexes(16 * 16);
  for (size_t i = 0; i < indexes.size(); ++i) indexes[i] = (i / 16) < 8 ? 0 : 1;  // the top half transparent
  ASSERT_TRUE(teximg::write_gif(file("glass.gif"), 16, 16, {Rgba{255, 255, 255, 255}, GREEN}, indexes, 0));
  PictureImage record(file("glass.gif"), 7);
  const TextureState t = read_texture(7);
  ASSERT_GT(t.width, 0);
  EXPECT_EQ(t.at(t.width / 2, t.height / 8), BLACK);
  EXPECT_EQ(t.at(t.width / 2, t.height - 1 - t.height / 8), GREEN);
}

TEST_F(TextureUpload, PngThroughThePictureLoaderTakesTheFallback) {
  ASSERT_TRUE(teximg::write_png(file("photo.png"), 300, 200, gradient_with_glass));
  PictureImage record(file("photo.png"), 8);
  EXPECT_EQ(record.picture, nullptr);
  EXPECT_EQ(bound_texture(), 8);
  EXPECT_TRUE(texturing());
  const TextureState t = read_texture(8);
  ASSERT_EQ(t.width, 512);
  ASSERT_EQ(t.height, 256);
  EXPECT_EQ(t.wrap_s, GL_REPEAT);
  EXPECT_EQ(t.wrap_t, GL_REPEAT);
  EXPECT_EQ(t.mag_filter, GL_LINEAR);
  EXPECT_EQ(t.min_filter, GL_LINEAR);
  EXPECT_EQ(t.pixels, decode_png_fallback(file("photo.png")).pixels);
  EXPECT_EQ(t.at(0, 0), (Rgba{0, 0, 0, 0})) << "pure black is transparent on the fallback";
  EXPECT_EQ(t.at(511, 255), gradient_with_glass(299, 199));
}

TEST_F(TextureUpload, MissingFilesLeaveNoImageAndTheNextLoadWorks) {
  ASSERT_TRUE(teximg::write_png(file("good.png"), 4, 2, [](int, int) { return RED; }));
  ASSERT_TRUE(teximg::write_jpeg(file("good.jpg"), 8, 8, [](int, int) { return RED; }));
  const struct {
    const char* loader;
    void (*load)(const std::string&, uint32_t);
    const char* good;
  } loaders[] = {
      {"load_file_texture", [](const std::string& p, uint32_t n) { load_file_texture(p, n); }, "good.png"},
      {"PictureImage", [](const std::string& p, uint32_t n) { PictureImage record(p, n); }, "good.jpg"},
      {"PictureImage, PNG fallback", [](const std::string& p, uint32_t n) { PictureImage record(p, n); }, "good.png"},
      {"decode then upload",
       [](const std::string& p, uint32_t n) { upload_picture_image(decode_picture_image(p, 16), n); }, "good.jpg"},
  };
  uint32_t name = 20;
  for (const auto& l : loaders) {
    l.load(file("missing.png"), name);
    EXPECT_EQ(read_texture(name).width, 0) << l.loader << ": a fresh name stays without an image";
    l.load(file(l.good), name + 1);
    EXPECT_GT(read_texture(name + 1).width, 0) << l.loader << ": the next load works";
    // A name that had an image keeps it when a later load into it fails.
    l.load(file("missing.jpg"), name + 1);
    EXPECT_GT(read_texture(name + 1).width, 0) << l.loader << ": the old image stays";
    name += 2;
  }
}

TEST_F(TextureUpload, NameZeroIsTheDefaultTexture) {
  ASSERT_TRUE(teximg::write_png(file("photo.png"), 300, 200, gradient_with_glass));
  load_file_texture(file("photo.png"), 0);
  const TextureState t = read_texture(0);
  EXPECT_EQ(t.width, 300);
  EXPECT_EQ(t.height, 200);
  EXPECT_EQ(t.at(10, 20), (Rgba{200, 100, 50, 128}));
}

TEST_F(TextureUpload, UploadIgnoresTheCallersUnpackState) {
  ASSERT_TRUE(teximg::write_png(file("odd.png"), 3, 2, [](int x, int y) {
    return Rgba{uint8_t(40 * x + 1), uint8_t(90 * y + 1), 7, 255};
  }));
  glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 5);
  load_file_texture(file("odd.png"), 30);
  GLint alignment = 0, row_length = 0;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  glGetIntegerv(GL_UNPACK_ROW_LENGTH, &row_length);
  EXPECT_EQ(alignment, 8) << "the caller's state comes back";
  EXPECT_EQ(row_length, 5);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  const TextureState t = read_texture(30);
  ASSERT_EQ(t.width, 3);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) EXPECT_EQ(t.at(x, y), (Rgba{uint8_t(40 * x + 1), uint8_t(90 * y + 1), 7, 255}));
  }
}

TEST_F(TextureUpload, ImagesThatDoNotAddUpUploadNothing) {
  TextureImage wrong;
  wrong.kind = TextureImage::Kind::FileTexture;
  wrong.width = 4;
  wrong.height = 4;
  wrong.pixels.resize(4 * 3 * 4);  // a row short
  TextureImage none;
  none.width = none.height = 1;
  none.pixels.resize(4);  // Kind::None all the same
  TextureImage zero;
  zero.kind = TextureImage::Kind::Picture;
  for (const TextureImage* image : {&wrong, &none, &zero}) {
    upload_texture_image(*image, 40);
    EXPECT_EQ(read_texture(40).width, 0);
  }
  EXPECT_FALSE(texturing());
}

}  // namespace
