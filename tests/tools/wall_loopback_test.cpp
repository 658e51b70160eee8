// hallshow-wall as machines run it, on loopback: a leader and a follower that computes its rows
// without drawing (--rows-only), the follower's clock moved by libfaketime. Each logs, per frame,
// the true time at which the frame is seen (a clock libfaketime does not move) and its row; the
// two logs are compared at the same true instants. Every wait is bounded; every process is killed
// when its test ends.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
constexpr const char* FAKETIME_LIBRARY = "/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1";

// A track file: int32 count, then row, float value, int8 type per key.
void write_track(const fs::path& folder, const std::string& name, const std::vector<std::pair<int, float>>& keys,
                 int8_t type = 0) {
  fs::create_directories(folder / "kestos");
  std::ofstream out(folder / "kestos" / ("base_" + name + ".kesto"), std::ios::binary);
  const int32_t count = static_cast<int32_t>(keys.size());
  out.write(reinterpret_cast<const char*>(&count), 4);
  for (const auto& [row, value] : keys) {
    out.write(reinterpret_cast<const char*>(&row), 4);
    out.write(reinterpret_cast<const char*>(&value), 4);
    out.write(reinterpret_cast<const char*>(&type), 1);
  }
}

// A show that ends by itself at `end_row`.
void write_show(const fs::path& folder, int end_row) {
  write_track(folder, "happy", {{0, 0}, {end_row, 2}});
  write_track(folder, "back.x", {{0, -1}, {end_row, 1}}, 1);
}

class Process {
 public:
  Process(const fs::path& folder, const std::vector<std::string>& args, const fs::path& err,
          const std::string& faketime = "") {
    pid_ = fork();
    if (pid_ != 0) return;
    if (chdir(folder.c_str()) != 0) _exit(126);
    const int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, STDERR_FILENO);
    dup2(fd, STDOUT_FILENO);
    if (!faketime.empty()) {
      setenv("LD_PRELOAD", FAKETIME_LIBRARY, 1);
      setenv("FAKETIME", faketime.c_str(), 1);
      setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);  // the preloaded library comes first
    }
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::vector<char*> argv{const_cast<char*>(WALL_PATH)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(WALL_PATH, argv.data());
    _exit(127);
  }
  ~Process() { kill(); }
  // The exit code within `seconds`, or -1 (and the process killed).
  int wait(double seconds) {
    for (double waited = 0; waited < seconds; waited += 0.05) {
      int status = 0;
      if (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill();
    return -1;
  }
  void kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

std::string read_text(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The leader's port from its first line, waiting up to 20 s for it.
int leader_port(const fs::path& err) {
  for (int i = 0; i < 400; ++i) {
    const std::string text = read_text(err);
    const size_t at = text.find(" on port ");
    if (at != std::string::npos) return std::atoi(text.c_str() + at + 9);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return 0;
}

struct Frame {
  int64_t seen;
  double row;
};
struct Log {
  std::vector<Frame> frames;
  std::map<std::string, int64_t> events;  // "in-step", "gone", "back": the true time of the first
};

Log read_log(const fs::path& path) {
  Log log;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.starts_with("# ")) {
      std::istringstream s(line.substr(2));
      int64_t t;
      std::string kind, what;
      if (s >> t >> kind >> what && kind == "event") log.events.emplace(what, t);
      continue;
    }
    std::istringstream s(line);
    Frame f;
    int64_t shared;
    if (s >> f.seen >> shared >> f.row) log.frames.push_back(f);
  }
  return log;
}

// The row `log` shows at true time `t`, between its frames around it (nothing outside them).
std::optional<double> row_at(const Log& log, int64_t t) {
  const auto after = std::lower_bound(log.frames.begin(), log.frames.end(), t,
                                      [](const Frame& f, int64_t v) { return f.seen < v; });
  if (after == log.frames.begin() || after == log.frames.end()) return std::nullopt;
  const Frame& a = *(after - 1);
  const Frame& b = *after;
  return a.row + (b.row - a.row) * double(t - a.seen) / double(b.seen - a.seen);
}

// The largest difference, in ms of show time, at the leader's frames from `from` on.
double largest_difference_ms(const Log& leader, const Log& follower, int64_t from, int* compared) {
  double largest = 0;
  *compared = 0;
  for (const Frame& f : leader.frames) {
    if (f.seen < from) continue;
    const std::optional<double> other = row_at(follower, f.seen);
    if (!other) continue;
    largest = std::max(largest, std::fabs(*other - f.row) * 50.0);
    ++*compared;
  }
  return largest;
}

class WallLoopback : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(FAKETIME_LIBRARY)) GTEST_SKIP() << "libfaketime is not installed (scripts/deps.sh)";
    leader_dir = dir.path() / "leader" / "show";
    follower_dir = dir.path() / "follower" / "show";
  }
  TempDir dir{TempDir::WorkingDirectory::Keep};
  fs::path leader_dir, follower_dir;
};

TEST_F(WallLoopback, AFollowerStartedLateWithAShiftedClockShowsTheLeadersRow) {
  write_show(leader_dir, 140);
  write_show(follower_dir, 140);
  Process leader(leader_dir, {"--lead", "--port", "0", "--rows-only", "--log", (dir.path() / "leader.log").string()},
                 dir.path() / "leader.err");
  const int port = leader_port(dir.path() / "leader.err");
  ASSERT_GT(port, 0) << read_text(dir.path() / "leader.err");
  std::this_thread::sleep_for(std::chrono::seconds(1));
  // Seven seconds ahead and 100 ppm fast.
  Process follower(follower_dir,
                   {"--join", "127.0.0.1:" + std::to_string(port), "--rows-only", "--log", (dir.path() / "follower.log").string()},
                   dir.path() / "follower.err", "+7s x1.0001");
  EXPECT_EQ(follower.wait(30), 0) << read_text(dir.path() / "follower.err");
  EXPECT_EQ(leader.wait(10), 0) << read_text(dir.path() / "leader.err");
  const Log l = read_log(dir.path() / "leader.log"), f = read_log(dir.path() / "follower.log");
  ASSERT_TRUE(f.events.count("in-step")) << read_text(dir.path() / "follower.err");
  int compared = 0;
  // From a second after it is in step: on a loaded machine the clock's first rates, from a few
  // polls, can be off by thousands of ppm (scripts/bench_wall.sh measures how soon it settles).
  const double worst = largest_difference_ms(l, f, f.events.at("in-step") + 1'000'000'000, &compared);
  EXPECT_GT(compared, 60);
  EXPECT_LE(worst, 5.0) << "ms of show time apart";
  EXPECT_NE(read_text(dir.path() / "follower.err").find("in step with the leader"), std::string::npos);
}

TEST_F(WallLoopback, AFollowerWithAnotherShowRefusesAndSaysWhatDiffers) {
  write_show(leader_dir, 200);
  write_show(follower_dir, 200);
  write_track(follower_dir, "beard.y", {{0, 1}});
  Process leader(leader_dir, {"--lead", "--port", "0", "--rows-only"}, dir.path() / "leader.err");
  const int port = leader_port(dir.path() / "leader.err");
  ASSERT_GT(port, 0);
  Process follower(follower_dir, {"--join", "127.0.0.1:" + std::to_string(port), "--rows-only"}, dir.path() / "follower.err");
  EXPECT_EQ(follower.wait(20), 1);
  const std::string said = read_text(dir.path() / "follower.err");
  EXPECT_NE(said.find("plays another show: track beard.y only here"), std::string::npos) << said;
}

TEST_F(WallLoopback, GarbageOnThePortChangesNothing) {
  write_show(leader_dir, 100);
  write_show(follower_dir, 100);
  Process leader(leader_dir, {"--lead", "--port", "0", "--rows-only", "--log", (dir.path() / "leader.log").string()},
                 dir.path() / "leader.err");
  const int port = leader_port(dir.path() / "leader.err");
  ASSERT_GT(port, 0);
  Process follower(follower_dir, {"--join", "127.0.0.1:" + std::to_string(port), "--rows-only", "--log",
                                  (dir.path() / "follower.log").string()},
                   dir.path() / "follower.err");
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  // Garbage of every size to the clock's UDP port and the messages' TCP port, from loopback.
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int udp = socket(AF_INET, SOCK_DGRAM, 0);
  std::string junk;
  for (int i = 0; i < 200; ++i) {
    junk.assign(size_t(i % 70), char(i * 37));
    sendto(udp, junk.data(), junk.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
  close(udp);
  for (const std::string& text : {std::string("GET / HTTP/1.0\r\n\r\n"), std::string(5000, '\xff'),
                                   std::string("\xff\0\0\0\0\0\0\0\x01\x7f", 10) + std::string(100, 'x')}) {
    const int tcp = socket(AF_INET, SOCK_STREAM, 0);
    if (connect(tcp, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
      (void)!write(tcp, text.data(), text.size());
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    close(tcp);
  }
  const int64_t after_garbage = [] {
    timespec t{};
    clock_gettime(CLOCK_BOOTTIME, &t);
    return int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
  }();
  EXPECT_EQ(follower.wait(30), 0) << read_text(dir.path() / "follower.err");
  EXPECT_EQ(leader.wait(10), 0) << read_text(dir.path() / "leader.err");
  const Log l = read_log(dir.path() / "leader.log"), f = read_log(dir.path() / "follower.log");
  int compared = 0;
  EXPECT_LE(largest_difference_ms(l, f, after_garbage, &compared), 5.0);
  EXPECT_GT(compared, 30);
  const std::string said = read_text(dir.path() / "follower.err");
  EXPECT_EQ(said.find("gone"), std::string::npos) << said;
}

TEST_F(WallLoopback, AFollowerWhoseLeaderVanishesRunsToTheEnd) {
  write_show(leader_dir, 100);
  write_show(follower_dir, 100);
  Process leader(leader_dir, {"--lead", "--port", "0", "--rows-only"}, dir.path() / "leader.err");
  const int port = leader_port(dir.path() / "leader.err");
  ASSERT_GT(port, 0);
  Process follower(follower_dir, {"--join", "127.0.0.1:" + std::to_string(port), "--rows-only", "--log",
                                  (dir.path() / "follower.log").string()},
                   dir.path() / "follower.err");
  for (int i = 0; i < 200 && !read_log(dir.path() / "follower.log").events.count("in-step"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  leader.kill();
  EXPECT_EQ(follower.wait(30), 0);
  const std::string said = read_text(dir.path() / "follower.err");
  const size_t gone = said.find("is gone; playing on to the end of the show on the last clock");
  EXPECT_NE(gone, std::string::npos) << said;
  EXPECT_EQ(said.find("is gone", gone + 1), std::string::npos) << "said once";
  const Log f = read_log(dir.path() / "follower.log");
  ASSERT_FALSE(f.frames.empty());
  EXPECT_GT(f.frames.back().row, 99.0) << "the follower stopped before the end";
  // It never stalled: no gap of more than a few frames between its frames.
  for (size_t i = 1; i < f.frames.size(); ++i) ASSERT_LT(f.frames[i].seen - f.frames[i - 1].seen, 200'000'000);
}

}  // namespace
