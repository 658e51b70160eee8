// hallshow-capture from outside: its options, a captured frame against the harness's own
// rendering of the same row, a short video checked with ffprobe, and its clear refusals.
#include <png.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "app/swap_buffers.h"
#include "show/scene.h"
#include "tests/support/gl_harness.h"
#include "tools/capture/capture_options.h"

namespace {

using gltest::Frame;
using gltest::read_png;

struct CaptureRun {
  int exit_code = -1;
  std::string output;  // stdout and stderr together
};

CaptureRun run(const std::string& arguments) {
  CaptureRun result;
  FILE* pipe = popen((std::string(CAPTURE_PATH) + " " + arguments + " 2>&1").c_str(), "r");
  if (!pipe) return result;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) result.output += buffer;
  const int status = pclose(pipe);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

std::string shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
  pclose(pipe);
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

bool make_music(double seconds) {
  return std::system(("ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=" + std::to_string(seconds) +
                      " -c:a libmp3lame e12.mp3").c_str()) == 0;
}

void write_test_show() {
  gltest::write_track_file("back.x", {{0, -1, Linear}, {100, 1, Step}});
  gltest::write_track_file("back.rotz", {{0, 0, Smooth}, {100, 270, Step}});
  gltest::write_constant_track("back.r", 1);
  gltest::write_track_file("beard.y", {{0, 0.8f, Linear}, {100, -0.8f, Step}});
  gltest::write_constant_track("beard.g", 0.7f);
  gltest::write_constant_track("beard.b", 1);
  gltest::write_track_file("beard.scale", {{0, -0.6f, Ramp}, {100, 0.1f, Step}});
  gltest::write_track_file("happy", {{0, 0, Step}, {20, 1, Step}});
}

// ---------------------------------------------------------------------------------------------

TEST(CaptureOptionsTest, TimesAreRowsOrSeconds) {
  struct Case {
    const char* text;
    std::optional<double> row;
  };
  const Case cases[] = {{"250", 250.0}, {"250r", 250.0}, {"12.5s", 250.0}, {"0", 0.0}, {"0.5", 0.5},
                        {"1s", 20.0},   {"", std::nullopt}, {"s", std::nullopt}, {"-3", std::nullopt},
                        {"1e3", std::nullopt}, {"12x", std::nullopt}, {"nan", std::nullopt}, {"1..2", std::nullopt}};
  for (const Case& c : cases) EXPECT_EQ(parse_capture_time(c.text), c.row) << '"' << c.text << '"';
}

TEST(CaptureOptionsTest, ParsesItsArgumentsAndRefusesOthersClearly) {
  struct Case {
    std::vector<const char*> args;
    bool ok;
    int width, height, fps;
  };
  const Case cases[] = {
      {{}, true, 1920, 1080, 60},
      {{"--size", "1024x768", "--fps", "30"}, true, 1024, 768, 30},
      {{"--at", "3s", "--output", "a.png"}, true, 1920, 1080, 60},
      {{"--size", "1024"}, false, 0, 0, 0},
      {{"--size", "0x10"}, false, 0, 0, 0},
      {{"--size", "20000x10"}, false, 0, 0, 0},
      {{"--fps", "0"}, false, 0, 0, 0},
      {{"--fps", "2.5"}, false, 0, 0, 0},
      {{"--fps"}, false, 0, 0, 0},
      {{"--loud"}, false, 0, 0, 0},
      {{"--storyboard", "b.png", "--every", "1s", "--size", "640x360"}, true, 640, 360, 60},
      {{"--storyboard", "b.png", "--every", "0"}, false, 0, 0, 0},
      {{"--storyboard", "b.png", "--at", "3"}, false, 0, 0, 0},
      {{"--storyboard", "b.png", "--output", "c.png"}, false, 0, 0, 0},
      {{"--storyboard", "b.png", "--fps", "30"}, false, 0, 0, 0},
      {{"--every", "2s"}, false, 0, 0, 0},
      {{"--from", "2s", "--to", "3s"}, true, 1920, 1080, 60},
      {{"--storyboard", "b.png", "--from", "20"}, true, 1920, 1080, 60},
      {{"--from", "3s", "--to", "2s"}, false, 0, 0, 0},
      {{"--to", "0"}, false, 0, 0, 0},
      {{"--at", "3", "--from", "1"}, false, 0, 0, 0},
      {{"--from", "soon"}, false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv{"hallshow-capture"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    CaptureOptions options;
    std::string error;
    const bool ok = parse_capture_options(static_cast<int>(argv.size()), argv.data(), options, error);
    EXPECT_EQ(ok, c.ok) << argv.size() - 1 << " arguments, first " << (c.args.empty() ? "" : c.args[0]);
    if (ok && c.ok) {
      EXPECT_EQ(options.width, c.width);
      EXPECT_EQ(options.height, c.height);
      EXPECT_EQ(options.fps, c.fps);
    } else {
      EXPECT_FALSE(error.empty());
    }
  }
}

// A preset sets the size, the rate and the quality; any of them given as well wins over it.
TEST(CaptureOptionsTest, PresetsAndQualityChooseSizeRateAndEncoder) {
  struct Case {
    std::vector<const char*> args;
    int width, height, fps;
    std::string x264_preset;
    int crf;
  };
  const Case cases[] = {
      {{}, 1920, 1080, 60, "ultrafast", 19},
      {{"--preset", "web"}, 1920, 1080, 30, "veryfast", 20},
      {{"--preset", "4k"}, 3840, 2160, 60, "ultrafast", 19},
      {{"--quality", "best"}, 1920, 1080, 60, "superfast", 18},
      {{"--quality", "small", "--fps", "24"}, 1920, 1080, 24, "veryfast", 20},
      {{"--preset", "web", "--fps", "60", "--quality", "good"}, 1920, 1080, 60, "ultrafast", 19},
      {{"--size", "1280x720", "--preset", "4k", "--quality", "best"}, 1280, 720, 60, "superfast", 18},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv{"hallshow-capture"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    CaptureOptions options;
    std::string error;
    ASSERT_TRUE(parse_capture_options(static_cast<int>(argv.size()), argv.data(), options, error)) << error;
    const std::string what = argv.size() > 1 ? argv[1] + std::string(" ...") : "no arguments";
    EXPECT_EQ(options.width, c.width) << what;
    EXPECT_EQ(options.height, c.height) << what;
    EXPECT_EQ(options.fps, c.fps) << what;
    EXPECT_EQ(options.encoder.preset, c.x264_preset) << what;
    EXPECT_EQ(options.encoder.crf, c.crf) << what;
  }
  const std::vector<std::vector<const char*>> refused = {
      {"--preset", "8k"}, {"--quality", "great"}, {"--preset"}, {"--preset", "web", "--at", "3"},
      {"--stats", "--storyboard", "b.png"}, {"--quality", "small", "--at", "1s"}, {"--preset", "4k", "--size", "641x360"}};
  for (const auto& args : refused) {
    std::vector<const char*> argv{"hallshow-capture"};
    argv.insert(argv.end(), args.begin(), args.end());
    CaptureOptions options;
    std::string error;
    EXPECT_FALSE(parse_capture_options(static_cast<int>(argv.size()), argv.data(), options, error)) << args[0];
    EXPECT_FALSE(error.empty()) << args[0];
  }
}

// ---------------------------------------------------------------------------------------------

class CaptureFrameTest : public gltest::GlTest {
 protected:
  ScreenSize screen_size() const override { return {320, 180}; }
};

TEST_F(CaptureFrameTest, AFrameAtARowEqualsTheHarnessRenderingOfThatRow) {
  gltest::TempDir folder;
  write_test_show();
  for (double row : {0.0, 12.25, 37.5, 99.0}) {
    const CaptureRun capture = run("--at " + std::to_string(row) + " --size 320x180 --output frame.png");
    ASSERT_EQ(capture.exit_code, 0) << capture.output;
    const Frame captured = read_png("frame.png");
    ASSERT_EQ(captured.width, 320);
    ASSERT_EQ(captured.height, 180);

    bind_tracks();
    ASSERT_EQ(render_frame_at(row, swap_buffers), FrameResult::Presented);
    Frame expected = presented();
    // The screen shows no framebuffer alpha; the capture writes what the screen shows.
    for (size_t i = 3; i < expected.rgba.size(); i += 4) expected.rgba[i] = 255;
    EXPECT_EQ(captured, expected) << "row " << row;
    keep_on_failure(captured, "captured");
  }
}

// A cell as the storyboard promises it: the frame's factor × factor blocks, each channel's mean
// rounded half up, written out here independently of the tool.
Frame scaled_down(const Frame& f, int factor) {
  Frame out{f.width / factor, f.height / factor, {}};
  out.rgba.resize(static_cast<size_t>(out.width) * out.height * 4);
  const int block = factor * factor;
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x)
      for (int c = 0; c < 4; ++c) {
        int sum = 0;
        for (int dy = 0; dy < factor; ++dy)
          for (int dx = 0; dx < factor; ++dx)
            sum += f.rgba[((static_cast<size_t>(y) * factor + dy) * f.width + x * factor + dx) * 4 + c];
        out.rgba[(static_cast<size_t>(y) * out.width + x) * 4 + c] = static_cast<uint8_t>((sum + block / 2) / block);
      }
  return out;
}

Frame cell_of(const Frame& board, int x, int y, int width, int height) {
  Frame cell{width, height, {}};
  for (int row = 0; row < height; ++row) {
    const auto* start = &board.rgba[(static_cast<size_t>(y + row) * board.width + x) * 4];
    cell.rgba.insert(cell.rgba.end(), start, start + static_cast<size_t>(width) * 4);
  }
  return cell;
}

// 640 × 360 frames become 320 × 180 cells (half size: the smallest whole factor to 480 wide or
// less), six to a row, with 8 pixels between and around them and a 24-pixel label strip under each.
TEST(CaptureTest, AStoryboardHoldsEveryStepsFrameScaledDownAndLabelled) {
  struct Case {
    const char* name;
    std::vector<gltest::Key> happy;
    const char* every;
    std::vector<double> rows;  // the cells' rows, in order
  };
  const Case cases[] = {
      // No music and "happy" never ends it: up to and including the last key, row 100.
      {"to the last key", {{0, 0, Step}, {20, 1, Step}}, "1s", {0, 20, 40, 60, 80, 100}},
      // "happy" reaches 2 at row 50: the cells stop before it.
      {"until happy ends it", {{0, 0, Step}, {20, 1, Step}, {50, 2, Step}}, "15", {0, 15, 30, 45}},
      // Two rows of cells, the second part full: each row of cells drawn as the picture reaches it.
      {"two rows of cells", {{0, 0, Step}, {20, 1, Step}}, "10", {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    gltest::TempDir folder;
    write_test_show();
    gltest::write_track_file("happy", c.happy);
    const CaptureRun capture = run(std::string("--storyboard board.png --every ") + c.every + " --size 640x360");
    ASSERT_EQ(capture.exit_code, 0) << capture.output;
    EXPECT_FALSE(std::filesystem::exists("board.png.part.png"));
    const Frame board = read_png("board.png");
    const int cells = static_cast<int>(c.rows.size());
    ASSERT_EQ(board.width, 8 + std::min(cells, 6) * (320 + 8));
    ASSERT_EQ(board.height, 8 + (cells + 5) / 6 * (180 + 24 + 8));
    for (int i = 0; i < cells; ++i) {
      SCOPED_TRACE("row " + std::to_string(c.rows[i]));
      const CaptureRun frame = run("--at " + std::to_string(c.rows[i]) + " --size 640x360 --output frame.png");
      ASSERT_EQ(frame.exit_code, 0) << frame.output;
      const int x = 8 + i % 6 * (320 + 8), y = 8 + i / 6 * (180 + 24 + 8);
      EXPECT_EQ(cell_of(board, x, y, 320, 180), scaled_down(read_png("frame.png"), 2));
      // Its label is written in the strip below.
      const Frame label = cell_of(board, x, y + 180, 320, 24);
      EXPECT_GT(label.count([](gltest::Rgba p) { return p.r > 200; }), 20);
    }
  }
}

// A tiny step would make millions of frames; it is refused before any is made.
TEST(CaptureTest, AStoryboardOfTooManyFramesIsRefused) {
  gltest::TempDir folder;
  write_test_show();
  const CaptureRun capture = run("--storyboard board.png --every 0.00000001 --size 160x90");
  EXPECT_EQ(capture.exit_code, 1) << capture.output;
  EXPECT_NE(capture.output.find("--every"), std::string::npos) << capture.output;
  EXPECT_FALSE(std::filesystem::exists("board.png"));
}

TEST(CaptureTest, AShortCaptureIsAnMp4OfTheRightLengthWithSound) {
  gltest::TempDir folder;
  write_test_show();
  ASSERT_TRUE(make_music(2.0));
  const CaptureRun capture = run("--size 160x90 --fps 10");
  ASSERT_EQ(capture.exit_code, 0) << capture.output;
  ASSERT_TRUE(std::filesystem::exists("hallshow.mp4"));
  EXPECT_FALSE(std::filesystem::exists("hallshow.mp4.part.mp4"));
  const double music = std::atof(shell("ffprobe -v error -show_entries format=duration -of csv=p=0 e12.mp3").c_str());
  const long frames = static_cast<long>(std::ceil(music * 10 - 1e-9));
  EXPECT_EQ(shell("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "
                  "hallshow.mp4"),
            std::to_string(frames));
  EXPECT_EQ(shell("ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,pix_fmt,width,height "
                  "-of csv=p=0 hallshow.mp4"),
            "h264,160,90,yuv420p");
  EXPECT_EQ(shell("ffprobe -v error -select_streams a -show_entries stream=codec_type -of csv=p=0 hallshow.mp4"), "audio");
  const double video = std::atof(
      shell("ffprobe -v error -select_streams v:0 -show_entries stream=duration -of csv=p=0 hallshow.mp4").c_str());
  EXPECT_NEAR(video, frames / 10.0, 0.05);
}

TEST(CaptureTest, TheVideoStopsWhereHappyEndsTheShow) {
  gltest::TempDir folder;
  gltest::write_constant_track("back.r", 1);
  gltest::write_track_file("happy", {{0, 0, Step}, {15, 2, Step}});  // row 15: 0.75 s
  ASSERT_TRUE(make_music(2.0));
  const CaptureRun capture = run("--size 160x90 --fps 20");
  ASSERT_EQ(capture.exit_code, 0) << capture.output;
  EXPECT_EQ(shell("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "
                  "hallshow.mp4"),
            "15");
}

// --from and --to take a part of the show; into a pipe the capture tells its progress in lines,
// and its last line says what ended it.
TEST(CaptureTest, APartOfTheShowWithProgressLinesAndItsEnd) {
  gltest::TempDir folder;
  write_test_show();
  ASSERT_TRUE(make_music(3.0));
  const CaptureRun capture = run("--size 160x90 --fps 10 --from 1s --to 2s");
  ASSERT_EQ(capture.exit_code, 0) << capture.output;
  EXPECT_EQ(shell("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "
                  "hallshow.mp4"),
            "10");
  EXPECT_NE(capture.output.find("hallshow-capture: 0 of 10 frames\n"), std::string::npos) << capture.output;
  EXPECT_NE(capture.output.find("hallshow-capture: 10 frames at 10 fps, until --to at 2s (row 40)\n"),
            std::string::npos)
      << capture.output;
}

// "happy" at 2 for a moment between two of the storyboard's frames still ends the show there,
// and the last line says so.
TEST(CaptureTest, AStoryboardSaysWhatEndedTheShow) {
  gltest::TempDir folder;
  write_test_show();
  gltest::write_track_file("happy", {{0, 0, Step}, {30, 2, Step}, {31, 0, Step}});
  const struct {
    const char* args;
    const char* last;
  } cases[] = {
      {"--every 1s", "hallshow-capture: 2 frames, one every 20 rows, until \"happy\" ended the show at 1.5s (row 30)\n"},
      {"--every 10 --from 5 --to 25", "hallshow-capture: 2 frames, one every 10 rows, until --to at 1.25s (row 25)\n"},
  };
  for (const auto& c : cases) {
    const CaptureRun capture = run(std::string("--storyboard board.png --size 160x90 ") + c.args);
    ASSERT_EQ(capture.exit_code, 0) << capture.output;
    EXPECT_NE(capture.output.find(c.last), std::string::npos) << capture.output;
  }
}

TEST(CaptureTest, RefusesAVideoWithoutMusicAndSaysSo) {
  gltest::TempDir folder;
  write_test_show();
  const CaptureRun capture = run("--size 160x90");
  EXPECT_EQ(capture.exit_code, 1);
  EXPECT_NE(capture.output.find("e12.mp3"), std::string::npos) << capture.output;
  EXPECT_FALSE(std::filesystem::exists("hallshow.mp4"));
}

// A FIFO or a device as e12.mp3 is no music, as it is to the show, and is never waited on.
TEST(CaptureTest, RefusesAVideoOfMusicThatIsNoRegularFile) {
  gltest::TempDir folder;
  write_test_show();
  ASSERT_EQ(mkfifo("e12.mp3", 0644), 0);
  const std::string output = shell("timeout -s KILL 30 " + std::string(CAPTURE_PATH) + " --size 160x90 2>&1; echo \"exit $?\"");
  EXPECT_NE(output.find("e12.mp3 is not a regular file"), std::string::npos) << output;
  EXPECT_NE(output.find("exit 1"), std::string::npos) << output;
}

TEST(CaptureTest, AFolderWithoutTracksStillRendersAndSaysSo) {
  gltest::TempDir folder;
  const CaptureRun capture = run("--at 0 --size 160x90 --output f.png");
  EXPECT_EQ(capture.exit_code, 0) << capture.output;
  EXPECT_NE(capture.output.find("no tracks"), std::string::npos) << capture.output;
  EXPECT_EQ(read_png("f.png").width, 160);
}

// The README's "Making a show" example, taken from the README as a new author copies it, with
// stand-ins for the photos: at 5 s the back layer shows photo 17 (not the bare tracks' black).
TEST(CaptureTest, TheReadmeExampleShowsItsPhotos) {
  std::ifstream readme(README_PATH);
  std::string line, text;
  bool inside = false;
  while (std::getline(readme, line)) {
    if (line.find("cat > show.txt <<'EOF'") != std::string::npos) inside = true;
    else if (inside && line == "    EOF") break;
    else if (inside) text += (line.starts_with("    ") ? line.substr(4) : line) + "\n";
  }
  ASSERT_NE(text.find("back.n"), std::string::npos) << "no example found in " << README_PATH;
  gltest::TempDir folder;
  std::ofstream("show.txt") << text;
  std::filesystem::create_directory("hall.photo");
  Frame red{64, 64, {}};
  for (int i = 0; i < 64 * 64; ++i) red.rgba.insert(red.rgba.end(), {230, 20, 20, 255});
  ASSERT_TRUE(red.save_png("hall.photo/01.png"));
  ASSERT_EQ(std::system("ffmpeg -v error -y -f lavfi -i color=c=0x1428E6:s=64x64 -frames:v 1 hall.photo/17.jpg"), 0);
  ASSERT_EQ(std::system((std::string(KESTO_PATH) + " build show.txt . >/dev/null").c_str()), 0);

  for (const auto& [time, colour] : {std::pair{"5s", gltest::Rgba{20, 40, 230, 255}}, {"1s", gltest::Rgba{115, 10, 10, 255}}}) {
    SCOPED_TRACE(time);
    const CaptureRun capture = run(std::string("--at ") + time + " --size 320x180 --output frame.png");
    ASSERT_EQ(capture.exit_code, 0) << capture.output;
    const Frame frame = read_png("frame.png");
    EXPECT_TRUE(gltest::near(frame.at(160, 90), colour, 12)) << frame.at(160, 90);
    EXPECT_EQ(frame.at(2, 90), (gltest::Rgba{0, 0, 0, 255}));  // beside the layer: the black around it
  }
}

TEST(CaptureTest, AFrameAfterTheEndOfTheShowIsRefused) {
  gltest::TempDir folder;
  gltest::write_constant_track("happy", 2);
  const CaptureRun capture = run("--at 10 --size 160x90 --output f.png");
  EXPECT_EQ(capture.exit_code, 1);
  EXPECT_FALSE(std::filesystem::exists("f.png"));
}

TEST(CaptureTest, AnInterruptedCaptureLeavesNoFileUnderTheFinalName) {
  gltest::TempDir folder;
  write_test_show();
  ASSERT_TRUE(make_music(600.0));
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    execl(CAPTURE_PATH, CAPTURE_PATH, "--size", "320x180", "--fps", "60", static_cast<char*>(nullptr));
    _exit(127);
  }
  // Wait until frames are flowing into ffmpeg, then interrupt as Ctrl-C would.
  for (int i = 0; i < 200 && !std::filesystem::exists("hallshow.mp4.part.mp4"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  kill(child, SIGINT);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
  // ffmpeg, in its own process, may still be finishing; give it a moment to go.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_FALSE(std::filesystem::exists("hallshow.mp4"));
  EXPECT_FALSE(std::filesystem::exists("hallshow.mp4.part.mp4"));
}

}  // namespace
