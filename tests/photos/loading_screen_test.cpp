// Loading frames as the screen shows them, rendered offscreen and read back.
#include "photos/loading_screen.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "app/swap_buffers.h"
#include "photos/font_source.h"
#include "photos/glyph_font.h"
#include "tests/support/gl_harness.h"

namespace {

using gltest::Frame;
using gltest::Rect;
using gltest::Rgba;

constexpr Rgba BLACK{0, 0, 0, 255};
constexpr Rgba WHITE{255, 255, 255, 255};

class LoadingScreenTest : public gltest::GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    if (HasFatalFailure()) return;
    build_glyph_font();
  }

  // Pixels per em at the glyph's front face: the frame puts it 1 unit away, scaled by 0.4, under a
  // 45° vertical field of view spanning the picture height.
  double pixels_per_em() const {
    return 0.4 * (screen_size().height / 2.0) / std::tan(22.5 * M_PI / 180.0);
  }
  double centre_x() const { return screen_size().width / 2.0; }
  double centre_y() const { return screen_size().height / 2.0; }

  Rect white_bounds(const Frame& f) const { return f.bounds_of(WHITE, 8); }
};

// Black or white and nothing else: no texture, no stray colour.
bool only_black_and_white(const Frame& f) {
  return f.count_of(BLACK, 8) + f.count_of(WHITE, 8) == f.width * f.height;
}

}  // namespace

TEST_F(LoadingScreenTest, YIsOneWhiteGlyphCentredOnBlackAtTheSizeOfItsEm) {
  show_loading_frame("y", swap_buffers);
  ASSERT_EQ(presented_frames(), 1u);
  const Frame frame = presented();
  keep_on_failure(frame, "y");
  EXPECT_TRUE(only_black_and_white(frame));

  const GlyphMetrics& m = glyph_font().metrics['y'];
  ASSERT_GT(m.advance_x, 0.0f);
  const Rect box = white_bounds(frame);
  ASSERT_FALSE(box.empty());
  const double ppe = pixels_per_em();

  // Horizontally: centred by advance, which for this symbol is centred on its ink.
  double ink_centre = centre_x() + (-m.advance_x / 2 + m.origin_x + m.black_box_x / 2) * ppe;
  EXPECT_NEAR((box.x + box.right()) / 2.0, ink_centre, 2.0);
  EXPECT_NEAR((box.x + box.right()) / 2.0, centre_x(), 4.0);
  EXPECT_NEAR(box.width, m.black_box_x * ppe, 3.0);

  // Vertically: the baseline on the picture's centre, one em of height at this distance.
  EXPECT_NEAR(box.height, m.black_box_y * ppe, 3.0);
  EXPECT_NEAR(box.y, centre_y() - m.origin_y * ppe, 2.0);
  EXPECT_GT(box.height, 0.3 * screen_size().height);  // a large symbol, about half the picture
  EXPECT_LT(box.height, 0.6 * screen_size().height);
  // "White only near the centre": nothing along the picture's edges.
  EXPECT_GT(box.x, screen_size().width / 4);
  EXPECT_LT(box.right(), 3 * screen_size().width / 4);
  EXPECT_GT(box.y, 0);
  EXPECT_LT(box.bottom(), screen_size().height);
}

TEST_F(LoadingScreenTest, XYAndZDrawThreeDifferentShapes) {
  Frame frames[3];
  const char* texts[3] = {"x", "y", "z"};
  for (int i = 0; i < 3; ++i) {
    show_loading_frame(texts[i], swap_buffers);
    frames[i] = presented();
    keep_on_failure(frames[i], texts[i]);
    EXPECT_GT(frames[i].count_of(WHITE, 8), 1000) << texts[i];
  }
  EXPECT_EQ(presented_frames(), 3u);
  auto differing = [](const Frame& a, const Frame& b) {
    int n = 0;
    for (size_t i = 0; i < a.rgba.size(); i += 4) n += a.rgba[i] != b.rgba[i];
    return n;
  };
  EXPECT_GT(differing(frames[0], frames[1]), 1000);
  EXPECT_GT(differing(frames[1], frames[2]), 1000);
  EXPECT_GT(differing(frames[0], frames[2]), 1000);
}

TEST_F(LoadingScreenTest, EmptyStringGivesAClearedPresentedBlackFrame) {
  show_loading_frame("y", swap_buffers);  // something to clear away
  show_loading_frame("", swap_buffers);
  EXPECT_EQ(presented_frames(), 2u);
  const Frame frame = presented();
  keep_on_failure(frame, "empty");
  EXPECT_EQ(frame.count_of(BLACK, 0), frame.width * frame.height);

  // Nothing drawn, but the zero translation still went onto the frame's matrix.
  GLfloat mv[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, mv);
  EXPECT_FLOAT_EQ(mv[0], 0.4f);
  EXPECT_FLOAT_EQ(mv[12], 0.0f);
  EXPECT_FLOAT_EQ(mv[14], -1.0f);
}

TEST_F(LoadingScreenTest, StringsAreCentredByTheSumOfTheirAdvances) {
  for (const char* text : {"A", "y", "AV", "Wi", "yxz"}) {
    show_loading_frame(text, swap_buffers);
    const Frame frame = presented();
    keep_on_failure(frame, text);
    const std::string s = text;
    const GlyphFont& f = glyph_font();
    float width = 0;
    for (unsigned char c : s) width += f.metrics[c].advance_x;
    const GlyphMetrics& first = f.metrics[static_cast<unsigned char>(s.front())];
    const GlyphMetrics& last = f.metrics[static_cast<unsigned char>(s.back())];
    double left = -width / 2 + first.origin_x;
    double right = width / 2 - last.advance_x + last.origin_x + last.black_box_x;
    const Rect box = white_bounds(frame);
    EXPECT_NEAR(box.x, centre_x() + left * pixels_per_em(), 2.0) << text;
    EXPECT_NEAR(box.right(), centre_x() + right * pixels_per_em(), 2.0) << text;
  }
}

TEST_F(LoadingScreenTest, DrawGlyphTextLeavesItsCentringOnTheMatrixAndRestoresAttributes) {
  glLoadIdentity();
  glListBase(7);
  glColor3f(0.25f, 0.5f, 0.75f);
  draw_glyph_text("A");
  GLint base = 0;
  glGetIntegerv(GL_LIST_BASE, &base);
  EXPECT_EQ(base, 7);
  GLfloat colour[4];
  glGetFloatv(GL_CURRENT_COLOR, colour);
  EXPECT_FLOAT_EQ(colour[1], 0.5f);
  // Centred by half the advance; the glyph's own list then moves on by its advance, as a string
  // of lists does, and neither move is undone.
  GLfloat mv[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, mv);
  EXPECT_NEAR(mv[12], glyph_font().metrics['A'].advance_x * 0.5f, 1e-6);

  glLoadIdentity();
  draw_glyph_text(nullptr);  // nothing at all, not even a translation
  glGetFloatv(GL_MODELVIEW_MATRIX, mv);
  EXPECT_EQ(mv[12], 0.0f);
}

TEST_F(LoadingScreenTest, TexturingIsLeftOff) {
  ASSERT_TRUE(glIsEnabled(GL_TEXTURE_2D));  // as after start-up
  show_loading_frame("x", swap_buffers);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

TEST_F(LoadingScreenTest, WithoutAFontFramesAreBlackAndStillPresented) {
  build_glyph_font_from(LoadingFontFile{});
  EXPECT_NE(glyph_font().list_base, 0u);
  EXPECT_EQ(glyph_font().metrics['y'].advance_x, 0.0f);
  for (const char* text : {"y", "x", "z", "Hello"}) {
    show_loading_frame(text, swap_buffers);
    EXPECT_EQ(presented().count_of(BLACK, 0), presented().width * presented().height) << text;
  }
  EXPECT_EQ(presented_frames(), 4u);
}

TEST_F(LoadingScreenTest, MissingGlyphsDrawNothing) {
  show_loading_frame("\x01\x02", swap_buffers);
  EXPECT_EQ(presented().count_of(BLACK, 0), presented().width * presented().height);
  // A missing glyph between two present ones moves nothing: "A\x01A" looks like "AA".
  show_loading_frame("A\x01" "A", swap_buffers);
  const Frame with_gap = presented();
  show_loading_frame("AA", swap_buffers);
  EXPECT_EQ(presented(), with_gap);
}
