// current_row per call: the silent clock, the smoothing alone, and a real MP3 on SDL's dummy driver.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>

#include "show/music_clock.h"
#include "show/music_player.h"
#include "show/playback_clock.h"

namespace {

void current_row_silent(benchmark::State& state) {
  start_music();  // no open_music: the silent clock
  for (auto _ : state) benchmark::DoNotOptimize(current_row());
}
BENCHMARK(current_row_silent);

void playback_clock_position(benchmark::State& state) {
  PlaybackClock clock;
  AudioAnchor a;
  a.valid = true;
  a.handed = 1e9;
  double now = 0.0;
  for (auto _ : state) {
    now += 1.0 / 60.0;
    a.time = now - 0.01;
    a.position = now - 0.03;
    benchmark::DoNotOptimize(clock.position_at(now, a));
  }
}
BENCHMARK(playback_clock_position);

// The whole path while music plays: the lock shared with the audio thread and the clock read.
void music_player_seconds(benchmark::State& state) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  const std::string mp3 = (std::filesystem::temp_directory_path() / "hallshow-bench-tone.mp3").string();
  const std::string cmd = "ffmpeg -loglevel error -y -f lavfi -i sine=frequency=440:duration=30 -ar 44100 -ac 2 '" + mp3 + "'";
  MusicPlayer player;
  if (std::system(cmd.c_str()) != 0 || !player.open(mp3.c_str())) {
    state.SkipWithError("no MP3 or no dummy audio device");
    return;
  }
  player.start();
  for (auto _ : state) benchmark::DoNotOptimize(player.seconds());
  std::filesystem::remove(mp3);
}
BENCHMARK(music_player_seconds);

}  // namespace

BENCHMARK_MAIN();
