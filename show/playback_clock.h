#pragma once
// The audible position of the music, from the audio callbacks' reports and a monotonic clock.
// Pure logic: times and positions are plain seconds, so it runs under a fake time source.

// What the audio side knew at its latest callback.
struct AudioAnchor {
  double time = 0.0;      // monotonic seconds when the callback ran
  double position = 0.0;  // seconds of output audible at that time; negative before the first sound
  double handed = 0.0;    // seconds of music handed to the device: nothing beyond it can be heard
  bool ended = false;     // the music's last frame has been handed over
  bool valid = false;     // at least one callback has run
};

// Turns the anchors, which arrive a buffer at a time and with jitter, into a position that
// advances smoothly at any frame rate and never goes backwards.
class PlaybackClock {
 public:
  // Small errors are pulled in over this time rather than jumped: at most a half speed change.
  static constexpr double CATCH_UP_SECONDS = 0.5;
  // A lag larger than this is jumped at once (the reader was late, or the device skipped).
  static constexpr double SNAP_SECONDS = 0.25;
  // Callbacks later than this mean the device has stopped; the position then runs free.
  static constexpr double STALL_SECONDS = 0.5;

  // The music was started (or moved) at `now`, to `position` seconds. From then on a device that
  // never calls back does not hold the position there for ever: past STALL_SECONDS it runs free,
  // as after any other stall.
  void start(double now, double position = 0.0);

  // The position at `now`, never less than the one returned before.
  double position_at(double now, const AudioAnchor& anchor);

 private:
  bool playing_ = false;       // start has been called
  double start_time_ = 0.0;
  double start_position_ = 0.0;
  bool started_ = false;
  double last_ = 0.0;       // the position reached last; negative while nothing is heard yet
  double last_time_ = 0.0;  // and when
};
