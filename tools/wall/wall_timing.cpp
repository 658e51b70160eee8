#include "tools/wall/wall_timing.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "show/music_clock.h"

double row_at(int64_t shared, int64_t base) {
  // The difference first, in integers: shared-clock times are large, their difference is not.
  return seconds_to_row(static_cast<double>(shared - base) / NANOSECONDS);
}

double predicted_presentation(double last_swap, double refresh_period, double now) {
  return std::max(last_swap + refresh_period, now);
}

bool BaseFromMusic::observe(int64_t shared_now, double music_seconds, bool music_over) {
  if (music_over && has_base_) return false;
  estimates_[next_] = shared_now - static_cast<int64_t>(std::llround(music_seconds * NANOSECONDS));
  next_ = (next_ + 1) % WINDOW;
  count_ = std::min(count_ + 1, WINDOW);
  int64_t sorted[WINDOW];
  std::copy(estimates_, estimates_ + count_, sorted);
  std::nth_element(sorted, sorted + count_ / 2, sorted + count_);
  const int64_t median = sorted[count_ / 2];
  if (has_base_ && std::llabs(median - base_) <= BASE_STEP) return false;
  has_base_ = true;
  base_ = median;
  return true;
}

WatchEvent LeaderWatch::heard(double now) {
  last_ = now;
  const State was = state_;
  state_ = State::Present;
  if (was == State::Gone) return WatchEvent::Back;
  if (was == State::Searching && not_found_said_) return WatchEvent::Found;
  return WatchEvent::None;
}

WatchEvent LeaderWatch::tick(double now) {
  if (state_ == State::Searching && !not_found_said_ && now - start_ >= NOT_FOUND_SECONDS) {
    not_found_said_ = true;
    return WatchEvent::NotFound;
  }
  if (state_ == State::Present && now - last_ >= GONE_SECONDS) {
    state_ = State::Gone;
    return WatchEvent::Gone;
  }
  return WatchEvent::None;
}

MusicStep music_step(double ahead_seconds, bool in_step, int rate) {
  MusicStep step;
  if (!in_step || std::fabs(ahead_seconds) > MUSIC_JUMP_SECONDS) {
    step.jump = true;
    return step;
  }
  // Within half a frame there is nothing a frame could make better.
  const long frames = std::lround(std::fabs(ahead_seconds) * rate);
  const int n = static_cast<int>(std::min<long>(frames, MUSIC_STEPS_PER_BUFFER));
  (ahead_seconds > 0 ? step.repeat : step.drop) = n;
  return step;
}

size_t apply_music_step(const int16_t* in, size_t available, int16_t* out, int wanted, const MusicStep& step) {
  const int changes = step.drop + step.repeat;
  const int every = changes > 0 ? std::max(wanted / (changes + 1), 1) : wanted + 1;
  size_t from = 0;
  for (int i = 0, changed = 0; i < wanted; ++i) {
    if (changed < changes && i > 0 && i % every == 0) {
      ++changed;
      if (step.repeat) {  // the frame just played, once more
        std::memcpy(out + size_t(i) * 2, out + size_t(i - 1) * 2, 2 * sizeof(int16_t));
        continue;
      }
      ++from;  // a frame left out
    }
    if (from >= available) break;
    std::memcpy(out + size_t(i) * 2, in + from * 2, 2 * sizeof(int16_t));
    ++from;
  }
  return std::min(from, available);
}
