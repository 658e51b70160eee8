// hallshow-make on a folder as a phone fills one: 200 photos of every shape (portraits stored on
// their side with an EXIF orientation, squares, panoramas), one of them twice under two names and
// one tiny, and a playlist of two songs at different tempi. Captured frame by frame, the show draws
// every distinct photo, the duplicate once, none stretched, the portraits upright, the screen
// filled, every cut on a beat of the song playing; and what it prints and lists is what it shows.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "tests/photos/test_images.h"
#include "tests/support/file_contents.h"
#include "tests/support/gl_harness.h"
#include "tests/tools/made_show.h"
#include "tools/capture/storyboard.h"

namespace fs = std::filesystem;

namespace {

const fs::path WORK = MAKE_EVERY_DIR;
const std::string MAKE = MAKE_PATH, CAPTURE = CAPTURE_PATH, MUSIC = DEMO_MUSIC_PATH;

#ifdef UNDER_SANITIZER
constexpr int PHOTOS = 40;  // the sanitizers make everything ten times as slow
#else
constexpr int PHOTOS = 200;
#endif
constexpr int TINY = PHOTOS / 2, DOUBLED = PHOTOS * 3 / 4;
constexpr double BPM_A = 100, BPM_B = 128;
// Frames a storyboard keeps at their own size; a frame every 8 rows, the shortest hold, in
// storyboards of at most 150 frames (each a picture of about 90 MB).
constexpr int FRAME_W = 480, FRAME_H = 270, EVERY = 8, BOARD_FRAMES = 150;

int run(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Photo i's own colour: one of 6 × 6 × 6, none white (the disk) and none black (the band).
teximg::Rgba colour_of(int i) {
  static constexpr uint8_t LEVELS[] = {30, 75, 120, 165, 210, 250};
  return {LEVELS[i % 6], LEVELS[i / 6 % 6], LEVELS[i / 36 % 6], 255};
}

// The photo whose colour `p` is, -1 for none.
int photo_of(gltest::Rgba p) {
  static constexpr int LEVELS[] = {30, 75, 120, 165, 210, 250};
  int index[3];
  const int channel[3] = {p.r, p.g, p.b};
  for (int c = 0; c < 3; ++c) {
    index[c] = -1;
    for (int k = 0; k < 6; ++k)
      if (std::abs(channel[c] - LEVELS[k]) <= 18) index[c] = k;
    if (index[c] < 0) return -1;
  }
  const int i = index[0] + 6 * index[1] + 36 * index[2];
  return i < PHOTOS ? i : -1;
}

// The shapes photos come in, by i % 10: width, height as stored, and whether stored on its side.
struct Shape {
  int w, h;
  bool on_side;
};
constexpr Shape SHAPES[10] = {{1200, 800, false}, {1200, 800, false}, {1200, 800, false}, {1200, 900, false},
                              {1280, 720, false}, {1200, 800, true},  {1200, 800, true},  {900, 1200, false},
                              {1000, 1000, false}, {1500, 500, false}};

bool portrait(int i) { return i != TINY && (i % 10 == 5 || i % 10 == 6 || i % 10 == 7); }
double upright_aspect(int i) {
  if (i == TINY) return 1.5;
  const Shape s = SHAPES[i % 10];
  return s.on_side ? static_cast<double>(s.h) / s.w : static_cast<double>(s.w) / s.h;
}

// Gives a JPEG an EXIF block holding only an orientation, as a camera held upright writes one.
void add_exif_orientation(const fs::path& jpeg, int orientation) {
  std::string bytes = file_contents(jpeg);
  const std::string tiff = std::string("MM\0\x2a\0\0\0\x08", 8) + std::string("\0\x01", 2) +
                           std::string("\x01\x12\0\x03\0\0\0\x01\0", 9) + static_cast<char>(orientation) +
                           std::string("\0\0", 2) + std::string(4, '\0');
  const std::string payload = std::string("Exif\0\0", 6) + tiff;
  const size_t length = payload.size() + 2;
  bytes.insert(2, std::string("\xFF\xE1", 2) + static_cast<char>(length >> 8) + static_cast<char>(length & 0xFF) + payload);
  std::ofstream(jpeg, std::ios::binary) << bytes;
}

// Photo i: its colour, a white disk in the middle, a nearly black band along its top (upright), and
// grey blocks of its own, so that no two photos look alike; stored turned a quarter clockwise with
// orientation 6 when it is one a phone stores on its side.
void write_photo(int i, const fs::path& path) {
  const Shape s = i == TINY ? Shape{90, 60, false} : SHAPES[i % 10];
  const int uw = s.on_side ? s.h : s.w, uh = s.on_side ? s.w : s.h;  // upright
  const teximg::Rgba c = colour_of(i);
  uint32_t seed = 2654435761u * static_cast<uint32_t>(i + 1);
  auto next = [&] { return (seed = seed * 1664525u + 1013904223u) >> 8 & 1023; };
  double blocks[7][4];  // left, top, width, height
  for (auto& b : blocks)
    b[2] = 0.1 + next() / 1024.0 * 0.25, b[3] = 0.1 + next() / 1024.0 * 0.25, b[0] = next() / 1024.0 * (1 - b[2]),
    b[1] = 0.1 + next() / 1024.0 * (0.9 - b[3]);
  const double disk_x = 0.38 + next() / 1024.0 * 0.24;
  auto upright = [&](int x, int y) {
    const double dx = x - uw * disk_x, dy = y - uh / 2.0, r = 0.2 * std::min(uw, uh);
    if (dx * dx + dy * dy < r * r) return teximg::Rgba{255, 255, 255, 255};
    if (y < uh / 12) return teximg::Rgba{20, 20, 20, 255};
    for (const auto& b : blocks)
      if (x >= b[0] * uw && x < (b[0] + b[2]) * uw && y >= b[1] * uh && y < (b[1] + b[3]) * uh)
        return teximg::Rgba{100, 100, 100, 255};  // a grey between the colours' levels
    return c;
  };
  // Stored on its side, as orientation 6 has it: turned a quarter clockwise it is upright, so
  // stored (x, y) is upright (uw - 1 - y, x).
  auto stored = [&](int x, int y) { return s.on_side ? upright(uw - 1 - y, x) : upright(x, y); };
  ASSERT_TRUE(teximg::write_jpeg(path.string(), s.w, s.h, stored, 92));
  if (s.on_side) add_exif_orientation(path, 6);
}

char name_buf[32];
std::string photo_name(int i) {
  std::snprintf(name_buf, sizeof name_buf, "p%03d.jpg", i);
  return name_buf;
}

int bars_for(double seconds, double bpm) { return static_cast<int>(std::ceil(seconds * bpm / 240)); }

class MakeEveryPhoto : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    fs::remove_all(WORK);
    fs::create_directories(WORK / "photos");
    for (int i = 0; i < PHOTOS; ++i) write_photo(i, WORK / "photos" / photo_name(i));
    // The same picture under a second name, read right after the first.
    fs::copy_file(WORK / "photos" / photo_name(DOUBLED), WORK / "photos" / (photo_name(DOUBLED) + ".copy.jpg"));
    // Music for every photo at the lively pace (25 a minute), in two songs.
    const double seconds = (PHOTOS - 1) * 60.0 / 25 + 20;
    ASSERT_EQ(run(MUSIC + " " + (WORK / "a.wav").string() + " 100 " + std::to_string(bars_for(seconds * 0.52, BPM_A))), 0);
    ASSERT_EQ(run(MUSIC + " " + (WORK / "b.wav").string() + " 128 " + std::to_string(bars_for(seconds * 0.5, BPM_B))), 0);
    status_ = run("cd " + WORK.string() + " && " + MAKE + " photos --music a.wav --music b.wav --out show >out.txt 2>err.txt");
    if (status_ != 0) return;
    // The whole show, frame by frame.
    const double end_row = MadeShow(WORK / "show").keys("happy").back().row;
    for (int from = 0, part = 0; from < end_row; from += BOARD_FRAMES * EVERY, ++part) {
      const fs::path board = WORK / ("board" + std::to_string(part) + ".png");
      ASSERT_EQ(run("cd " + (WORK / "show").string() + " && SDL_AUDIODRIVER=dummy " + CAPTURE + " --storyboard " +
                    board.string() + " --every " + std::to_string(EVERY) + "r --from " + std::to_string(from) +
                    "r --to " + std::to_string(std::min<double>(from + BOARD_FRAMES * EVERY, end_row)) + "r --size " +
                    std::to_string(FRAME_W) + "x" + std::to_string(FRAME_H) + " >/dev/null 2>" + WORK.string() + "/capture_err.txt"),
                0)
          << file_contents(WORK / "capture_err.txt");
      boards_.push_back({from, board});
    }
  }

  static inline int status_ = -1;
  static inline std::vector<std::pair<int, fs::path>> boards_;  // first row, picture
};

// The source photo's number of an entry's file name ("p042.jpg" → 42), -1 for none.
int number_of(const std::string& source) {
  if (source.size() < 8 || source[0] != 'p') return -1;
  return std::atoi(source.c_str() + 1);
}

TEST_F(MakeEveryPhoto, EveryPhotoOnceWholeUprightOnAFilledScreen) {
  ASSERT_EQ(status_, 0) << file_contents(WORK / "err.txt");
  const MadeShow show(WORK / "show");
  // One open entry for each distinct photo, the duplicate listed as such, each entry at its
  // photo's upright shape.
  std::set<int> entries;
  for (const auto& [entry, aspect] : show.aspects()) {
    if (show.card(entry)) continue;  // the title's, which fades through its fainter copies
    const int i = number_of(show.source(entry));
    ASSERT_GE(i, 0) << entry;
    EXPECT_TRUE(entries.insert(i).second) << "photo " << i << " twice";
    EXPECT_NEAR(aspect / upright_aspect(i), 1.0, 0.02) << "photo " << i << " stretched";
  }
  EXPECT_EQ(entries.size(), static_cast<size_t>(PHOTOS));
  const std::string listing = file_contents(WORK / "show/photos.txt");
  EXPECT_NE(listing.find("duplicate  photos/" + photo_name(DOUBLED) + ".copy.jpg  of photos/" + photo_name(DOUBLED)),
            std::string::npos);
  EXPECT_NE(listing.find("warning  photos/" + photo_name(TINY) + "  90x60 pixels, small"), std::string::npos);
  EXPECT_NE(file_contents(WORK / "out.txt").find("made: " + std::to_string(PHOTOS) + " photos,"), std::string::npos);

  // Frame by frame: where each layer lies, the tracks say; what it shows there, its colour.
  std::set<int> seen;
  std::vector<double> lit;
  int wrong = 0, upright = 0, round = 0;
  Storyboard layout(FRAME_W, FRAME_H);
  const double unit = layout.cell_height() / 2 / MadeShow::H;  // pixels a unit
  for (const auto& [first_row, path] : boards_) {
    const gltest::Frame board = gltest::read_png(path);
    for (int c = 0; layout.cell_y(c) + layout.cell_height() <= board.height; ++c) {
      const double row = first_row + c * EVERY;
      const int x0 = layout.cell_x(c), y0 = layout.cell_y(c), w = layout.cell_width(), h = layout.cell_height();
      if (row > show.keys("happy").back().row) break;
      int lit_pixels = 0;
      for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x) {
          const gltest::Rgba p = board.at(x, y);
          lit_pixels += 0.299 * p.r + 0.587 * p.g + 0.114 * p.b > 12;
        }
      lit.push_back(static_cast<double>(lit_pixels) / (w * h));
      const MadeShow::Layer back = show.layer("back", row), beard = show.layer("beard", row);
      if (!back.flat || !beard.flat) continue;
      // Each layer that shows a photo, judged on the part of it nothing covers.
      for (const MadeShow::Layer* l : {&beard, &back}) {
        const int expected = number_of(show.source(l->entry));
        if (!l->drawn || expected < 0) continue;
        const bool under = l == &back && beard.drawn;
        // Behind the iris or a photo covering the screen; in the fades, where colours are dimmed.
        if (under && (beard.entry == 36 || (beard.entry >= 44 && MadeShow::covers(beard)))) continue;
        if (show.value(l == &back ? "back.r" : "beard.r", row) != 1) continue;
        double left = w / 2.0 + (l->x - l->half_width) * unit, right = w / 2.0 + (l->x + l->half_width) * unit;
        double top = h / 2.0 - (l->y + l->half_height) * unit, bottom = h / 2.0 - (l->y - l->half_height) * unit;
        if (under && beard.entry == 40) {  // through the frame's window only
          left = std::max(left, w / 2.0 - 0.6 * beard.half_width * unit), right = std::min(right, w / 2.0 + 0.6 * beard.half_width * unit);
        }
        std::map<int, int> votes;
        int voters = 0, dark_top = 0, top_pixels = 0;
        double sx = 0, sy = 0, sxx = 0, syy = 0;
        int disk = 0;
        bool disk_cut = false;  // the disk reaches the edge of what is judged: cut off there
        const bool whole = left >= 0 && top >= 0 && right <= w && bottom <= h;
        for (int y = std::max(0, static_cast<int>(top)); y < std::min(h, static_cast<int>(bottom)); ++y)
          for (int x = std::max(0, static_cast<int>(left)); x < std::min(w, static_cast<int>(right)); ++x) {
            // Away from the edges, where filtering mixes it with what lies around it.
            if (x < left + 2 || x > right - 3 || y < top + 2 || y > bottom - 3) continue;
            if (under && beard.drawn) {
              const double bx = w / 2.0 + beard.x * unit, by = h / 2.0 - beard.y * unit;
              if (std::abs(x - bx) <= beard.half_width * unit + 2 && std::abs(y - by) <= beard.half_height * unit + 2 &&
                  beard.entry != 40)
                continue;
            }
            const gltest::Rgba p = board.at(x0 + x, y0 + y);
            const int id = photo_of(p);
            if (id >= 0) ++votes[id], ++voters;
            if (p.r > 235 && p.g > 235 && p.b > 235) {
              ++disk, sx += x, sy += y, sxx += double(x) * x, syy += double(y) * y;
              disk_cut = disk_cut || x < left + 4 || x > right - 5 || y < top + 4 || y > bottom - 5 || x < 3 || y < 3 ||
                         x > w - 4 || y > h - 4;
            }
            if (whole && y < top + (bottom - top) / 14) ++top_pixels, dark_top += p.r + p.g + p.b < 100;
          }
        if (voters < 30) continue;
        if (votes[expected] < 0.7 * voters) {
          ++wrong;
          ADD_FAILURE() << "at row " << row << " the layer of entry " << l->entry << " should show photo " << expected;
          continue;
        }
        seen.insert(expected);
        // Not stretched: the disk, when it is large and nothing covers it, is round.
        if (disk >= 1500 && !under && !disk_cut) {
          const double mx = sx / disk, my = sy / disk;
          const double aspect = std::sqrt((sxx / disk - mx * mx) / (syy / disk - my * my));
          ++round;
          EXPECT_NEAR(aspect, 1.0, 0.02) << "photo " << expected << " at row " << row << " is stretched";
        }
        // Upright: a portrait shown whole has its black band on top.
        if (portrait(expected) && whole && top_pixels > 20) {
          ++upright;
          EXPECT_GT(dark_top, 0.8 * top_pixels) << "photo " << expected << " at row " << row << " is not upright";
        }
      }
    }
  }
  for (int i = 0; i < PHOTOS; ++i) EXPECT_TRUE(seen.count(i)) << "photo " << i << " never seen";
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(round, 10);
  EXPECT_GT(upright, 10);
  std::sort(lit.begin(), lit.end());
  EXPECT_GE(lit[lit.size() / 2], 0.85) << "the screen is not filled";
}

TEST_F(MakeEveryPhoto, CutsOnTheBeatsOfBothSongs) {
  ASSERT_EQ(status_, 0);
  const MadeShow show(WORK / "show");
  // Song B begins two seconds before A ends (the crossfade) and takes over halfway through it.
  const double a_seconds = static_cast<double>(fs::file_size(WORK / "a.wav") - 44) / (44100 * 4);
  const double b_start = a_seconds - 2;
  const std::string err = file_contents(WORK / "err.txt");
  EXPECT_NE(err.find("a.wav: 100.0 beats a minute"), std::string::npos) << err;
  EXPECT_NE(err.find("b.wav: 128.0 beats a minute"), std::string::npos) << err;
  int cuts = 0, in_b = 0;
  for (const char* layer : {"back", "beard"})
    for (const TrackKey& k : show.keys(std::string(layer) + ".n")) {
      if (k.row == 0 || !show.seen(layer, k.row) || show.card(static_cast<int>(k.value))) continue;
      const double t = k.row / 20.0;
      const bool b = t >= b_start + 1;
      const double period = 60 / (b ? BPM_B : BPM_A), from = b ? b_start : 0;
      const double off = std::remainder(t - from, period);
      ++cuts, in_b += b;
      EXPECT_LE(std::abs(off), 0.05) << layer << " cuts at " << t << "s, " << off << "s off the beat of song " << (b ? "b" : "a");
    }
  EXPECT_GT(cuts, PHOTOS / 2);
  EXPECT_GT(in_b, PHOTOS / 5);
}

TEST_F(MakeEveryPhoto, WithLittleMusicAnEvenSpreadKeepsTheFirstAndTheLastAndSaysSo) {
  ASSERT_EQ(status_, 0);
  // A minute of music has room for about 25.
  ASSERT_EQ(run(MUSIC + " " + (WORK / "short.wav").string() + " 120 30"), 0);
  ASSERT_EQ(run("cd " + WORK.string() + " && " + MAKE + " photos --music short.wav --out short >short_out.txt 2>short_err.txt"), 0);
  const MadeShow show(WORK / "short");
  std::set<int> shown;
  for (const auto& [entry, aspect] : show.aspects())
    if (!show.card(entry)) shown.insert(number_of(show.source(entry)));
  EXPECT_TRUE(shown.count(0)) << "the first photo is left out";
  EXPECT_TRUE(shown.count(PHOTOS - 1)) << "the last photo is left out";
  EXPECT_GT(shown.size(), 20u);
  EXPECT_LT(shown.size(), 32u);
  // What is printed is what is shown, and how much music would show them all.
  const std::string n = std::to_string(shown.size()), left = std::to_string(PHOTOS - shown.size());
  EXPECT_NE(file_contents(WORK / "short_out.txt").find("made: " + n + " photos (" + left + " left out)"), std::string::npos)
      << file_contents(WORK / "short_out.txt");
  const std::string err = file_contents(WORK / "short_err.txt");
  EXPECT_NE(err.find(n + " of the " + std::to_string(PHOTOS) + " photos are shown"), std::string::npos) << err;
  EXPECT_NE(err.find("would show them all"), std::string::npos) << err;
  // Every photo left out is listed.
  const std::string listing = file_contents(WORK / "short/photos.txt");
  int unused = 0;
  for (size_t at = 0; (at = listing.find("\nunused  ", at)) != std::string::npos; ++at) ++unused;
  EXPECT_EQ(unused, PHOTOS - static_cast<int>(shown.size()));
  // Every photo shown appears in the tracks.
  std::set<int> named;
  for (const char* layer : {"back.n", "beard.n"})
    for (const TrackKey& k : show.keys(layer)) named.insert(static_cast<int>(k.value));
  for (const auto& [entry, aspect] : show.aspects()) EXPECT_TRUE(named.count(entry)) << entry;
}

// The mean loudness of a stretch of an MP3, dB, from ffmpeg's volumedetect.
double mean_volume(const fs::path& mp3, double from, double to) {
  const fs::path out = mp3.parent_path() / "volume.txt";
  char trim[96];
  std::snprintf(trim, sizeof trim, "atrim=start=%.2f:end=%.2f,volumedetect", from, to);
  run("ffmpeg -v info -nostdin -i " + mp3.string() + " -af " + trim + " -f null - 2>" + out.string());
  const std::string text = file_contents(out);
  const size_t at = text.find("mean_volume: ");
  return at == std::string::npos ? 0 : std::atof(text.c_str() + at + 13);
}

TEST_F(MakeEveryPhoto, LengthEndsTheShowThereTheMusicFadedOverTheLastBar) {
  ASSERT_EQ(status_, 0);
  // Into the second song, which then fades out over its last bar (1.875 s at 128 bpm).
  const double a_seconds = static_cast<double>(fs::file_size(WORK / "a.wav") - 44) / (44100 * 4);
  const double length = std::round(a_seconds + 20);
  char text[16];
  std::snprintf(text, sizeof text, "%d:%02d", static_cast<int>(length) / 60, static_cast<int>(length) % 60);
  ASSERT_EQ(run("cd " + WORK.string() + " && " + MAKE + " photos --music a.wav --music b.wav --length " + text +
                " --force --out length_show >/dev/null 2>&1"),
            0);
  const fs::path mp3 = WORK / "length_show/e12.mp3";
  run("ffprobe -v error -show_entries format=duration -of csv=p=0 " + mp3.string() + " >" + (WORK / "duration.txt").string());
  EXPECT_NEAR(std::atof(file_contents(WORK / "duration.txt").c_str()), length, 0.1);
  const MadeShow show(WORK / "length_show");
  EXPECT_EQ(show.keys("happy").back().row, static_cast<int32_t>(length * 20));
  EXPECT_EQ(show.keys("happy").back().value, 2);
  // Loud until the last bar, quiet at its end.
  EXPECT_LT(mean_volume(mp3, length - 0.4, length), mean_volume(mp3, length - 4, length - 2.5) - 12);
}

TEST_F(MakeEveryPhoto, GivenTheTempoCutsFallOnTheBeatsEvenWithBusyOffbeats) {
  ASSERT_EQ(status_, 0);
  // Hats on every off-beat and semiquaver, louder than all but the kick: a grid half a beat off
  // would cut between every beat.
  ASSERT_EQ(run(MUSIC + " " + (WORK / "busy.wav").string() + " 90 30 busy"), 0);
  for (const char* bpm : {"90", ""}) {
    SCOPED_TRACE(*bpm ? "--bpm 90" : "found");
    const std::string out = WORK.string() + "/busy_show";
    ASSERT_EQ(run("cd " + WORK.string() + " && " + MAKE + " photos --music busy.wav --force --out busy_show" +
                  (*bpm ? std::string(" --bpm ") + bpm : "") + " >/dev/null 2>busy_err.txt"),
              0);
    EXPECT_NE(file_contents(WORK / "busy_err.txt").find(*bpm ? "90.0 beats a minute as given" : "90.0 beats a minute"),
              std::string::npos);
    const MadeShow show(out);
    int cuts = 0;
    for (const char* layer : {"back", "beard"})
      for (const TrackKey& k : show.keys(std::string(layer) + ".n")) {
        if (k.row == 0 || !show.seen(layer, k.row) || show.card(static_cast<int>(k.value))) continue;
        ++cuts;
        EXPECT_LE(std::abs(std::remainder(k.row / 20.0, 60 / 90.0)), 0.05) << "a cut at " << k.row / 20.0 << "s";
      }
    EXPECT_GT(cuts, 10);
  }
}

TEST_F(MakeEveryPhoto, EachDamagedFileIsToldWithItsOwnError) {
  ASSERT_EQ(status_, 0);
  const fs::path dir = WORK / "damaged";
  fs::create_directories(dir);
  const std::string whole = file_contents(WORK / "photos" / photo_name(1));
  // Many of each, read at once: a truncated JPEG, a GIF of noise, a PNG with a broken chunk.
  for (int k = 0; k < 6; ++k) {
    std::ofstream(dir / ("cut" + std::to_string(k) + ".jpg"), std::ios::binary) << whole.substr(0, whole.size() / 2);
    std::ofstream(dir / ("noise" + std::to_string(k) + ".gif"), std::ios::binary) << "GIF89a" << std::string(400, 'Z');
    std::ofstream(dir / ("chunk" + std::to_string(k) + ".png"), std::ios::binary) << "\x89PNG\r\n\x1a\n" << std::string(300, 'z');
  }
  fs::copy_file(WORK / "photos" / photo_name(2), dir / "good.jpg");
  if (!fs::exists(WORK / "short.wav")) {
    ASSERT_EQ(run(MUSIC + " " + (WORK / "short.wav").string() + " 120 30"), 0);
  }
  ASSERT_EQ(run("cd " + WORK.string() + " && " + MAKE + " damaged --music short.wav --force --out damaged_show 2>damaged_err.txt >/dev/null"), 0);
  std::istringstream lines(file_contents(WORK / "damaged_err.txt"));
  int told = 0;
  for (std::string line; std::getline(lines, line);) {
    for (const auto& [kind, says] : std::map<std::string, std::string>{{"cut", "end of"}, {"noise", "GIF"}, {"chunk", "chunk"}}) {
      if (line.find("damaged/" + kind) == std::string::npos) continue;
      ++told;
      EXPECT_NE(line.find(says), std::string::npos) << line;
      for (const char* other : {"cut", "noise", "chunk"}) {
        if (kind != other) {
          EXPECT_EQ(line.find(std::string("damaged/") + other), std::string::npos) << line;
        }
      }
    }
  }
  EXPECT_EQ(told, 18);
}

}  // namespace
