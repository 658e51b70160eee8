#include "tools/capture/video_capture.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/frame_readback.h"
#include "app/offscreen_gl.h"
#include "show/music_clock.h"
#include "show/scene.h"
#include "tools/capture/capture_options.h"
#include "tools/capture/capture_stats.h"
#include "tools/capture/catalogue_stream.h"
#include "tools/capture/conversion_thread.h"
#include "tools/capture/end_of_show.h"
#include "tools/capture/kept_backdrop.h"
#include "tools/capture/output_file.h"
#include "tools/capture/video_output.h"
#include "tools/capture/yuv420.h"

namespace {

// The frame is read back by the capture itself; nothing to present.
void no_present() {}

// On a terminal a bar redrawn in place; into a file or a pipe (a log, a CI job), a line every few
// seconds.
class Progress {
 public:
  explicit Progress(long frames) : frames_(frames), terminal_(isatty(STDERR_FILENO)) {}

  void frame(long done) {
    if (done % 10 != 0) return;
    // Wall-clock time only paces the progress report; the picture never sees it.
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    const double left = done > 0 ? elapsed / double(done) * double(frames_ - done) : 0.0;
    if (terminal_) {
      const int width = 30;
      const int filled = frames_ > 0 ? static_cast<int>(width * done / frames_) : 0;
      std::string bar(static_cast<size_t>(filled), '#');
      bar.resize(width, '.');
      const long l = std::lround(left);
      std::fprintf(stderr, "\r[%s] %ld/%ld frames, %ld:%02ld left ", bar.c_str(), done, frames_, l / 60, l % 60);
    } else if (elapsed >= next_line_) {
      next_line_ = elapsed + LINE_EVERY_SECONDS;
      if (done == 0) {
        std::fprintf(stderr, "hallshow-capture: 0 of %ld frames\n", frames_);
      } else {
        const long l = std::lround(left);
        std::fprintf(stderr, "hallshow-capture: %ld of %ld frames, %ld:%02ld left\n", done, frames_, l / 60, l % 60);
      }
    }
  }

  void end() {
    if (terminal_) std::fprintf(stderr, "\n");
  }

 private:
  static constexpr double LINE_EVERY_SECONDS = 5.0;
  long frames_;
  bool terminal_;
  double next_line_ = 0.0;  // the first line at once: how many frames are coming
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

enum Stage { PHOTOS, DRAWING, CONVERSION_WAIT, READ_BACK, MAPPING, STAGES };

// Frames drawn and read back, two reads in flight: while the conversion thread turns frame k - 1
// into I420 and writes it, frame k is drawn and its read started.
class FramePipeline {
 public:
  FramePipeline(FrameReadback& readback, ConversionThread& converter, CaptureStats& stats)
      : readback_(readback), converter_(converter), stats_(stats) {}

  // The frame just drawn: its read starts, and the frame before goes to the conversion thread.
  bool add() {
    if (!free_a_buffer()) return false;
    readback_.start();
    stats_.mark(READ_BACK);
    return readback_.in_flight() < readback_.buffers() || hand_over_oldest();
  }

  // The frames still in flight, converted and written. False when a write failed.
  bool finish() {
    while (readback_.in_flight() > 0) {
      if (!free_a_buffer()) return false;
      if (readback_.in_flight() > 0 && !hand_over_oldest()) return false;
    }
    return free_a_buffer();
  }

  // Lets go of everything without writing more.
  void abandon() {
    converter_.wait();
    while (readback_.in_flight() > 0) readback_.release_oldest();
    with_converter_ = false;
  }

 private:
  // The oldest read, once the conversion thread is done with it, frees its buffer.
  bool free_a_buffer() {
    if (!with_converter_) return true;
    const bool ok = converter_.wait();
    stats_.mark(CONVERSION_WAIT);
    readback_.release_oldest();
    with_converter_ = false;
    return ok;
  }

  bool hand_over_oldest() {
    const uint8_t* pixels = readback_.map_oldest();
    stats_.mark(MAPPING);
    if (!pixels) return false;
    converter_.convert(pixels);
    with_converter_ = true;
    return true;
  }

  FrameReadback& readback_;
  ConversionThread& converter_;
  CaptureStats& stats_;
  bool with_converter_ = false;  // the oldest read is being converted
};

}  // namespace

int capture_video(const CaptureOptions& options, OffscreenGl& gl, double music_seconds, bool (*interrupted)()) {
  const std::string path = options.output.empty() ? "hallshow.mp4" : options.output;
  OutputFile file(path, is_y4m_path(path) ? ".part.y4m" : ".part.mp4");
  const CaptureEnd end = capture_end(options, music_seconds);
  const double span = (end.row - options.from_row) / ROW_RATE;
  const long frames = static_cast<long>(std::ceil(span * options.fps - 1e-9));
  const VideoFormat format{gl.width(), gl.height(), options.fps};

  std::string error;
  std::unique_ptr<FrameReadback> readback = FrameReadback::create(format.width, format.height, 2, error);
  VideoOutput output;
  if (!readback ||
      !output.open(file.writing(), format, options.encoder, "e12.mp3", options.from_row / ROW_RATE, error)) {
    std::fprintf(stderr, "hallshow-capture: %s\n", error.c_str());
    output.finish();
    file.discard();
    return 1;
  }
  std::vector<double> rows(static_cast<size_t>(std::max(frames, 0L)));
  for (size_t f = 0; f < rows.size(); ++f) rows[f] = options.from_row + static_cast<double>(f) / options.fps * ROW_RATE;
  CatalogueStream catalogue(rows);
  std::unique_ptr<KeptPicture> kept = KeptPicture::create(format.width, format.height, error);
  std::unique_ptr<KeptBackdrop> backdrop;
  if (kept) backdrop = std::make_unique<KeptBackdrop>(std::move(kept), [&] { return catalogue.loads_of(BACKDROP_TEXTURE); });
  ConversionThread converter(format.width, format.height,
                             [&](const uint8_t* yuv, size_t bytes) { return output.write(yuv, bytes); });
  CaptureStats stats({"photos", "tracks and drawing calls", "waiting for the conversion", "read-back started",
                      "read-back mapped"});
  FramePipeline pipeline(*readback, converter, stats);
  Progress progress(frames);

  bool ok = true;
  long frame = 0;
  for (; frame < frames && !interrupted(); ++frame) {
    progress.frame(frame);
    stats.start_frame();
    catalogue.before_frame(static_cast<size_t>(frame));
    stats.mark(PHOTOS);
    if (render_frame_at(rows[static_cast<size_t>(frame)], no_present) == FrameResult::EndOfShow) break;
    stats.mark(DRAWING);
    if (!(ok = pipeline.add())) break;
    stats.end_frame();
  }
  progress.end();
  if (ok && !interrupted()) ok = pipeline.finish();
  else pipeline.abandon();
  const int status = output.finish();
  if (options.stats) {
    const CatalogueStream::Counters& photos = catalogue.counters();
    char line[240];
    std::snprintf(line, sizeof line,
                  "  catalogue photos: %zu loads, at most %zu held at once (%.0f MiB); the backdrop drawn %llu "
                  "and copied %llu times\n",
                  photos.loads, photos.most_held, double(photos.most_held_bytes) / (1 << 20),
                  static_cast<unsigned long long>(backdrop ? backdrop->drawn() : 0),
                  static_cast<unsigned long long>(backdrop ? backdrop->copied() : 0));
    std::fputs(stats.report(double(frame) / options.fps, output.encoder_usage(), line).c_str(), stderr);
  }
  if (interrupted() || !ok || status != 0 || frame == 0) {
    file.discard();
    if (interrupted()) std::fprintf(stderr, "hallshow-capture: interrupted; nothing written\n");
    else if (frame == 0) std::fprintf(stderr, "hallshow-capture: the show ends before its first frame\n");
    else if (is_y4m_path(path)) std::fprintf(stderr, "hallshow-capture: cannot write %s\n", file.writing().c_str());
    else std::fprintf(stderr, "hallshow-capture: ffmpeg failed (exit status %d)\n", status);
    return 1;
  }
  if (!file.commit()) {
    std::fprintf(stderr, "hallshow-capture: cannot rename %s to %s\n", file.writing().c_str(), path.c_str());
    return 1;
  }
  std::fprintf(stderr, "hallshow-capture: %ld frame%s at %d fps%s\n", frame, frame == 1 ? "" : "s", options.fps,
               end.why.c_str());
  std::printf("%s\n", path.c_str());
  return 0;
}
