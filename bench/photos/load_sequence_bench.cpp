// Start-up time of the load sequence on generated photo sets: pipelined against sequential in the
// same run, and against the limit (the sum of decode times divided by the cores). Prints figures.
//
//   load_sequence_bench            38 photos at 1920 × 1080
//   load_sequence_bench --large    also 12-megapixel JPEGs and PNGs (4000 × 3000)
//   load_sequence_bench --quick    a tiny set and a 256 square, to check that the tool runs
#include <GL/gl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

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

class TimedSteps : public LoadSteps {
 public:
  explicit TimedSteps(int square_side) : real_(square_side, swap_buffers) {}
  std::atomic<int64_t> decode_ns{0};
  int64_t upload_ns = 0;
  void show_frame(const char* text) override { real_.show_frame(text); }
  TextureImage decode(const LoadJob& job) override {
    auto start = Clock::now();
    TextureImage image = real_.decode(job);
    decode_ns += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    return image;
  }
  void upload(const LoadJob& job, const TextureImage& image) override {
    auto start = Clock::now();
    real_.upload(job, image);
    glFinish();
    upload_ns += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
  }

 private:
  TextureLoadSteps real_;
};

double run(int square_side, bool pipelined, double* decode_s, double* upload_s) {
  TimedSteps steps(square_side);
  auto start = Clock::now();
  run_load_sequence(steps, load_jobs(), {pipelined, 0, 0});
  glFinish();
  double total = seconds_since(start);
  if (decode_s) *decode_s = steps.decode_ns / 1e9;
  if (upload_s) *upload_s = steps.upload_ns / 1e9;
  return total;
}

bool bench_set(const char* label, int width, int height, int square_side = 0) {  // 0: from GL
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
      double sequential = run(side, false, &decode, &upload);
      double pipelined = run(side, true, nullptr, nullptr);
      int cores = default_decode_workers();
      double limit = decode / cores;
      std::printf("%s (S = %d, %d decode workers):\n", label, side, cores);
      std::printf("  sequential  %8.3f s   (decode %.3f s, upload %.3f s)\n", sequential, decode, upload);
      std::printf("  pipelined   %8.3f s   %.2fx faster than sequential\n", pipelined, sequential / pipelined);
      std::printf("  limit       %8.3f s   (decode sum / cores); pipelined is %.2fx the limit\n", limit,
                  pipelined / limit);
    }
  }
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(folder);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  bool quick = false, large = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--quick")) quick = true;
    else if (!std::strcmp(argv[i], "--large")) large = true;
    else {
      std::fprintf(stderr, "usage: %s [--quick | --large]\n", argv[0]);
      return 2;
    }
  }
  if (quick) return bench_set("quick set", 320, 180, 256) ? 0 : 1;
  bool ok = bench_set("38 photos at 1920 x 1080", 1920, 1080);
  if (large) ok = bench_set("12-megapixel JPEGs and PNGs", 4000, 3000) && ok;
  return ok ? 0 : 1;
}
