// demo/show.txt uses everything the show can do, shows only photos that are loaded, changes them on
// the beat, and ends itself when the music does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "demo/music_synth.h"
#include "show/music_clock.h"
#include "sync/sync_track.h"
#include "tools/authoring/scene_track_names.h"
#include "tools/authoring/show_text.h"

namespace {

class Choreography : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::ifstream in(SHOW_TXT, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    const ShowText show = parse_show_text(s.str(), SHOW_TXT);
    errors = show.errors;
    for (const TextTrack& t : show.tracks) tracks[t.name] = SyncTrack{t.name, t.keys};
  }
  static float at(const std::string& name, double row) { return get_value(tracks.at(name), row); }

  static inline std::vector<std::string> errors;
  static inline std::map<std::string, SyncTrack> tracks;
  static constexpr double END_ROW = MUSIC_END_SECONDS * ROW_RATE;
};

TEST_F(Choreography, ParsesAndGivesEveryTrackOfBothLayersSomethingToDo) {
  ASSERT_TRUE(errors.empty()) << errors[0];
  for (std::string_view name : KESTO_TRACK_NAMES) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(tracks.count(std::string(name)));
    if (name == "sad") continue;  // drives nothing
    std::set<float> values;
    for (const TrackKey& k : tracks.at(std::string(name)).keys) values.insert(k.value);
    EXPECT_GE(values.size(), 2u) << "the track never changes";
  }
}

TEST_F(Choreography, UsesEveryInterpolation) {
  std::set<int32_t> used;
  for (const auto& [name, t] : tracks)
    for (size_t i = 0; i + 1 < t.keys.size(); ++i) used.insert(t.keys[i].type);  // a last key interpolates nothing
  EXPECT_EQ(used, (std::set<int32_t>{Step, Linear, Smooth, Ramp}));
}

// Photo tracks are step tracks, so their keys are every photo they ever show.
TEST_F(Choreography, ShowsOnlyPhotosThatAreLoaded) {
  const std::set<int> not_loaded = {6, 7, 8, 9, 10, 28};
  for (const char* name : {"back.n", "beard.n"}) {
    for (const TrackKey& k : tracks.at(name).keys) {
      const int n = static_cast<int>(k.value);
      EXPECT_EQ(k.type, Step) << name << " row " << k.row;
      EXPECT_TRUE(n >= 0 && n <= 43 && !not_loaded.count(n)) << name << " shows " << n << " at row " << k.row;
    }
  }
}

// A beat of the music is 10 rows: a photo that changes off the beat looks like a mistake.
TEST_F(Choreography, PhotosChangeOnTheBeat) {
  const int beat_rows = static_cast<int>(ROW_RATE * 60.0 / MUSIC_BPM);
  for (const char* name : {"back.n", "beard.n"})
    for (const TrackKey& k : tracks.at(name).keys) EXPECT_EQ(k.row % beat_rows, 0) << name << " changes at row " << k.row;
}

TEST_F(Choreography, ShowsTheBackdropAndEndsWhenTheMusicEnds) {
  double first_backdrop = -1, end = -1;
  for (double row = 0; row <= END_ROW + 40 && end < 0; row += 0.5) {
    const int h = static_cast<int>(at("happy", row));
    if (h == 1 && first_backdrop < 0) first_backdrop = row;
    if (h == 2) end = row;
  }
  EXPECT_GE(first_backdrop, 0) << "the backdrop never shows";
  ASSERT_GE(end, 0) << "the show never ends itself";
  // After the closing chord has begun and no later than it has died away.
  EXPECT_GE(end, (MUSIC_BARS - 1) * 40.0);
  EXPECT_LE(end, END_ROW);
}

// Colours multiply the photo: while the music plays, neither layer sinks to black for long.
TEST_F(Choreography, LayersAreVisibleWhileTheMusicPlays) {
  for (const char* layer : {"back", "beard"}) {
    int dark = 0, samples = 0;
    for (double row = 80; row < (MUSIC_BARS - 1) * 40.0; row += 1, ++samples) {
      const std::string l = layer;
      const float brightest = std::max({at(l + ".r", row), at(l + ".g", row), at(l + ".b", row)});
      const float scale = at(l + ".scale", row) + 1;
      dark += brightest < 0.3f || std::abs(scale) < 0.05f;
    }
    EXPECT_LT(dark, samples / 20) << layer;
  }
}

}  // namespace
