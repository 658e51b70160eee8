// Placeholder until the music clock lands: a silent monotonic clock.
#include "show/music_clock.h"
#include <chrono>
namespace { std::chrono::steady_clock::time_point started; bool running = false; }
void open_music() {}
void start_music() { started = std::chrono::steady_clock::now(); running = true; }
double current_row() {
  if (!running) return 0.0;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() * ROW_RATE;
}
