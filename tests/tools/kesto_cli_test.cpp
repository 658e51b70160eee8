// kesto as an author runs it: build, dump and eval through the executable itself.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sync/sync_track.h"
#include "sync/track_file.h"
#include "tests/support/file_contents.h"
#include "tests/support/temp_dir.h"
#include "tools/authoring/scene_track_names.h"
#include "tools/authoring/show_text.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
  int status;
  std::string out;
};

// The command's exit status and standard output; standard error joins it when asked.
Outcome run_command(const std::string& line, bool with_stderr) {
  const std::string command = line + (with_stderr ? " 2>&1" : " 2>/dev/null");
  FILE* p = popen(command.c_str(), "r");
  if (!p) return {-1, ""};
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int status = pclose(p);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

Outcome run(const std::string& args, bool with_stderr = false) {
  return run_command(std::string(KESTO_PATH) + " " + args, with_stderr);
}

// The same with a time limit: a command that hangs is killed and gives 124.
Outcome run_within(int seconds, const std::string& args) {
  return run_command("timeout " + std::to_string(seconds) + " " + std::string(KESTO_PATH) + " " + args, false);
}

void write(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

class KestoCli : public ::testing::Test {
 protected:
  TempDir temp_{TempDir::WorkingDirectory::Keep};
  const fs::path dir = temp_.path();
};

constexpr char SHOW[] =
    "# two tracks\n"
    "back.x\n"
    "  0     0      smooth\n"
    "  2s    1.5    linear   # row 40\n"
    "  60   -0.25   ramp\n"
    "  80    2      step\n"
    "happy\n"
    "  0 0 step\n"
    "  71.5s 2 step\n";

TEST_F(KestoCli, BuildWritesOneFilePerTrackNamedAsTheShowReadsThem) {
  write(dir / "show.txt", SHOW);
  ASSERT_EQ(run("build " + (dir / "show.txt").string() + " " + (dir / "out").string()).status, 0);
  EXPECT_EQ(file_contents(dir / "out/kestos/base_back.x.kesto"),
            encode_track_file({{0, 0.0f, Smooth}, {40, 1.5f, Linear}, {60, -0.25f, Ramp}, {80, 2.0f, Step}}));
  EXPECT_EQ(file_contents(dir / "out/kestos/base_happy.kesto"), encode_track_file({{0, 0.0f, Step}, {1430, 2.0f, Step}}));
  size_t files = 0;
  for (const auto& e : fs::directory_iterator(dir / "out/kestos")) files += e.is_regular_file();
  EXPECT_EQ(files, 22u);  // every track the show reads, and no temporary left beside them
}

// What the text leaves out is written as the author means it, never as the show's bare 0 (which
// draws photo 0 in black over everything).
TEST_F(KestoCli, BuildWritesTheTracksTheTextLeavesOutWithTheAuthoringDefaults) {
  const std::vector<TrackKey> none, one{{0, 1.0f, Step}}, hidden{{0, -1.0f, Step}};
  const struct Case {
    const char* name;
    const char* text;
    bool music;  // a 2 s e12.mp3 beside it
    std::vector<std::pair<const char*, std::vector<TrackKey>>> expected;
  } cases[] = {
      {"only back named",
       "back.n\n  0 3 step\n",
       false,
       {{"back.n", {{0, 3.0f, Step}}}, {"back.r", one}, {"back.g", one}, {"back.b", one}, {"back.scale", none},
        {"back.x", none}, {"beard.n", none}, {"beard.r", one}, {"beard.scale", hidden}, {"sad", none}, {"happy", none}}},
      {"a layer named without keys is not hidden; the music ends the show",
       "beard.x\n",
       true,
       {{"beard.x", none}, {"beard.scale", none}, {"back.scale", hidden}, {"happy", {{0, 0.0f, Step}, {40, 2.0f, Step}}}}},
      {"a happy track of the text's own wins over the music",
       "happy\n  0 1 step\nback.scale\n  0 0.5 linear\n",
       true,
       {{"happy", {{0, 1.0f, Step}}}, {"back.scale", {{0, 0.5f, Linear}}}, {"beard.scale", hidden}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path out = dir / std::to_string(&c - cases);
    fs::create_directories(out);
    if (c.music) {
      ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=2 -c:a libmp3lame '" +
                             (out / "e12.mp3").string() + "'").c_str()), 0);
    }
    write(out / "show.txt", c.text);
    ASSERT_EQ(run("build '" + (out / "show.txt").string() + "' '" + out.string() + "'").status, 0);
    for (const auto& [name, keys] : c.expected) EXPECT_EQ(file_contents(out / track_file_name(name)), encode_track_file(keys)) << name;
  }
}

// The text is the whole truth: a track taken out of it does not play on from an old file.
TEST_F(KestoCli, ATrackTakenOutOfTheTextLeavesNoStaleFile) {
  write(dir / "show.txt", "back.n\n  0 3 step\nsad\n  0 7 step\nbeard.rotz\n  0 9 step\n");
  ASSERT_EQ(run("build " + (dir / "show.txt").string() + " " + dir.string()).status, 0);
  write(dir / "show.txt", "back.n\n  0 3 step\n");
  ASSERT_EQ(run("build " + (dir / "show.txt").string() + " " + dir.string()).status, 0);
  EXPECT_EQ(file_contents(dir / "kestos/base_sad.kesto"), encode_track_file({}));
  EXPECT_EQ(file_contents(dir / "kestos/base_beard.rotz.kesto"), encode_track_file({}));
  EXPECT_EQ(file_contents(dir / "kestos/base_beard.scale.kesto"), encode_track_file({{0, -1.0f, Step}}));
}

// kesto text of a folder, built again, gives the folder's files byte for byte: for a folder
// built from a partial text, one of every track with awkward values, and one with files missing
// (they read 0, as the empty track the text gives them does).
TEST_F(KestoCli, TextOfAFolderBuildsBackToTheSameFiles) {
  std::string awkward;
  for (size_t t = 0; t < KESTO_TRACK_NAMES.size(); ++t) {
    awkward += std::string(KESTO_TRACK_NAMES[t]) + "\n";
    for (int k = 0; k < static_cast<int>(t % 5); ++k)
      awkward += std::to_string(k * 7 + 3) + " " +
                 format_float(std::bit_cast<float>(static_cast<uint32_t>(0x3F8CCCCDu + 977u * (t * 5 + k)))) + " " +
                 std::string(interpolation_name(k % 4)) + "\n";
  }
  for (const std::string& text : {std::string("bpm 128\nback.n\n  1:1 17 step\nhappy\n  0 0 step\n  30s 2 step\n"), awkward}) {
    SCOPED_TRACE(text);
    fs::remove_all(dir / "a");
    fs::remove_all(dir / "b");
    write(dir / "show.txt", text);
    ASSERT_EQ(run("build " + (dir / "show.txt").string() + " " + (dir / "a").string()).status, 0);
    const Outcome printed = run("text " + (dir / "a").string());
    ASSERT_EQ(printed.status, 0);
    write(dir / "text.txt", printed.out);
    ASSERT_EQ(run("build " + (dir / "text.txt").string() + " " + (dir / "b").string()).status, 0);
    for (std::string_view name : KESTO_TRACK_NAMES)
      EXPECT_EQ(file_contents(dir / "b" / track_file_name(name)), file_contents(dir / "a" / track_file_name(name))) << name;
    // And the text of the rebuilt folder is the same text.
    EXPECT_EQ(run("text " + (dir / "b").string()).out.substr(printed.out.find('\n')),
              printed.out.substr(printed.out.find('\n')));
  }
  fs::remove(dir / "b" / track_file_name("sad"));
  const Outcome printed = run("text " + (dir / "b").string());
  ASSERT_EQ(printed.status, 0);
  EXPECT_NE(printed.out.find("# sad: no file, reads 0\nsad\n"), std::string::npos) << printed.out;
  write(dir / "damaged", "x");
  fs::copy_file(dir / "damaged", dir / "b" / track_file_name("sad"));
  const Outcome damaged = run("text " + (dir / "b").string(), true);
  EXPECT_EQ(damaged.status, 1);
  EXPECT_NE(damaged.out.find("base_sad.kesto: "), std::string::npos) << damaged.out;
}

TEST_F(KestoCli, BuildWritesNothingWhenTheTextHasAFault) {
  write(dir / "show.txt", std::string(SHOW) + "sad\n  0 1 wobble\n  5 oops step\n");
  const Outcome r = run("build " + (dir / "show.txt").string() + " " + (dir / "out").string(), true);
  EXPECT_EQ(r.status, 1);
  const std::string file = (dir / "show.txt").string();
  EXPECT_NE(r.out.find(file + ":11: unknown interpolation 'wobble' (step, linear, smooth or ramp)\n"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(file + ":12: value 'oops' is not a number\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("2 errors, nothing written"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(dir / "out"));
}

// The tempo is for authoring tools: the track files are the same with it, and a malformed tempo
// line stops the build like any other fault.
TEST_F(KestoCli, BuildIgnoresTheTempoAndRefusesAMalformedOne) {
  write(dir / "plain.txt", SHOW);
  write(dir / "tempo.txt", std::string("bpm 120\nbeats 4\n") + SHOW);
  ASSERT_EQ(run("build " + (dir / "plain.txt").string() + " " + (dir / "plain").string()).status, 0);
  ASSERT_EQ(run("build " + (dir / "tempo.txt").string() + " " + (dir / "tempo").string()).status, 0);
  for (const char* name : {"kestos/base_back.x.kesto", "kestos/base_happy.kesto"})
    EXPECT_EQ(file_contents(dir / "tempo" / name), file_contents(dir / "plain" / name)) << name;

  write(dir / "bad.txt", std::string(SHOW) + "bpm 12O\n");
  const Outcome r = run("build " + (dir / "bad.txt").string() + " " + (dir / "bad").string(), true);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find((dir / "bad.txt").string() + ":10: bpm '12O' is not a tempo"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(dir / "bad"));
}

TEST_F(KestoCli, RefusesMissingFilesAndWrongUsage) {
  const struct {
    std::string args;
    int status;
    std::string message;
  } cases[] = {
      {"build " + (dir / "none.txt").string() + " " + dir.string(), 1, "kesto: cannot read " + (dir / "none.txt").string()},
      {"dump " + (dir / "none.kesto").string(), 1, "kesto: cannot read " + (dir / "none.kesto").string()},
      {"eval " + (dir / "none.kesto").string() + " 5", 1, "kesto: cannot open " + (dir / "none.kesto").string()},
      {"eval " + (dir / "none.kesto").string() + " five", 2, "kesto: row 'five' is not a number of rows or seconds"},
      {"", 2, "usage: kesto build SHOW.txt DIR"},
      {"build only-one-argument", 2, "usage: kesto build SHOW.txt DIR"},
      {"play x", 2, "usage: kesto build SHOW.txt DIR"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const Outcome r = run(c.args, true);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
  }
}

// A FIFO or a device in place of a show text, a track file or the music is refused, not waited on
// (kesto would hang deaf to all but a kill) nor read for ever.
TEST_F(KestoCli, SpecialFilesAreRefusedNotWaitedOn) {
  const std::string d = dir.string();
  write(dir / "sound.txt", "back.x\n  0 1 step\n");  // no "happy": the music's length is read
  fs::create_directories(dir / "kestos");
  ASSERT_EQ(mkfifo((dir / "fifo.txt").c_str(), 0644), 0);
  ASSERT_EQ(mkfifo((dir / "e12.mp3").c_str(), 0644), 0);
  ASSERT_EQ(mkfifo((dir / "kestos/base_back.x.kesto").c_str(), 0644), 0);
  fs::create_symlink("/dev/zero", dir / "zero.txt");
  const struct {
    std::string args;
    int status;
  } cases[] = {
      {"build " + d + "/fifo.txt " + d + "/out", 1},
      {"build " + d + "/zero.txt " + d + "/out", 1},
      {"build " + d + "/sound.txt " + d, 0},  // the music counts as missing
      {"dump " + d + "/kestos/base_back.x.kesto", 1},
      {"dump /dev/zero", 1},
      {"eval " + d + "/kestos/base_back.x.kesto 0", 1},
  };
  for (const auto& c : cases) {
    fs::remove(dir / "kestos/base_back.x.kesto");  // the build of the sound text puts a file there
    ASSERT_EQ(mkfifo((dir / "kestos/base_back.x.kesto").c_str(), 0644), 0);
    EXPECT_EQ(run_within(10, c.args).status, c.status) << c.args;
  }
}

TEST_F(KestoCli, DumpRefusesABrokenFileWithItsName) {
  write(dir / "base_sad.kesto", encode_track_file({{1, 1.0f, Step}}).substr(0, 10));
  const Outcome r = run("dump " + (dir / "base_sad.kesto").string(), true);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, (dir / "base_sad.kesto").string() + ": 1 key promised, 0 present\n");
}

// build → dump → build gives the same bytes, for every track of a show with awkward values.
TEST_F(KestoCli, DumpBuildsBackToTheSameFile) {
  std::string show;
  for (size_t t = 0; t < KESTO_TRACK_NAMES.size(); ++t) {
    show += std::string(KESTO_TRACK_NAMES[t]) + "\n";
    for (int k = 0; k < static_cast<int>(t % 5); ++k)
      show += std::to_string(k * 7 + 3) + " " + format_float(std::bit_cast<float>(static_cast<uint32_t>(0x3DCCCCCDu + 977u * (t * 5 + k)))) +
              " " + std::string(interpolation_name(k % 4)) + "\n";
  }
  write(dir / "show.txt", show);
  ASSERT_EQ(run("build " + (dir / "show.txt").string() + " " + (dir / "a").string()).status, 0);

  std::string dumped;
  for (std::string_view name : KESTO_TRACK_NAMES) {
    const Outcome r = run("dump " + (dir / "a" / track_file_name(name)).string());
    ASSERT_EQ(r.status, 0) << name;
    dumped += r.out;
  }
  write(dir / "dumped.txt", dumped);
  ASSERT_EQ(run("build " + (dir / "dumped.txt").string() + " " + (dir / "b").string()).status, 0);
  for (std::string_view name : KESTO_TRACK_NAMES) {
    SCOPED_TRACE(name);
    EXPECT_EQ(file_contents(dir / "b" / track_file_name(name)), file_contents(dir / "a" / track_file_name(name)));
  }
}

TEST_F(KestoCli, DumpPrintsTheTextForm) {
  write(dir / "show.txt", "beard.y\n0 0.5 linear\n1.5s -1 step\n");
  ASSERT_EQ(run("build " + (dir / "show.txt").string() + " " + dir.string()).status, 0);
  const fs::path file = dir / "kestos/base_beard.y.kesto";
  EXPECT_EQ(run("dump " + file.string()).out, "# " + file.string() + ": 2 keys\n"
                                              "beard.y\n"
                                              "  0       0.5           linear  # 0s\n"
                                              "  30      -1            step    # 1.5s\n");
}

// What kesto eval prints is what the show's own get_value gives, at whole, fractional, negative
// and far rows, for every interpolation.
TEST_F(KestoCli, EvalPrintsWhatTheShowComputes) {
  write(dir / "show.txt",
        "back.rotz\n  10 0 linear\n  20 1 smooth\n  30 -3 ramp\n  50 7.25 step\n  60 0.1 linear\n  61 1e6 step\n");
  ASSERT_EQ(run("build " + (dir / "show.txt").string() + " " + dir.string()).status, 0);
  const fs::path file = dir / "kestos/base_back.rotz.kesto";
  SyncTrack track;
  ASSERT_EQ(load_track_file(file.string(), track), 0);
  const double rows[] = {-1e9, -0.5, 0, 9.999, 10, 12.5, 15, 19.999, 20, 21.37, 25, 29.5, 30, 33.3, 40,
                         49.99, 50, 55, 60, 60.001, 60.5, 61, 1e9};
  for (double row : rows) {
    char arg[64];
    std::snprintf(arg, sizeof arg, "%.17g", row);
    SCOPED_TRACE(arg);
    const Outcome r = run("eval " + file.string() + " " + arg);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.out, format_float(get_value(track, row)) + "\n");
  }
  // Seconds are rows at 20 a second.
  EXPECT_EQ(run("eval " + file.string() + " 0.75s").out, format_float(get_value(track, 15.0)) + "\n");
}

// kesto check on a folder with every kind of photo problem names each one once, and exits 1
// because photos the tracks show are missing or unreadable.
TEST_F(KestoCli, CheckNamesEveryPhotoProblemOnce) {
  const fs::path photos = dir / "hall.photo";
  fs::create_directories(photos);
  auto sh = [](const std::string& command) { return std::system(command.c_str()); };
  ASSERT_EQ(sh("convert -size 8x8 xc:red '" + (photos / "01.png").string() + "'"), 0);
  fs::copy_file(photos / "01.png", photos / "13.png");
  fs::copy_file(photos / "01.png", photos / "13.PNG");           // a twin differing in case
  ASSERT_EQ(sh("convert -size 8x8 xc:red '" + (photos / "11.jpg").string() + "'"), 0);  // 11.JPG wanted
  write(photos / "15.png", "a text file, not a picture\n");
  write(photos / "16.png", file_contents(photos / "01.png").substr(0, 100));  // cut short
  ASSERT_EQ(sh("convert -size 64x32 xc:blue '" + (photos / "29.JPG").string() + "'"), 0);
  write(dir / "show.txt",
        "back.n\n  0 5 step\n  1s 13 step\n  2s 15 step\n  2.5s 16 step\n  3s 29 step\n  4s 7 step\n"
        "  5s 50 linear\n  6s 60 step\n"
        "beard.n\n  0 11 step\n  1s 1 step\n");
  ASSERT_EQ(run("build " + (dir / "show.txt").string() + " " + dir.string()).status, 0);
  const Outcome r = run("check " + dir.string());
  EXPECT_EQ(r.status, 1);
  const char* expected[] = {
      "hall.photo/05.JPG is missing; back.n shows it from 0s\n",
      "hall.photo/11.JPG is missing, but there is hall.photo/11.jpg: the show reads only the name as written, case "
      "too; beard.n shows it from 0s\n",
      "hall.photo/13.PNG differs from hall.photo/13.png only in case: the show reads hall.photo/13.png\n",
      "hall.photo/15.png cannot be decoded: it is no image the show reads: its first bytes are not those of a PNG, "
      "JPEG, GIF or BMP file; back.n shows it from 2s\n",
      "hall.photo/16.png cannot be decoded: ",
      "hall.photo/29.JPG is 64x32, not square: the show stretches it over a square\n",
      "back.n shows 7 from 4s, an entry the show never loads (6 to 10 and 28): the layer shows only its colour\n",
      "a layer shows 50 to 60 from 5s, with no photo in hall.photo/: the layer shows only its colour\n",
      "kesto: 8 photo problems, 4 of them showing what the author did not mean\n",
  };
  for (const char* e : expected) {
    const size_t at = r.out.find(e);
    EXPECT_NE(at, std::string::npos) << e << "\n" << r.out;
    if (at != std::string::npos) {
      EXPECT_EQ(r.out.find(e, at + 1), std::string::npos) << "twice: " << e;
    }
  }
  // 13 appears in no other line, nor 01 (a sound photo the tracks show).
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 9) << r.out;

  // The folder mended: nothing to say, and exit 0.
  write(dir / "show.txt", "back.n\n  0 1 step\n  1s 13 step\n");
  fs::remove(photos / "13.PNG");
  ASSERT_EQ(run("build " + (dir / "show.txt").string() + " " + dir.string()).status, 0);
  const Outcome fine = run("check " + dir.string());
  EXPECT_EQ(fine.status, 0);
  // Files no track shows are still looked at: a JPEG that is not square, a photo that will not decode.
  EXPECT_NE(fine.out.find("hall.photo/29.JPG is 64x32"), std::string::npos) << fine.out;
  EXPECT_NE(fine.out.find("hall.photo/15.png cannot be decoded: it is no image"), std::string::npos) << fine.out;
}

}  // namespace
