// Start-up time of the load sequence on generated photo sets: pipelined against sequential in the
// same run, and against the limit (the sum of decode times divided by the cores). Prints figures.
//
//   load_sequence_bench            38 photos at 1920 × 1080
//   load_sequence_bench --large    also 12-megapixel JPEGs and PNGs (4000 × 3000)
//   load_sequence_bench --quick    a tiny set and a 256 square, to check that the tool runs
//   load_sequence_bench --trace    also, for the first of each kind of run, when each decode started
//                                  and ended (and on which thread) and each upload, in ms from the start
//   load_sequence_bench --runs N   N runs of each kind (default 3), alternating; the best counts
//
// The limit is max(decode sum / cores, upload sum): the decodes share the cores, while the uploads
// run one after the other on the GL thread.
#include <GL/gl.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/huge_page_memory.h"
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
      ok = teximg::write_photo_gif(path, width, height, painter);
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
  double cpu_ms;     // of which the thread ran on a core
};

// The calling thread's processor time so far.
double thread_cpu_ms() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

class TimedSteps : public LoadSteps {
 public:
  // Made on the GL thread, which is thread 0 of the trace.
  explicit TimedSteps(int square_side) : real_(square_side, swap_buffers), origin_(Clock::now()) {
    threads_.emplace(std::this_thread::get_id(), 0);
  }
  std::atomic<int64_t> decode_ns{0}, decode_cpu_us{0};
  int64_t upload_ns = 0, upload_cpu_us = 0;
  void show_frame(const char* text) override {
    auto start = Clock::now();
    double cpu = thread_cpu_ms();
    real_.show_frame(text);
    record("frame", 0, start, cpu);
  }
  TextureImage decode(const LoadJob& job) override {
    auto start = Clock::now();
    double cpu = thread_cpu_ms();
    TextureImage image = real_.decode(job);
    decode_ns += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    decode_cpu_us += int64_t((thread_cpu_ms() - cpu) * 1e3);
    record("decode", job.index, start, cpu);
    return image;
  }
  void upload(const LoadJob& job, const TextureImage& image) override {
    auto start = Clock::now();
    double cpu = thread_cpu_ms();
    real_.upload(job, image);
    glFinish();
    upload_ns += std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    upload_cpu_us += int64_t((thread_cpu_ms() - cpu) * 1e3);
    record("upload", job.index, start, cpu);
  }
  size_t decoded_bytes(const LoadJob& job) override { return real_.decoded_bytes(job); }
  void recycle(TextureImage&& image) override { real_.recycle(std::move(image)); }
  bool slow_decode(const LoadJob& job) override { return real_.slow_decode(job); }
  std::vector<TraceEvent> events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }

 private:
  void record(const char* what, uint32_t index, Clock::time_point start, double cpu_start_ms) {
    auto end = Clock::now();
    double cpu = thread_cpu_ms() - cpu_start_ms;
    auto ms = [&](Clock::time_point t) { return std::chrono::duration<double, std::milli>(t - origin_).count(); };
    std::lock_guard<std::mutex> lock(mutex_);
    auto [it, added] = threads_.try_emplace(std::this_thread::get_id(), int(threads_.size()));
    events_.push_back({what, index, it->second, ms(start), ms(end), cpu});
  }

  TextureLoadSteps real_;
  Clock::time_point origin_;
  std::mutex mutex_;
  std::map<std::thread::id, int> threads_;
  std::vector<TraceEvent> events_;
};

void print_trace(const std::vector<TraceEvent>& events, double total_s) {
  std::printf("  trace (ms from the start of the run; thread 0 is the GL thread; on core: of the time taken,\n"
              "  what the thread ran, the rest it waited for a core, a lock or the kernel's memory):\n");
  std::printf("  %-7s %5s %6s %9s %9s %8s %8s\n", "step", "index", "thread", "start", "end", "took", "on core");
  double busy[16] = {}, on_core[16] = {};
  for (const TraceEvent& e : events) {
    std::printf("  %-7s %5u %6d %9.1f %9.1f %8.1f %8.1f\n", e.what, e.index, e.thread, e.start_ms, e.end_ms,
                e.end_ms - e.start_ms, e.cpu_ms);
    if (e.thread < 16) {
      busy[e.thread] += e.end_ms - e.start_ms;
      on_core[e.thread] += e.cpu_ms;
    }
  }
  for (int t = 0; t < 16; ++t)
    if (busy[t] > 0)
      std::printf("  thread %d busy %.1f ms of %.1f (idle %.0f%%), on a core %.1f ms\n", t, busy[t], total_s * 1e3,
                  100.0 * (1 - busy[t] / (total_s * 1e3)), on_core[t]);
}

struct RunFigures {
  double total = 0, decode = 0, upload = 0;  // s: the whole run, and the sums of its decodes and uploads
  double decode_cpu = 0, upload_cpu = 0;      // s: of those sums, the time their threads ran on a core
};

// One load sequence in a GL context of its own, so that every run uploads into fresh textures as the
// show does (a context that already holds the textures reuses their storage, which costs far less).
RunFigures run(int square_side, bool pipelined, bool trace) {
  std::string error;
  auto gl = OffscreenGl::create(640, 360, error);
  if (!gl) {
    std::fprintf(stderr, "load_sequence_bench: no GL context: %s\n", error.c_str());
    std::exit(1);
  }
  set_letterbox_viewport(640, 360);
  build_glyph_font();
  glFinish();
  TimedSteps steps(square_side);
  auto start = Clock::now();
  run_load_sequence(steps, load_jobs(), {pipelined, 0, 0});
  glFinish();
  RunFigures figures{seconds_since(start), steps.decode_ns / 1e9, steps.upload_ns / 1e9, steps.decode_cpu_us / 1e6,
                     steps.upload_cpu_us / 1e6};
  if (trace) print_trace(steps.events(), figures.total);
  return figures;
}

bool bench_set(const char* label, int width, int height, bool trace, int runs, int square_side = 0) {  // 0: from GL
  char folder[] = "/tmp/hallshow-load-bench-XXXXXX";
  if (!mkdtemp(folder)) return false;
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  std::printf("%s: writing 43 photo files at %d x %d ...\n", label, width, height);
  std::fflush(stdout);
  bool ok = write_set(width, height);
  if (ok) {
    set_swap_function(present_offscreen_frame);
    int side = square_side;
    if (side <= 0) {
      std::string error;
      auto gl = OffscreenGl::create(64, 64, error);
      if (!gl) {
        std::fprintf(stderr, "load_sequence_bench: no GL context: %s\n", error.c_str());
        std::exit(1);
      }
      side = picture_square_side_from_gl();
    }
    // A first run that is not counted: the files come into the page cache, and the memory the runs
    // use is the process's before the first timed one (on a virtual machine, memory the guest has
    // never touched costs far more the first time).
    run(side, true, false);
    // The runs alternate, so that a slow spell of the machine falls on both; each figure is its
    // best over the runs.
    RunFigures sequential{1e9, 1e9, 1e9, 1e9, 1e9}, pipelined{1e9, 1e9, 1e9, 1e9, 1e9};
    auto keep_best = [](RunFigures& best, const RunFigures& r) {
      best.total = std::min(best.total, r.total);
      best.decode = std::min(best.decode, r.decode);
      best.upload = std::min(best.upload, r.upload);
      best.decode_cpu = std::min(best.decode_cpu, r.decode_cpu);
      best.upload_cpu = std::min(best.upload_cpu, r.upload_cpu);
    };
    std::string each_sequential, each_pipelined;
    for (int r = 0; r < runs; ++r) {
      const RunFigures s = run(side, false, trace && r == 0), p = run(side, true, trace && r == 0);
      keep_best(sequential, s);
      keep_best(pipelined, p);
      each_sequential += " " + std::to_string(s.total).substr(0, 5);
      each_pipelined += " " + std::to_string(p.total).substr(0, 5);
    }
    int cores = default_decode_workers();
    double limit = std::max(sequential.decode / cores, sequential.upload);
    // The GL thread's uploads take a core too: on as many cores as decode workers, the decodes and
    // the uploads together cannot take less than their sum over the cores.
    double cpu_bound = std::max(limit, (sequential.decode + sequential.upload) / cores);
    std::printf("%s (S = %d, %d decode workers, best of %d runs each):\n", label, side, cores, runs);
    std::printf("  sequential  %8.3f s   (decode %.3f s, upload %.3f s)\n", sequential.total, sequential.decode,
                sequential.upload);
    std::printf("  pipelined   %8.3f s   %.2fx faster than sequential (decode %.3f s, upload %.3f s; on a core %.3f s\n"
                "                           and %.3f s: the rest waited for a core, a lock or the kernel)\n",
                pipelined.total, sequential.total / pipelined.total, pipelined.decode, pipelined.upload,
                pipelined.decode_cpu, pipelined.upload_cpu);
    std::printf("  each run    sequential%s s, pipelined%s s\n", each_sequential.c_str(), each_pipelined.c_str());
    std::printf("  limit       %8.3f s   max(decode sum / cores, upload sum); pipelined is %.2fx the limit\n", limit,
                pipelined.total / limit);
    std::printf("  all work    %8.3f s   (decode sum + upload sum) / cores when more; pipelined is %.2fx it\n",
                cpu_bound, pipelined.total / cpu_bound);
  }
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(folder);
  return ok;
}

// On a virtual machine, guest memory that has never been touched costs the host's own page
// faults the first time: uploads that reach new memory took four to five times as long in a fresh
// guest. Touching a few GiB once, before any run, takes that out of the figures; on a real machine
// it costs a second and changes nothing.
void touch_memory_once(size_t bytes) {
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return;
  for (size_t at = 0; at < bytes; at += 4096) static_cast<volatile uint8_t*>(p)[at] = 1;
  munmap(p, bytes);
}

}  // namespace

int main(int argc, char** argv) {
  restart_with_huge_page_memory(argv);  // as the show does
  const char* tunables = std::getenv("GLIBC_TUNABLES");
  std::printf("large memory on huge pages: %s\n",
              tunables && std::strstr(tunables, "glibc.malloc.hugetlb=1") ? "yes" : "no (glibc, or the kernel's setting)");
  bool quick = false, large = false, trace = false;
  int runs = 3;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--quick")) quick = true;
    else if (!std::strcmp(argv[i], "--large")) large = true;
    else if (!std::strcmp(argv[i], "--trace")) trace = true;
    else if (!std::strcmp(argv[i], "--runs") && i + 1 < argc && std::atoi(argv[i + 1]) > 0) runs = std::atoi(argv[++i]);
    else {
      std::fprintf(stderr, "usage: %s [--quick | --large] [--trace] [--runs N]\n", argv[0]);
      return 2;
    }
  }
  if (!quick) touch_memory_once(size_t(6) << 30);
  if (quick) return bench_set("quick set", 320, 180, trace, 1, 256) ? 0 : 1;
  bool ok = bench_set("38 photos at 1920 x 1080", 1920, 1080, trace, runs);
  if (large) ok = bench_set("12-megapixel JPEGs and PNGs", 4000, 3000, trace, runs) && ok;
  return ok ? 0 : 1;
}
