// hallshow-make with what a careless user or an attacker gives it: its own inputs as the target,
// a target that changes while it works, hidden folders and earlier shows among the photos, special
// files, photos that are no photos, song names that read as options, a full disk, names no
// terminal should print. Nothing it did not make is ever removed, and nothing hangs.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <thread>

#include "tests/photos/test_images.h"
#include "tests/support/bounded_call.h"
#include "tests/support/file_contents.h"
#include "tests/support/temp_dir.h"
#include "tools/make/photo_gathering.h"
#include "tools/make/show_folder.h"

namespace fs = std::filesystem;

namespace {

void touch(const fs::path& p, const std::string& text = "x") {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

// A folder as hallshow-make leaves it.
void fake_show(const fs::path& dir) {
  touch(dir / "show.txt", "back.n\n  0 1 step\n");
  touch(dir / "photos.txt");
  touch(dir / "e12.mp3");
  touch(dir / "hall.photo/01.png");
  touch(dir / "kestos/base_back.n.kesto");
}

std::vector<std::string> names(const std::vector<std::string>& paths, const fs::path& base) {
  std::vector<std::string> out;
  for (const std::string& p : paths) out.push_back(fs::relative(p, base).string());
  return out;
}

// Folders are walked for photos without their hidden folders and files (a photo manager's
// .thumbnails, a .git) and without a folder that is itself a show (which would feed its own
// catalogue back in); a file named on the command line is taken as it is.
TEST(PhotoGathering, SkipsHiddenThingsAndShows) {
  const TempDir temp;
  const fs::path d = temp.path();
  for (const char* p : {"trip/a.jpg", "trip/.hidden.jpg", "trip/.thumbnails/t.png", "trip/.git/objects/o.png",
                        "trip/day2/b.png", "trip/.c.jpg"})
    touch(d / p);
  fake_show(d / "trip/old-show");
  std::vector<std::string> problems;
  const std::vector<std::string> found =
      gather_photo_files({(d / "trip").string(), (d / "trip/.c.jpg").string()}, problems);
  EXPECT_EQ(names(found, d), (std::vector<std::string>{"trip/a.jpg", "trip/day2/b.png", "trip/.c.jpg"}));
  EXPECT_TRUE(problems.empty());
  // A show given as an input is said to be one, not read.
  problems.clear();
  EXPECT_TRUE(gather_photo_files({(d / "trip/old-show").string()}, problems).empty());
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("is a show"), std::string::npos) << problems[0];
}

bool all_there(const fs::path& d, const std::vector<std::string>& files) {
  for (const std::string& f : files)
    if (!fs::exists(d / f)) return false;
  return true;
}

// The target may not be, hold or lie inside any input or the music (links resolved), and --force
// replaces only a folder that is empty or that hallshow-make made. Nothing is removed when refused.
TEST(ShowFolder, NeverTakesWhatItDidNotMake) {
  const TempDir temp;
  const fs::path d = temp.path();
  const std::vector<std::string> kept = {"trip/a.jpg", "trip/notes.txt", "trip/photos/b.jpg", "music/song.wav",
                                         "home/notes.txt", "made/show.txt", "tainted/mine.txt"};
  for (const std::string& f : kept) touch(d / f);
  fs::create_directory_symlink(d / "trip", d / "link");
  fake_show(d / "made");
  fake_show(d / "tainted");
  const struct {
    std::string target;
    std::vector<std::string> inputs;
    bool force;
    std::string refusal;  // empty: accepted
  } cases[] = {
      {"trip", {"trip", "music/song.wav"}, true, "overlaps the input"},
      {"link", {"trip", "music/song.wav"}, true, "overlaps the input"},
      {"trip", {"trip/photos", "music/song.wav"}, true, "overlaps the input"},
      {"trip/photos/show", {"trip/photos", "music/song.wav"}, true, "overlaps the input"},
      {"music", {"trip/a.jpg", "music/song.wav"}, true, "overlaps the input"},
      {"home", {"trip"}, true, "holds notes.txt, which hallshow-make did not make"},
      {"home", {"trip"}, false, "is not empty"},
      {"made", {"trip"}, false, "is not empty"},
      {"tainted", {"trip"}, true, "holds mine.txt, which hallshow-make did not make"},
      {"trip/a.jpg", {"music/song.wav"}, true, "is not a folder"},
      {"made", {"trip"}, true, ""},
      {"new", {"trip"}, false, ""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> inputs;
    for (const std::string& i : c.inputs) inputs.push_back((d / i).string());
    ShowFolder folder;
    std::string why;
    const bool begun = folder.begin((d / c.target).string(), c.force, inputs, why);
    EXPECT_EQ(begun, c.refusal.empty()) << c.target << ": " << why;
    if (!c.refusal.empty()) {
      EXPECT_NE(why.find(c.refusal), std::string::npos) << c.target << ": " << why;
    }
    folder.abandon();
    EXPECT_TRUE(all_there(d, kept)) << c.target;
  }
}

// The target is looked at again where the show is put in place, in one step with the rename: what
// came into it meanwhile (a file, another run's show) stays, and the run says it lost the race.
TEST(ShowFolder, PutsTheShowInPlaceOnlyWhereItChecked) {
  const TempDir temp;
  const fs::path d = temp.path();
  const auto begin = [&](ShowFolder& folder, const char* target, bool force) {
    std::string why;
    ASSERT_TRUE(folder.begin((d / target).string(), force, {}, why)) << why;
    touch(fs::path(folder.dir()) / "show.txt", "new");
    touch(fs::path(folder.dir()) / "photos.txt");
  };
  fs::create_directory(d / "empty");
  fake_show(d / "made");
  fake_show(d / "made2");
  const struct {
    const char* target;
    bool force;
    std::function<void()> meanwhile;
    bool put;
  } cases[] = {
      {"absent", false, [&] { touch(d / "absent/notes.txt"); }, false},
      {"empty", false, [&] { touch(d / "empty/notes.txt"); }, false},
      {"made", true, [&] { touch(d / "made/notes.txt"); }, false},
      {"made2", true, [] {}, true},
      {"fresh", false, [] {}, true},
  };
  for (const auto& c : cases) {
    ShowFolder folder;
    begin(folder, c.target, c.force);
    c.meanwhile();
    std::string why;
    EXPECT_EQ(folder.finish(why), c.put) << c.target << ": " << why;
    if (c.put) {
      EXPECT_EQ(file_contents(d / c.target / "show.txt"), "new") << c.target;
    } else {
      EXPECT_NE(why.find("while the show was made"), std::string::npos) << why;
      EXPECT_TRUE(fs::exists(d / c.target / "notes.txt")) << c.target;
    }
  }
  EXPECT_EQ(file_contents(d / "made/show.txt"), "back.n\n  0 1 step\n");  // the show that came back
}

// A run killed outright leaves its temporary folder; the next run into the same place removes it,
// when no process of that number is running.
TEST(ShowFolder, RemovesTemporariesOfRunsThatAreGone) {
  const TempDir temp;
  const fs::path d = temp.path();
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  const fs::path stale = d / (".show.making-" + std::to_string(gone)), running = d / ".show.making-1";
  touch(stale / "hall.photo/01.png");
  touch(running / "hall.photo/01.png");
  touch(d / ".other.making-7/x");  // another target's: not this run's to judge
  ShowFolder folder;
  std::string why;
  ASSERT_TRUE(folder.begin((d / "show").string(), false, {}, why)) << why;
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(running));
  EXPECT_TRUE(fs::exists(d / ".other.making-7/x"));
}

// ---- runs of the program itself ----

struct Outcome {
  int status = -1;
  std::string err;
};

class MakeRuns : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    work_ = new TempDir(TempDir::WorkingDirectory::Keep);
    const auto paint = [](int x, int y) { return teximg::Rgba{uint8_t(x), uint8_t(y), uint8_t(x ^ y), 255}; };
    ASSERT_TRUE(teximg::write_jpeg((dir() / "a.jpg").string(), 320, 240, paint));
    ASSERT_TRUE(teximg::write_jpeg((dir() / "b.jpg").string(), 240, 320, paint));
    ASSERT_EQ(std::system(("ffmpeg -v error -f lavfi -i sine=frequency=330:duration=11 -ac 1 -ar 22050 " +
                           (dir() / "song.wav").string()).c_str()), 0);
  }
  static void TearDownTestSuite() { delete work_; }
  static fs::path dir() { return work_->path(); }

  // hallshow-make with `args` in `cwd`, given at most a minute; 124 when it ran out of time.
  static Outcome make(const fs::path& cwd, const std::string& args, const std::string& before = "") {
    const fs::path err = dir() / "err.txt";
    const int status = std::system(("cd '" + cwd.string() + "' && " + before + "timeout -s KILL 60 " + MAKE_PATH + " " +
                                    args + " >/dev/null 2>'" + err.string() + "'").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, file_contents(err)};
  }
  // A folder of the two photos, and the song, under `where`.
  static void photos_in(const fs::path& where) {
    fs::create_directories(where);
    fs::copy_file(dir() / "a.jpg", where / "a.jpg", fs::copy_options::overwrite_existing);
    fs::copy_file(dir() / "b.jpg", where / "b.jpg", fs::copy_options::overwrite_existing);
  }

  static inline TempDir* work_ = nullptr;
};

// The run refuses before anything is read (no song probed, no photo decoded), and removes nothing.
TEST_F(MakeRuns, RefusesAnOutThatTakesItsInputs) {
  const fs::path d = dir() / "inputs";
  photos_in(d / "trip/photos");
  touch(d / "trip/notes.txt");
  touch(d / "trip/other/keep.txt");
  fs::copy_file(dir() / "song.wav", d / "trip/song.wav");
  touch(d / "home/.profile");
  const std::vector<std::string> kept = {"trip/photos/a.jpg", "trip/notes.txt", "trip/other/keep.txt",
                                         "trip/song.wav", "home/.profile"};
  const struct {
    const char* args;
    const char* refusal;
  } cases[] = {
      {"trip --music trip/song.wav --out trip --force", "overlaps the input"},
      {"trip/photos --music trip/song.wav --out trip --force", "overlaps the input"},
      {"trip/photos --music trip/song.wav --out home --force", "which hallshow-make did not make"},
  };
  for (const auto& c : cases) {
    const Outcome r = make(d, c.args);
    EXPECT_EQ(r.status, 1) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find(c.refusal), std::string::npos) << c.args << "\n" << r.err;
    EXPECT_TRUE(all_there(d, kept)) << c.args;
  }
}

}  // namespace
