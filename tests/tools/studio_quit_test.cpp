// Quitting the studio right after a save: the save is taken in and kestos/ written first.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "app/offscreen_gl.h"
#include "show/music_player.h"
#include "sync/track_file.h"
#include "tests/support/file_contents.h"
#include "tests/support/gl_harness.h"
#include "tools/authoring/show_text.h"
#include "tools/studio/studio.h"

namespace {

class StudioQuitTest : public gltest::GlTest {};

TEST_F(StudioQuitTest, ASaveNotYetTakenInIsWrittenBeforeQuitting) {
  gltest::TempDir folder;
  std::ofstream("show.txt") << "happy\n 0 0 step\n";
  StudioOptions options;
  Studio studio(options, present_offscreen_frame);
  studio.resize(640, 360);
  studio.start();
  double now = steady_seconds();
  studio.frame(now += 0.02);
  const char* saved = "happy\n 0 0 step\n 10 1 step\nback.r\n 0 0.5 linear\n";
  std::ofstream("show.txt.new") << saved;
  std::rename("show.txt.new", "show.txt");
  studio.finish();  // no frame in between: the watch has not told of the save
  const ShowText show = parse_show_text(saved, "show.txt");
  ASSERT_TRUE(show.errors.empty());
  for (const TextTrack& t : show.tracks)
    EXPECT_EQ(file_contents(track_file_name(t.name)), encode_track_file(t.keys)) << t.name;
}

}  // namespace
