// kesto as an author runs it: build, dump and eval through the executable itself.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sync/sync_track.h"
#include "tests/support/temp_dir.h"
#include "tools/scene_track_names.h"
#include "tools/show_text.h"
#include "tools/track_file.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
  int status;
  std::string out;
};

// The command's exit status and standard output; standard error joins it when asked.
Outcome run(const std::string& args, bool with_stderr = false) {
  const std::string command = std::string(KESTO_PATH) + " " + args + (with_stderr ? " 2>&1" : " 2>/dev/null");
  FILE* p = popen(command.c_str(), "r");
  if (!p) return {-1, ""};
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int status = pclose(p);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
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
  EXPECT_EQ(slurp(dir / "out/kestos/base_back.x.kesto"),
            encode_track_file({{0, 0.0f, Smooth}, {40, 1.5f, Linear}, {60, -0.25f, Ramp}, {80, 2.0f, Step}}));
  EXPECT_EQ(slurp(dir / "out/kestos/base_happy.kesto"), encode_track_file({{0, 0.0f, Step}, {1430, 2.0f, Step}}));
  size_t files = 0;
  for (const auto& e : fs::directory_iterator(dir / "out/kestos")) files += e.is_regular_file();
  EXPECT_EQ(files, 2u);  // and no temporary left beside them
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
    EXPECT_EQ(slurp(dir / "tempo" / name), slurp(dir / "plain" / name)) << name;

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

TEST_F(KestoCli, DumpRefusesABrokenFileWithItsName) {
  write(dir / "base_sad.kesto", encode_track_file({{1, 1.0f, Step}}).substr(0, 10));
  const Outcome r = run("dump " + (dir / "base_sad.kesto").string(), true);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, (dir / "base_sad.kesto").string() + ": 1 keys promised, 0 present\n");
}

// build → dump → build gives the same bytes, for every track of a show with awkward values.
TEST_F(KestoCli, DumpBuildsBackToTheSameFile) {
  std::string show;
  for (size_t t = 0; t < KESTO_TRACK_NAMES.size(); ++t) {
    show += std::string(KESTO_TRACK_NAMES[t]) + "\n";
    for (int k = 0; k < static_cast<int>(t % 5); ++k)
      show += std::to_string(k * 7 - 3) + " " + format_float(std::bit_cast<float>(static_cast<uint32_t>(0x3DCCCCCDu + 977u * (t * 5 + k)))) +
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
    EXPECT_EQ(slurp(dir / "b" / track_file_name(name)), slurp(dir / "a" / track_file_name(name)));
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

}  // namespace
