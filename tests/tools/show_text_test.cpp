// The text form of a show: what it accepts, every error it reports, and exact round trips.
#include "tools/authoring/show_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <random>

#include "tests/support/bounded_call.h"
#include "tools/authoring/scene_track_names.h"

namespace {

struct Accepted {
  const char* text;
  const char* track;
  std::vector<TrackKey> keys;
};

TEST(ShowText, ReadsTracksKeysAndTimes) {
  const Accepted cases[] = {
      {"back.x\n0 1 step\n", "back.x", {{0, 1.0f, Step}}},
      {"  back.x   # the layer's x\n\t10\t-0.5\tlinear  # rows\n", "back.x", {{10, -0.5f, Linear}}},
      {"happy\n0 0 step\n71.5s 2 step\n", "happy", {{0, 0.0f, Step}, {1430, 2.0f, Step}}},
      {"sad\n0.05s 1 smooth\n.5s 2 ramp\n3.s 3 step\n+80 +1e2 linear\n", "sad",
       {{1, 1.0f, Smooth}, {10, 2.0f, Ramp}, {60, 3.0f, Step}, {80, 100.0f, Linear}}},
      {"beard.rotz\n0 -0 step\n", "beard.rotz", {{0, -0.0f, Step}}},
      {"back.n\r\n0 5 step\r\n", "back.n", {{0, 5.0f, Step}}},
      {"# only a comment\n\nback.g\n", "back.g", {}},
      {"back.b\n1.2500s 3.4028235e38 step\n", "back.b", {{25, 3.4028235e38f, Step}}},
  };
  for (const Accepted& c : cases) {
    SCOPED_TRACE(c.text);
    const ShowText show = parse_show_text(c.text, "show.txt");
    ASSERT_TRUE(show.errors.empty()) << show.errors[0];
    ASSERT_EQ(show.tracks.size(), 1u);
    EXPECT_EQ(show.tracks[0].name, c.track);
    ASSERT_EQ(show.tracks[0].keys.size(), c.keys.size());
    for (size_t i = 0; i < c.keys.size(); ++i) {
      EXPECT_EQ(show.tracks[0].keys[i].row, c.keys[i].row) << i;
      EXPECT_EQ(std::bit_cast<uint32_t>(show.tracks[0].keys[i].value), std::bit_cast<uint32_t>(c.keys[i].value)) << i;
      EXPECT_EQ(show.tracks[0].keys[i].type, c.keys[i].type) << i;
    }
  }
}

TEST(ShowText, KeepsTracksInTheirOrder) {
  const ShowText show = parse_show_text("happy\n0 0 step\nback.n\n0 1 step\n5 2 step\nsad\n", "s");
  ASSERT_TRUE(show.errors.empty());
  ASSERT_EQ(show.tracks.size(), 3u);
  EXPECT_EQ(show.tracks[0].name, "happy");
  EXPECT_EQ(show.tracks[1].name, "back.n");
  EXPECT_EQ(show.tracks[1].keys.size(), 2u);
  EXPECT_EQ(show.tracks[2].name, "sad");
  EXPECT_EQ(show.tracks[2].line, 6);
}

struct Refused {
  const char* text;
  const char* error;
};

TEST(ShowText, ReportsEveryFaultWithFileAndLine) {
  const Refused cases[] = {
      {"0 1 step\n", "show.txt:1: key before any track name"},
      {"\n# c\n  5 1 linear\n", "show.txt:3: key before any track name"},
      {"back.x\n0 1 cubic\n", "show.txt:2: unknown interpolation 'cubic' (step, linear, smooth or ramp)"},
      {"back.x\n0 1 Linear\n", "show.txt:2: unknown interpolation 'Linear' (step, linear, smooth or ramp)"},
      {"back.x\n10 1 step\n10 2 step\n", "show.txt:3: two keys at row 10 (the other is on line 2)"},
      {"back.x\n-20 0.1 linear\n", "show.txt:2: row -20 is before the music starts (rows count from 0)"},
      {"back.x\n0 1 step\n-0.5s 0.2 linear\n", "show.txt:3: row -10 is before the music starts (rows count from 0)"},
      {"back.x\n1s 1 step\n19 2 step\n",
       "show.txt:3: row 19 is not after the previous key's row 20 (rows must increase)"},
      {"back.x\n0 abc step\n", "show.txt:2: value 'abc' is not a number"},
      {"back.x\n0 1.5x step\n", "show.txt:2: value '1.5x' is not a number"},
      {"back.x\n0 1,5 step\n", "show.txt:2: value '1,5' is not a number"},
      {"back.x\n0 nan step\n", "show.txt:2: value 'nan' is not a finite number"},
      {"back.x\n0 -inf step\n", "show.txt:2: value '-inf' is not a finite number"},
      {"back.x\n0 1e39 step\n", "show.txt:2: value '1e39' is beyond the range of a float"},
      {"back.x\nten 1 step\n", "show.txt:2: time 'ten' is neither rows (\"120\") nor seconds (\"6s\")"},
      {"back.x\n1.5 1 step\n", "show.txt:2: time '1.5' is neither rows (\"120\") nor seconds (\"6s\")"},
      {"back.x\n1..5s 1 step\n", "show.txt:2: time '1..5s' is neither rows (\"120\") nor seconds (\"6s\")"},
      {"back.x\n-s 1 step\n", "show.txt:2: time '-s' is neither rows (\"120\") nor seconds (\"6s\")"},
      {"back.x\n12.53s 1 step\n", "show.txt:2: time '12.53s' does not land on a whole row (a row is 0.05s)"},
      {"back.x\n0.0000000001s 1 step\n",
       "show.txt:2: time '0.0000000001s' does not land on a whole row (a row is 0.05s)"},
      {"back.x\n2147483648 1 step\n", "show.txt:2: time '2147483648' is beyond the rows a track can hold"},
      {"back.x\n99999999999999999999 1 step\n",
       "show.txt:2: time '99999999999999999999' is beyond the rows a track can hold"},
      {"back.x\n107374183s 1 step\n", "show.txt:2: time '107374183s' is beyond the rows a track can hold"},
      {"back.x\n0 1\n",
       "show.txt:2: a key is a time, a value and an interpolation (\"12.5s 1.0 linear\"); a track name stands alone"},
      {"back.x\n12\n",
       "show.txt:2: a key is a time, a value and an interpolation (\"12.5s 1.0 linear\"); a track name stands alone"},
      {"back.x\n0 1 step linear\n", "show.txt:2: unexpected 'linear' after the interpolation"},
      {"back.x\n0 1 step\nback.x\n", "show.txt:3: track 'back.x' is already given at line 1"},
      {"back.x\n-12.5s\n",
       "show.txt:2: a key is a time, a value and an interpolation (\"12.5s 1.0 linear\"); a track name stands alone"},
      {"Happy\n", "show.txt:1: unknown track 'Happy' (the show reads back.n, back.x, back.y, back.r, back.g, back.b, "
       "back.scale, back.rotx, back.roty, back.rotz, beard.n, beard.x, beard.y, beard.r, beard.g, beard.b, "
       "beard.scale, beard.rotx, beard.roty, beard.rotz, sad, happy)"},
      {"back.X\n",
       "show.txt:1: unknown track 'back.X' (the show reads back.n, back.x, back.y, back.r, back.g, back.b, "
       "back.scale, back.rotx, back.roty, back.rotz, beard.n, beard.x, beard.y, beard.r, beard.g, beard.b, "
       "beard.scale, beard.rotx, beard.roty, beard.rotz, sad, happy)"},
  };
  for (const Refused& c : cases) {
    SCOPED_TRACE(c.text);
    const ShowText show = parse_show_text(c.text, "show.txt");
    ASSERT_EQ(show.errors.size(), 1u) << (show.errors.empty() ? "" : show.errors[1]);
    EXPECT_EQ(show.errors[0], c.error);
  }
}

TEST(ShowText, ReportsAllFaultsNotJustTheFirst) {
  const ShowText show = parse_show_text("back.x\n0 x step\n1 1 jump\nfoo.bar\n2 1 step\nback.y\n0 1 step\n", "a.txt");
  ASSERT_EQ(show.errors.size(), 3u);
  EXPECT_EQ(show.errors[0].rfind("a.txt:2: ", 0), 0u);
  EXPECT_EQ(show.errors[1].rfind("a.txt:3: ", 0), 0u);
  EXPECT_EQ(show.errors[2].rfind("a.txt:4: unknown track 'foo.bar'", 0), 0u);
  // The key under the refused name is not reported again, nor filed under "back.x".
  ASSERT_EQ(show.tracks.size(), 2u);
  EXPECT_TRUE(show.tracks[0].keys.empty());
}

// Tempo lines give bars and beats to authoring tools and leave the tracks alone.
TEST(ShowText, ReadsTheTempoAnywhereAndKeepsTheTracks) {
  const ShowText show = parse_show_text("back.x\n0 1 step\nbpm 127.5\n10 2 step\n  beats 3  # waltz\n", "s");
  ASSERT_TRUE(show.errors.empty()) << show.errors[0];
  EXPECT_EQ(show.bpm, 127.5);
  EXPECT_EQ(show.beats_per_bar, 3);
  ASSERT_EQ(show.tracks.size(), 1u);
  EXPECT_EQ(show.tracks[0].keys.size(), 2u);  // the key after the tempo line is still back.x's

  const ShowText none = parse_show_text("back.x\n0 1 step\n", "s");
  EXPECT_EQ(none.bpm, 0.0);
  EXPECT_EQ(none.beats_per_bar, 0);
}

TEST(ShowText, ReportsAMalformedTempoWithItsLine) {
  const Refused cases[] = {
      {"bpm\n", "show.txt:1: a tempo line is 'bpm' and the beats a minute (\"bpm 120\")"},
      {"\nbpm 120 4\n", "show.txt:2: a tempo line is 'bpm' and the beats a minute (\"bpm 120\")"},
      {"bpm fast\n", "show.txt:1: bpm 'fast' is not a tempo above 0 and up to 1000 beats a minute"},
      {"bpm 0\n", "show.txt:1: bpm '0' is not a tempo above 0 and up to 1000 beats a minute"},
      {"bpm -120\n", "show.txt:1: bpm '-120' is not a tempo above 0 and up to 1000 beats a minute"},
      {"bpm 1000.5\n", "show.txt:1: bpm '1000.5' is not a tempo above 0 and up to 1000 beats a minute"},
      {"bpm 1e2\n", "show.txt:1: bpm '1e2' is not a tempo above 0 and up to 1000 beats a minute"},
      {"bpm nan\n", "show.txt:1: bpm 'nan' is not a tempo above 0 and up to 1000 beats a minute"},
      {"bpm 120\nbpm fast\n", "show.txt:2: bpm 'fast' is not a tempo above 0 and up to 1000 beats a minute"},
      {"bpm 120\nbpm 90\n", "show.txt:2: a further tempo needs a start line after it: where its first bar falls (\"start 95.2s\")"},
      {"bpm 120\nstart 8\nbpm 90\nstart 8\n", "show.txt:4: this tempo's start is not after the start of the one before (line 2)"},
      {"beats\n", "show.txt:1: a bar line is 'beats' and the beats to a bar (\"beats 4\")"},
      {"beats 3.5\n", "show.txt:1: beats '3.5' is not a whole number of beats to a bar from 1 to 64"},
      {"beats 0\n", "show.txt:1: beats '0' is not a whole number of beats to a bar from 1 to 64"},
      {"beats 65\n", "show.txt:1: beats '65' is not a whole number of beats to a bar from 1 to 64"},
      {"beats 4\n\n\nbeats 4\n", "show.txt:4: beats is already given at line 1 (each tempo's beats and start follow its bpm line)"},
  };
  for (const Refused& c : cases) {
    SCOPED_TRACE(c.text);
    const ShowText show = parse_show_text(c.text, "show.txt");
    ASSERT_EQ(show.errors.size(), 1u);
    EXPECT_EQ(show.errors[0], c.error);
  }
}

// Bars and beats at 128 bpm: a beat is 1200 / 128 = 9.375 rows, a bar of 4 beats 37.5 rows. Each
// time becomes the nearest row, halves away from zero, worked out by hand here.
TEST(ShowText, BarsAndBeatsLandOnTheNearestRow) {
  const struct {
    const char* grid;
    const char* time;
    int32_t row;
  } cases[] = {
      {"bpm 128", "1:1", 0},
      {"bpm 128", "1:2", 9},      // 9.375
      {"bpm 128", "1:3", 19},     // 18.75
      {"bpm 128", "1:4", 28},     // 28.125
      {"bpm 128", "2:1", 38},     // 37.5, half away from zero
      {"bpm 128", "1:2.5", 14},   // 14.0625
      {"bpm 128", "3:1.5", 80},   // 8.5 beats: 79.6875
      {"bpm 128", "17:3", 619},   // 66 beats: 618.75
      {"bpm 128\nbeats 3", "2:1", 28},           // 28.125
      {"bpm 128\nstart 0.5", "2:1", 38},         // 38.0
      {"bpm 128\nstart 0.5s", "1:2", 19},        // 10 + 9.375 = 19.375
      {"bpm 128\nstart 7", "1:1", 7},
      {"bpm 120\nstart 0.35s", "1:1", 7},
      {"bpm 128\nstart 0.25", "1:1", 0},         // 0.25
      // Two songs: 120 bpm (bars of 40 rows) from row 0, 60 bpm (80) from row 25, where the first
      // grid's bar 2 would have begun at 40: the second grid's first bar is bar 2.
      {"bpm 120\nbpm 60\nstart 25", "1:2", 10},
      {"bpm 120\nbpm 60\nstart 25", "2:1", 25},
      {"bpm 120\nbpm 60\nstart 25", "2:2", 45},
      {"bpm 120\nbpm 60\nstart 25", "3:1", 105},
      // Waltz, then four to a bar at 90 (13.33 rows a beat) from row 61: bars 1 to 3 are the waltz's.
      {"bpm 120\nbeats 3\nbpm 90\nbeats 4\nstart 61", "3:3", 80},
      {"bpm 120\nbeats 3\nbpm 90\nbeats 4\nstart 61", "4:1", 61},
      {"bpm 120\nbeats 3\nbpm 90\nbeats 4\nstart 61", "4:2", 74},  // 74.33
      {"bpm 120\nbeats 3\nbpm 90\nbeats 4\nstart 61", "5:1", 114},  // 114.33
  };
  for (const auto& c : cases) {
    const std::string text = std::string(c.grid) + "\nback.x\n  " + c.time + " 1 step\n";
    SCOPED_TRACE(text);
    const ShowText show = parse_show_text(text, "show.txt");
    ASSERT_TRUE(show.errors.empty()) << show.errors[0];
    ASSERT_EQ(show.tracks[0].keys.size(), 1u);
    EXPECT_EQ(show.tracks[0].keys[0].row, c.row);
  }
}

// A pattern at 128 bpm expands to the rows a hand calculation gives: beat k of the pattern at
// from + k × 9.375 rows, rounded on its own (no error adds up), its values going round the list.
TEST(ShowText, APatternRepeatsKeysOnTheBeatGrid) {
  const ShowText show = parse_show_text(
      "bpm 128  # 9.375 rows a beat\n"
      "back.n\n"
      "  0 1 step\n"
      "  repeat 2:1 to 4:1 every 1 beat: 3 step, 4 linear, 5 step, 6 smooth\n"
      "  4:1 9 step\n"
      "back.x\n"
      "  repeat 1:1 to 3:1 every 1 bar: 0.5 ramp\n"
      "  repeat 3:1 to 3:3 every 0.5 beats : 1 step, -1 step\n"
      "back.y\n"
      "  repeat 1:1 to 2:1 every 1 beat: 3 step, 4 step, 5 step\n",  // the list stops partway round
      "show.txt");
  ASSERT_TRUE(show.errors.empty()) << show.errors[0];
  const std::vector<TrackKey> n = {
      {0, 1, Step},
      {38, 3, Step}, {47, 4, Linear}, {56, 5, Step}, {66, 6, Smooth},     // 37.5 46.875 56.25 65.625
      {75, 3, Step}, {84, 4, Linear}, {94, 5, Step}, {103, 6, Smooth},    // 75 84.375 93.75 103.125
      {113, 9, Step}};                                                      // 112.5
  const std::vector<TrackKey> x = {{0, 0.5f, Ramp}, {38, 0.5f, Ramp},    // 0 37.5
                                   {75, 1, Step}, {80, -1, Step}, {84, 1, Step}, {89, -1, Step}};  // 75 79.6875 84.375 89.0625
  const std::vector<TrackKey> y = {{0, 3, Step}, {9, 4, Step}, {19, 5, Step}, {28, 3, Step}};  // 0 9.375 18.75 28.125
  ASSERT_EQ(show.tracks.size(), 3u);
  for (const auto& [track, expected] :
       {std::pair{&show.tracks[0], &n}, std::pair{&show.tracks[1], &x}, std::pair{&show.tracks[2], &y}}) {
    SCOPED_TRACE(track->name);
    ASSERT_EQ(track->keys.size(), expected->size());
    for (size_t i = 0; i < expected->size(); ++i) {
      EXPECT_EQ(track->keys[i].row, (*expected)[i].row) << i;
      EXPECT_EQ(track->keys[i].value, (*expected)[i].value) << i;
      EXPECT_EQ(track->keys[i].type, (*expected)[i].type) << i;
    }
  }
}

TEST(ShowText, ReportsMusicalTimeAndPatternFaultsWithTheirLine) {
  const Refused cases[] = {
      {"back.x\n1:1 1 step\n", "show.txt:2: time '1:1' is in bars and beats, which need the music's tempo (a line \"bpm 120\")"},
      {"bpm 120\nback.x\n0:1 1 step\n", "show.txt:3: time '0:1': bars and beats count from 1 (\"1:1\" is the first beat)"},
      {"bpm 120\nback.x\n1:5 1 step\n", "show.txt:3: time '1:5': a bar has 4 beats"},
      {"bpm 120\nbeats 3\nback.x\n1:3.5 1 step\n1:4 1 step\n", "show.txt:5: time '1:4': a bar has 3 beats"},
      {"bpm 120\nback.x\n1:x 1 step\n", "show.txt:3: time '1:x' is not bar:beat (\"17:3\", or \"17:3.5\" half a beat later)"},
      {"bpm 120\nback.x\n:2 1 step\n", "show.txt:3: time ':2' is not bar:beat (\"17:3\", or \"17:3.5\" half a beat later)"},
      // 1:1.01 and 1:1.04 are 0.1 and 0.4 rows at 120 bpm: both row 0.
      {"bpm 120\nback.x\n1:1.01 1 step\n1:1.04 2 step\n", "show.txt:4: two keys at row 0 (the other is on line 3)"},
      {"bpm 120\nstart -1s\nback.x\n1:1 1 step\n", "show.txt:4: row -20 is before the music starts (rows count from 0)"},
      {"bpm 120\nstart soon\n", "show.txt:2: start 'soon' is neither rows (\"7\") nor seconds (\"0.35s\")"},
      {"start 1\nstart 2\n", "show.txt:2: start is already given at line 1 (each tempo's beats and start follow its bpm line)"},
      {"bpm 120\nback.x\nrepeat 1:1 to 2:1 every 3 beats: 1 step, 2 step\n",
       "show.txt:3: the pattern runs past its end 2:1: its steps of 3 beats make 1.33333 steps to it (make the span a "
       "whole number of steps)"},
      {"bpm 120\nback.x\nrepeat 2:1 to 1:1 every 1 beat: 1 step\n",
       "show.txt:3: the pattern ends at 1:1, not after it starts at 2:1"},
      {"bpm 120\nback.x\nrepeat 1:1 to 2:1 every 1 beat: 1 step\n1:3 5 step\n",
       "show.txt:4: row 20 is inside the pattern of line 3, which runs to row 40"},
      {"bpm 120\nback.x\n1:2 0 step\nrepeat 1:1 to 2:1 every 1 beat: 1 step\n",
       "show.txt:4: row 0 is not after the previous key's row 10 (rows must increase)"},
      {"bpm 120\nback.x\nrepeat 1:1 to 2:1 every 1 beat 1 step\n",
       "show.txt:3: a pattern is 'repeat FROM to TO every N beats: VALUE INTERPOLATION, ...' (\"repeat 9:1 to 17:1 "
       "every 1 beat: 3 step, 4 step\")"},
      {"bpm 120\nback.x\nrepeat 1:1 to 2:1 every 1 beat: 1 step,, 2 step\n",
       "show.txt:3: each key of a pattern is a value and an interpolation (\"3 step\"), separated by commas"},
      {"bpm 120\nback.x\nrepeat 1:1 to 2:1 every 0 beats: 1 step\n",
       "show.txt:3: pattern step '0' is not a number of beats or bars above 0"},
      {"bpm 120\nback.x\nrepeat 1:1 to 2:1 every 1 minute: 1 step\n",
       "show.txt:3: pattern step unit 'minute' is neither beats nor bars"},
      {"back.x\nrepeat 0 to 40 every 1 beat: 1 step\n",
       "show.txt:2: a pattern steps in beats, which need the music's tempo (a line \"bpm 120\")"},
      {"bpm 120\nback.x\nrepeat 1:1 to 2:1 every 1 beat: 1 wobble\n",
       "show.txt:3: unknown interpolation 'wobble' (step, linear, smooth or ramp)"},
  };
  for (const Refused& c : cases) {
    SCOPED_TRACE(c.text);
    const ShowText show = parse_show_text(c.text, "show.txt");
    ASSERT_EQ(show.errors.size(), 1u) << (show.errors.empty() ? "" : show.errors[1]);
    EXPECT_EQ(show.errors[0], c.error);
  }
}

TEST(ShowText, FormatsFloatsShortestAndExact) {
  const std::pair<float, const char*> cases[] = {
      {0.0f, "0"}, {-0.0f, "-0"}, {1.0f, "1"}, {0.1f, "0.1"}, {-2.95f, "-2.95"}, {1e-45f, "1e-45"},
      {3.4028235e38f, "3.4028235e+38"}, {1.0f / 3.0f, "0.33333334"},
  };
  for (auto [v, text] : cases) EXPECT_EQ(format_float(v), text);
}

// Any finite float, the awkward ones included, comes back bit for bit through its text.
TEST(ShowText, RoundTripsEveryKindOfKeyExactly) {
  std::mt19937 rng(12);
  std::vector<TrackKey> keys;
  int32_t row = 0;
  const float specials[] = {0.0f, -0.0f, 1e-45f, -1e-45f, 1.17549435e-38f, 3.4028235e38f, -3.4028235e38f, 0.1f};
  for (float v : specials) keys.push_back({row += 7, v, Step});
  while (keys.size() < 2000) {
    const float v = std::bit_cast<float>(static_cast<uint32_t>(rng()));
    if (!std::isfinite(v)) continue;
    keys.push_back({row += 1 + static_cast<int32_t>(rng() % 500), v, static_cast<int32_t>(rng() % 4)});
  }
  keys.push_back({2147483647, 1.0f, Ramp});
  keys.insert(keys.begin(), TrackKey{0, 2.0f, Linear});

  const std::string text = format_track_text("beard.scale", keys);
  const ShowText show = parse_show_text(text, "dump");
  ASSERT_TRUE(show.errors.empty()) << show.errors[0];
  ASSERT_EQ(show.tracks.size(), 1u);
  EXPECT_EQ(show.tracks[0].name, "beard.scale");
  ASSERT_EQ(show.tracks[0].keys.size(), keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    EXPECT_EQ(show.tracks[0].keys[i].row, keys[i].row);
    EXPECT_EQ(std::bit_cast<uint32_t>(show.tracks[0].keys[i].value), std::bit_cast<uint32_t>(keys[i].value));
    EXPECT_EQ(show.tracks[0].keys[i].type, keys[i].type);
  }
}

// Patterns make many keys from one line: 300 lines of 14 KB would make 30 million keys and take
// gigabytes. A track holds at most MAX_TRACK_KEYS and a text MAX_TEXT_KEYS; the line that goes
// beyond is reported, and nothing beyond is made.
std::string patterns(int tracks, int per_track) {
  std::string text = "bpm 1000\n";  // a beat is 1.2 rows: 100000 keys a pattern, all on rows of their own
  for (int t = 0; t < tracks; ++t) {
    text += std::string(KESTO_TRACK_NAMES[size_t(t)]) + "\n";
    for (int i = 0; i < per_track; ++i)
      text += "repeat " + std::to_string(1 + 25000 * i) + ":1 to " + std::to_string(25001 + 25000 * i) +
              ":1 every 1 beat: 1 step\n";
  }
  return text;
}

TEST(ShowText, RefusesMoreKeysThanATrackOrATextMayHold) {
  const struct {
    int tracks, per_track;
    std::string error;
  } cases[] = {
      {1, 3, "show.txt:5: track 'back.n' would hold more than 262144 keys, the most a track may hold"},
      {11, 1, "show.txt:23: the text would make more than 1048576 keys, the most a show text may make"},
  };
  for (const auto& c : cases) {
    const ShowText show = parse_show_text(patterns(c.tracks, c.per_track), "show.txt");
    ASSERT_EQ(show.errors.size(), 1u) << c.error;
    EXPECT_EQ(show.errors[0], c.error);
    size_t keys = 0;
    for (const TextTrack& t : show.tracks) {
      EXPECT_LE(t.keys.size(), size_t(MAX_TRACK_KEYS));
      keys += t.keys.size();
    }
    EXPECT_LE(keys, MAX_TEXT_KEYS);
  }
  // 300 such lines, and a million lines of something that is no show text, each in little memory.
  EXPECT_TRUE(returns_within(
      [] {
        if (parse_show_text(patterns(15, 20), "show.txt").errors.empty()) throw 0;
      },
      180, size_t(128) << 20));
  std::string junk;
  for (int i = 0; i < 1000000; ++i) junk += "x\n";
  EXPECT_TRUE(returns_within(
      [&] {
        const ShowText show = parse_show_text(junk, "show.txt");
        if (show.errors.size() != MAX_REPORTED_FAULTS + 1 ||
            show.errors.back() != "show.txt:101: and 999900 more faults from here on")
          throw 0;
      },
      180, size_t(128) << 20));
}

}  // namespace
