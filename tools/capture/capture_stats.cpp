#include "tools/capture/capture_stats.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

// utime + stime of one thread, in seconds; fields 14 and 15 of its stat line, after the name in
// parentheses (which may itself hold spaces or parentheses).
double thread_seconds(const std::string& task) {
  std::ifstream file(task + "/stat");
  std::string line;
  if (!std::getline(file, line)) return 0;
  const size_t close = line.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(line.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  // After the name: state is field 3, utime field 14.
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::strtoull(field.c_str(), nullptr, 10);
    if (i == 15) stime = std::strtoull(field.c_str(), nullptr, 10);
  }
  return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

std::string thread_name(const std::string& task) {
  std::ifstream file(task + "/comm");
  std::string name;
  std::getline(file, name);
  return name;
}

double seconds_of(const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; }

}  // namespace

ThreadTimes thread_times() {
  ThreadTimes times;
  DIR* dir = opendir("/proc/self/task");
  if (!dir) return times;
  const std::string main_thread = std::to_string(getpid());
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    const std::string task = std::string("/proc/self/task/") + entry->d_name;
    const std::string name = thread_name(task);
    const double seconds = thread_seconds(task);
    if (entry->d_name == main_thread) {
      times.drawing += seconds;
    } else if (name.rfind("llvmpipe", 0) == 0) {
      times.rasteriser += seconds;
      ++times.rasteriser_threads;
    } else if (name == CONVERSION_THREAD_NAME) {
      times.conversion += seconds;
    } else {
      times.other += seconds;
    }
  }
  closedir(dir);
  rusage self{};
  if (getrusage(RUSAGE_SELF, &self) == 0) {
    const double all = seconds_of(self.ru_utime) + seconds_of(self.ru_stime);
    times.other = std::max(times.other, all - times.drawing - times.rasteriser - times.conversion);
  }
  return times;
}

CaptureStats::CaptureStats(std::vector<std::string> stage_names)
    : names_(std::move(stage_names)), seconds_(names_.size(), 0.0) {}

void CaptureStats::start_frame() {
  last_ = Clock::now();
  if (!running_) before_ = thread_times(), started_ = last_, running_ = true;
}

void CaptureStats::mark(size_t index) {
  const Clock::time_point now = Clock::now();
  if (index < seconds_.size()) seconds_[index] += std::chrono::duration<double>(now - last_).count();
  last_ = now;
}

std::string CaptureStats::report(double show_seconds, const rusage* encoder, const std::string& extra) const {
  ThreadTimes threads = thread_times();
  threads.drawing -= before_.drawing;
  threads.rasteriser -= before_.rasteriser;
  threads.conversion -= before_.conversion;
  threads.other -= before_.other;
  const double wall = running_ ? std::chrono::duration<double>(Clock::now() - started_).count() : 0.0;
  const double frames = frames_ > 0 ? double(frames_) : 1.0;
  char line[512];
  std::string out;
  std::snprintf(line, sizeof line,
                "hallshow-capture: %ld frames in %.2f s: %.1f a second, %.2f times the %.2f s they show\n", frames_,
                wall, frames_ / (wall > 0 ? wall : 1), show_seconds > 0 ? wall / show_seconds : 0.0, show_seconds);
  out += line;
  out += "  drawing thread, ms a frame (wall):";
  for (size_t i = 0; i < names_.size(); ++i) {
    std::snprintf(line, sizeof line, "%s %s %.2f", i ? "," : "", names_[i].c_str(), seconds_[i] * 1e3 / frames);
    out += line;
  }
  out += "\n";
  const double encoder_seconds = encoder ? seconds_of(encoder->ru_utime) + seconds_of(encoder->ru_stime) : 0.0;
  const double total = threads.drawing + threads.rasteriser + threads.conversion + threads.other + encoder_seconds;
  std::snprintf(line, sizeof line,
                "  processor, ms a frame: drawing thread %.2f, llvmpipe (%d thread%s) %.2f, conversion and pipe %.2f, "
                "photo decoding and other threads %.2f, encoder %.2f; %.2f in all, on %u cores\n",
                threads.drawing * 1e3 / frames, threads.rasteriser_threads, threads.rasteriser_threads == 1 ? "" : "s",
                threads.rasteriser * 1e3 / frames, threads.conversion * 1e3 / frames, threads.other * 1e3 / frames,
                encoder_seconds * 1e3 / frames, total * 1e3 / frames, std::thread::hardware_concurrency());
  out += line;
  rusage self{};
  getrusage(RUSAGE_SELF, &self);
  std::snprintf(line, sizeof line, "  peak memory: capture %.0f MB, encoder %.0f MB\n", double(self.ru_maxrss) / 1024,
                encoder ? double(encoder->ru_maxrss) / 1024 : 0.0);
  out += line;
  out += extra;
  return out;
}
