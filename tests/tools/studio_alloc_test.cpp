// A studio frame allocates nothing once it runs: every operator new of this program is counted
// over frames that play, seek, loop, show the overlay with its values, waveform and key ticks,
// and a fault of the text.
#include <cstdio>
#include <fstream>

#include "app/offscreen_gl.h"
#include "show/music_player.h"
#include "tests/support/allocation_count.h"
#include "tests/support/gl_harness.h"
#include "tools/studio/studio.h"

namespace {

class StudioAllocationTest : public gltest::GlTest {
 protected:
  ScreenSize screen_size() const override { return {1280, 720}; }
};

TEST_F(StudioAllocationTest, AFrameAllocatesNothing) {
  if (!alloctest::counting()) GTEST_SKIP() << "allocations are counted in the build without AddressSanitizer";
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

  const long before = alloctest::allocations_so_far();
  const StudioAction actions[] = {StudioAction::BeatForward, StudioAction::SetLoopStart, StudioAction::BarForward,
                                  StudioAction::SetLoopEnd, StudioAction::ToggleLoop, StudioAction::TogglePause,
                                  StudioAction::DelayMore, StudioAction::ToStart};
  for (StudioAction action : actions) {
    studio.act(action, now);
    for (int i = 0; i < 5; ++i) studio.frame(now += 0.3);  // status checks of the files included
  }
  studio.press(640, 715);  // a click on the timeline
  studio.frame(now += 0.02);
  EXPECT_EQ(alloctest::allocations_so_far() - before, 0);
  EXPECT_GT(studio.frames(), 40u);
}

}  // namespace
