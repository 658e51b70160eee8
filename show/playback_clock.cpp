// Between two callbacks the position is extrapolated from the latest one at real-time speed.
// Each reading then moves from where the last reading left off, advanced by the time passed,
// a part of the way towards that extrapolation: the part grows with the time passed, so a
// reader at 30 or 300 frames per second converges equally fast, and the step never overshoots.
#include "show/playback_clock.h"

#include <algorithm>
#include <limits>

void PlaybackClock::start(double now, double position) {
  playing_ = true;
  start_time_ = now;
  start_position_ = position;
}

double PlaybackClock::position_at(double now, const AudioAnchor& reported) {
  AudioAnchor anchor = reported;
  if (!anchor.valid) {
    // Nothing plays yet, or the device has not asked for its first buffer yet.
    if (!playing_ || now - start_time_ <= STALL_SECONDS) return std::max(last_, start_position_);
    // It has not asked for anything since the start: a device stalled from the start, as if it
    // had called back once then and been handed nothing.
    anchor = AudioAnchor{start_time_, start_position_, start_position_, false, true};
  }

  const bool stalled = !anchor.ended && now - anchor.time > STALL_SECONDS;
  const double limit = stalled ? std::numeric_limits<double>::infinity() : anchor.handed;
  const double target = std::min(anchor.position + (now - anchor.time), limit);

  if (!started_) {
    started_ = true;
    last_ = target;
    last_time_ = now;
    return std::max(last_, 0.0);
  }

  const double dt = std::max(now - last_time_, 0.0);
  const double predicted = last_ + dt;
  const double error = target - predicted;
  double next;
  if (error > SNAP_SECONDS)
    next = target;
  else
    next = predicted + error * std::min(dt / CATCH_UP_SECONDS, 1.0);
  // Ahead of the sound, the position waits for it rather than stepping back.
  next = std::max(next, last_);
  // Nothing beyond what the device was given can be heard; at the end this holds the position.
  next = std::min(next, std::max(limit, last_));
  last_ = next;
  last_time_ = now;
  return std::max(last_, 0.0);  // before the first sound is heard the position is negative
}
