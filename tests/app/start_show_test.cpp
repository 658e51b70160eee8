// The start-up sequence in a folder with no content: it must still leave the GL state every frame
// relies on, and show its loading frames through the installed swap.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstdlib>

#include "app/offscreen_gl.h"
#include "app/start_show.h"
#include "app/swap_buffers.h"
#include "tests/support/gl_harness.h"

namespace {

TEST(StartShow, LeavesTheStateFramesRelyOnInAnEmptyFolder) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  gltest::GlHarness harness(320, 180);
  ASSERT_TRUE(harness.ok()) << harness.error();
  set_swap_function(present_offscreen_frame);
  gltest::TempDir folder;
  // Start from GL's own defaults rather than what the harness sets, so start_show must set them.
  glDisable(GL_BLEND);
  glDisable(GL_TEXTURE_2D);
  glBlendFunc(GL_ONE, GL_ZERO);

  start_show();

  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
  GLint source = 0, destination = 0, mode = 0;
  glGetIntegerv(GL_BLEND_SRC, &source);
  glGetIntegerv(GL_BLEND_DST, &destination);
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(source, GL_SRC_ALPHA);
  EXPECT_EQ(destination, GL_ONE_MINUS_SRC_ALPHA);
  EXPECT_EQ(mode, GL_MODELVIEW);
  EXPECT_GE(harness.presented_frames(), 1u) << "no loading frame was presented";

  // The 64 generated names come before anything generated later, so those start above them.
  GLuint later = 0;
  glGenTextures(1, &later);
  EXPECT_GT(later, 64u);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
