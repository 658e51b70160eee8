// hallshow-make as a user runs it: a folder of real photos of every awkward kind and a generated
// song in, a show folder out that plays in hallshow to its end, shows every photo unsquashed and
// the right way up, and comes out the same every time; and what it does with bad input.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "photos/open_entries.h"
#include "photos/open_photo_header.h"
#include "sync/sync_track.h"
#include "tests/support/file_contents.h"
#include "tests/support/gl_harness.h"
#include "tests/tools/made_show.h"
#include "tools/authoring/show_files.h"
#include "tools/authoring/show_text.h"
#include "tools/capture/storyboard.h"

namespace fs = std::filesystem;
using gltest::Frame;

namespace {

const fs::path WORK = MAKE_E2E_DIR;
const std::string MAKE = MAKE_PATH, HALLSHOW = HALLSHOW_PATH, CAPTURE = CAPTURE_PATH, MUSIC = DEMO_MUSIC_PATH;

int run(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int count_lines_with(const std::string& text, const std::string& what) {
  int n = 0;
  size_t at = 0;
  while ((at = text.find(what, at)) != std::string::npos) ++n, ++at;
  return n;
}

// The folders a run leaves beside its target: the show itself and any temporary ones.
std::vector<std::string> folders_in(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_directory()) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

// Gives a JPEG an EXIF block holding only an orientation, as a camera held upright writes one.
void add_exif_orientation(const fs::path& jpeg, int orientation) {
  std::string bytes = file_contents(jpeg);
  const std::string tiff = std::string("MM\0\x2a\0\0\0\x08", 8) + std::string("\0\x01", 2) +  // one entry
                           std::string("\x01\x12\0\x03\0\0\0\x01\0", 9) + static_cast<char>(orientation) +
                           std::string("\0\0", 2) + std::string(4, '\0');  // no next IFD
  const std::string payload = std::string("Exif\0\0", 6) + tiff;
  const size_t length = payload.size() + 2;
  const std::string app1 = std::string("\xFF\xE1", 2) + static_cast<char>(length >> 8) + static_cast<char>(length & 0xFF) + payload;
  bytes.insert(2, app1);  // right after the start of image
  std::ofstream(jpeg, std::ios::binary) << bytes;
}

// A JPEG whose frame header claims another size; the pixels stay as they are.
void claim_size(const fs::path& jpeg, int width, int height) {
  std::string bytes = file_contents(jpeg);
  const size_t sof = bytes.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  bytes[sof + 5] = static_cast<char>(height >> 8), bytes[sof + 6] = static_cast<char>(height & 0xFF);
  bytes[sof + 7] = static_cast<char>(width >> 8), bytes[sof + 8] = static_cast<char>(width & 0xFF);
  std::ofstream(jpeg, std::ios::binary) << bytes;
}

class MakeEndToEnd : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    fs::remove_all(WORK);
    fs::create_directories(WORK / "photos/more");
    const std::string p = (WORK / "photos").string();
    // A landscape with a red disk in the middle: a disk that stays round is a photo not squashed.
    // A portrait stored on its side with EXIF orientation 6 ("right-top"): upright, a blue disk
    // above a yellow one. A CMYK JPEG, a WebP, a palette PNG, a 16-bit PNG, and what is no photo.
    const std::string c = "convert -quiet ";
    ASSERT_EQ(run(c + "-size 1600x1000 xc:white -fill red -draw 'circle 800,500 800,200' -quality 92 " + p + "/a_landscape.jpg"), 0);
    ASSERT_EQ(run(c + "-size 1000x1600 xc:white -fill blue -draw 'circle 500,620 500,480' -fill yellow "
                  "-draw 'circle 500,980 500,840' -rotate -90 -strip -quality 92 " + p + "/b_portrait.jpg"), 0);
    add_exif_orientation(WORK / "photos/b_portrait.jpg", 6);
    ASSERT_EQ(run(c + "-size 1200x900 gradient:white-green -colorspace CMYK " + p + "/c_cmyk.jpg"), 0);
    ASSERT_EQ(run(c + "-size 1000x800 gradient:orange-purple " + p + "/more/d_photo.webp"), 0);
    ASSERT_EQ(run(c + "-size 900x700 gradient:skyblue-navy -colors 64 PNG8:" + p + "/more/e_palette.png"), 0);
    ASSERT_EQ(run(c + "-size 800x1000 gradient:khaki-brown -depth 16 PNG48:" + p + "/f_deep.png"), 0);
    ASSERT_EQ(run(c + "-size 1200x900 gradient:pink-teal -quality 92 " + WORK.string() + "/whole.jpg"), 0);
    ASSERT_EQ(run("head -c 6000 " + WORK.string() + "/whole.jpg > " + p + "/g_truncated.jpg"), 0);
    std::ofstream(WORK / "photos/h_empty.jpg");
    std::ofstream(WORK / "photos/x.jpg") << "this is a note, not a photo\n";
    // 24 seconds of the demo's music at 120 beats a minute, as WAV: it is encoded on the way.
    ASSERT_EQ(run(MUSIC + " " + (WORK / "song.wav").string() + " 120 12"), 0);
    make_status_ = run("cd " + WORK.string() + " && " + MAKE + " photos --music song.wav --out show >out.txt 2>err.txt");
  }

  static inline int make_status_ = -1;
};

TEST_F(MakeEndToEnd, MakesACompleteFolderAndSaysWhatItSkipped) {
  ASSERT_EQ(make_status_, 0) << file_contents(WORK / "err.txt");
  const std::string err = file_contents(WORK / "err.txt");
  for (const char* bad : {"g_truncated.jpg: ", "h_empty.jpg: ", "x.jpg: "})
    EXPECT_EQ(count_lines_with(err, bad), 1) << bad << " in:\n" << err;
  const std::string out = file_contents(WORK / "out.txt");
  EXPECT_NE(out.find("hallshow-studio"), std::string::npos);
  // The six photos that can be read, every one of them shown, and said so.
  EXPECT_NE(out.find("made: 6 photos,"), std::string::npos) << out;
  // The catalogue's accents with their exact names, of their types, square; the photos as open
  // entries from 44 up, each at its own photo's upright shape as the show reads it.
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(WORK / "show/hall.photo")) names.insert(e.path().filename().string());
  const std::set<std::string> accents = {"04.png", "12.png", "17.jpg", "20.png", "36.png", "40.png"};
  for (const std::string& name : accents) {
    ASSERT_TRUE(names.count(name)) << name;
    const std::string bytes = file_contents(WORK / "show/hall.photo" / name);
    const std::string magic = name.ends_with(".png") ? "\x89PNG" : "\xFF\xD8\xFF";
    EXPECT_EQ(bytes.substr(0, magic.size()), magic) << name;
    const OpenPhotoHeader h = read_open_photo_header_of_file((WORK / "show/hall.photo" / name).string());
    EXPECT_EQ(h.width(), h.height()) << name;
    EXPECT_GT(h.width(), 200u) << name;
  }
  const std::map<std::string, double> upright_aspect = {{"a_landscape.jpg", 1.6}, {"b_portrait.jpg", 1000.0 / 1600},
      {"c_cmyk.jpg", 1200.0 / 900}, {"d_photo.webp", 1.25}, {"e_palette.png", 900.0 / 700}, {"f_deep.png", 0.8}};
  const std::string listing = file_contents(WORK / "show/photos.txt");
  std::set<std::string> sources;
  for (const std::string& name : names) {
    if (accents.count(name)) continue;
    ASSERT_TRUE(open_entry_number(name).has_value()) << name;
    // The line of photos.txt for the file names its source.
    const size_t line = listing.find("\n" + name + " ");
    ASSERT_NE(line, std::string::npos) << name;
    const std::string rest = listing.substr(line, listing.find('\n', line + 1) - line);
    if (rest.find(" card ") != std::string::npos) continue;  // the title, over a photo it names
    for (const auto& [source, aspect] : upright_aspect) {
      if (rest.find(source) == std::string::npos) continue;
      sources.insert(source);
      const OpenPhotoHeader h = read_open_photo_header_of_file((WORK / "show/hall.photo" / name).string());
      ASSERT_TRUE(h.usable()) << name;
      EXPECT_NEAR(static_cast<double>(h.width()) / h.height() / aspect, 1.0, 0.02) << name << " from " << source;
    }
  }
  EXPECT_EQ(sources.size(), upright_aspect.size());
  for (const char* f : {"e12.mp3", "show.txt", "photos.txt", "kestos/base_happy.kesto", "kestos/base_beard.n.kesto"})
    EXPECT_TRUE(fs::exists(WORK / "show" / f)) << f;
  EXPECT_EQ(std::distance(fs::directory_iterator(WORK / "show/kestos"), fs::directory_iterator()), 22);
  EXPECT_EQ(folders_in(WORK), (std::vector<std::string>{"photos", "show"}));

  // Photo changes fall on the song's beats: it runs at 120 a minute from its first sample, a beat
  // every 10 rows; a key may sit a row off for the tracker's and the encoder's rounding. A layer
  // may take its next photo before the beat only where it cannot be seen. A card fades in and out
  // through its fainter copies from a beat, a step every two rows.
  const MadeShow show(WORK / "show");
  int changes = 0;
  for (const char* layer : {"back", "beard"}) {
    for (const TrackKey& k : show.keys(std::string(layer) + ".n")) {
      if (k.row == 0 || show.card(static_cast<int>(k.value))) continue;
      ++changes;
      if (std::min(k.row % 10, 10 - k.row % 10) > 1) {
        EXPECT_FALSE(show.seen(layer, k.row)) << layer << " changes its photo at row " << k.row << ", off the beat";
      }
    }
  }
  EXPECT_GE(changes, 5);

  // A show already there is not replaced without --force, and stays whole.
  const std::string before = file_contents(WORK / "show/show.txt");
  EXPECT_EQ(run("cd " + WORK.string() + " && " + MAKE + " photos/a_landscape.jpg --music song.wav --out show 2>refused.txt"), 1);
  EXPECT_NE(file_contents(WORK / "refused.txt").find("--force"), std::string::npos);
  EXPECT_EQ(file_contents(WORK / "show/show.txt"), before);
  EXPECT_EQ(folders_in(WORK), (std::vector<std::string>{"photos", "show"}));
}

TEST_F(MakeEndToEnd, SameInputsSameBytes) {
  ASSERT_EQ(make_status_, 0);
  ASSERT_EQ(run("cd " + WORK.string() + " && " + MAKE + " photos --music song.wav --out again >/dev/null 2>&1"), 0);
  ASSERT_EQ(run("diff -r " + (WORK / "show").string() + " " + (WORK / "again").string()), 0);
  // Another seed is another show.
  ASSERT_EQ(run("cd " + WORK.string() + " && " + MAKE + " photos --music song.wav --seed 2 --out again --force >/dev/null 2>&1"), 0);
  EXPECT_NE(file_contents(WORK / "show/show.txt"), file_contents(WORK / "again/show.txt"));
  fs::remove_all(WORK / "again");
}

TEST_F(MakeEndToEnd, PlaysInHallshowAndEndsByItself) {
  ASSERT_EQ(make_status_, 0);
  const auto start = std::chrono::steady_clock::now();
  const int status = run("cd " + (WORK / "show").string() + " && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null "
                         "timeout 150 xvfb-run -a -s '-screen 0 320x180x24' " + HALLSHOW + " >/dev/null 2>&1");
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(status, 0);
  EXPECT_GE(seconds, 22.0) << "the show ended before its music";
}

struct Blob {
  int count = 0;
  double x = 0, y = 0, aspect = 0;
  bool touches_edge = false;
};

// Pixels of one colour within a cell of the storyboard: where, how many, and the ratio of their
// spread across to their spread down (1 for a disk however large).
Blob blob(const Frame& board, int x0, int y0, int w, int h, const std::function<bool(gltest::Rgba)>& is) {
  Blob b;
  double sx = 0, sy = 0, sxx = 0, syy = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) {
      if (!is(board.at(x, y))) continue;
      ++b.count, sx += x, sy += y, sxx += static_cast<double>(x) * x, syy += static_cast<double>(y) * y;
      if (x == x0 || y == y0 || x == x0 + w - 1 || y == y0 + h - 1) b.touches_edge = true;
    }
  if (b.count == 0) return b;
  b.x = sx / b.count, b.y = sy / b.count;
  const double vx = sxx / b.count - b.x * b.x, vy = syy / b.count - b.y * b.y;
  b.aspect = vy > 0 ? std::sqrt(vx / vy) : 0;
  return b;
}

// The share of a cell's pixels that are not dark (luma above 12 of 255).
double lit_share(const Frame& f, int x0, int y0, int w, int h) {
  int lit = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) {
      const gltest::Rgba p = f.at(x, y);
      lit += 0.299 * p.r + 0.587 * p.g + 0.114 * p.b > 12;
    }
  return static_cast<double>(lit) / (w * h);
}

// What a frame shows of the two test photos: the red disk round, the portrait's blue disk above its
// yellow one. Counts what it could judge.
struct Looks {
  int disks = 0, portraits = 0;
};

void judge(const Frame& f, int x0, int y0, int w, int h, const std::string& where, Looks& looks) {
  // The photos at full brightness pass; the backdrop, blurred and dimmed, does not.
  auto red = [](gltest::Rgba p) { return p.r > 195 && p.g < 60 && p.b < 60; };
  auto blue = [](gltest::Rgba p) { return p.b > 195 && p.r < 60 && p.g < 60; };
  auto yellow = [](gltest::Rgba p) { return p.r > 195 && p.g > 195 && p.b < 60; };
  const Blob disk = blob(f, x0, y0, w, h, red);
  if (disk.count >= 400 && !disk.touches_edge) {
    ++looks.disks;
    EXPECT_NEAR(disk.aspect, 1.0, 0.02) << "the red disk is squashed " << where;
  }
  const Blob top = blob(f, x0, y0, w, h, blue), bottom = blob(f, x0, y0, w, h, yellow);
  if (top.count >= 100 && bottom.count >= 100) {
    ++looks.portraits;
    const double dy = bottom.y - top.y, dx = bottom.x - top.x;
    EXPECT_GT(dy, 4 * std::abs(dx)) << "the portrait is not upright " << where;
  }
}

TEST_F(MakeEndToEnd, StoryboardShowsNoSquashedPhotoAndThePortraitUpright) {
  ASSERT_EQ(make_status_, 0);
  const ShowText show = parse_show_text(file_contents(WORK / "show/show.txt"), "show.txt");
  ASSERT_TRUE(show.errors.empty());
  auto value = [&](const std::string& name, double row) {
    for (const TextTrack& t : show.tracks)
      if (t.name == name) {
        SyncTrack track;
        track.keys = t.keys;
        return get_value(track, row);
      }
    return 0.f;
  };
  // Turned layers are seen in perspective, and a photo behind an accent (the frame, the iris, a
  // cameo) is cut by it.
  auto judgeable = [&](double row) {
    for (const char* t : {"back.rotx", "back.roty", "beard.rotx", "beard.roty"})
      if (value(t, row) != 0) return false;
    return !(static_cast<int>(value("beard.n", row)) < 44 && value("beard.scale", row) > -1);
  };

  // The whole show at a glance.
  ASSERT_EQ(run("cd " + (WORK / "show").string() + " && SDL_AUDIODRIVER=dummy " + CAPTURE +
                " --storyboard ../board.png --every 10r --size 1920x1080 >/dev/null 2>&1"), 0);
  const Frame board = gltest::read_png(WORK / "board.png");
  Storyboard layout(1920, 1080);
  Looks looks;
  std::vector<double> lit;
  for (int i = 0; layout.cell_y(i) + layout.cell_height() <= board.height; ++i) {
    if (judgeable(i * 10.0))
      judge(board, layout.cell_x(i), layout.cell_y(i), layout.cell_width(), layout.cell_height(),
            "at row " + std::to_string(i * 10), looks);
    lit.push_back(lit_share(board, layout.cell_x(i), layout.cell_y(i), layout.cell_width(), layout.cell_height()));
  }
  // The screen is filled: most frames have hardly a dark pixel.
  std::sort(lit.begin(), lit.end());
  EXPECT_GE(lit[lit.size() / 2], 0.85);

  // And each time a layer shows one of the two photos in full colour, a frame from the middle of
  // that hold, so neither photo escapes between the storyboard's frames.
  const std::string listing = file_contents(WORK / "show/photos.txt");
  std::set<int> entries;
  std::istringstream lines(listing);
  for (std::string line; std::getline(lines, line);)
    if (line.find("a_landscape.jpg") != std::string::npos || line.find("b_portrait.jpg") != std::string::npos)
      entries.insert(std::atoi(line.c_str()));
  int frames = 0;
  for (const TextTrack& t : show.tracks) {
    if (!t.name.ends_with(".n")) continue;
    const std::string layer = t.name.substr(0, t.name.size() - 2);
    for (size_t k = 0; k < t.keys.size() && frames < 8; ++k) {
      const int end = k + 1 < t.keys.size() ? t.keys[k + 1].row : t.keys[k].row + 40;
      const double row = (t.keys[k].row + end) / 2;
      if (!entries.count(static_cast<int>(t.keys[k].value)) || value(layer + ".scale", row) < -0.5 ||
          value(layer + ".r", row) < 1 || !judgeable(row))
        continue;
      const fs::path frame = WORK / ("frame" + std::to_string(frames++) + ".png");
      ASSERT_EQ(run("cd " + (WORK / "show").string() + " && SDL_AUDIODRIVER=dummy " + CAPTURE + " --at " +
                    std::to_string(static_cast<int>(row)) + " --size 1280x720 --output " + frame.string() +
                    " >/dev/null 2>&1"), 0);
      const Frame f = gltest::read_png(frame);
      judge(f, 0, 0, f.width, f.height, t.name + " at row " + std::to_string(static_cast<int>(row)), looks);
    }
  }
  EXPECT_GE(looks.disks, 1);
  EXPECT_GE(looks.portraits, 1);
}

// Whether `parent` has a child process running `name`, from /proc.
bool has_child_named(pid_t parent, const std::string& name) {
  for (const auto& e : fs::directory_iterator("/proc")) {
    std::ifstream stat(e.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    const size_t open = line.find('('), close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 2));
    char state;
    long ppid = 0;
    rest >> state >> ppid;
    if (ppid == parent && line.substr(open + 1, close - open - 1) == name) return true;
  }
  return false;
}

TEST_F(MakeEndToEnd, InterruptedWhileEncodingLeavesNoFolder) {
  ASSERT_EQ(make_status_, 0);
  const fs::path dir = WORK / "interrupt";
  fs::create_directories(dir);
  // Ten minutes to encode: long enough to be caught at it.
  ASSERT_EQ(run("ffmpeg -v error -f lavfi -i sine=frequency=220:duration=600 -ac 1 -ar 44100 " + (dir / "long.wav").string()), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    chdir(dir.c_str());
    setpgid(0, 0);
    execl(MAKE.c_str(), MAKE.c_str(), (WORK / "photos/a_landscape.jpg").c_str(), "--music", "long.wav", "--out", "show",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  // Wait for ffmpeg to be running under it, then Ctrl-C the whole group as a terminal does.
  bool encoding = false;
  for (int i = 0; i < 300 && !encoding; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    encoding = has_child_named(pid, "ffmpeg");
  }
  EXPECT_TRUE(encoding);
  kill(-pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
  EXPECT_EQ(folders_in(dir), std::vector<std::string>{});
  fs::remove_all(dir);
}

struct Hostile {
  const char* name;
  std::string prepare;  // shell, in the case's folder
  std::string args;
  std::string message;
};

TEST_F(MakeEndToEnd, HostileInputsGiveAClearMessageAndNoFolder) {
  // A JPEG whose header claims 60000 × 60000 pixels: its frame header patched.
  const std::vector<Hostile> cases = {
      {"huge_header", "convert -size 64x64 xc:gray -quality 90 big.jpg", "big.jpg --music " + (WORK / "song.wav").string(), "60000x60000"},
      {"not_audio", "", (WORK / "photos/a_landscape.jpg").string() + " --music " + (WORK / "photos/c_cmyk.jpg").string(), "is not audio"},
      {"five_seconds", "ffmpeg -v error -f lavfi -i sine=duration=5 five.wav", (WORK / "photos/a_landscape.jpg").string() + " --music five.wav", "5.0 s long"},
      {"twenty_minutes", "ffmpeg -v error -f lavfi -i sine=duration=1200 -ar 8000 -ac 1 -acodec pcm_u8 long.wav",
       (WORK / "photos/a_landscape.jpg").string() + " --music long.wav", "1200.0 s long"},
      {"no_photo", "", (WORK / "photos/x.jpg").string() + " --music " + (WORK / "song.wav").string(), "is a photo that can be read"},
  };
  for (const Hostile& h : cases) {
    SCOPED_TRACE(h.name);
    const fs::path dir = WORK / "hostile" / h.name;
    fs::create_directories(dir);
    if (!h.prepare.empty()) {
      ASSERT_EQ(run("cd " + dir.string() + " && " + h.prepare), 0);
    }
    if (std::string(h.name) == "huge_header") claim_size(dir / "big.jpg", 60000, 60000);
    // Memory bounded: far below what decoding 60000 × 60000 pixels would take.
#ifdef UNDER_SANITIZER
    const std::string limit;
#else
    const std::string limit = "ulimit -v 1500000 && ";
#endif
    const int status = run("cd " + dir.string() + " && " + limit + MAKE + " " + h.args + " --out show >out.txt 2>err.txt");
    EXPECT_EQ(status, 1);
    const std::string err = file_contents(dir / "err.txt");
    EXPECT_NE(err.find(h.message), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(dir / "show"));
    for (const auto& e : fs::directory_iterator(dir)) EXPECT_FALSE(e.is_directory()) << e.path();
  }
  fs::remove_all(WORK / "hostile");
}

}  // namespace
