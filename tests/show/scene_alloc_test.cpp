// A frame allocates nothing: every operator new of this program is counted, and rendering frames
// of an animated show (after a first frame that lets the driver set itself up) adds none.
#include <atomic>
#include <cstdlib>
#include <new>

#include "show/scene.h"
#include "tests/support/gl_harness.h"

namespace {
std::atomic<long> allocations{0};
}

// AddressSanitizer owns operator new itself (and the GL driver's LLVM pairs its own new with the
// program's delete), so the count is taken in the plain build only.
#if !defined(__SANITIZE_ADDRESS__)
#define HALLSHOW_COUNTS_ALLOCATIONS 1
void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#endif

namespace {

class SceneAllocationTest : public gltest::GlTest {};

TEST_F(SceneAllocationTest, RenderingAFrameAllocatesNothing) {
#if !defined(HALLSHOW_COUNTS_ALLOCATIONS)
  GTEST_SKIP() << "allocations are counted in the build without AddressSanitizer";
#endif
  gltest::TempDir folder;
  gltest::write_track_file("back.x", {{0, -1, Linear}, {100, 1, Step}});
  gltest::write_track_file("back.rotz", {{0, 0, Smooth}, {100, 360, Step}});
  gltest::write_constant_track("back.r", 1);
  gltest::write_track_file("beard.scale", {{0, -0.5f, Ramp}, {100, 0.5f, Step}});
  gltest::write_track_file("happy", {{0, 0, Step}, {50, 1, Step}});
  bind_tracks();
  ASSERT_EQ(render_frame_at(10.0), FrameResult::Presented);
  ASSERT_EQ(render_frame_at(60.0), FrameResult::Presented);
  const long before = allocations.load();
  for (double row : {5.5, 20.25, 49.9, 50.0, 75.125, 99.0, 150.0}) {
    ASSERT_EQ(render_frame_at(row), FrameResult::Presented);
  }
  EXPECT_EQ(allocations.load() - before, 0);
}

}  // namespace
