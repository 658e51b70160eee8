// Start-up time of the load sequence on generated photo sets: pipelined against sequential in the
// same run, and against the limit (the sum of decode times divided by the cores). Prints figures.
//
//   load_sequence_bench            38 photos at 1920 × 1080
//   load_sequence_bench --large    also 12-megapixel JPEGs and PNGs (4000 × 3000)
//   load_sequence_bench --quick    a tiny set and a 256 square, to check that the tool runs
//   load_sequence_bench --trace    also, for the pipelined run, when each decode started and ended
//                                  (and on which thread) and each upload, in ms from the start
//
// The limit is max(decode sum / cores, upload sum): the decodes share the cores, while the uploads
// run one after the other on the GL thread.
#include <GL/gl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/letterbox.h"
#include "app/offscreen_gl.h"
#include "app/swap_buffers.h"
#include "photos/glyph_font.h"
#include "photos/load_sequence.h"
#include "photos/photo_catalogue.h"
#include "tests/photos/test_images.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Photo-like content: smooth gradients with some texture, so that codecs have real work.
teximg::Rgba paint(int index, int x, int y) {
  uint32_t h = uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u ^ uint32_t(index) * 83492791u;
  int noise = int(h >> 28) - 8;
  auto clamp = [](int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
  return {clamp((x >> 3) + index * 5 + noise), clamp((y >> 3) + noise), clamp(((x + y) >> 4) + 60 + noise), 255};
}

bool write_set(int width, int height) {
  std::filesystem::create_directories(PHOTO_FOLDER);
  for (int i = 0; i < 43; ++i) {
    std::string path = PHOTO_CATALOGUE[i].path;
    auto painter = [i](int x, int y) { return paint(i, x, y); };
    bool ok;
    if (path.ends_with(".png")) {
      ok = teximg::write_png(path, width, height, painter);
    } else if (path.ends_with(".gif")) {
      std::vector<uint8_t> idx(size_t(width) * height);
      for (size_t k = 0; k < idx.size(); ++k) idx[k] = uint8_t((k / width / 64 + k % width / 64) % 4);
      ok = teximg::write_gif(path, width, height, {{200, 40, 40, 255}, {40, 200, 40, 255}, {40, 40, 200, 255}, {220, 220, 220, 255}}, idx, -1);
    } else {
      ok = teximg::write_jpeg(path, width, height, painter, 90);
    }
    if (!ok) {
      std::fprintf(stderr, "load_sequence_bench: cannot write %s\n", path.c_str());
      return false;
    }
  }
  return true;
}

// One step of the sequence as it ran: what, for which photo, on which thread, from when to when.
struct TraceEvent {
  const char* what;  // "decode", "upload" or "frame"
  uint32_t index;    // catalogue index (the frame's job for a frame)
  int thread;        // 0: the GL thread, then the workers in the order they first decoded
  double start_ms, end_ms;
};

class TimedSteps : public LoadSteps {
 public:
  explicit TimedSteps(int square_side) : real_(square_side, swap_buffers), origin_(Clock::now()) {}
  std::atomic<int64_t> decode_ns{0};
  int64_t upload_ns = 0;
  void show_frame(const char* text) override {
    auto start = Clock::now();
    real_.show_frame(text);
    record("frame", 0, start);
  }
  TextureImage decode(const LoadJob& job) override {
    auto start = Clock::now();
    TextureImage image = real_.decode(job);
    decode_ns += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    record("decode", job.index, start);
    return image;
  }
  void upload(const LoadJob& job, const TextureImage& image) override {
    auto start = Clock::now();
    real_.upload(job, image);
    glFinish();
    upload_ns += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    record("upload", job.index, start);
  }
  size_t decoded_bytes(const LoadJob& job) override { return real_.decoded_bytes(job); }
  void recycle(TextureImage&& image) override { real_.recycle(std::move(image)); }
  bool slow_decode(const LoadJob& job) override { return real_.slow_decode(job); }
  std::vector<TraceEvent> events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }

 private:
  void record(const char* what, uint32_t index, Clock::time_point start) {
    auto end = Clock::now();
    auto ms = [&](Clock::time_point t) { return std::chrono::duration<double, std::milli>(t - origin_).count(); };
    std::lock_guard<std::mutex> lock(mutex_);
    auto [it, added] = threads_.try_emplace(std::this_thread::get_id(), int(threads_.size()));
    events_.push_back({what, index, it->second, ms(start), ms(end)});
  }

  TextureLoadSteps real_;
  Clock::time_point origin_;
  std::mutex mutex_;
  std::map<std::thread::id, int> threads_;  // the GL thread records first: its frame comes first
  std::vector<TraceEvent> events_;
};

void print_trace(const std::vector<TraceEvent>& events, double total_s) {
  std::printf("  trace (ms from the start of the run; thread 0 is the GL thread):\n");
  std::printf("  %-7s %5s %6s %9s %9s %8s\n", "step", "index", "thread", "start", "end", "took");
  double busy[16] = {};
  for (const TraceEvent& e : events) {
    std::printf("  %-7s %5u %6d %9.1f %9.1f %8.1f\n", e.what, e.index, e.thread, e.start_ms, e.end_ms,
                e.end_ms - e.start_ms);
    if (e.thread < 16) busy[e.thread] += e.end_ms - e.start_ms;
  }
  for (int t = 0; t < 16; ++t)
    if (busy[t] > 0)
      std::printf("  thread %d busy %.1f ms of %.1f (idle %.0f%%)\n", t, busy[t], total_s * 1e3,
                  100.0 * (1 - busy[t] / (total_s * 1e3)));
}

double run(int square_side, bool pipelined, double* decode_s, double* upload_s, bool trace = false) {
  TimedSteps steps(square_side);
  auto start = Clock::now();
  run_load_sequence(steps, load_jobs(), {pipelined, 0, 0});
  glFinish();
  double total = seconds_since(start);
  if (decode_s) *decode_s = steps.decode_ns / 1e9;
  if (upload_s) *upload_s = steps.upload_ns / 1e9;
  if (trace) print_trace(steps.events(), total);
  return total;
}

bool bench_set(const char* label, int width, int height, bool trace, int square_side = 0) {  // 0: from GL
  char folder[] = "/tmp/hallshow-load-bench-XXXXXX";
  if (!mkdtemp(folder)) return false;
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  std::printf("%s: writing 43 photo files at %d x %d ...\n", label, width, height);
  std::fflush(stdout);
  bool ok = write_set(width, height);
  if (ok) {
    std::string error;
    auto gl = OffscreenGl::create(640, 360, error);
    if (!gl) {
      std::fprintf(stderr, "load_sequence_bench: no GL context: %s\n", error.c_str());
      ok = false;
    } else {
      set_swap_function(present_offscreen_frame);
      set_letterbox_viewport(640, 360);
      build_glyph_font();
      GLint max = 0;
      glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
      int side = square_side > 0 ? square_side : max > 4096 ? 4096 : max / 2;
      double decode = 0, upload = 0;
      double sequential = run(side, false, &decode, &upload, trace);
      double pipelined_decode = 0, pipelined_upload = 0;
      double pipelined = run(side, true, &pipelined_decode, &pipelined_upload, trace);
      int cores = default_decode_workers();
      double limit = std::max(decode / cores, upload);
      std::printf("%s (S = %d, %d decode workers):\n", label, side, cores);
      std::printf("  sequential  %8.3f s   (decode %.3f s, upload %.3f s)\n", sequential, decode, upload);
      std::printf("  pipelined   %8.3f s   %.2fx faster than sequential (decode %.3f s, upload %.3f s: more than\n"
                  "                           sequential when the decodes contend for the cores or for memory)\n",
                  pipelined, sequential / pipelined, pipelined_decode, pipelined_upload);
      std::printf("  limit       %8.3f s   max(decode sum / cores, upload sum); pipelined is %.2fx the limit\n",
                  limit, pipelined / limit);
    }
  }
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(folder);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  bool quick = false, large = false, trace = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--quick")) quick = true;
    else if (!std::strcmp(argv[i], "--large")) large = true;
    else if (!std::strcmp(argv[i], "--trace")) trace = true;
    else {
      std::fprintf(stderr, "usage: %s [--quick | --large] [--trace]\n", argv[0]);
      return 2;
    }
  }
  if (quick) return bench_set("quick set", 320, 180, trace, 256) ? 0 : 1;
  bool ok = bench_set("38 photos at 1920 x 1080", 1920, 1080, trace);
  if (large) ok = bench_set("12-megapixel JPEGs and PNGs", 4000, 3000, trace) && ok;
  return ok ? 0 : 1;
}
