// A frame allocates nothing: every operator new of this program is counted, and rendering frames
// of an animated show (after a first frame that lets the driver set itself up) adds none.
#include "app/swap_buffers.h"
#include "show/scene.h"
#include "tests/support/allocation_count.h"
#include "tests/support/gl_harness.h"

namespace {

class SceneAllocationTest : public gltest::GlTest {};

TEST_F(SceneAllocationTest, RenderingAFrameAllocatesNothing) {
  if (!alloctest::counting()) GTEST_SKIP() << "allocations are counted in the build without AddressSanitizer";
  gltest::TempDir folder;
  gltest::write_track_file("back.x", {{0, -1, Linear}, {100, 1, Step}});
  gltest::write_track_file("back.rotz", {{0, 0, Smooth}, {100, 360, Step}});
  gltest::write_constant_track("back.r", 1);
  gltest::write_track_file("beard.scale", {{0, -0.5f, Ramp}, {100, 0.5f, Step}});
  gltest::write_track_file("happy", {{0, 0, Step}, {50, 1, Step}});
  bind_tracks();
  ASSERT_EQ(render_frame_at(10.0, swap_buffers), FrameResult::Presented);
  ASSERT_EQ(render_frame_at(60.0, swap_buffers), FrameResult::Presented);
  const long before = alloctest::allocations_so_far();
  for (double row : {5.5, 20.25, 49.9, 50.0, 75.125, 99.0, 150.0}) {
    ASSERT_EQ(render_frame_at(row, swap_buffers), FrameResult::Presented);
  }
  EXPECT_EQ(alloctest::allocations_so_far() - before, 0);
}

}  // namespace
