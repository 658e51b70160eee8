// show_run_meter: runs the show as a viewer meets it and measures it from outside, the same way for
// any show folder, so that two shows' figures compare:
//
//   show_run_meter [--audio FILE] [--after-music SECONDS] [--timeout SECONDS] -- PROGRAM [ARG...]
//
// PROGRAM runs in the working directory. FILE is where SDL's disk audio driver writes
// (SDL_AUDIODRIVER=disk, SDL_DISKAUDIOFILE=FILE, set by the caller): the driver writes silence in
// real time from the moment the show opens its audio device, and what the show plays once the
// music starts, so the music starts where the first sample that is not zero arrives. The file is
// read as it grows, every millisecond. Prints one "name value" a line:
//
//   music_s      seconds from the fork to the first sound ("none" when none came)
//   music_cpu_s  the CPU time all the process's threads had used by then (/proc, in ticks of
//                10 ms): the work of start-up, which other load on the machine does not stretch
//   max_rss_kb   the process's peak resident memory (wait4), its restart by exec included
//   playing_rss_kb  the largest resident memory read (/proc, every 20 ms) from 5 s after the music
//                started to the end: what playing holds once start-up's decoding is over
//   playing_cpu_s, playing_wait_s  while the music played: the seconds the main thread (the one
//                that draws and uploads) ran on a CPU, and those it waited runnable for one
//                (/proc/PID/schedstat): how much other load on the machine stretched its frames
//   ran_s        seconds from the fork until it ended
//   exit         its exit code, or "signal N"
//
// --after-music SECONDS ends the program with SIGTERM (which SDL turns into a quit, so the show ends
// as by Escape) that long after the music started; --timeout SECONDS ends it with SIGTERM after that
// long from the start whatever happened, then SIGKILL five seconds later.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

[[noreturn]] void usage() {
  std::fprintf(stderr,
               "usage: show_run_meter [--audio FILE] [--after-music SECONDS] [--timeout SECONDS] -- PROGRAM [ARG...]\n");
  std::exit(2);
}

double seconds_argument(const char* text) {
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(v >= 0)) usage();
  return v;
}

// Reads what the audio file gained since the last call and says whether a sample in it is not
// silent. Samples are 16-bit; a read may end in the middle of one, so the bytes are counted from
// the file's start and only whole samples looked at.
class SoundWatch {
 public:
  explicit SoundWatch(std::string path) : path_(std::move(path)) {}
  ~SoundWatch() {
    if (fd_ >= 0) close(fd_);
  }
  bool heard() {
    if (fd_ < 0 && (fd_ = open(path_.c_str(), O_RDONLY)) < 0) return false;
    for (;;) {
      const ssize_t got = read(fd_, buffer_ + carry_, sizeof buffer_ - carry_);
      if (got <= 0) return false;
      const size_t bytes = carry_ + size_t(got);
      for (size_t i = 0; i + 1 < bytes; i += 2)
        if (buffer_[i] != 0 || buffer_[i + 1] != 0) return true;
      carry_ = bytes % 2;
      if (carry_) buffer_[0] = buffer_[bytes - 1];
    }
  }

 private:
  std::string path_;
  int fd_ = -1;
  unsigned char buffer_[1 << 16];
  size_t carry_ = 0;
};

// The resident memory of `pid` now, in KiB; 0 when it cannot be read.
long resident_kb(pid_t pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/statm", int(pid));
  std::FILE* f = std::fopen(path, "r");
  if (!f) return 0;
  long size = 0, resident = 0;
  const int got = std::fscanf(f, "%ld %ld", &size, &resident);
  std::fclose(f);
  return got == 2 ? resident * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

// The CPU time of all of `pid`'s threads so far, in seconds; -1 when it cannot be read.
double process_cpu_seconds(pid_t pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/stat", int(pid));
  std::FILE* f = std::fopen(path, "r");
  if (!f) return -1;
  char line[1024];
  const bool got = std::fgets(line, sizeof line, f) != nullptr;
  std::fclose(f);
  // The command name, in parentheses, may hold spaces: the fields are counted after its end.
  const char* end = got ? std::strrchr(line, ')') : nullptr;
  unsigned long long utime = 0, stime = 0;
  if (!end || std::sscanf(end + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) != 2)
    return -1;
  return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

// The main thread's time on a CPU and time runnable but waiting for one, in nanoseconds.
struct SchedTimes {
  unsigned long long cpu = 0, wait = 0;
};

bool sched_times(pid_t pid, SchedTimes& out) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/schedstat", int(pid));
  std::FILE* f = std::fopen(path, "r");
  if (!f) return false;
  const bool ok = std::fscanf(f, "%llu %llu", &out.cpu, &out.wait) == 2;
  std::fclose(f);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::string audio;
  double after_music = -1, timeout = -1;
  int i = 1;
  for (; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--") {
      ++i;
      break;
    }
    if (i + 1 >= argc) usage();
    if (a == "--audio") audio = argv[++i];
    else if (a == "--after-music") after_music = seconds_argument(argv[++i]);
    else if (a == "--timeout") timeout = seconds_argument(argv[++i]);
    else usage();
  }
  if (i >= argc) usage();
  if (!audio.empty()) unlink(audio.c_str());  // the driver creates it when the device opens

  const Clock::time_point start = Clock::now();
  const pid_t pid = fork();
  if (pid < 0) {
    std::perror("show_run_meter: fork");
    return 1;
  }
  if (pid == 0) {
    execvp(argv[i], argv + i);
    std::fprintf(stderr, "show_run_meter: cannot run %s: %s\n", argv[i], std::strerror(errno));
    _exit(127);
  }

  SoundWatch sound(audio);
  double music = -1, music_cpu = -1, terminated_at = -1;
  bool timed_out = false;
  long playing_rss = 0;
  double rss_read_at = 0, sched_read_at = 0;
  SchedTimes at_music, last;
  bool have_at_music = false;
  int status = 0;
  rusage usage_of_child{};
  for (;;) {
    const pid_t done = wait4(pid, &status, WNOHANG, &usage_of_child);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) {
      std::perror("show_run_meter: wait4");
      return 1;
    }
    const double now = seconds_since(start);
    if (music < 0 && !audio.empty() && sound.heard()) {
      music = now;
      music_cpu = process_cpu_seconds(pid);
    }
    if (music >= 0 && now >= sched_read_at + 0.02) {
      SchedTimes t;
      if (sched_times(pid, t)) {
        if (!have_at_music) at_music = t, have_at_music = true;
        last = t;
      }
      sched_read_at = now;
    }
    if (music >= 0 && now >= music + 5 && now >= rss_read_at + 0.02) {
      playing_rss = std::max(playing_rss, resident_kb(pid));
      rss_read_at = now;
    }
    const bool ask_to_end = (after_music >= 0 && music >= 0 && now >= music + after_music) ||
                            (timeout >= 0 && now >= timeout);
    if (ask_to_end && terminated_at < 0) {
      timed_out = !(after_music >= 0 && music >= 0 && now >= music + after_music);
      kill(pid, SIGTERM);
      terminated_at = now;
    }
    if (terminated_at >= 0 && now >= terminated_at + 5) kill(pid, SIGKILL);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const double ran = seconds_since(start);

  if (music >= 0) std::printf("music_s %.4f\n", music);
  else std::printf("music_s none\n");
  if (music_cpu >= 0) std::printf("music_cpu_s %.2f\n", music_cpu);
  std::printf("max_rss_kb %ld\n", usage_of_child.ru_maxrss);
  std::printf("playing_rss_kb %ld\n", playing_rss);
  std::printf("playing_cpu_s %.2f\nplaying_wait_s %.2f\n", double(last.cpu - at_music.cpu) / 1e9,
              double(last.wait - at_music.wait) / 1e9);
  std::printf("ran_s %.3f\n", ran);
  if (WIFEXITED(status)) std::printf("exit %d\n", WEXITSTATUS(status));
  else std::printf("exit signal %d\n", WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  if (timed_out) std::printf("timeout 1\n");
  return 0;
}
