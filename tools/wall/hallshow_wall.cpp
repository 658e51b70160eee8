// hallshow-wall: the show in the working directory on many machines at once, in step. One leader
// serves a shared clock (GStreamer's) and says, beside it, which show it plays and when the
// music's position 0 is heard on that clock (the base time, from its own music clock). Every
// machine, the leader too, draws each frame at the row the shared clock gives for the moment the
// frame will be seen. The start-up, loading screen, photos and scene are the show's own.
#include <GL/gl.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <random>
#include <string>

#include "app/huge_page_memory.h"
#include "app/silence_output.h"
#include "app/start_show.h"
#include "photos/loading_screen.h"
#include "photos/photo_catalogue.h"
#include "show/music_clock.h"
#include "show/music_player.h"
#include "show/open_photos.h"
#include "show/scene.h"
#include "show/scene_tracks.h"
#include "tools/wall/beat_exchange.h"
#include "tools/wall/leader_search.h"
#include "tools/wall/shared_clock.h"
#include "tools/wall/show_fingerprint.h"
#include "tools/wall/stepped_music.h"
#include "tools/wall/wall_options.h"
#include "tools/wall/wall_screen.h"
#include "tools/wall/wall_timing.h"

namespace {

// The terminal's standard error, kept when the libraries' output is sent to /dev/null.
FILE* terminal = stderr;

void say(const std::string& line) {
  std::fprintf(terminal, "hallshow-wall: %s\n", line.c_str());
  std::fflush(terminal);
}

// A line a frame: the true time at which the frame is seen, the shared time then, and its row.
class FrameLog {
 public:
  bool open(const std::string& path) {
    if (path.empty()) return true;
    file_ = std::fopen(path.c_str(), "w");
    return file_ != nullptr;
  }
  void frame(double presented, int64_t shared, double row) {
    if (!file_) return;
    const int64_t seen = clock_at(true_nanoseconds, presented);
    std::fprintf(file_, "%lld %lld %.6f\n", static_cast<long long>(seen), static_cast<long long>(shared), row);
    if (++lines_ % 64 == 0) std::fflush(file_);
  }
  void note(const std::string& text) {
    if (!file_ || text.empty()) return;
    std::fprintf(file_, "# %lld %s\n", static_cast<long long>(true_nanoseconds()), text.c_str());
    std::fflush(file_);
  }
  void flush() {
    if (file_) std::fflush(file_);
  }

 private:
  FILE* file_ = nullptr;
  long lines_ = 0;
};

FrameLog frame_log;

[[noreturn]] void finish(int code) {
  frame_log.flush();
  finish_open_photos();
  std::fflush(terminal);
  _exit(code);  // as the show ends: nothing released, the threads go with the process
}

std::string show_name() {
  std::error_code error;
  const std::filesystem::path here = std::filesystem::current_path(error);
  const std::string name = error ? std::string() : here.filename().string();
  return name.empty() ? "hallshow" : name;
}

uint64_t new_run_id() {
  std::random_device random;
  return (uint64_t(random()) << 32 | random()) | 1;
}

// The show's start-up as far as this screen goes: tracks (and the music when the leader plays it)
// always; the glyphs and the photos, behind the loading frames, when it draws.
void prepare(const WallScreen& screen, bool music) {
  // Without an audio driver the show's music clock is the silent one: the leader's --music none,
  // and every follower, whose own music (if any) is played in step by SteppedMusic instead.
  const char* driver = std::getenv("SDL_AUDIODRIVER");
  const std::string kept = driver ? driver : "";
  if (!music) setenv("SDL_AUDIODRIVER", "hallshow-wall-silent", 1);
  if (screen.draws()) prepare_show();
  else init_music_and_tracks();
  if (!music) {
    if (driver) setenv("SDL_AUDIODRIVER", kept.c_str(), 1);
    else unsetenv("SDL_AUDIODRIVER");
  }
}

// One frame at the shared clock: the row of the moment it will be seen. False at the end of the show.
bool draw_frame(WallScreen& screen, SharedClock& clock, int64_t base) {
  const double seen = screen.next_presentation(steady_seconds());
  const int64_t shared = clock_at([&] { return clock.now(); }, seen);
  const double row = row_at(shared, base);
  frame_log.frame(seen, shared, row);
  if (screen.draws()) return render_frame_at(row, present_wall_screen) == FrameResult::Presented;
  const SyncTrack* happy = scene_tracks().happy;
  if (happy && happy_state(get_value(*happy, row)) == 2) return false;
  screen.present();
  return true;
}

// A clock that has not locked for a while is worth one line (a PTP domain without a grandmaster,
// a leader's clock that does not answer), said once; the wait goes on.
void say_if_not_locked(const ClockChoice& clock, double since) {
  static bool said = false;
  if (said || steady_seconds() - since < LeaderWatch::NOT_FOUND_SECONDS) return;
  said = true;
  say("the " + clock_choice_name(clock) + " clock has not locked within 10 s; still trying" +
      (clock.kind == ClockKind::Ptp ? " (is a PTP grandmaster, such as ptp4l, serving this domain?)" : ""));
}

void note_statistics(SharedClock& clock) {
  const std::string line = clock.statistics();
  if (!line.empty()) frame_log.note("clock " + line);
}

int lead(const WallOptions& options, WallScreen& screen, std::future<ShowFingerprint> fingerprint) {
  const std::string name = show_name();
  std::string error;
  int port = options.port;
  std::unique_ptr<SharedClock> clock;
  std::unique_ptr<LeaderChannel> channel;
  // The clock's UDP port and the messages' TCP port are one number; with --port 0 a free UDP port
  // is taken first, and taken again should its TCP twin be in use.
  for (int attempt = 0; attempt < 20 && !channel; ++attempt) {
    port = options.port;
    clock = leader_clock(options.clock, port, error);
    if (!clock) break;
    if (options.clock.kind != ClockKind::Net && port == 0) port = 49152 + int(new_run_id() % 16000);
    channel = leader_channel(port, error);
    if (options.port != 0) break;
  }
  if (!clock || !channel) {
    say(error);
    return 1;
  }
  BeatServer server(std::move(channel));
  Beat beat;
  beat.run = new_run_id();
  beat.show = name;
  beat.clock = options.clock;
  beat.clock_port = options.clock.kind == ClockKind::Net ? port : 0;
  server.set_beat(beat);
  const auto announcement = announce_leader(name, port, say);
  say("leading the show \"" + name + "\" on port " + std::to_string(port) + " (clock " +
      clock_choice_name(options.clock) + ")");

  prepare(screen, options.music);
  if (!clock->synced()) say("waiting for the " + clock_choice_name(options.clock) + " clock to lock");
  for (const double waiting = steady_seconds(); !clock->synced();) {
    if (screen.quit_asked()) finish(0);
    say_if_not_locked(options.clock, waiting);
    if (screen.draws()) show_loading_frame(FIRST_LOADING_FRAME, present_wall_screen);
    else screen.present();
  }
  if (screen.draws()) glEnable(GL_TEXTURE_2D);
  start_music();

  BaseFromMusic base;
  bool listed = false;
  for (;;) {
    if (screen.quit_asked()) finish(0);
    if (!listed && fingerprint.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
      const ShowFingerprint print = fingerprint.get();
      beat.fingerprint = print.digest();
      server.set_list({beat.run, print});
      server.set_beat(beat);
      listed = true;
    }
    const double length = music_length_seconds();
    const double asked = steady_seconds();
    const double position = music_seconds();
    const int64_t shared = clock_at([&] { return clock->now(); }, asked);
    if (base.observe(shared, position, music_is_audible() && length > 0 && position >= length)) {
      beat.has_base = true;
      beat.base = base.base();
      server.set_beat(beat);
      frame_log.note("base " + std::to_string(beat.base));
    }
    note_statistics(*clock);
    if (!draw_frame(screen, *clock, base.base())) finish(0);
  }
}

int join(const WallOptions& options, WallScreen& screen, std::future<ShowFingerprint> fingerprint) {
  const std::string name = show_name();
  std::string error;
  LeaderWatch watch(steady_seconds());
  // Where the leader is: named, or found by the show folder's name.
  LeaderAddress leader{options.host, options.port};
  std::unique_ptr<LeaderSearch> search;
  if (leader.host.empty()) search = search_leader(name, say);
  const auto where = [&] {
    return leader.host.empty() ? "of the show \"" + name + "\" on the LAN (mDNS)" : "at " + leader.host + ":" + std::to_string(leader.port);
  };
  std::unique_ptr<BeatListener> listener;
  const auto connect = [&] {
    auto channel = follower_channel(leader.host, leader.port, error);
    if (!channel) {
      say(error);
      finish(1);
    }
    listener = std::make_unique<BeatListener>(std::move(channel), steady_seconds);
  };
  if (!search) connect();

  prepare(screen, false);

  std::unique_ptr<SharedClock> clock;
  Beat following;  // the beat the clock was made for
  std::optional<ShowFingerprint> own;
  bool in_step = false, checked = false;
  uint64_t beats_seen = 0, checked_run = 0;
  double list_wait_start = 0.0;
  std::unique_ptr<SteppedMusic> music;
  std::atomic<int64_t> shared_base{0};
  long frames = 0;
  double clock_since = 0.0;  // when the clock was made
  constexpr long MUSIC_NOTE_FRAMES = 300;  // the music's corrections in the log, every 5 s or so

  const auto tell = [&](WatchEvent event) {
    switch (event) {
      case WatchEvent::NotFound: say("cannot find the leader " + where() + " within 10 s; still trying"); break;
      case WatchEvent::Found: say("found the leader " + where()); break;
      case WatchEvent::Gone:
        say("the leader " + where() + " is gone; playing on to the end of the show on the last clock");
        break;
      case WatchEvent::Back: say("the leader " + where() + " is back"); break;
      case WatchEvent::None: return;
    }
    frame_log.note(std::string("event ") + (event == WatchEvent::Gone ? "gone" : event == WatchEvent::Back ? "back" : "found"));
  };

  for (;;) {
    if (screen.quit_asked()) finish(0);
    const double now = steady_seconds();
    if (!listener && search) {
      if (const std::optional<LeaderAddress> found = search->found()) {
        leader = *found;
        connect();
      }
    }
    if (!own && fingerprint.wait_for(std::chrono::seconds(0)) == std::future_status::ready) own = fingerprint.get();

    if (listener) {
      const BeatListener::Heard heard = listener->heard();
      if (heard.beats != beats_seen) {
        beats_seen = heard.beats;
        tell(watch.heard(heard.beat_time));
      }
      if (heard.beat) {
        const Beat& beat = *heard.beat;
        // The show is checked once for each run of the leader, once both fingerprints are known.
        if (beat.run != checked_run) checked = false;
        if (!checked && beat.fingerprint != 0 && own) {
          if (beat.fingerprint == own->digest()) {
            checked = true;
            checked_run = beat.run;
          } else if (heard.list && heard.list->run == beat.run) {
            say("the leader " + where() + " plays another show: " + fingerprint_differences(heard.list->fingerprint, *own) +
                "; not joining");
            finish(1);
          } else if (list_wait_start == 0.0) {
            list_wait_start = now;
          } else if (now - list_wait_start > 2 * LIST_REPEAT_SECONDS) {
            say("the leader " + where() + " plays another show (its tracks or photos differ); not joining");
            finish(1);
          }
        }
        if (!clock || beat.clock != following.clock || beat.clock_port != following.clock_port) {
          auto made = follower_clock(beat.clock, leader.host, beat.clock_port, error);
          if (!made) {
            say(error);
            finish(1);
          }
          clock = std::move(made);
          following = beat;
          clock_since = now;
        }
        if (checked && beat.has_base && (beat.base != following.base || !following.has_base)) {
          following.base = beat.base;
          following.has_base = true;
          shared_base = beat.base;
          frame_log.note("base " + std::to_string(beat.base));
        }
      }
    }
    tell(watch.tick(now));
    if (clock) note_statistics(*clock);
    if (clock && !in_step && !clock->synced()) say_if_not_locked(following.clock, clock_since);

    if (!in_step && checked && following.has_base && clock && clock->synced()) {
      in_step = true;
      if (screen.draws()) glEnable(GL_TEXTURE_2D);  // the loading frames turned it off
      say("in step with the leader " + where());
      frame_log.note("event in-step");
      if (options.music) {
        music = std::make_unique<SteppedMusic>(clock.get(), &shared_base);
        if (!music->open("e12.mp3", error)) say(error + "; playing without music");
      }
    }
    if (!in_step) {
      if (screen.draws()) show_loading_frame(FIRST_LOADING_FRAME, present_wall_screen);
      else screen.present();
      continue;
    }
    if (music && ++frames % MUSIC_NOTE_FRAMES == 0) {
      const SteppedMusic::Counts c = music->counts();
      frame_log.note("music jumps " + std::to_string(c.jumps) + " repeated " + std::to_string(c.repeated) +
                     " dropped " + std::to_string(c.dropped));
    }
    if (!draw_frame(screen, *clock, following.base)) finish(0);
  }
}

}  // namespace

int main(int argc, char** argv) {
  WallOptions options;
  std::string error;
  if (!parse_wall_options(argc, argv, options, error)) {
    std::fprintf(stderr, "hallshow-wall: %s\n%s", error.c_str(), WALL_USAGE);
    return 2;
  }
  if (options.help) {
    std::fputs(WALL_USAGE, stdout);
    return 0;
  }
  if (options.version) {
    std::printf("hallshow-wall %s\n", HALLSHOW_VERSION);
    return 0;
  }
  if (options.display != WallDisplay::RowsOnly) restart_with_huge_page_memory(argv);
  if (!frame_log.open(options.log)) {
    std::fprintf(stderr, "hallshow-wall: cannot write %s: %s\n", options.log.c_str(), std::strerror(errno));
    return 1;
  }
  if (!std::filesystem::exists("kestos"))
    say("no tracks (no kestos/ folder here): every track reads 0");
  // Read while the photos load: the whole of every photo goes through it.
  std::future<ShowFingerprint> fingerprint = std::async(std::launch::async, fingerprint_show);

  auto screen = open_wall_screen(options, error);
  if (!screen) {
    say(error);
    return 1;
  }
  // From here the libraries below print nothing (libpng's warnings, GStreamer's); this program's
  // own lines still reach the terminal.
  const int kept = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  if (kept >= 0) terminal = fdopen(kept, "w");
  if (!terminal) terminal = stderr;
  silence_output();
  return options.role == WallRole::Lead ? lead(options, *screen, std::move(fingerprint))
                                        : join(options, *screen, std::move(fingerprint));
}
