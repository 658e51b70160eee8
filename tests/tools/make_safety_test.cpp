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
#include <cstring>
#include <functional>
#include <map>
#include <sstream>
#include <fstream>
#include <thread>

#include "tests/photos/test_images.h"
#include "tests/support/bounded_call.h"
#include "tests/support/file_contents.h"
#include "tests/support/temp_dir.h"
#include "tools/make/music/audio_analysis.h"
#include "tools/make/escaped_text.h"
#include "tools/make/interruption.h"
#include "tools/make/photos/photo_files.h"
#include "tools/make/photos/photo_gathering.h"
#include "tools/make/show/show_folder.h"
#include "tools/make/music/song_file.h"

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
    // Its messages through a pipe, so that a file size limit set in `before` limits what it makes,
    // not what it says.
    const fs::path err = dir() / "err.txt", status = dir() / "status.txt";
    fs::remove(status);
    std::system(("cd '" + cwd.string() + "' && (" + before + "timeout -s KILL 60 " + MAKE_PATH + " " + args +
                 " 2>&1 >/dev/null; echo $? >'" + status.string() + "') | cat >'" + err.string() + "'")
                    .c_str());
    const std::string code = file_contents(status);
    return {code.empty() ? -1 : std::atoi(code.c_str()), file_contents(err)};
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

// A photo or a song that is no regular file (a FIFO waits for a writer for ever, /dev/zero never
// ends) is refused, not read; and a file libvips would hand to librsvg or poppler (an SVG named
// .jpg, a PDF named .png) is no photo: those loaders are not for files from anywhere.
TEST_F(MakeRuns, SpecialFilesAndDocumentsAreNoPhotos) {
  ASSERT_TRUE(start_photo_library("make_safety_test"));
  const fs::path d = dir() / "special";
  fs::create_directories(d);
  ASSERT_EQ(mkfifo((d / "fifo.jpg").c_str(), 0644), 0);
  ASSERT_EQ(mkfifo((d / "fifo.wav").c_str(), 0644), 0);
  fs::create_symlink("/dev/zero", d / "zero.jpg");
  touch(d / "vector.jpg", "<svg xmlns='http://www.w3.org/2000/svg' width='300' height='200'><rect width='300' "
                          "height='200' fill='red'/></svg>");
  touch(d / "document.png", "%PDF-1.1\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n2 0 obj << /Type /Pages "
                            "/Kids [3 0 R] /Count 1 >> endobj\n3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 "
                            "200 200] >> endobj\ntrailer << /Root 1 0 R >>\n%%EOF\n");
  for (const char* name : {"fifo.jpg", "zero.jpg", "vector.jpg", "document.png"}) {
    const std::string path = (d / name).string();
    EXPECT_TRUE(returns_within(
        [&] {
          PhotoCandidate c;
          std::string why;
          if (probe_photo(path, true, c, why)) throw 0;
        },
        20, size_t(512) << 20))
        << name;
  }
  // The same named on the command line: one warning each, and no photo at all is an error.
  const Outcome r = make(d, "fifo.jpg zero.jpg vector.jpg document.png --music " + (dir() / "song.wav").string());
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("none of the files given is a photo"), std::string::npos) << r.err;
  photos_in(d / "photos");
  const Outcome song = make(d, "photos --music fifo.wav --out show");
  EXPECT_EQ(song.status, 1) << song.err;
  EXPECT_NE(song.err.find("fifo.wav: is not a regular file"), std::string::npos) << song.err;
}

// A song too long or too short is told by its exact length: 900.05 s is not "15 minutes long".
TEST_F(MakeRuns, SongLengthsAreToldExactly) {
  const fs::path d = dir() / "lengths";
  fs::create_directories(d);
  for (const auto& [seconds, told] : std::vector<std::pair<std::string, std::string>>{
           {"900.05", "is 900.05 s long; a show takes at most 900 s"}, {"9.96", "is 9.96 s long; a show needs at least 10 s"}}) {
    const std::string wav = (d / (seconds + ".wav")).string();
    ASSERT_EQ(std::system(("ffmpeg -v error -f lavfi -i sine=duration=" + seconds + " -ar 8000 -ac 1 -c:a pcm_u8 " + wav)
                              .c_str()), 0);
    SongInfo info;
    std::string why;
    EXPECT_FALSE(probe_song(wav, info, why));
    EXPECT_NE(why.find(told), std::string::npos) << why;
  }
}

// Song names are names, whatever they look like to ffmpeg: a protocol ("12:00 live.wav") or an
// option ("-song.wav").
TEST_F(MakeRuns, SongNamesAreNeverUrlsOrOptions) {
  const fs::path d = dir() / "names";
  fs::create_directories(d);
  for (const char* name : {"12:00 live.wav", "-song.wav", "concat:x.wav"}) {
    fs::copy_file(dir() / "song.wav", d / name, fs::copy_options::overwrite_existing);
    SongInfo info;
    std::string why;
    const fs::path cwd = fs::current_path();
    fs::current_path(d);  // named as a user types it, relative
    const bool probed = probe_song(name, info, why);
    const bool made = probed && make_song_file(name, info, "-out.mp3", why);
    fs::current_path(cwd);
    EXPECT_TRUE(probed && made) << name << ": " << why;
    EXPECT_TRUE(fs::exists(d / "-out.mp3")) << name;
    fs::remove(d / "-out.mp3");
  }
}

// The first Ctrl-C asks the run to stop between steps; a second ends it at once, even while a
// library keeps retrying a read the signal interrupted.
TEST(Interruption, ASecondCtrlCEndsAtOnce) {
  const pid_t child = fork();
  if (child == 0) {
    catch_interruptions();
    for (;;) pause();  // deaf to the first, as a library retrying its read is
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  kill(child, SIGINT);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, WNOHANG), 0);  // the first only asks
  kill(child, SIGINT);
  pid_t ended = 0;
  for (int i = 0; i < 100 && ended == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ended = waitpid(child, &status, WNOHANG);
  }
  if (ended == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  EXPECT_EQ(ended, child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
}

// ---- a full disk ----

// Every file of a folder, by its path inside it: "SIZE HASH" of its bytes.
std::map<std::string, std::string> files_of(const fs::path& folder) {
  std::map<std::string, std::string> out;
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(folder, ec)) {
    if (!e.is_regular_file()) continue;
    const std::string bytes = file_contents(e.path());
    out[fs::relative(e.path(), folder).string()] =
        std::to_string(bytes.size()) + " " + std::to_string(std::hash<std::string>{}(bytes));
  }
  return out;
}

// Under any shortage of space or inodes, a run either makes the whole show or fails with a message
// and leaves nothing at all; never "made" with a short file, never an uncaught error.
void expect_whole_or_nothing(const Outcome& r, const fs::path& where, const std::map<std::string, std::string>& whole,
                             const std::string& what) {
  if (r.status == 0) {
    EXPECT_EQ(files_of(where / "show"), whole) << what << ": made, but not as it should be";
    return;
  }
  EXPECT_EQ(r.status, 1) << what << "\n" << r.err;
  EXPECT_NE(r.err.find("hallshow-make: "), std::string::npos) << what << "\n" << r.err;
  // Said once, with the system's reason, by the name the user gave, not the temporary folder's.
  EXPECT_TRUE(r.err.find("No space left on device") != std::string::npos ||
              r.err.find("File too large") != std::string::npos)
      << what << "\n" << r.err;
  EXPECT_EQ(r.err.find(".making-"), std::string::npos) << what << "\n" << r.err;
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(where)) left.push_back(e.path().filename().string());
  EXPECT_TRUE(left.empty()) << what << ": left " << left.front() << "\n" << r.err;
}

class FullDisk : public MakeRuns {
 protected:
  static void SetUpTestSuite() {
    MakeRuns::SetUpTestSuite();
    photos_in(dir() / "full/photos");
    // Named as make_into names them: photos.txt lists the photos by the names given.
    const Outcome r = make(dir() / "full", (dir() / "full/photos").string() + " --music " + (dir() / "song.wav").string() +
                                               " --out reference");
    ASSERT_EQ(r.status, 0) << r.err;
    whole_ = files_of(dir() / "full/reference");
    for (const auto& [name, size_hash] : whole_) pages_ += (std::stoull(size_hash) + 4095) / 4096;
  }
  Outcome make_into(const fs::path& where, const std::string& before = "") {
    return make(where, (dir() / "full/photos").string() + " --music " + (dir() / "song.wav").string() + " --out show",
                before);
  }
  static inline std::map<std::string, std::string> whole_;
  static inline size_t pages_ = 0;
};

// A file size limit (RLIMIT_FSIZE, with SIGXFSZ ignored so that writes fail with EFBIG): needs
// no privilege, so it runs everywhere.
TEST_F(FullDisk, FileSizeLimits) {
  for (int kib : {1, 4, 16, 64}) {
    const fs::path where = dir() / ("limit-" + std::to_string(kib));
    fs::create_directories(where);
    const Outcome r = make_into(where, "trap '' XFSZ; ulimit -f " + std::to_string(kib) + "; ");
    expect_whole_or_nothing(r, where, whole_, std::to_string(kib) + " KiB a file");
  }
}

// A tmpfs a few pages short of the show, and one short of inodes. Mounting needs CAP_SYS_ADMIN.
TEST_F(FullDisk, SmallFileSystems) {
  const struct {
    std::string what, options;
  } cases[] = {
      {"one page short", "size=" + std::to_string((pages_ - 1) * 4096)},
      {"two pages short", "size=" + std::to_string((pages_ - 2) * 4096)},
      {"a third short", "size=" + std::to_string(pages_ * 4096 * 2 / 3)},
      {"two inodes", "nr_inodes=2"},
      {"eight inodes", "nr_inodes=8"},
      {"forty inodes", "nr_inodes=40"},
      {"seventy inodes", "nr_inodes=70"},
  };
  for (const auto& c : cases) {
    const fs::path where = dir() / ("tmpfs-" + std::to_string(&c - cases));
    fs::create_directories(where);
    if (mount("tmpfs", where.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, c.options.c_str()) != 0)
      GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno) << "; it needs CAP_SYS_ADMIN)";
    const Outcome r = make_into(where);
    expect_whole_or_nothing(r, where, whole_, c.what);
    umount2(where.c_str(), MNT_DETACH);
  }
}

// ---- names no terminal should print ----

TEST(EscapedText, ControlsAndBrokenUtf8AreWrittenOut) {
  const struct {
    std::string name, printed, quoted;
  } cases[] = {
      {"plain/IMG 0001.jpg", "plain/IMG 0001.jpg", "plain/IMG 0001.jpg"},
      {"café/ß.jpg", "café/ß.jpg", "café/ß.jpg"},
      {"a\nb.jpg", "a\\nb.jpg", "\"a\\nb.jpg\""},
      {"\x1b]0;owned\x07x.jpg", "\\x1b]0;owned\\x07x.jpg", "\"\\x1b]0;owned\\x07x.jpg\""},
      {"tab\there", "tab\\there", "\"tab\\there\""},
      {std::string("\xC2\x9B") + "c.jpg", "\\xc2\\x9bc.jpg", "\"\\xc2\\x9bc.jpg\""},  // C1 control, as UTF-8
      {"bad\xFF.jpg", "bad\\xff.jpg", "\"bad\\xff.jpg\""},
      {"say \"hi\".jpg", "say \"hi\".jpg", "\"say \\\"hi\\\".jpg\""},
      {" lead.jpg", " lead.jpg", "\" lead.jpg\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(printable(c.name), c.printed);
    EXPECT_EQ(quoted_name(c.name), c.quoted);
  }
}

// Photos with such names, and a path longer than any fixed line: photos.txt lists one entry a line,
// and neither it nor the terminal gets a raw control character.
TEST_F(MakeRuns, NamesAreQuotedOneEntryALine) {
  const fs::path d = dir() / "names-photos";
  const fs::path deep = d / std::string(200, 'x') / std::string(200, 'y');
  fs::create_directories(deep);
  fs::copy_file(dir() / "a.jpg", d / "a\nb.jpg");
  fs::copy_file(dir() / "b.jpg", d / "\x1b]0;owned\x07.jpg");
  fs::copy_file(dir() / "a.jpg", deep / (std::string(200, 'z') + ".jpg"));
  touch(d / "not\x1b[2Ja photo.jpg", "text");
  const Outcome r = make(dir(), "names-photos --music song.wav --out names-show");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string list = file_contents(dir() / "names-show/photos.txt");
  for (const std::string& text : {list, r.err})
    for (char c : text) ASSERT_FALSE(c != '\n' && (uint8_t(c) < 0x20 || c == 0x7f)) << int(c) << " in:\n" << text;
  EXPECT_NE(r.err.find("not\\x1b[2Ja photo.jpg"), std::string::npos) << r.err;
  std::istringstream lines(list);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#') continue;
    // A file of hall.photo or a photo not shown, each with the name of the photo it stands for.
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(line[0])) || line.starts_with("unused") ||
                line.starts_with("skipped") || line.starts_with("duplicate") || line.starts_with("warning"))
        << line;
    EXPECT_NE(line.find("names-photos/"), std::string::npos) << line;
  }
  EXPECT_NE(list.find(std::string(200, 'z') + ".jpg"), std::string::npos);
  EXPECT_NE(list.find("\"names-photos/a\\nb.jpg\""), std::string::npos) << list;
}

// A song whose MP3 breaks off partway (a damaged stretch the decoder gives up on) is reported, not
// taken for a song that short.
TEST_F(MakeRuns, AnMp3ThatBreaksOffIsReported) {
  const fs::path d = dir() / "damaged";
  fs::create_directories(d);
  const std::string mp3 = (d / "song.mp3").string();
  ASSERT_EQ(std::system(("ffmpeg -v error -y -i " + (dir() / "song.wav").string() + " -c:a libmp3lame " + mp3).c_str()), 0);
  std::string bytes = file_contents(mp3);
  for (size_t i = bytes.size() / 3; i < bytes.size() / 3 + 20000 && i < bytes.size(); ++i) bytes[i] = '\0';
  std::ofstream(mp3, std::ios::binary) << bytes;
  AudioAnalysis heard;
  std::string why;
  EXPECT_FALSE(analyse_audio(mp3, heard, why, [](double) { return true; }));
  EXPECT_NE(why.find("cannot be decoded past"), std::string::npos) << why;
}

}  // namespace
