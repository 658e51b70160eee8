// A studio frame allocates nothing once it runs: every operator new of this program is counted
// over frames that play, seek, loop, show the overlay with its values, waveform and key ticks,
// and a fault of the text.
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <new>

#include "app/offscreen_gl.h"
#include "show/music_player.h"
#include "tests/support/gl_harness.h"
#include "tools/studio/studio.h"

namespace {
std::atomic<long> allocations{0};
}

// AddressSanitizer owns operator new itself, so the count is taken in the plain build only.
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

class StudioAllocationTest : public gltest::GlTest {
 protected:
  ScreenSize screen_size() const override { return {1280, 720}; }
};

TEST_F(StudioAllocationTest, AFrameAllocatesNothing) {
#if !defined(HALLSHOW_COUNTS_ALLOCATIONS)
  GTEST_SKIP() << "allocations are counted in the build without AddressSanitizer";
#endif
  gltest::TempDir folder;
  std::ofstream("show.txt") << "bpm 120\nback.x\n 0 -1 linear\n 400 1 step\nback.r\n 0 1 step\n"
                               "beard.scale\n 0 -0.5 ramp\n 100 0.5 step\nhappy\n 0 0 step\n 100 1 step\n";
  StudioOptions options;
  Studio studio(options, present_offscreen_frame);
  studio.resize(1280, 720);
  studio.start();
  double now = steady_seconds();
  for (int i = 0; i < 3; ++i) studio.frame(now += 0.02);  // the overlay's text and timeline built
  std::ofstream("show.txt.new") << "bpm 120\nback.x\n 0 1 step\nback.q\n";  // a fault, on screen
  std::rename("show.txt.new", "show.txt");
  for (int i = 0; i < 3; ++i) studio.frame(now += 0.3);
  ASSERT_FALSE(studio.live().errors().empty());

  const long before = allocations.load();
  const StudioAction actions[] = {StudioAction::BeatForward, StudioAction::SetLoopStart, StudioAction::BarForward,
                                  StudioAction::SetLoopEnd, StudioAction::ToggleLoop, StudioAction::TogglePause,
                                  StudioAction::DelayMore, StudioAction::ToStart};
  for (StudioAction action : actions) {
    studio.act(action, now);
    for (int i = 0; i < 5; ++i) studio.frame(now += 0.3);  // status checks of the files included
  }
  studio.press(640, 715);  // a click on the timeline
  studio.frame(now += 0.02);
  EXPECT_EQ(allocations.load() - before, 0);
  EXPECT_GT(studio.frames(), 40u);
}

}  // namespace
