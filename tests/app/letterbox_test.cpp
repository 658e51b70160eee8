// The 16:9 picture on the screen sizes the show meets: the pure rule, then the GL state it leaves.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>

#include "app/letterbox.h"
#include "tests/support/gl_harness.h"

namespace {

struct Screen {
  int32_t width, height;
  Letterbox expected;
};

// Near 16:9 keeps the whole screen and its own aspect (single precision); anything else gets a
// full-width band of 16:9 height, centred, which overfills a wider screen (negative y).
const Screen SCREENS[] = {
    {1920, 1080, {0, 0, 1920, 1080, 1920.0f / 1080.0f}},
    {1280, 720, {0, 0, 1280, 720, 1280.0f / 720.0f}},
    {1366, 768, {0, 0, 1366, 768, static_cast<float>(1366.0 / 768.0)}},
    {1024, 768, {0, 96, 1024, 576, 1.77777f}},
    {2560, 1080, {0, -180, 2560, 1440, 1.77777f}},
    // Just outside the band on either side, and a tall screen.
    {1600, 904, {0, 2, 1600, 900, 1.77777f}},     // 1.76991…
    {1780, 1000, {0, 0, 1780, 1001, 1.77777f}},   // 1.78 itself is outside, y = (1000 − 1001) / 2 = 0
    {1080, 1920, {0, 656, 1080, 607, 1.77777f}},
};

TEST(LetterboxFor, ViewportAndAspectPerScreen) {
  for (const Screen& s : SCREENS) {
    SCOPED_TRACE(testing::Message() << s.width << "x" << s.height);
    const Letterbox box = letterbox_for(s.width, s.height);
    EXPECT_EQ(box.x, s.expected.x);
    EXPECT_EQ(box.y, s.expected.y);
    EXPECT_EQ(box.width, s.expected.width);
    EXPECT_EQ(box.height, s.expected.height);
    EXPECT_EQ(box.aspect, s.expected.aspect);  // exact: it is the single-precision value
  }
}

TEST(LetterboxFor, AspectsAreTheSinglePrecisionValues) {
  EXPECT_EQ(static_cast<double>(letterbox_for(1024, 768).aspect), 1.7777700424194336);
  EXPECT_EQ(static_cast<double>(letterbox_for(1920, 1080).aspect), static_cast<double>(1.7777778f));
}

TEST(LetterboxFor, VeryWideScreenDoesNotOverflow) {
  const Letterbox box = letterbox_for(3'000'000, 1000);  // × 1000 would pass 2³¹ in 32 bits
  EXPECT_EQ(box.height, 1'688'238);
  EXPECT_EQ(box.y, (1000 - 1'688'238) / 2);
}

// gluPerspective(45°, aspect, 0.1f widened, 100) as GL stores it, column-major.
void expect_projection(const float (&m)[16], float aspect) {
  const double f = 1.0 / std::tan(45.0 / 2.0 * M_PI / 180.0);
  const double near = static_cast<double>(0.1f), far = 100.0;
  const double expected[16] = {f / aspect, 0, 0, 0, 0, f, 0, 0, 0, 0, (far + near) / (near - far), -1,
                               0, 0, 2 * far * near / (near - far), 0};
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(m[i], expected[i], 1e-6 * (1 + std::fabs(expected[i]))) << i;
}

TEST(SetLetterboxViewport, LeavesViewportProjectionAndModelview) {
  gltest::GlHarness harness(64, 36);
  ASSERT_TRUE(harness.ok()) << harness.error();
  for (const Screen& s : SCREENS) {
    SCOPED_TRACE(testing::Message() << s.width << "x" << s.height);
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(1, 2, 3);  // stale matrices must not survive
    set_letterbox_viewport(s.width, s.height);

    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], s.expected.x);
    EXPECT_EQ(viewport[1], s.expected.y);
    EXPECT_EQ(viewport[2], s.expected.width);
    EXPECT_EQ(viewport[3], s.expected.height);

    float projection[16], modelview[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    expect_projection(projection, s.expected.aspect);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(modelview[i], i % 5 == 0 ? 1.0f : 0.0f) << i;

    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
  }
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
