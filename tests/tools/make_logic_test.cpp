// hallshow-make's logic without libvips or aubio: the command line, the photo order, the
// catalogue's plan, the music's map and the choreography that becomes show.txt.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "sync/sync_track.h"
#include "tools/authoring/scene_track_names.h"
#include "tools/authoring/show_text.h"
#include "tools/make/music/beat_times.h"
#include "tools/make/show/catalogue_plan.h"
#include "tools/make/show/choreography.h"
#include "tools/make/show/cut_plan.h"
#include "tools/make/photos/cutout_mask.h"
#include "tools/make/make_options.h"
#include "tools/make/music/music_map.h"
#include "tools/make/photos/photo_order.h"
#include "tools/make/photos/photo_quality.h"
#include "tools/make/photos/photo_selection.h"
#include "tools/make/show/photo_units.h"
#include "tools/make/show/scene_geometry.h"
#include "tools/make/photos/subject_crop.h"

namespace {

bool parse(std::vector<const char*> args, MakeOptions& o, std::string& error) {
  args.insert(args.begin(), "hallshow-make");
  return parse_make_options(static_cast<int>(args.size()), args.data(), o, error);
}

TEST(MakeOptions, RefusesWhatCannotMakeAShow) {
  const std::vector<std::vector<const char*>> bad = {
      {"photos"},                                      // no song
      {"--music", "song.ogg"},                         // no photos
      {"p", "--music", "a.mp3", "--length", "0"},
      {"p", "--music", "a.mp3", "--length", "3:75"},
      {"p", "--music", "a.mp3", "--length", "1:"},
      {"p", "--music", "a.mp3", "--length", "soon"},
      {"p", "--music", "a.mp3", "--length", "1:00", "--length", "2:00"},  // twice
      {"p", "--music", "a.mp3", "--crop", "round"},
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
                     "96.5", "--force", "--music", "t.mp3", "--length", "3:30.5", "--crop", "square", "--", "-odd.jpg"},
                    o, error))
      << error;
  EXPECT_EQ(o.music, (std::vector<std::string>{"s.flac", "t.mp3"}));  // a playlist, in order
  EXPECT_DOUBLE_EQ(o.length, 210.5);
  EXPECT_TRUE(o.square);
  for (const auto& [text, seconds] : std::vector<std::pair<const char*, double>>{{"95s", 95}, {"1900", 95}, {"0:10", 10}, {"12:00", 720}})
    EXPECT_EQ(parse_length(text), std::optional<double>(seconds)) << text;
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

TEST(PhotoSelection, AllWhenThereIsRoomElseAnEvenSpreadKeepingBothEnds) {
  struct Case {
    int count, room;
    size_t shown;
  } cases[] = {{1, 5, 1}, {5, 5, 5}, {6, 5, 5}, {200, 75, 75}, {200, 199, 199}, {1000, 240, 240}, {7, 1, 1}, {3, 0, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.count) + " photos, room for " + std::to_string(c.room));
    const PhotoSelection s = select_photos(c.count, c.room);
    ASSERT_EQ(s.shown.size(), c.shown);
    EXPECT_EQ(s.shown.size() + s.unused.size(), static_cast<size_t>(c.count));
    EXPECT_EQ(s.shown.front(), 0);
    if (c.shown > 1) {
      EXPECT_EQ(s.shown.back(), c.count - 1);  // a trip keeps its ends
    }
    std::set<int> all(s.shown.begin(), s.shown.end());
    all.insert(s.unused.begin(), s.unused.end());
    EXPECT_EQ(all.size(), static_cast<size_t>(c.count));
    EXPECT_TRUE(std::is_sorted(s.shown.begin(), s.shown.end()));
    // Evenly: no two gaps between shown photos differ by more than one.
    int low = c.count, high = 0;
    for (size_t i = 1; i < s.shown.size(); ++i) low = std::min(low, s.shown[i] - s.shown[i - 1]), high = std::max(high, s.shown[i] - s.shown[i - 1]);
    if (s.shown.size() > 1) {
      EXPECT_LE(high - low, 1);
    }
  }
}

TEST(PhotoSelection, APoorPhotoGivesWayToAGoodOneNearIt) {
  // 100 photos, room for 10; every third one blurred, and the last one too.
  std::vector<bool> poor(100, false);
  for (int i = 0; i < 100; i += 3) poor[i] = true;
  poor[99] = true;
  const PhotoSelection s = select_photos(100, 10, poor);
  ASSERT_EQ(s.shown.size(), 10u);
  EXPECT_EQ(s.shown.front(), 0);  // the ends stay, poor or not
  EXPECT_EQ(s.shown.back(), 99);
  for (size_t k = 1; k + 1 < s.shown.size(); ++k) {
    EXPECT_FALSE(poor[s.shown[k]]) << s.shown[k];
    EXPECT_NEAR(s.shown[k], k * 11.0, 5) << "the spread stays even";
  }
}

// A made-up grey picture: smooth shapes, with `detail` of fine texture, brightness `level`, the
// shapes moved `shift` pixels to the right.
std::vector<uint8_t> picture(int w, int h, int seed, double detail, double level = 128, int shift = 0) {
  std::vector<uint8_t> p(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double u = static_cast<double>(x - shift) / w, v = static_cast<double>(y) / h;
      const double shape = level / 2.5 * std::sin(6.3 * u * (1 + seed % 3) + seed) * std::cos(4.1 * v * (1 + seed % 5));
      const double fine = detail * (((x * 7919 + y * 104729 + seed * 31) % 17) / 8.0 - 1);
      p[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(std::clamp(level + shape + fine, 0.0, 255.0));
    }
  return p;
}

PhotoCandidate candidate(const std::vector<uint8_t>& grey, int w, int h, const char* path, const char* taken = "") {
  const PhotoLooks l = look_at(grey.data(), w, h);
  PhotoCandidate c{path, taken, w * 8, h * 8};
  c.hash = l.hash, c.vertical_hash = l.vertical_hash, c.sharpness = l.sharpness, c.detail = l.detail, c.luma = l.luma,
  c.dark = l.dark;
  return c;
}

TEST(PhotoQuality, BlurredDarkAndBlankAreToldApart) {
  EXPECT_EQ(photo_flaw(candidate(picture(480, 320, 1, 20), 480, 320, "sharp")), "");
  EXPECT_EQ(photo_flaw(candidate(picture(480, 320, 1, 0), 480, 320, "smooth")), "blurred");
  EXPECT_EQ(photo_flaw(candidate(picture(480, 320, 1, 4, 5), 480, 320, "night")), "nearly black");
  EXPECT_EQ(photo_flaw(candidate(std::vector<uint8_t>(480 * 320, 240), 480, 320, "page")), "without detail");
  EXPECT_EQ(taken_seconds("2024:06:01 00:00:10") - taken_seconds("2024:05:31 23:59:55"), 15);
  EXPECT_EQ(taken_seconds("2024:03:01 00:00:00") - taken_seconds("2024:02:28 00:00:00"), 2 * 86400);  // a leap year
  EXPECT_LT(taken_seconds(""), 0);
}

TEST(PhotoQuality, EachPictureOnceTheBestOfItsGroupAtTheFirstPlace) {
  const int W = 480, H = 320;
  std::vector<PhotoCandidate> photos = {
      candidate(picture(W, H, 1, 20), W, H, "a.jpg", "2024:06:01 10:00:00"),
      // The same picture under another name, half the size, an hour later.
      candidate(picture(W, H, 1, 20), W, H, "a_copy.jpg", "2024:06:01 11:00:00"),
      // A burst: three shots within seconds, the subject moving, the second the sharpest.
      candidate(picture(W, H, 2, 8, 128, 0), W, H, "b1.jpg", "2024:06:01 12:00:00"),
      candidate(picture(W, H, 2, 30, 128, 18), W, H, "b2.jpg", "2024:06:01 12:00:01"),
      candidate(picture(W, H, 2, 12, 128, 36), W, H, "b3.jpg", "2024:06:01 12:00:02"),
      // As alike as the burst's shots (moved on a little further), but taken a day later.
      candidate(picture(W, H, 2, 12, 128, 36), W, H, "c.jpg", "2024:06:02 12:00:00"),
      // A black and a white page hash alike; they are not one picture.
      candidate(std::vector<uint8_t>(W * H, 3), W, H, "black.jpg"),
      candidate(std::vector<uint8_t>(W * H, 250), W, H, "white.jpg"),
      candidate(picture(W, H, 3, 20), W, H, "d.jpg"),
  };
  photos[1].width /= 2, photos[1].height /= 2;
  // The shots of the burst are not one picture, only alike.
  const auto distance = [&](int i, int j) {
    return hash_distance(photos[i].hash, photos[j].hash) + hash_distance(photos[i].vertical_hash, photos[j].vertical_hash);
  };
  for (int shift = 37; shift < 200 && !(distance(4, 5) > 10 && distance(4, 5) <= 22); ++shift)
    photos[5] = candidate(picture(W, H, 2, 12, 128, shift), W, H, "c.jpg", "2024:06:02 12:00:00");
  for (int i : {2, 3, 4}) {
    EXPECT_GT(distance(i, i + 1), 10) << i;
    EXPECT_LE(distance(i, i + 1), 22) << i;
  }
  const Duplicates d = find_duplicates(photos);
  std::vector<std::string> kept, repeats;
  for (size_t i = 0; i < photos.size(); ++i)
    (d.same_as[i] < 0 ? kept : repeats).push_back(photos[i].path + (d.same_as[i] < 0 ? "" : " of " + photos[d.same_as[i]].path));
  EXPECT_EQ(kept, (std::vector<std::string>{"a.jpg", "b2.jpg", "c.jpg", "black.jpg", "white.jpg", "d.jpg"}));
  EXPECT_EQ(repeats, (std::vector<std::string>{"a_copy.jpg of a.jpg", "b1.jpg of b2.jpg", "b3.jpg of b2.jpg"}));
}

TEST(CatalogueAccents, EachInItsRoleAndTypeSpreadOverTheSet) {
  for (int count : {1, 2, 9, 200}) {
    SCOPED_TRACE(count);
    const std::vector<CatalogueAccent> accents = plan_accents(count, 0);
    std::set<int> photos;
    for (const CatalogueAccent& a : accents) {
      EXPECT_EQ(a.role, ENTRY_ROLES[a.index]);
      EXPECT_GE(a.photo, 0);
      EXPECT_LT(a.photo, count);
      // Cut-outs need alpha, so they are PNG entries.
      if (a.role != EntryRole::Backdrop) {
        EXPECT_EQ(entry_type(a.index), EntryType::Png) << a.index;
        if (count > 1) {
          EXPECT_NE(a.photo, 0) << "the backdrop's photo again in " << a.index;
        }
      }
      photos.insert(a.photo);
    }
    EXPECT_EQ(accents.size(), 6u);  // the backdrop, three cameos, the iris, the frame
    EXPECT_EQ(photos.size(), static_cast<size_t>(std::min(count, 6)));
  }
  EXPECT_EQ(ENTRY_ROLES[17], EntryRole::Backdrop);
  EXPECT_EQ(entry_file_name(5), "05.JPG");
  EXPECT_EQ(entry_file_name(40), "40.png");
}

TEST(PhotoUnits, LandscapesFillPortraitsPairPanoramasSpan) {
  // L landscape 3:2, P portrait 2:3, S square, W panorama 3:1.
  const std::map<char, double> aspect = {{'L', 1.5}, {'P', 2.0 / 3}, {'S', 1.0}, {'W', 3.0}};
  struct Case {
    const char* photos;
    const char* units;  // F fill, P pair, S solo, B band
  } cases[] = {
      {"LLL", "FFF"}, {"PP", "P"}, {"PPP", "PS"}, {"PL", "P"}, {"LP", "P"}, {"LPP", "FP"},
      {"LPL", "PF"},  {"SS", "P"}, {"W", "B"},    {"PW", "SB"}, {"WP", "BS"}, {"LPPPL", "FPP"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.photos);
    std::vector<double> aspects;
    for (const char* p = c.photos; *p; ++p) aspects.push_back(aspect.at(*p));
    std::string got;
    int next = 0;
    for (const PhotoUnit& u : group_photos(aspects)) {
      got += "FBPS"[static_cast<int>(u.kind)];
      // Every photo once, in order.
      EXPECT_EQ(u.first, next);
      next += u.photos();
      if (u.second >= 0) {
        EXPECT_EQ(u.second, u.first + 1);
      }
    }
    EXPECT_EQ(got, c.units);
    EXPECT_EQ(next, static_cast<int>(aspects.size()));
  }
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

// An analysis of `seconds` of music with nothing in it yet: level and onset strength flat, no
// beats or onsets; each test marks what its song holds.
AudioAnalysis quiet_analysis(double seconds) {
  AudioAnalysis a;
  a.duration = seconds;
  const size_t frames = static_cast<size_t>(seconds / a.frame_seconds);
  a.loudness.assign(frames, -20.f);
  a.flux.assign(frames, 0.f);
  a.low_flux.assign(frames, 0.f);
  return a;
}

// A beat tracker's output for a steady song: beats every `period` from `start`, jittered, with a
// stretch locked half a beat off, and onsets on every beat.
AudioAnalysis steady_song(double bpm, double seconds) {
  AudioAnalysis a = quiet_analysis(seconds);
  const double period = 60.0 / bpm;
  int k = 0;
  for (double t = 0; t < seconds; t += period, ++k) {
    const double jitter = 0.008 * ((k * 7919) % 5 - 2) / 2.0;
    const bool off = t > 20 && t < 28;
    a.beats.push_back(t + jitter + (off ? period / 2 : 0));
    a.onsets.push_back(t);
  }
  const size_t frames = a.loudness.size();
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
    AudioAnalysis a = quiet_analysis(seconds);
    const size_t frames = a.loudness.size();
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

// A drum part as the analysis hears it: a kick on every beat (low band and onset strength), hats
// on every off-beat and sixteenth (onset strength only, as strong as the kick's: busy off-beats),
// and the tracker's beats at `tracked_bpm` from `tracked_phase` seconds.
AudioAnalysis drum_part(double bpm, double tracked_bpm, double tracked_phase, double seconds = 120) {
  AudioAnalysis a = quiet_analysis(seconds);
  const size_t frames = a.loudness.size();
  const double beat = 60.0 / bpm;
  int k = 0;
  for (double t = 0; t < seconds; t += beat / 4, ++k) {
    const size_t i = static_cast<size_t>(t / a.frame_seconds + 0.5);
    if (i >= frames) break;
    a.onsets.push_back(t);
    a.flux[i] = k % 4 == 2 ? 1.5f : 1.f;
    if (k % 4 == 0) a.low_flux[i] = 10.f;
  }
  for (double t = tracked_phase; t < seconds; t += 60.0 / tracked_bpm) a.beats.push_back(t);
  return a;
}

// The share of the music's beats with a beat of the map within 20 ms.
double beats_kept(const MusicMap& m, double bpm, double seconds) {
  int near = 0, total = 0;
  for (double t = 0; t < seconds - 1; t += 60.0 / bpm, ++total) {
    double best = 1;
    for (double b : m.beats) best = std::min(best, std::abs(b - t));
    near += best < 0.02;
  }
  return static_cast<double>(near) / total;
}

TEST(MusicMap, ARivalTempoWinsOnlyCatchingClearlyMoreStrongOnsets) {
  struct Case {
    const char* what;
    double bpm, tracked_bpm, tracked_phase, given, expect;
  } cases[] = {
      // Busy off-beats do not make three halves of the tempo.
      {"tracker right, busy off-beats", 90, 90, 0, 0, 90},
      {"tracker at three halves", 90, 135, 0, 0, 90},
      {"tracker at two thirds", 140, 140.0 * 2 / 3, 0.1, 0, 140},
      // Given, the tempo stands and the phase comes from the onsets, whatever the tracker heard:
      // here it follows the off-beat hats at another tempo.
      {"given, tracker at three halves", 90, 135, 0.333, 90, 90},
      {"given, tracker on the off-beats", 90, 90, 0.333, 90, 90},
      {"given, tracker elsewhere", 128, 97, 0.21, 128, 128},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const MusicMap m = map_music(drum_part(c.bpm, c.tracked_bpm, c.tracked_phase), 4, c.given, c.given > 0);
    ASSERT_TRUE(m.steady) << m.note;
    EXPECT_NEAR(m.bpm, c.expect, c.expect * 0.005);
    EXPECT_GE(beats_kept(m, c.bpm, 120), 0.95);
    EXPECT_GT(m.confidence, 0.5);
    // Said in one line: the tempo, whether given, and how sure.
    char tempo[32];
    std::snprintf(tempo, sizeof tempo, "%.1f beats a minute%s, ", c.expect, c.given > 0 ? " as given" : "");
    const std::string said = describe_tempo(m, c.given > 0);
    EXPECT_EQ(said.rfind(tempo, 0), 0u) << said;
    EXPECT_NE(said.find("% of the strong onsets"), std::string::npos) << said;
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
    EXPECT_EQ(describe_tempo(m, given), m.note);
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

TEST(MusicJoin, EachSongKeepsItsGridFromCrossfadeToCrossfade) {
  // Three songs, the second and third starting 2 s before the one before ends.
  const std::vector<SongPart> parts = {{"a.ogg", song_map(90, 60), 0}, {"b.mp3", song_map(128, 40), 57}, {"c.flac", song_map(72, 50), 94}};
  for (double length : {0.0, 120.0}) {
    SCOPED_TRACE(length);
    const MusicMap m = join_songs(parts, 2, length);
    ASSERT_EQ(m.songs.size(), 3u);
    EXPECT_TRUE(std::is_sorted(m.beats.begin(), m.beats.end()));
    // Every beat is its own song's, that song holding the music from the middle of one crossfade to
    // the next's.
    for (double b : m.beats) {
      const int song = b < 58 ? 0 : b < 95 ? 1 : 2;
      const double period = 60 / parts[song].map.bpm, r = std::fmod(b - parts[song].start - 0.3, period);
      EXPECT_LT(std::min(r, period - r), 1e-9) << "beat at " << b;
      EXPECT_EQ(m.bpm_at(b), parts[song].map.bpm);
    }
    // Each song's first bar begins a section.
    for (const SongSpan& s : m.songs) {
      EXPECT_TRUE(std::any_of(m.sections.begin(), m.sections.end(), [&](const Section& x) { return x.first_bar == s.first_bar; }))
          << s.name;
      EXPECT_EQ(m.bars[s.first_bar] >= s.first_beat, true);
    }
    for (size_t i = 1; i < m.sections.size(); ++i) EXPECT_GT(m.sections[i].first_bar, m.sections[i - 1].first_bar);
    EXPECT_EQ(m.sections.front().first_bar, 0);
    EXPECT_NEAR(m.end, length > 0 ? length : 94 + 49, 1e-9);
    EXPECT_LT(m.beats.back(), m.end);
  }
}

TEST(BeatTimes, EveryRowWrittenOnItsSongsGridReadsBackToItself) {
  const std::vector<SongPart> parts = {{"a.ogg", song_map(90, 60), 0}, {"b.mp3", song_map(128, 40), 57}};
  for (const MusicMap& m : {song_map(97.3, 60), join_songs(parts, 2, 0)}) {
    const BeatTimes times(m);
    const ShowText grid = parse_show_text(times.grid_lines(), "grid");
    ASSERT_TRUE(grid.errors.empty()) << grid.errors[0];
    for (int row = 0; row < row_of(m.end); ++row) {
      const std::string text = times.text(row);
      std::string why;
      ASSERT_EQ(row_of_time(text, grid, why), std::optional<int32_t>(row)) << text;
    }
    // A beat of the music is written as its bar and beat, nothing more.
    for (size_t i = 0; i < m.beats.size(); i += 7) {
      const std::string text = times.text(row_of(m.beats[i]));
      EXPECT_EQ(text.find('.'), std::string::npos) << text;
      EXPECT_NE(text.find(':'), std::string::npos) << text;
    }
  }
  // The second song's grid from its first bar after the crossfade (57.3 s + 4 beats of 0.46875 s),
  // numbered on from the first song's bars of 2.667 s from 0.3 s: the 23 before it make it bar 24.
  EXPECT_EQ(BeatTimes(join_songs(parts, 2, 0)).text(row_of(59.175)), "24:1");
  EXPECT_EQ(BeatTimes(join_songs(parts, 2, 0)).text(row_of(59.175 + 0.46875)), "24:2");
}

TEST(CutPlan, EveryUnitOnABeatInOrderLongHoldsOnBarLines) {
  struct Case {
    double bpm, seconds;
    int units;
    double hold;
  } cases[] = {{72, 90, 12, 5.0}, {120, 90, 30, 2.4}, {174, 90, 36, 2.4}, {128, 300, 60, 5.0}, {96, 60, 3, 2.4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.bpm) + " bpm, " + std::to_string(c.units) + " units");
    const MusicMap m = song_map(c.bpm, c.seconds);
    std::vector<double> weights(c.units, 1.0);
    for (int i = 0; i < c.units; i += 3) weights[i] = 1.6;
    const Pacing pacing{c.hold, 2 * c.hold};
    const int last = row_of(m.end) - 40;
    const std::vector<Slot> slots = plan_slots(m, weights, pacing, last);
    std::map<int, int> beat_at_row;  // row → beat index
    for (size_t i = 0; i < m.beats.size(); ++i) beat_at_row[row_of(m.beats[i])] = static_cast<int>(i);
    ASSERT_GE(slots.size(), static_cast<size_t>(c.units));
    EXPECT_EQ(slots.front().row, 0);
    EXPECT_EQ(slots.back().end, last);
    for (size_t k = 0; k < slots.size(); ++k) {
      const Slot& s = slots[k];
      EXPECT_EQ(s.unit, static_cast<int>(k % c.units)) << "units in order, round again only when all were shown";
      EXPECT_GE(s.end - s.row, 8) << "slot " << k;
      if (k == 0) continue;
      EXPECT_EQ(s.row, slots[k - 1].end);
      ASSERT_TRUE(beat_at_row.count(s.row)) << "slot " << k << " at row " << s.row << " is off the beat";
      // Holds of two bars and more change on bar lines.
      const double bar_rows = 4 * 1200 / c.bpm;
      if (s.end - s.row >= 2 * bar_rows && slots[k - 1].end - slots[k - 1].row >= 2 * bar_rows) {
        EXPECT_EQ(beat_at_row[s.row] % 4, 0) << "slot " << k;
      }
    }
    // Too few units for the music: they come round again rather than being held for ever.
    if (c.units * c.hold * 2 < c.seconds) {
      EXPECT_GT(slots.size(), static_cast<size_t>(c.units));
    // A section's first bar starts a slot.
    }
    for (size_t i = 1; i < m.sections.size(); ++i) {
      const int row = row_of(section_time(m, static_cast<int>(i)));
      EXPECT_TRUE(std::any_of(slots.begin(), slots.end(), [&](const Slot& s) { return s.row == row && s.section_start; }))
          << "section " << i << " at row " << row;
    }
  }
}

// Photos of mixed shapes, numbered from 44 as the show's open entries.
std::vector<ShowPhoto> mixed_photos(int count) {
  static constexpr double ASPECTS[] = {1.5, 2.0 / 3, 0.75, 16.0 / 9, 1.0, 3.0, 4.0 / 3, 1.5, 1.5, 0.5625, 1.25};
  std::vector<ShowPhoto> photos;
  for (int i = 0; i < count; ++i) photos.push_back({44 + i, ASPECTS[i % 11], "photo" + std::to_string(i) + ".jpg"});
  return photos;
}

ChoreographyInput input(double bpm, ShowStyle style, uint64_t seed, int photos = 30, double seconds = 90) {
  AccentEntries accents{true, {4, 12, 20}, 40, 36};
  return ChoreographyInput{song_map(bpm, seconds), mixed_photos(photos), accents, style, seed, "song.ogg", {}};
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
  // Each photo key names its file; the sections are listed once, at the top.
  EXPECT_NE(c.text.find("44        step    # photo0.jpg"), std::string::npos);
  EXPECT_EQ(std::count(c.text.begin(), c.text.end(), '\n') > 0, true);
  size_t sections = 0;
  for (size_t at = 0; (at = c.text.find(": loud", at)) != std::string::npos; ++at) ++sections;
  EXPECT_EQ(sections, 1u);
}

// What the show draws at a row, from the tracks: whether the screen is covered (a layer seen flat
// over all of it, or the backdrop), and which entries the layers show.
struct Frame {
  bool covered = false;
  int entries[2] = {-1, -1};
  double f[2] = {0, 0};
};

Frame frame_at(const ShowText& show, const std::map<int, double>& aspects, double row) {
  Frame fr;
  fr.covered = value_at(show, "happy", row) == 1;
  const char* layers[] = {"back", "beard"};
  for (int l = 0; l < 2; ++l) {
    const std::string L = layers[l];
    const double f = value_at(show, L + ".scale", row) + 1;
    if (f <= 0) continue;
    const int n = static_cast<int>(value_at(show, L + ".n", row));
    fr.entries[l] = n;
    fr.f[l] = f;
    const double a = aspects.count(n) ? aspects.at(n) : 1.0;
    const bool flat = value_at(show, L + ".rotx", row) == 0 && value_at(show, L + ".roty", row) == 0 &&
                      value_at(show, L + ".rotz", row) == 0;
    const double x = value_at(show, L + ".x", row), y = value_at(show, L + ".y", row);
    // Only a photo of the set covers the screen; the accents have holes.
    if (flat && aspects.count(n) && half_width(a, f) >= VIEW_HALF_WIDTH + std::abs(x) - 1e-3 &&
        half_height(a, f) >= VIEW_HALF_HEIGHT + std::abs(y) - 1e-3)
      fr.covered = true;
  }
  return fr;
}

TEST(Choreography, EveryPhotoOnABeatTheScreenAlwaysCoveredAtFullBrightness) {
  for (double bpm : {72.0, 120.0, 174.0})
    for (ShowStyle style : {ShowStyle::Calm, ShowStyle::Lively})
      for (uint64_t seed : {1, 2, 3}) {
        SCOPED_TRACE(std::to_string(bpm) + " bpm, seed " + std::to_string(seed) + (style == ShowStyle::Calm ? " calm" : " lively"));
        const int count = photo_capacity(90 - 1, style);
        const ChoreographyInput in = input(bpm, style, seed, count);
        const Choreography c = make_choreography(in);
        const ShowText show = parse_show_text(c.text, "show.txt");
        ASSERT_TRUE(show.errors.empty());
        // Every photo is shown, and each change is on a beat.
        EXPECT_EQ(c.shown.size(), static_cast<size_t>(count));
        std::set<int> beat_rows;
        for (double b : in.music.beats) beat_rows.insert(row_of(b));
        for (const PhotoChange& ch : c.changes) {
          if (ch.row == 0) continue;
          EXPECT_TRUE(beat_rows.count(ch.row)) << "a change at row " << ch.row << " is off the beat";
          EXPECT_EQ(static_cast<int>(value_at(show, ch.layer + ".n", ch.row)), ch.entry);
        }
        std::map<int, double> aspects;
        for (const ShowPhoto& p : in.photos) aspects[p.entry] = p.aspect;
        const int end = row_of(in.music.end);
        EXPECT_EQ(value_at(show, "happy", end), 2);
        EXPECT_LT(value_at(show, "happy", end - 1), 2);
        EXPECT_EQ(value_at(show, "beard.r", 0), 0);  // black at the start, fading in
        // Between the fades: never a frame without the screen covered, every layer at full
        // brightness, no photo on both layers, none larger than its size was made for.
        const int fade_in = 80, fade_out = end - 60;
        int uncovered = 0;
        for (double row = fade_in; row < fade_out; row += 0.5) {
          const Frame fr = frame_at(show, aspects, row);
          uncovered += !fr.covered;
          for (const char* t : {"back.r", "back.g", "back.b", "beard.r", "beard.g", "beard.b"})
            ASSERT_EQ(value_at(show, t, row), 1) << t << " at row " << row;
          if (fr.entries[0] >= 0 && fr.entries[0] == fr.entries[1]) ADD_FAILURE() << "one photo on both layers at row " << row;
          for (int l = 0; l < 2; ++l)
            if (fr.entries[l] >= 0) {
              EXPECT_LE(fr.f[l], c.largest_factor.at(fr.entries[l]) + 1e-3) << "row " << row;
            }
        }
        EXPECT_EQ(uncovered, 0);
        for (const TextTrack& t : show.tracks) {
          if (!t.name.ends_with(".scale")) continue;
          for (const TrackKey& k : t.keys) EXPECT_GE(k.value, -1) << t.name << " mirrored at row " << k.row;
        }
      }
}

TEST(Choreography, FewPhotosComeRoundAgainManyAreHeldNoLongerThanThePace) {
  // Three photos for ninety seconds: each is shown again and again, never held for ever.
  const Choreography few = make_choreography(input(120, ShowStyle::Lively, 1, 3));
  EXPECT_EQ(few.shown.size(), 3u);
  EXPECT_GT(few.changes.size(), 12u);
  // A full set at the lively pace changes about 25 photos a minute.
  const int count = photo_capacity(89, ShowStyle::Lively);
  const Choreography full = make_choreography(input(120, ShowStyle::Lively, 1, count));
  EXPECT_EQ(full.shown.size(), static_cast<size_t>(count));
}

TEST(Choreography, SameInputsSameTextStylesDiffer) {
  const ChoreographyInput in = input(120, ShowStyle::Lively, 9);
  EXPECT_EQ(make_choreography(in).text, make_choreography(in).text);
  // Four photos: both styles show them again and again, the calm one holding each longer.
  const size_t lively = make_choreography(input(120, ShowStyle::Lively, 9, 4)).changes.size();
  const size_t calm = make_choreography(input(120, ShowStyle::Calm, 9, 4)).changes.size();
  EXPECT_LT(calm * 3, lively * 2) << "calm " << calm << ", lively " << lively;
  EXPECT_NE(make_choreography(input(120, ShowStyle::Lively, 10)).text, make_choreography(in).text);
}

TEST(Choreography, PaceAndRoom) {
  EXPECT_EQ(photo_capacity(64, ShowStyle::Lively), 25);
  EXPECT_EQ(photo_capacity(64, ShowStyle::Calm), 12);
  EXPECT_EQ(photo_capacity(5, ShowStyle::Calm), 1);
  EXPECT_NEAR(music_needed(200, ShowStyle::Lively), 484, 1);
  for (int photos : {1, 25, 200}) EXPECT_GE(photo_capacity(music_needed(photos, ShowStyle::Calm), ShowStyle::Calm), photos);
}

// Each face held whole with the head around it (the detector's box runs from brow to mouth), or
// at least its bare box when that is all there is room for; the crop pinned to an edge only where
// a face lies near it.
TEST(SubjectCrop, FacesWholeCentredAndAgainstAnEdgeOnlyWhereTheyAre) {
  struct Case {
    const char* what;
    int photo_w, photo_h, crop_w, crop_h;
    std::vector<PixelBox> faces;
    std::vector<size_t> whole;  // faces held with their heads
    bool at_an_edge;
  };
  const Case cases[] = {
      {"near the right edge", 1600, 512, 512, 512, {{1440, 120, 100, 100}}, {0}, true},
      {"left of the middle", 1600, 512, 512, 512, {{300, 120, 100, 100}}, {0}, false},
      {"two that fit together", 1600, 512, 512, 512, {{500, 100, 90, 90}, {760, 140, 110, 110}}, {0, 1}, false},
      {"two far apart: the larger", 1600, 512, 512, 512, {{100, 100, 80, 80}, {1100, 100, 120, 120}}, {1}, false},
      {"a small one beside a large", 1600, 512, 512, 512, {{900, 200, 60, 60}, {600, 120, 200, 200}}, {0, 1}, false},
      {"high in a portrait", 512, 1600, 512, 512, {{200, 300, 100, 100}}, {0}, false},
      {"at the top of a portrait", 512, 1600, 512, 512, {{200, 10, 100, 100}}, {0}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const CropCorner at = crop_around_faces(c.photo_w, c.photo_h, c.crop_w, c.crop_h, c.faces);
    ASSERT_GE(at.left, 0);
    ASSERT_GE(at.top, 0);
    ASSERT_LE(at.left + c.crop_w, c.photo_w);
    ASSERT_LE(at.top + c.crop_h, c.photo_h);
    for (size_t i : c.whole) {
      const PixelBox& f = c.faces[i];
      EXPECT_LE(at.left, std::max(0, f.left - f.width / 4)) << "face " << i;
      EXPECT_GE(at.left + c.crop_w, std::min(c.photo_w, f.left + f.width + f.width / 4)) << "face " << i;
      EXPECT_LE(at.top, std::max(0, f.top - f.height * 2 / 5)) << "face " << i;
      EXPECT_GE(at.top + c.crop_h, std::min(c.photo_h, f.top + f.height + f.height / 4)) << "face " << i;
    }
    // Along the photo's long side, where the crop has room to move.
    const bool edge = c.photo_w > c.crop_w ? at.left == 0 || at.left + c.crop_w == c.photo_w
                                           : at.top == 0 || at.top + c.crop_h == c.photo_h;
    EXPECT_EQ(edge, c.at_an_edge);
  }
  // A face larger than the crop: the crop on its middle.
  const CropCorner big = crop_around_faces(1600, 512, 400, 400, {{700, 0, 500, 500}});
  EXPECT_NEAR(big.left + 200, 950, 1);
  // The faces sit above the crop's middle: the body below belongs to the picture too.
  const CropCorner portrait = crop_around_faces(512, 1600, 512, 512, {{200, 600, 100, 100}});
  EXPECT_GT(portrait.top + 256, 650 + 20);
}

TEST(SubjectCrop, AttentionSpotPullsTheCropAThirdOfTheWayBackToTheMiddle) {
  // Spot, expected left edge of a 512 square in a 1600 × 512 photo.
  const std::pair<int, int> cases[] = {{800, 544}, {1590, 1070}, {1200, 810}, {0, 10}, {400, 277}};
  for (const auto& [x, left] : cases) {
    const CropCorner at = crop_around_point(1600, 512, 512, 512, x, 256);
    EXPECT_EQ(at.left, left) << x;
    EXPECT_EQ(at.top, 0);
  }
}

}  // namespace
