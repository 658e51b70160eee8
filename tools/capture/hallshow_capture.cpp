// hallshow-capture: the show rendered offscreen, frame by frame, exactly as hallshow draws it.
// The same start-up (tracks, glyph font, photos with their loading frames) and the same scene
// code run in an offscreen GL context; the row comes from the frame number instead of the music.
#include <GL/gl.h>
#include <malloc.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/huge_page_memory.h"
#include "app/letterbox.h"
#include "app/offscreen_gl.h"
#include "app/start_show.h"
#include "app/wall_tile.h"
#include "app/swap_buffers.h"
#include "png/regular_file.h"
#include "show/music_clock.h"
#include "show/open_photos.h"
#include "show/scene.h"
#include "show/scene_tracks.h"
#include "sync/sync_track.h"
#include "tools/capture/capture_options.h"
#include "tools/capture/catalogue_stream.h"
#include "tools/capture/end_of_show.h"
#include "tools/capture/frame_png.h"
#include "tools/capture/output_file.h"
#include "tools/capture/storyboard.h"
#include "tools/capture/video_capture.h"
#include "tools/capture/video_output.h"
#include "tools/process/child_process.h"

namespace {

volatile sig_atomic_t interrupted_flag = 0;
void on_interrupt(int) { interrupted_flag = 1; }
bool interrupted() { return interrupted_flag != 0; }

bool exists(const char* path) {
  struct stat st;
  return stat(path, &st) == 0;
}

// What the screen shows: the framebuffer's alpha is an artefact of blending, not transparency.
void make_opaque(std::vector<uint8_t>& rgba) {
  for (size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;
}

// The text a program prints, trimmed; empty when it fails.
std::string program_output(const std::vector<std::string>& argv) {
  const ChildResult result = run_program(argv);
  if (result.exit_code != 0) return {};
  std::string out = result.output;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
  return out;
}

bool have_ffmpeg() { return !program_output({"ffmpeg", "-version"}).empty(); }

// The music's length by ffprobe, 0 when it cannot tell.
double music_seconds(const char* path) {
  const std::string text =
      program_output({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", path});
  return text.empty() ? 0.0 : std::atof(text.c_str());
}

int capture_frame(const CaptureOptions& options, OffscreenGl& gl) {
  const double row = *options.at_row;
  CatalogueStream catalogue({row});
  catalogue.before_frame(0);
  if (render_frame_at(row, swap_buffers) == FrameResult::EndOfShow) {
    std::fprintf(stderr, "hallshow-capture: the show has ended by row %g (\"happy\" is 2); no frame to write\n", row);
    return 1;
  }
  std::vector<uint8_t> pixels = gl.front();
  make_opaque(pixels);
  char name[96];
  if (options.tiled) std::snprintf(name, sizeof name, "hallshow-%g-tile-%d,%d.png", row, options.wall.column, options.wall.row);
  else std::snprintf(name, sizeof name, "hallshow-%g.png", row);
  const std::string path = options.output.empty() ? name : options.output;
  OutputFile file(path, ".part.png");
  if (!write_frame_png(file.writing(), gl.width(), gl.height(), pixels) || !file.commit()) {
    file.discard();
    std::fprintf(stderr, "hallshow-capture: cannot write %s\n", path.c_str());
    return 1;
  }
  std::printf("%s\n", path.c_str());
  return 0;
}

int capture_storyboard(const CaptureOptions& options, OffscreenGl& gl) {
  // The same end as the video's: the music's, or "happy" reaching 2 before it. A show without
  // music ends where its last key leaves the picture still (unless "happy" ends it sooner).
  const double music = music_is_audible() ? music_length_seconds() : 0.0;
  const CaptureEnd end = capture_end(options, music);
  std::vector<double> rows = storyboard_rows(options.every_row, end.row - options.from_row, end.included);
  for (double& row : rows) row += options.from_row;
  if (rows.size() > static_cast<size_t>(STORYBOARD_MAX_CELLS)) {
    std::fprintf(stderr, "hallshow-capture: a frame every %g rows makes more than %d frames, the most a storyboard "
                 "holds (choose a longer --every)\n", options.every_row, STORYBOARD_MAX_CELLS);
    return 1;
  }
  // The picture's size is set before its first row goes out: the frames are those before the
  // frame that ends the show (capture_end found where "happy" does), and the scene says the same.
  const SyncTrack* happy = scene_tracks().happy;
  const auto ends_show = [&](double row) { return happy && happy_state(get_value(*happy, row)) == 2; };
  rows.erase(std::find_if(rows.begin(), rows.end(), ends_show), rows.end());
  if (rows.empty()) {
    std::fprintf(stderr, "hallshow-capture: the show ends before its first frame\n");
    return 1;
  }
  // Frames drawn as the picture's rows need them, a row of cells at a time, so that only one row
  // of cells is ever held.
  Storyboard board(gl.width(), gl.height(), static_cast<int>(rows.size()));
  CatalogueStream catalogue(rows);
  std::vector<uint8_t> pixels;
  bool stopped = false;
  const auto draw_cells_before = [&](int y) {
    while (board.added() < board.cells_before_row(y)) {
      const size_t i = static_cast<size_t>(board.added());
      if (interrupted()) return false;
      catalogue.before_frame(i);
      if (render_frame_at(rows[i], swap_buffers) == FrameResult::EndOfShow) return false;
      pixels = gl.front();
      make_opaque(pixels);
      board.add(pixels, rows[i]);
    }
    return true;
  };
  // Written under a name of its own and renamed once complete, as the video is.
  OutputFile file(options.storyboard, ".part.png");
  const bool written = write_png_rows(file.writing(), board.width(), board.height(), [&](int y, uint8_t* out) {
    if (!draw_cells_before(y)) {
      stopped = true;
      return false;
    }
    board.row(y, out);
    return true;
  });
  if (!written || !file.commit()) {
    file.discard();
    if (interrupted()) std::fprintf(stderr, "hallshow-capture: interrupted; nothing written\n");
    else if (stopped) std::fprintf(stderr, "hallshow-capture: the show ended before frame %d of the storyboard\n", board.added() + 1);
    else std::fprintf(stderr, "hallshow-capture: cannot write %s\n", options.storyboard.c_str());
    return 1;
  }
  std::fprintf(stderr, "hallshow-capture: %d frame%s, one every %g rows%s\n", board.cells(),
               board.cells() == 1 ? "" : "s", options.every_row, end.why.c_str());
  std::printf("%s\n", options.storyboard.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CaptureOptions options;
  std::string error;
  if (!parse_capture_options(argc, argv, options, error)) {
    std::fprintf(stderr, "hallshow-capture: %s\n%s", error.c_str(), CAPTURE_USAGE);
    return 2;
  }
  if (options.help) {
    std::fputs(CAPTURE_USAGE, stdout);
    return 0;
  }
  if (options.version) {
    std::printf("hallshow-capture %s\n", HALLSHOW_VERSION);
    return 0;
  }
  restart_with_huge_page_memory(argv);
  // Every photo's pixels in memory of their own, given back to the system when the photo is
  // released: glibc would otherwise raise its threshold to the size of the photos freed and keep
  // later ones in a heap that never shrinks.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
  const bool storyboard = !options.storyboard.empty();
  const bool video = !options.at_row && !storyboard;
  // A YUV4MPEG2 file holds the frames alone: no encoder and no music needed.
  const bool y4m = video && is_y4m_path(options.output);
  double seconds = 0;
  if (video && !y4m) {
    if (!have_ffmpeg()) {
      std::fprintf(stderr, "hallshow-capture: ffmpeg is not installed (apt-get install ffmpeg); --at TIME still works\n");
      return 1;
    }
    if (!exists("e12.mp3")) {
      std::fprintf(stderr, "hallshow-capture: no music: e12.mp3 is not in this folder\n");
      return 1;
    }
    if (!RegularFile("e12.mp3").is_open()) {  // a FIFO would hold ffprobe and ffmpeg for ever
      std::fprintf(stderr, "hallshow-capture: no music: e12.mp3 is not a regular file (the show plays none)\n");
      return 1;
    }
  }
  // A .y4m's length still follows the music where there is some the show would play.
  if (video && RegularFile("e12.mp3").is_open()) {
    seconds = music_seconds("e12.mp3");
    if (seconds <= 0 && !y4m) {
      std::fprintf(stderr, "hallshow-capture: cannot tell how long e12.mp3 plays (is it an MP3?)\n");
      return 1;
    }
  }
  if (!exists("kestos")) {
    std::fprintf(stderr, "hallshow-capture: no tracks (no kestos/ folder here): every track reads 0\n");
  }

  // The capture makes no sound: the music is only muxed into the video.
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  // The show's frames never test depth: a depth buffer would only be cleared, every frame.
  auto gl = OffscreenGl::create(options.width, options.height, error, OffscreenGl::Depth::None);
  if (!gl) {
    std::fprintf(stderr, "hallshow-capture: %s\n", error.c_str());
    return 1;
  }
  set_swap_function(present_offscreen_frame);
  if (!options.tiled) {
    set_letterbox_viewport(options.width, options.height);
  } else if (!set_wall_tile_viewport(options.wall, options.width, options.height, error)) {
    std::fprintf(stderr, "hallshow-capture: %s\n", error.c_str());
    return 1;
  }
  glClearDepth(1.0);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  // The catalogue's photos are loaded as the frames need them (CatalogueStream), not at start-up.
  start_show(CatalogueLoading::FramesOnly);
  // A capture may take its time but never draws a frame without its photos.
  set_open_photos_wait(true);
  if (y4m && seconds <= 0 && music_is_audible()) seconds = music_length_seconds();

  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  const int result = video        ? capture_video(options, *gl, seconds, interrupted)
                     : storyboard ? capture_storyboard(options, *gl)
                                  : capture_frame(options, *gl);
  std::fflush(stdout);
  // As the show does: nothing is released; the audio device and GL go with the process.
  _exit(result);
}
