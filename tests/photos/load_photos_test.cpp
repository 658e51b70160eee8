// The whole load sequence with the real loaders on a small generated photo set, under the
// headless GL harness: which textures hold which photo, the frames, and pipelined = sequential.
#include "photos/load_photos.h"
#include "photos/loading_screen.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/swap_buffers.h"
#include "photos/glyph_font.h"
#include "photos/load_sequence.h"
#include "photos/photo_catalogue.h"
#include "tests/photos/test_images.h"
#include "tests/support/gl_harness.h"

namespace {

// A distinct colour for every catalogue number, far enough apart to survive JPEG.
teximg::Rgba colour_for(int index) {
  return {uint8_t(40 + (index % 4) * 60), uint8_t(40 + ((index / 4) % 4) * 60), uint8_t(40 + (index / 16) * 60), 255};
}

// Writes every file of the catalogue (also the six never loaded), each a solid colour.
void write_photo_set(int width, int height) {
  std::filesystem::create_directories(PHOTO_FOLDER);
  for (int i = 0; i < 43; ++i) {
    std::string path = PHOTO_CATALOGUE[i].path;
    teximg::Rgba c = colour_for(i);
    auto paint = [c](int, int) { return c; };
    if (path.ends_with(".png")) {
      ASSERT_TRUE(teximg::write_png(path, width, height, paint)) << path;
    } else if (path.ends_with(".gif")) {
      ASSERT_TRUE(teximg::write_gif(path, width, height, {c}, std::vector<uint8_t>(width * height, 0), -1));
    } else {
      ASSERT_TRUE(teximg::write_jpeg(path, width, height, paint)) << path;
    }
  }
}

struct Texture {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;
  friend bool operator==(const Texture&, const Texture&) = default;
};

Texture read_texture(uint32_t name) {
  Texture t;
  glBindTexture(GL_TEXTURE_2D, name);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &t.width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &t.height);
  if (t.width > 0 && t.height > 0) {
    t.pixels.resize(size_t(t.width) * t.height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, t.pixels.data());
  }
  return t;
}

teximg::Rgba centre(const Texture& t) {
  size_t at = (size_t(t.height / 2) * t.width + t.width / 2) * 4;
  return {t.pixels[at], t.pixels[at + 1], t.pixels[at + 2], t.pixels[at + 3]};
}

// Wraps the real steps, recording the GL thread's view as in the order tests without GL.
class Recording : public LoadSteps {
 public:
  explicit Recording(int square_side) : real_(square_side, swap_buffers) {}
  std::vector<std::string> events;
  void show_frame(const char* text) override {
    events.push_back(std::string("frame ") + text);
    real_.show_frame(text);
  }
  TextureImage decode(const LoadJob& job) override { return real_.decode(job); }
  void upload(const LoadJob& job, const TextureImage& image) override {
    events.push_back(std::to_string(job.index) + (image.kind == TextureImage::Kind::None ? " none" : " image"));
    real_.upload(job, image);
  }

 private:
  TextureLoadSteps real_;
};

std::vector<std::string> expected(const std::set<int>& without_image) {
  std::vector<std::string> e;
  for (const LoadJob& j : load_jobs()) {
    if (j.frame_before) e.push_back(std::string("frame ") + j.frame_before);
    e.push_back(std::to_string(j.index) + (without_image.count(int(j.index)) ? " none" : " image"));
  }
  return e;
}

class LoadPhotosTest : public gltest::GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    if (HasFatalFailure()) return;
    build_glyph_font();
  }
  gltest::TempDir folder_;
};

}  // namespace

TEST_F(LoadPhotosTest, EveryLoadedPhotoIsInTheTextureOfItsIndex) {
  write_photo_set(32, 24);
  // The show's own steps and order, with a picture square smaller than this context's limit
  // gives (4096 square photos would only slow the test down).
  TextureLoadSteps steps(256, swap_buffers);
  run_load_sequence(steps, load_jobs());
  EXPECT_EQ(presented_frames(), 11u);
  const std::set<int> empty = {6, 7, 8, 9, 10, 28};
  for (int i = 0; i < PHOTO_COUNT; ++i) {
    Texture t = read_texture(i);
    if (empty.count(i)) {
      EXPECT_EQ(t.width, 0) << i;
      continue;
    }
    ASSERT_GT(t.width, 0) << i;
    EXPECT_TRUE(teximg::near(centre(t), colour_for(i == 43 ? 40 : i), 6)) << i << ": " << centre(t);
  }
  EXPECT_EQ(read_texture(43), read_texture(40));
  EXPECT_EQ(read_texture(17).width, 256);  // a picture, drawn over the square
}

TEST_F(LoadPhotosTest, WithoutThePhotoFolderLoadPhotosStillShowsElevenFrames) {
  load_photos(swap_buffers);
  EXPECT_EQ(presented_frames(), 11u);
  for (int i = 0; i < PHOTO_COUNT; ++i) EXPECT_EQ(read_texture(i).width, 0) << i;
  // The last frame, "z", stays up.
  const gltest::Frame last = presented();
  show_loading_frame("z", swap_buffers);
  EXPECT_EQ(presented(), last);
}

// Runs the sequence sequentially and pipelined over whatever files the folder holds and checks
// the recorded frames and loads.
void expect_order(const std::function<uint64_t()>& frames, const std::set<int>& without_image) {
  for (bool pipelined : {false, true}) {
    uint64_t before = frames();
    Recording steps(64);
    run_load_sequence(steps, load_jobs(), {pipelined, 2, 0});
    EXPECT_EQ(steps.events, expected(without_image)) << (pipelined ? "pipelined" : "sequential");
    EXPECT_EQ(frames() - before, 11u);
  }
}

TEST_F(LoadPhotosTest, OrderWithAllFilesPresent) {
  write_photo_set(16, 16);
  expect_order([this] { return presented_frames(); }, {});
}

TEST_F(LoadPhotosTest, OrderWithThePhotoFolderMissing) {
  expect_order([this] { return presented_frames(); },
               {0, 1, 2, 3, 4, 5, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27,
                29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43});
}

TEST_F(LoadPhotosTest, OrderWithSomeFilesMissingOrCorrupt) {
  write_photo_set(16, 16);
  std::filesystem::remove(PHOTO_CATALOGUE[2].path);
  std::filesystem::remove(PHOTO_CATALOGUE[31].path);
  teximg::write_bytes(PHOTO_CATALOGUE[40].path, {0x89, 'P', 'N', 'G', 1, 2, 3});
  teximg::write_bytes(PHOTO_CATALOGUE[17].path, {0xFF, 0xD8, 0xFF, 0, 0});
  teximg::write_bytes(PHOTO_CATALOGUE[25].path, {});
  expect_order([this] { return presented_frames(); }, {2, 31, 40, 43, 17, 25});
}

TEST(LoadPhotosModes, PipelinedAndSequentialGiveIdenticalTextures) {
  gltest::TempDir folder;
  write_photo_set(40, 30);
  // Something other than a solid colour, so that row order and scaling show.
  for (int i : {0, 1, 25, 29, 40}) {
    std::string path = PHOTO_CATALOGUE[i].path;
    auto paint = [i](int x, int y) { return teximg::Rgba{uint8_t(x * 6), uint8_t(y * 8), uint8_t(i * 5), 255}; };
    if (path.ends_with(".png")) teximg::write_png(path, 40, 30, paint);
    if (path.ends_with(".JPG") || path.ends_with(".jpg")) teximg::write_jpeg(path, 40, 30, paint);
  }
  std::vector<Texture> results[2];
  for (int pipelined = 0; pipelined < 2; ++pipelined) {
    gltest::GlHarness gl(320, 180);
    ASSERT_TRUE(gl.ok()) << gl.error();
    gl.apply_show_state();
    build_glyph_font();
    TextureLoadSteps steps(128, swap_buffers);
    run_load_sequence(steps, load_jobs(), {pipelined == 1, 3, 0});
    for (int i = 0; i < PHOTO_COUNT; ++i) results[pipelined].push_back(read_texture(i));
  }
  for (int i = 0; i < PHOTO_COUNT; ++i) EXPECT_EQ(results[0][i], results[1][i]) << "texture " << i;
}
