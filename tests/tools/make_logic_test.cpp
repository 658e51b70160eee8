// hallshow-make's logic without libvips or aubio: the command line, the photo order, the
// catalogue's plan, the music's map and the choreography that becomes show.txt.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "sync/sync_track.h"
#include "tools/authoring/scene_track_names.h"
#include "tools/authoring/show_text.h"
#include "tools/make/catalogue_plan.h"
#include "tools/make/choreography.h"
#include "tools/make/cutout_mask.h"
#include "tools/make/make_options.h"
#include "tools/make/music_map.h"
#include "tools/make/photo_order.h"
#include "tools/make/scene_geometry.h"

namespace {

bool parse(std::vector<const char*> args, MakeOptions& o, std::string& error) {
  args.insert(args.begin(), "hallshow-make");
  return parse_make_options(static_cast<int>(args.size()), args.data(), o, error);
}

TEST(MakeOptions, RefusesWhatCannotMakeAShow) {
  const std::vector<std::vector<const char*>> bad = {
      {"photos"},                                      // no song
      {"--music", "song.ogg"},                         // no photos
      {"p", "--music", "a.mp3", "--music", "b.mp3"},   // twice
      {"p", "--music", "a.mp3", "--style", "wild"},
      {"p", "--music", "a.mp3", "--bpm", "0"},
      {"p", "--music", "a.mp3", "--bpm", "12x"},
      {"p", "--music", "a.mp3", "--beats", "1"},
      {"p", "--music", "a.mp3", "--seed", "-3"},
      {"p", "--music"},
      {"p", "--music", "a.mp3", "--frobnicate"},
  };
  for (const auto& args : bad) {
    MakeOptions o;
    std::string error;
    EXPECT_FALSE(parse(args, o, error)) << args.back();
    EXPECT_FALSE(error.empty());
  }
  MakeOptions o;
  std::string error;
  ASSERT_TRUE(parse({"a.jpg", "dir", "--music", "s.flac", "--out", "x", "--style", "calm", "--seed", "7", "--bpm",
                     "96.5", "--force", "--", "-odd.jpg"},
                    o, error))
      << error;
  EXPECT_EQ(o.inputs, (std::vector<std::string>{"a.jpg", "dir", "-odd.jpg"}));
  EXPECT_EQ(o.style, ShowStyle::Calm);
  EXPECT_EQ(o.seed, 7u);
  EXPECT_DOUBLE_EQ(o.bpm, 96.5);
  EXPECT_TRUE(o.force);
}

TEST(PhotoOrder, CaptureTimeThenNameThenTheUndated) {
  std::vector<PhotoCandidate> p = {
      {"b/z.jpg", "", 1, 1},
      {"a/late.jpg", "2021:06:01 10:00:00", 1, 1},
      {"c/a.jpg", "", 1, 1},
      {"x/early2.jpg", "2020:01:01 09:00:00", 1, 1},
      {"y/early1.jpg", "2020:01:01 09:00:00", 1, 1},
  };
  order_photos(p);
  std::vector<std::string> paths;
  for (auto& c : p) paths.push_back(c.path);
  EXPECT_EQ(paths, (std::vector<std::string>{"y/early1.jpg", "x/early2.jpg", "a/late.jpg", "c/a.jpg", "b/z.jpg"}));
  EXPECT_EQ(exif_time("2019:05:04 12:00:01 (2019:05:04 12:00:01, ASCII, 20 components, 20 bytes)"),
            "2019:05:04 12:00:01");
  EXPECT_EQ(exif_time("0000:00:00 00:00:00"), "");
  EXPECT_EQ(exif_time("    :  :     :  :  "), "");
  EXPECT_EQ(exif_time("2019-05-04"), "");

  std::vector<PhotoCandidate> a = p, b = p;
  shuffle_photos(a, 5);
  shuffle_photos(b, 5);
  for (size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i].path, b[i].path);
}

TEST(CataloguePlan, EveryEntryFilledFewerPhotosRepeatMoreAreSpread) {
  const int places = static_cast<int>(photo_role_entries().size());
  for (int count : {1, 3, places, places + 1, 200}) {
    SCOPED_TRACE(count);
    const CataloguePlan plan = plan_catalogue(count);
    ASSERT_EQ(plan.entries.size(), static_cast<size_t>(PHOTO_COUNT));
    for (const EntryPlan& e : plan.entries) {
      if (e.role == EntryRole::Repeat) continue;
      EXPECT_GE(e.photo, 0);
      EXPECT_LT(e.photo, count);
    }
    EXPECT_EQ(plan.used.size() + plan.unused.size(), static_cast<size_t>(count));
    EXPECT_EQ(plan.used.front(), 0);
    EXPECT_EQ(plan.used.back(), count - 1);  // a trip keeps its ends
    EXPECT_TRUE(std::is_sorted(plan.used.begin(), plan.used.end()));
    EXPECT_EQ(std::set<int>(plan.used.begin(), plan.used.end()).size(), plan.used.size());
    EXPECT_EQ(plan.show_entries.size(), static_cast<size_t>(std::min(count, places)));
    // The show's entries hold the used photos in order.
    for (size_t i = 0; i < plan.show_entries.size(); ++i) EXPECT_EQ(plan.entries[plan.show_entries[i]].photo, plan.used[i]);
  }
  // The roles match the catalogue's types: cut-outs need alpha, so they are PNG entries.
  for (int i = 0; i < PHOTO_COUNT; ++i) {
    if (ENTRY_ROLES[i] == EntryRole::Cameo || ENTRY_ROLES[i] == EntryRole::Frame || ENTRY_ROLES[i] == EntryRole::Iris) {
      EXPECT_EQ(entry_type(i), EntryType::Png) << i;
    }
  }
  EXPECT_EQ(ENTRY_ROLES[17], EntryRole::Backdrop);
  for (int i : {6, 7, 8, 9, 10, 28}) EXPECT_EQ(ENTRY_ROLES[i], EntryRole::Spare) << i;
  EXPECT_EQ(entry_file_name(5), "05.JPG");
  EXPECT_EQ(entry_file_name(30), "30.jpg");
}

TEST(CutoutMask, ShapesWhereTheyBelong) {
  const int s = 400;
  auto at = [&](const std::vector<uint8_t>& m, int x, int y) { return m[static_cast<size_t>(y) * s + x]; };
  const auto cameo = cutout_mask(Cutout::Cameo, s, s), frame = cutout_mask(Cutout::Frame, s, s),
             iris = cutout_mask(Cutout::Iris, s, s), circle = cutout_mask(Cutout::Circle, s, s);
  EXPECT_EQ(at(cameo, 200, 200), 255);
  EXPECT_EQ(at(cameo, 2, 2), 0);
  EXPECT_EQ(at(frame, 200, 200), 0);  // the window
  EXPECT_EQ(at(frame, 10, 200), 255);
  EXPECT_EQ(at(iris, 200, 200), 0);   // the hole
  EXPECT_EQ(at(iris, 200, 100), 255);
  EXPECT_EQ(at(iris, 2, 2), 255);
  EXPECT_EQ(at(circle, 200, 200), 255);
  EXPECT_EQ(at(circle, 2, 2), 0);
  // Not square: the shapes follow the sides.
  const auto wide = cutout_mask(Cutout::Cameo, 800, 200);
  EXPECT_EQ(wide[100 * 800 + 60], 255);  // inside the oval near its left end
  EXPECT_EQ(wide[0 * 800 + 400], 0);   // above it, in the middle
}

// A beat tracker's output for a steady song: beats every `period` from `start`, jittered, with a
// stretch locked half a beat off, and onsets on every beat.
AudioAnalysis steady_song(double bpm, double seconds) {
  AudioAnalysis a;
  a.duration = seconds;
  const double period = 60.0 / bpm;
  int k = 0;
  for (double t = 0; t < seconds; t += period, ++k) {
    const double jitter = 0.008 * ((k * 7919) % 5 - 2) / 2.0;
    const bool off = t > 20 && t < 28;
    a.beats.push_back(t + jitter + (off ? period / 2 : 0));
    a.onsets.push_back(t);
  }
  const size_t frames = static_cast<size_t>(seconds / a.frame_seconds);
  a.loudness.assign(frames, -20.f);
  a.flux.assign(frames, 0.f);
  a.low_flux.assign(frames, 0.f);
  k = 0;
  for (double t = 0; t < seconds; t += period, ++k) {
    const size_t i = static_cast<size_t>(t / a.frame_seconds);
    if (i < frames) a.low_flux[i] = k % 4 == 0 ? 12.f : 6.f, a.flux[i] = 1.f;  // "one" strongest
  }
  return a;
}

TEST(MusicMap, SteadyBeatFoundThroughAnOffBeatStretch) {
  const MusicMap m = map_music(steady_song(128, 60), 4, 0, false);
  ASSERT_TRUE(m.steady) << m.note;
  EXPECT_NEAR(m.bpm, 128, 128 * 0.01);
  int near = 0;
  for (double t = 0; t < 59; t += 60.0 / 128) {
    double best = 1;
    for (double b : m.beats) best = std::min(best, std::abs(b - t));
    near += best < 0.05;
  }
  EXPECT_GE(near, static_cast<int>(59 / (60.0 / 128) * 0.95));
  // Bar one on the strongest beat.
  const double bar = 4 * 60.0 / 128, r = std::fmod(m.beats[m.bars[0]], bar);
  EXPECT_LT(std::min(r, bar - r), 0.05) << "bar one at " << m.beats[m.bars[0]];
}

// Songs on which the tracker's beats are near but not on the music's: notes on every eighth with
// the kick on the beat, the tracker's beats at `tracked_bpm`, two in ten off by `wobble` of a
// beat. The map's beats must stay on the music's to the end of the song.
TEST(MusicMap, BeatsOfTheMusicWhereTheTrackerIsSlightlyOff) {
  struct Case {
    const char* what;
    double bpm, tracked_bpm, wobble;
  } cases[] = {
      // A few tenths of a percent slow: over three minutes a grid at that tempo slides a third
      // of a second off the music.
      {"tracker 0.4% slow", 133.33, 132.8, 0.0},
      // Slow, its beats wobbling by some hundredths of a second: still a clear beat, not the
      // fallback tempo.
      {"slow and wobbling", 72.5, 72.5, 0.128},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const double seconds = 180, period = 60.0 / c.bpm;
    AudioAnalysis a;
    a.duration = seconds;
    const size_t frames = static_cast<size_t>(seconds / a.frame_seconds);
    a.loudness.assign(frames, -20.f);
    a.flux.assign(frames, 0.f);
    a.low_flux.assign(frames, 0.f);
    int k = 0;
    for (double t = 0; t < seconds; t += period / 2, ++k) {
      a.onsets.push_back(t);
      const size_t i = static_cast<size_t>(t / a.frame_seconds);
      if (i < frames) a.flux[i] = 1.f, a.low_flux[i] = k % 2 == 0 ? 10.f : 2.f;
    }
    k = 0;
    for (double t = 0; t < seconds; t += 60.0 / c.tracked_bpm, ++k)
      a.beats.push_back(t + c.wobble * 60.0 / c.tracked_bpm * (k % 10 == 8 ? 1 : k % 10 == 9 ? -1 : 0));
    const MusicMap m = map_music(a, 4, 0, false);
    ASSERT_TRUE(m.steady) << m.note;
    EXPECT_NEAR(m.bpm, c.bpm, c.bpm * 0.01);
    for (double b : m.beats) {
      const double r = std::fmod(b, period);
      if (b > 150) {
        ASSERT_LT(std::min(r, period - r), 0.025) << "beat at " << b;
      }
    }
  }
}

TEST(MusicMap, NoBeatFallsBackAndSaysSo) {
  AudioAnalysis a;
  a.duration = 40;
  a.loudness.assign(static_cast<size_t>(40 / a.frame_seconds), -30.f);
  for (bool given : {false, true}) {
    const MusicMap m = map_music(a, 4, given ? 90 : 0, false);
    EXPECT_FALSE(m.steady);
    EXPECT_NEAR(m.bpm, given ? 90 : 120, 1e-9);
    EXPECT_NE(m.note.find("no clear beat"), std::string::npos);
    EXPECT_NEAR(m.beats[1] - m.beats[0], 60.0 / m.bpm, 1e-9);
    EXPECT_GT(m.beats.back(), 39);
  }
}

// A map like a song's: quiet intro, loud middle, mid end, at `bpm`.
MusicMap song_map(double bpm, double seconds) {
  MusicMap m;
  m.bpm = bpm;
  const double period = 60.0 / bpm;
  for (double t = 0.3; t < seconds; t += period) m.beats.push_back(t);
  for (size_t i = 0; i < m.beats.size(); i += 4) m.bars.push_back(static_cast<int>(i));
  const int bars = static_cast<int>(m.bars.size());
  m.sections = {{0, Energy::Quiet, -30}, {bars / 4, Energy::Loud, -12}, {bars * 3 / 4, Energy::Mid, -18}};
  m.end = seconds - 1;
  return m;
}

ChoreographyInput input(double bpm, ShowStyle style, uint64_t seed, int photos = 12) {
  return ChoreographyInput{song_map(bpm, 90), plan_catalogue(photos), style, seed, "song.ogg"};
}

TEST(Choreography, EveryTrackWrittenAndReadBackByKesto) {
  const Choreography c = make_choreography(input(120, ShowStyle::Lively, 1));
  const ShowText show = parse_show_text(c.text, "show.txt");
  ASSERT_TRUE(show.errors.empty()) << show.errors[0];
  EXPECT_EQ(show.tracks.size(), KESTO_TRACK_NAMES.size());
  for (const TextTrack& t : show.tracks) {
    ASSERT_FALSE(t.keys.empty()) << t.name;
    EXPECT_EQ(t.keys.front().row, 0) << t.name << " has no key on row 0";
  }
  EXPECT_NEAR(show.bpm, 120, 0.01);
  EXPECT_EQ(show.beats_per_bar, 4);
  EXPECT_NE(c.text.find("# bar "), std::string::npos);
}

// The value of a parsed track at a row, with the show's own evaluation.
float value_at(const ShowText& show, const std::string& name, double row) {
  for (const TextTrack& t : show.tracks)
    if (t.name == name) {
      SyncTrack track;
      track.name = t.name;
      track.keys = t.keys;
      return get_value(track, row);
    }
  ADD_FAILURE() << name;
  return 0;
}

TEST(Choreography, PhotoChangesOnBarLinesAndTheShowEndsWithTheMusic) {
  for (double bpm : {72.0, 120.0, 174.0}) {
    SCOPED_TRACE(bpm);
    const ChoreographyInput in = input(bpm, ShowStyle::Lively, 3);
    const Choreography c = make_choreography(in);
    const ShowText show = parse_show_text(c.text, "show.txt");
    ASSERT_TRUE(show.errors.empty());
    std::set<int> bar_rows;
    for (int b : in.music.bars) bar_rows.insert(row_of(in.music.beats[b]));
    ASSERT_GT(c.changes.size(), 10u);
    for (const PhotoChange& ch : c.changes) {
      if (ch.row == 0) continue;  // the first photo, there from the start
      EXPECT_TRUE(bar_rows.count(ch.row)) << "a change at row " << ch.row << " is not on a bar line";
      // What the layer shows from that row on is the entry the change names.
      EXPECT_EQ(static_cast<int>(value_at(show, ch.layer + ".n", ch.row)), ch.entry);
    }
    // Holds are never shorter than 8 rows.
    for (size_t i = 1; i < c.changes.size(); ++i) {
      if (c.changes[i].layer == c.changes[i - 1].layer && c.changes[i].row != c.changes[i - 1].row) {
        EXPECT_GE(c.changes[i].row - c.changes[i - 1].row, 8);
      }
    }
    const int end = row_of(in.music.end);
    EXPECT_EQ(value_at(show, "happy", end), 2);
    EXPECT_LT(value_at(show, "happy", end - 1), 2);
    // Black at the start, fading in.
    EXPECT_EQ(value_at(show, "beard.r", 0), 0);
    EXPECT_GT(value_at(show, "beard.r", 60), 0.5);
  }
}

TEST(Choreography, PhotosNeverLargerThanTheirFilesAreSharpForNorMirrored) {
  for (uint64_t seed : {1, 2, 3, 4, 5, 6}) {
    for (ShowStyle style : {ShowStyle::Calm, ShowStyle::Lively}) {
      const ShowText show = parse_show_text(make_choreography(input(100, style, seed)).text, "show.txt");
      for (const TextTrack& t : show.tracks) {
        if (!t.name.ends_with(".scale")) continue;
        for (const TrackKey& k : t.keys) {
          EXPECT_LE(k.value + 1, MAX_LAYER_FACTOR + 1e-6) << t.name << " row " << k.row;
          EXPECT_GE(k.value, -1) << t.name << " row " << k.row;
        }
      }
    }
  }
}

TEST(Choreography, SameInputsSameTextStylesDiffer) {
  const ChoreographyInput in = input(120, ShowStyle::Lively, 9);
  EXPECT_EQ(make_choreography(in).text, make_choreography(in).text);
  const size_t lively = make_choreography(input(120, ShowStyle::Lively, 9)).changes.size();
  const size_t calm = make_choreography(input(120, ShowStyle::Calm, 9)).changes.size();
  EXPECT_LT(calm * 3, lively * 2) << "calm " << calm << ", lively " << lively;
}

TEST(Choreography, BothLayersShowPhotosAndTheBackdropComesInQuietPassages) {
  const ChoreographyInput in = input(120, ShowStyle::Lively, 1);
  const Choreography c = make_choreography(in);
  std::set<std::string> layers;
  for (const PhotoChange& ch : c.changes) layers.insert(ch.layer);
  EXPECT_EQ(layers, (std::set<std::string>{"back", "beard"}));
  const ShowText show = parse_show_text(c.text, "show.txt");
  const int loud_row = row_of(in.music.beats[in.music.bars[in.music.sections[1].first_bar]]) + 40;
  const int quiet_row = row_of(in.music.beats[in.music.bars[in.music.sections[1].first_bar]]) - 40;
  EXPECT_EQ(value_at(show, "happy", quiet_row), 1);
  EXPECT_EQ(value_at(show, "happy", loud_row), 0);
}

}  // namespace
