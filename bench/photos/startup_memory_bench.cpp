// Peak resident memory of a start-up's load sequence, by number of decode workers: the figure the
// decode budget is there to bound. Each run is a child process of its own (its high-water mark
// alone), decoding the catalogue's 38 photos for real while the uploads are slow (a sleep), so
// that decoded photos pile up as far as the budget lets them. No GL: the uploads drop the pixels.
//
//   startup_memory_bench [--workers 2,16] [--size 4000x3000] [--upload-ms 100] [--result-only]
//
// --result-only reserves only each photo's result in the budget, not its decode's peak: the rule
// before the peaks were counted, for comparison in the same run.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/huge_page_memory.h"
#include "photos/load_sequence.h"
#include "photos/photo_catalogue.h"
#include "tests/photos/test_images.h"

namespace {

namespace fs = std::filesystem;

teximg::Rgba paint(int x, int y) {
  const uint32_t h = uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u;
  const int noise = int(h >> 28) - 8;
  auto clamp = [](int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); };
  return {clamp((x >> 3) + noise), clamp((y >> 3) + noise), clamp(((x + y) >> 4) + 60 + noise), 255};
}

// One file of each kind, copied under every catalogue name of that kind.
bool write_set(int width, int height) {
  fs::create_directories(PHOTO_FOLDER);
  if (!teximg::write_png("one.png", width, height, paint) || !teximg::write_jpeg("one.jpg", width, height, paint, 90))
    return false;
  if (!teximg::write_photo_gif("one.gif", width, height, paint)) return false;
  for (int i = 0; i < PHOTO_COUNT; ++i) {
    const std::string path = PHOTO_CATALOGUE[i].path;
    const char* source = path.ends_with(".png") ? "one.png" : path.ends_with(".gif") ? "one.gif" : "one.jpg";
    std::error_code ec;
    fs::copy_file(source, path, fs::copy_options::overwrite_existing, ec);
    if (ec) return false;
  }
  return true;
}

class SlowUploads : public TextureLoadSteps {
 public:
  SlowUploads(int square_side, int upload_ms, bool result_only)
      : TextureLoadSteps(square_side, nullptr), upload_ms_(upload_ms), result_only_(result_only) {}
  void show_frame(const char*) override {}
  void upload(const LoadJob&, const TextureImage&) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(upload_ms_));
  }
  size_t decode_peak_bytes(const LoadJob& job) override {
    return result_only_ ? decoded_bytes(job) : TextureLoadSteps::decode_peak_bytes(job);
  }

 private:
  int upload_ms_;
  bool result_only_;
};

long long status_kib(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const size_t n = std::strlen(field);
  while (std::getline(in, line))
    if (line.compare(0, n, field) == 0 && line[n] == ':') return std::stoll(line.substr(n + 1));
  return -1;
}

// The high-water mark of a child that runs the sequence, in KiB, and its time; -1 on failure.
long long peak_of_run(int workers, int upload_ms, bool result_only, double& seconds) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    SlowUploads steps(4096, upload_ms, result_only);
    LoadOptions options;
    options.workers = workers;
    run_load_sequence(steps, load_jobs(), options);
    const long long peak = status_kib("VmHWM");
    if (write(fds[1], &peak, sizeof peak) != sizeof peak) _exit(1);
    _exit(0);
  }
  close(fds[1]);
  long long peak = -1;
  if (read(fds[0], &peak, sizeof peak) != sizeof peak) peak = -1;
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? peak : -1;
}

}  // namespace

int main(int argc, char** argv) {
  restart_with_huge_page_memory(argv);  // as the show does
  std::vector<int> workers = {2, 16};
  int width = 4000, height = 3000, upload_ms = 100;
  bool result_only = false;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--workers") && i + 1 < argc) {
      workers.clear();
      for (char* p = argv[++i]; *p;) {
        workers.push_back(int(std::strtol(p, &p, 10)));
        if (*p == ',') ++p;
        else if (*p) break;
      }
    } else if (!std::strcmp(argv[i], "--size") && i + 1 < argc) {
      if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2) width = 0;
    } else if (!std::strcmp(argv[i], "--upload-ms") && i + 1 < argc) {
      upload_ms = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--result-only")) {
      result_only = true;
    } else {
      width = 0;
    }
    if (width <= 0 || height <= 0) {
      std::fprintf(stderr, "usage: %s [--workers 2,16] [--size WxH] [--upload-ms MS] [--result-only]\n", argv[0]);
      return 2;
    }
  }
  char folder[] = "/tmp/hallshow-startup-memory-XXXXXX";
  if (!mkdtemp(folder)) return 1;
  const fs::path previous = fs::current_path();
  fs::current_path(folder);
  std::printf("photos %d x %d, uploads %d ms each, budget %s\n", width, height, upload_ms,
              result_only ? "of results only" : "of decode peaks");
  std::fflush(stdout);
  int failures = 0;
  if (!write_set(width, height)) {
    std::fprintf(stderr, "startup_memory_bench: cannot write the photos\n");
    failures = 1;
  }
  long long first = -1;
  for (int w = 0; !failures && w < int(workers.size()); ++w) {
    double seconds = 0;
    const long long peak = peak_of_run(workers[w], upload_ms, result_only, seconds);
    if (peak < 0) {
      ++failures;
      continue;
    }
    if (first < 0) first = peak;
    std::printf("  %2d workers: peak resident %7.1f MiB  (+%6.1f MiB over the first)  %.1f s\n", workers[w],
                peak / 1024.0, (peak - first) / 1024.0, seconds);
    std::fflush(stdout);
  }
  fs::current_path(previous);
  fs::remove_all(folder);
  return failures ? 1 : 0;
}
