// hallshow-capture: the show rendered offscreen, frame by frame, exactly as hallshow draws it.
// The same start-up (tracks, glyph font, photos with their loading frames) and the same scene
// code run in an offscreen GL context; the row comes from the frame number instead of the music.
#include <GL/gl.h>
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
#include "app/swap_buffers.h"
#include "png/regular_file.h"
#include "show/music_clock.h"
#include "show/open_photos.h"
#include "show/scene.h"
#include "tools/capture/capture_options.h"
#include "tools/capture/end_of_show.h"
#include "tools/capture/frame_png.h"
#include "tools/capture/storyboard.h"
#include "tools/process/child_process.h"

namespace {

volatile sig_atomic_t interrupted = 0;
void on_interrupt(int) { interrupted = 1; }

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

void show_progress(long frame, long frames, double seconds_left) {
  const int width = 30;
  const int done = frames > 0 ? static_cast<int>(width * frame / frames) : 0;
  std::string bar(static_cast<size_t>(done), '#');
  bar.resize(width, '.');
  const long left = std::lround(seconds_left);
  std::fprintf(stderr, "\r[%s] %ld/%ld frames, %ld:%02ld left ", bar.c_str(), frame, frames, left / 60, left % 60);
}

int capture_frame(const CaptureOptions& options, OffscreenGl& gl) {
  const double row = *options.at_row;
  if (render_frame_at(row, swap_buffers) == FrameResult::EndOfShow) {
    std::fprintf(stderr, "hallshow-capture: the show has ended by row %g (\"happy\" is 2); no frame to write\n", row);
    return 1;
  }
  std::vector<uint8_t> pixels = gl.front();
  make_opaque(pixels);
  char name[64];
  std::snprintf(name, sizeof name, "hallshow-%g.png", row);
  const std::string path = options.output.empty() ? name : options.output;
  if (!write_frame_png(path, gl.width(), gl.height(), pixels)) {
    std::fprintf(stderr, "hallshow-capture: cannot write %s\n", path.c_str());
    return 1;
  }
  std::printf("%s\n", path.c_str());
  return 0;
}

// The row after which nothing changes when no music sets the end: the last key of any track.
double last_key_row() {
  double last = 0;
  for (const auto& track : scene_track_store().tracks)
    if (!track->keys.empty()) last = std::max(last, static_cast<double>(track->keys.back().row));
  return last;
}

// "12.5s (row 250)", for the lines that say where a capture ended.
std::string time_text(double row) {
  char text[64];
  std::snprintf(text, sizeof text, "%gs (row %g)", row / ROW_RATE, row);
  return text;
}

// What ends the part of the show a capture covers, and where: "happy", --to, the music, or (with
// no music) the last key.
struct CaptureEnd {
  double row;
  std::string why;  // ", until ..." for the last line
  bool included;    // the end row itself is a frame (the last key's)
};

CaptureEnd capture_end(const CaptureOptions& options, double music_seconds) {
  CaptureEnd end{0, "", false};
  if (options.to_row) end = {*options.to_row, ", until --to at ", false};
  if (music_seconds > 0 && (!options.to_row || seconds_to_row(music_seconds) < end.row))
    end = {seconds_to_row(music_seconds), ", until the music ended at ", false};
  if (!options.to_row && music_seconds <= 0) end = {last_key_row(), ", to the last key at ", true};
  if (const std::optional<double> happy = end_of_show_row(*scene_tracks().happy, options.from_row, end.row);
      happy && (*happy < end.row || !end.included))
    end = {*happy, ", until \"happy\" ended the show at ", false};
  end.why += time_text(end.row);
  return end;
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
  Storyboard board(gl.width(), gl.height());
  std::vector<uint8_t> pixels;
  for (double row : rows) {
    if (interrupted) {
      std::fprintf(stderr, "hallshow-capture: interrupted; nothing written\n");
      return 1;
    }
    if (render_frame_at(row, swap_buffers) == FrameResult::EndOfShow) break;
    pixels = gl.front();
    make_opaque(pixels);
    board.add(pixels, row);
  }
  if (board.cells() == 0) {
    std::fprintf(stderr, "hallshow-capture: the show ends before its first frame\n");
    return 1;
  }
  const StoryboardPicture picture = board.picture();
  // Written under a name of its own and renamed once complete, as the video is.
  const std::string partial = options.storyboard + ".part.png";
  if (!write_frame_png(partial, picture.width, picture.height, picture.rgba) ||
      std::rename(partial.c_str(), options.storyboard.c_str()) != 0) {
    std::remove(partial.c_str());
    std::fprintf(stderr, "hallshow-capture: cannot write %s\n", options.storyboard.c_str());
    return 1;
  }
  std::fprintf(stderr, "hallshow-capture: %d frame%s, one every %g rows%s\n", board.cells(),
               board.cells() == 1 ? "" : "s", options.every_row, end.why.c_str());
  std::printf("%s\n", options.storyboard.c_str());
  return 0;
}

int capture_video(const CaptureOptions& options, OffscreenGl& gl, double seconds) {
  const std::string path = options.output.empty() ? "hallshow.mp4" : options.output;
  // Written under a name of its own and renamed once complete: an interrupted capture leaves no
  // half-written file under the final name.
  const std::string partial = path + ".part.mp4";
  char size[32];
  std::snprintf(size, sizeof size, "%dx%d", gl.width(), gl.height());
  char from[64];
  std::snprintf(from, sizeof from, "%.6f", options.from_row / ROW_RATE);
  // ffmpeg gets SIGINT from the terminal too; the end of its input tells it to finish what it has.
  ChildInput ffmpeg;
  if (!ffmpeg.start({"ffmpeg", "-y", "-loglevel", "error", "-f", "rawvideo", "-pix_fmt", "rgba", "-s", size, "-r",
                     std::to_string(options.fps), "-i", "-", "-ss", from, "-i", "e12.mp3", "-map", "0:v:0", "-map",
                     "1:a:0", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest", "-movflags",
                     "+faststart", partial})) {
    std::fprintf(stderr, "hallshow-capture: cannot start ffmpeg\n");
    return 1;
  }
  const CaptureEnd end = capture_end(options, seconds);
  const double span = (end.row - options.from_row) / ROW_RATE;
  const long frames = static_cast<long>(std::ceil(span * options.fps - 1e-9));
  // On a terminal a bar redrawn in place; into a file or a pipe (a log, a CI job), a line every
  // few seconds.
  const bool progress = isatty(STDERR_FILENO);
  constexpr double LINE_EVERY_SECONDS = 5.0;
  double next_line = 0.0;  // the first line at once: how many frames are coming
  bool ok = true;
  long frame = 0;
  std::vector<uint8_t> pixels;
  const auto started = std::chrono::steady_clock::now();
  for (; frame < frames && !interrupted; ++frame) {
    const double row = options.from_row + static_cast<double>(frame) / options.fps * ROW_RATE;
    if (render_frame_at(row, swap_buffers) == FrameResult::EndOfShow) break;
    pixels = gl.front();
    make_opaque(pixels);
    if (!ffmpeg.write(pixels.data(), pixels.size())) {
      ok = false;
      break;
    }
    if (progress && frame % 10 == 0) {
      // Wall-clock time only paces the progress bar; the picture never sees it.
      const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      show_progress(frame, frames, frame > 0 ? elapsed / frame * (frames - frame) : 0);
    } else if (!progress && frame % 10 == 0) {
      const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      if (elapsed >= next_line) {
        next_line = elapsed + LINE_EVERY_SECONDS;
        if (frame == 0) {
          std::fprintf(stderr, "hallshow-capture: 0 of %ld frames\n", frames);
        } else {
          const long left = std::lround(elapsed / frame * (frames - frame));
          std::fprintf(stderr, "hallshow-capture: %ld of %ld frames, %ld:%02ld left\n", frame, frames, left / 60,
                       left % 60);
        }
      }
    }
  }
  if (progress) std::fprintf(stderr, "\n");
  const int status = ffmpeg.finish();
  if (interrupted || !ok || status != 0 || frame == 0) {
    std::remove(partial.c_str());
    if (interrupted) std::fprintf(stderr, "hallshow-capture: interrupted; nothing written\n");
    else if (frame == 0) std::fprintf(stderr, "hallshow-capture: the show ends before its first frame\n");
    else std::fprintf(stderr, "hallshow-capture: ffmpeg failed (exit status %d)\n", status);
    return 1;
  }
  if (std::rename(partial.c_str(), path.c_str()) != 0) {
    std::fprintf(stderr, "hallshow-capture: cannot rename %s to %s\n", partial.c_str(), path.c_str());
    std::remove(partial.c_str());
    return 1;
  }
  std::fprintf(stderr, "hallshow-capture: %ld frame%s at %d fps%s\n", frame, frame == 1 ? "" : "s", options.fps,
               end.why.c_str());
  std::printf("%s\n", path.c_str());
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
  const bool storyboard = !options.storyboard.empty();
  const bool video = !options.at_row && !storyboard;
  double seconds = 0;
  if (video) {
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
    seconds = music_seconds("e12.mp3");
    if (seconds <= 0) {
      std::fprintf(stderr, "hallshow-capture: cannot tell how long e12.mp3 plays (is it an MP3?)\n");
      return 1;
    }
  }
  if (!exists("kestos")) {
    std::fprintf(stderr, "hallshow-capture: no tracks (no kestos/ folder here): every track reads 0\n");
  }

  // The capture makes no sound: the music is only muxed into the video.
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  auto gl = OffscreenGl::create(options.width, options.height, error);
  if (!gl) {
    std::fprintf(stderr, "hallshow-capture: %s\n", error.c_str());
    return 1;
  }
  set_swap_function(present_offscreen_frame);
  set_letterbox_viewport(options.width, options.height);
  glClearDepth(1.0);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  start_show();
  // A capture may take its time but never draws a frame without its photos.
  set_open_photos_wait(true);

  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  const int result = video        ? capture_video(options, *gl, seconds)
                     : storyboard ? capture_storyboard(options, *gl)
                                  : capture_frame(options, *gl);
  std::fflush(stdout);
  // As the show does: nothing is released; the audio device and GL go with the process.
  _exit(result);
}
