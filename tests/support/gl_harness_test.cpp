// The harness itself: the context is a compatibility one, pixels come back the right way up, a
// presented frame is told apart from a drawn one, pictures and track files are written correctly.
#include "tests/support/gl_harness.h"

#include <GL/gl.h>
#include <png.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "app/offscreen_gl.h"
#include "app/swap_buffers.h"

namespace {

using gltest::Frame;
using gltest::read_png;
using gltest::Rect;
using gltest::Rgba;

constexpr Rgba BLACK{0, 0, 0, 255};
constexpr Rgba RED{255, 0, 0, 255};
constexpr Rgba GREEN{0, 255, 0, 255};

// A flat, untextured rectangle in window pixels (x, y from the bottom-left, as GL counts them).
void fill_window_rect(int width, int height, int x0, int y0, int x1, int y1, float r, float g, float b) {
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, width, 0, height, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glDisable(GL_TEXTURE_2D);
  glColor3f(r, g, b);
  glRectf(static_cast<float>(x0), static_cast<float>(y0), static_cast<float>(x1), static_cast<float>(y1));
  glEnable(GL_TEXTURE_2D);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
}

class HarnessTest : public gltest::GlTest {
 protected:
  void full_viewport() { glViewport(0, 0, gl().width(), gl().height()); }
  void clear_black() {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
};

TEST_F(HarnessTest, ContextIsCompatibilityProfileWithFixedFunctionState) {
  const std::string version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  EXPECT_EQ(version.find("Core"), std::string::npos) << version;
  EXPECT_GE(gl().context().depth_bits(), 24);
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
  GLint source = 0, destination = 0;
  glGetIntegerv(GL_BLEND_SRC, &source);
  glGetIntegerv(GL_BLEND_DST, &destination);
  EXPECT_EQ(source, GL_SRC_ALPHA);
  EXPECT_EQ(destination, GL_ONE_MINUS_SRC_ALPHA);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(HarnessTest, RowsComeBackTopRowFirst) {
  full_viewport();
  clear_black();
  // Red in GL's bottom quarter: the last rows of the frame as a picture is read.
  fill_window_rect(640, 360, 0, 0, 640, 90, 1, 0, 0);
  const Frame frame = drawn();
  EXPECT_EQ(frame.bounds_of(RED), (Rect{0, 270, 640, 90}));
  EXPECT_EQ(frame.at(10, 10), BLACK);
  EXPECT_EQ(frame.at(10, 350), RED);
}

TEST_F(HarnessTest, ColumnsComeBackLeftToRight) {
  full_viewport();
  clear_black();
  fill_window_rect(640, 360, 0, 0, 100, 360, 0, 1, 0);
  EXPECT_EQ(drawn().bounds_of(GREEN), (Rect{0, 0, 100, 360}));
}

TEST_F(HarnessTest, APresentedFrameIsToldApartFromADrawnOne) {
  full_viewport();
  clear_black();
  fill_window_rect(640, 360, 100, 100, 200, 200, 1, 0, 0);
  EXPECT_EQ(presented_frames(), 0u);
  EXPECT_EQ(presented().count_of(RED), 0) << "nothing is presented before the first swap";

  swap_buffers();
  EXPECT_EQ(presented_frames(), 1u);
  EXPECT_EQ(presented(), drawn());
  EXPECT_EQ(presented().count_of(RED), 100 * 100);

  // Drawing after the swap changes the back buffer only.
  fill_window_rect(640, 360, 300, 100, 400, 200, 0, 1, 0);
  EXPECT_EQ(presented().count_of(GREEN), 0);
  EXPECT_EQ(drawn().count_of(GREEN), 100 * 100);
  swap_buffers();
  EXPECT_EQ(presented_frames(), 2u);
  EXPECT_EQ(presented().count_of(GREEN), 100 * 100);
}

TEST_F(HarnessTest, DisplayListsReplayTheirDrawing) {
  full_viewport();
  clear_black();
  const GLuint list = glGenLists(1);
  ASSERT_NE(list, 0u);
  glNewList(list, GL_COMPILE);
  fill_window_rect(640, 360, 0, 0, 50, 50, 0, 1, 0);
  glEndList();
  EXPECT_EQ(drawn().count_of(GREEN), 0) << "compiling must not draw";
  glCallList(list);
  EXPECT_EQ(drawn().bounds_of(GREEN), (Rect{0, 310, 50, 50}));
  glDeleteLists(list, 1);
}

struct LetterboxCase {
  int width, height;
  GLint viewport[4];
};

class LetterboxedHarness : public gltest::GlTest, public ::testing::WithParamInterface<LetterboxCase> {
 protected:
  ScreenSize screen_size() const override { return {GetParam().width, GetParam().height}; }
};

TEST_P(LetterboxedHarness, AppliesTheShowsViewport) {
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(viewport[i], GetParam().viewport[i]) << "component " << i;
  EXPECT_EQ(gl().width(), GetParam().width);
  EXPECT_EQ(gl().height(), GetParam().height);
}

INSTANTIATE_TEST_SUITE_P(Screens, LetterboxedHarness,
                         ::testing::Values(LetterboxCase{640, 360, {0, 0, 640, 360}},
                                           LetterboxCase{1024, 768, {0, 96, 1024, 576}},
                                           LetterboxCase{2560, 1080, {0, -180, 2560, 1440}}));

TEST(OffscreenGl, RefusesSizesItCannotMake) {
  for (auto [w, h] : {std::pair{0, 10}, std::pair{10, 0}, std::pair{-5, 5}, std::pair{100000, 10}}) {
    std::string error;
    EXPECT_EQ(OffscreenGl::create(w, h, error), nullptr) << w << " x " << h;
    EXPECT_FALSE(error.empty());
  }
}

TEST(OffscreenGl, PresentingWithoutAContextDoesNothing) {
  std::string error;
  { auto gl = OffscreenGl::create(8, 8, error); }
  present_offscreen_frame();  // the destroyed context must not be reached
  SUCCEED();
}

TEST(FrameTest, SavesAPngThatReadsBackPixelForPixel) {
  gltest::TempDir folder;
  Frame frame{3, 2, {}};
  for (int i = 0; i < 3 * 2 * 4; ++i) frame.rgba.push_back(static_cast<uint8_t>(i * 10));
  ASSERT_TRUE(frame.save_png("frame.png"));
  EXPECT_EQ(read_png("frame.png"), frame);
  EXPECT_FALSE(frame.save_png("no-such-folder/frame.png"));
  EXPECT_FALSE((Frame{2, 2, {1, 2, 3}}).save_png("short.png")) << "a frame shorter than its size";
}

TEST(FrameTest, CountsAndBoundsOfAColour) {
  Frame frame{4, 3, std::vector<uint8_t>(4 * 3 * 4, 0)};
  auto paint = [&](int x, int y) {
    uint8_t* p = frame.rgba.data() + (y * 4 + x) * 4;
    p[0] = 254, p[3] = 255;
  };
  paint(1, 0);
  paint(2, 2);
  EXPECT_EQ(frame.count_of(RED), 2) << "within the default tolerance";
  EXPECT_EQ(frame.count_of(RED, 0), 0);
  EXPECT_EQ(frame.bounds_of(RED), (Rect{1, 0, 2, 3}));
  EXPECT_TRUE(frame.bounds_of(GREEN).empty());
  EXPECT_EQ(frame.at(2, 2), (Rgba{254, 0, 0, 255}));
}

TEST(TempDirTest, IsTheWorkingDirectoryWhileItLives) {
  const auto before = std::filesystem::current_path();
  std::filesystem::path inside;
  {
    gltest::TempDir folder;
    inside = folder.path();
    EXPECT_EQ(std::filesystem::current_path(), inside);
    EXPECT_TRUE(std::filesystem::is_empty(inside));
    std::ofstream("left-behind") << "x";
  }
  EXPECT_EQ(std::filesystem::current_path(), before);
  EXPECT_FALSE(std::filesystem::exists(inside));
}

struct TrackBytesCase {
  std::vector<gltest::Key> keys;
  std::vector<uint8_t> bytes;
};

TEST(TrackFileTest, BytesAreCountThenPackedLittleEndianKeys) {
  const TrackBytesCase cases[] = {
      {{}, {0, 0, 0, 0}},
      {{{0, 1.0f, 0}}, {1, 0, 0, 0, /*row*/ 0, 0, 0, 0, /*1.0f*/ 0, 0, 0x80, 0x3f, /*type*/ 0}},
      {{{-1, -2.0f, 3}, {258, 0.5f, -1}},
       {2, 0, 0, 0, 0xff, 0xff, 0xff, 0xff, 0, 0, 0, 0xc0, 3, 2, 1, 0, 0, 0, 0, 0, 0x3f, 0xff}},
  };
  for (const auto& c : cases) EXPECT_EQ(gltest::track_file_bytes(c.keys), c.bytes) << c.keys.size() << " keys";
}

TEST(TrackFileTest, WritesIntoTheKestosFolder) {
  gltest::TempDir folder;
  gltest::write_constant_track("back.x", 2.5f);
  std::ifstream in("kestos/base_back.x.kesto", std::ios::binary);
  ASSERT_TRUE(in);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  EXPECT_EQ(bytes, gltest::track_file_bytes({{0, 2.5f, 0}}));
}

}  // namespace
