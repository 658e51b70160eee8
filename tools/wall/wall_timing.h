#pragma once
// The arithmetic of playing in step, apart from clocks and network: which row a frame shows, the
// leader's base time from its music, what a follower says as its leader comes and goes, and how
// a follower's own music is kept on the shared clock. Times are plain numbers so that all of it
// runs under made-up clocks.
#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr int64_t NANOSECONDS = 1'000'000'000;

// The row seen at shared-clock time `shared` when the music's position 0 is heard at `base`.
double row_at(int64_t shared, int64_t base);

// Local seconds at which the frame about to be drawn will be seen: one refresh period after the
// last swap, but never in the past (after a slow frame or before the first swap).
double predicted_presentation(double last_swap, double refresh_period, double now);

// The leader's base time: the shared time minus the music's audible position, taken every frame.
// The positions jitter with the audio callbacks and the device's clock drifts from the machine's,
// so the base announced is the median of the latest estimates, and it changes only when that
// median has moved by more than BASE_STEP.
class BaseFromMusic {
 public:
  static constexpr int64_t BASE_STEP = 1'000'000;  // 1 ms: 0.02 rows, nothing to see
  static constexpr size_t WINDOW = 15;

  // One estimate. True when the base announced changes (the first estimate always does). Once
  // `music_over`, the position holds at the end and says nothing more about the base.
  bool observe(int64_t shared_now, double music_seconds, bool music_over = false);
  bool has_base() const { return has_base_; }
  int64_t base() const { return base_; }

 private:
  int64_t estimates_[WINDOW] = {};
  size_t count_ = 0, next_ = 0;
  bool has_base_ = false;
  int64_t base_ = 0;
};

// A follower's view of its leader from the beats it hears, and the one line each change is worth.
enum class WatchEvent {
  None,
  NotFound,  // nothing heard for NOT_FOUND_SECONDS since the start: said once, still trying
  Found,     // heard at last, after NotFound was said
  Gone,      // silent for GONE_SECONDS: the show goes on on the last clock
  Back,      // heard again after Gone
};

class LeaderWatch {
 public:
  static constexpr double NOT_FOUND_SECONDS = 10.0;
  static constexpr double GONE_SECONDS = 2.0;

  explicit LeaderWatch(double start) : start_(start) {}
  WatchEvent heard(double now);  // a beat arrived
  WatchEvent tick(double now);   // time passed
  bool present() const { return state_ == State::Present; }
  bool ever_heard() const { return state_ != State::Searching; }

 private:
  enum class State { Searching, Present, Gone };
  State state_ = State::Searching;
  double start_, last_ = 0.0;
  bool not_found_said_ = false;
};

// What the follower's music does with the next buffer of the device, given how far the music
// handed so far is ahead of where the shared clock puts it (behind: negative). Out of step it
// jumps; in step it only ever repeats or drops single frames, a few a buffer, which nobody hears.
struct MusicStep {
  bool jump = false;  // move to the clock's position (out of step: the first buffer, a new base)
  int drop = 0;       // frames of music skipped in this buffer (it is behind)
  int repeat = 0;     // frames played twice in this buffer (it is ahead)
};
inline constexpr double MUSIC_JUMP_SECONDS = 0.05;  // further off than this is out of step
inline constexpr int MUSIC_STEPS_PER_BUFFER = 2;    // at 1024 frames a buffer, up to 2 ms a second
MusicStep music_step(double ahead_seconds, bool in_step, int rate);

// The music's next `wanted` stereo frames written to `out` from `in`, with the step's frames
// dropped (in holds wanted + drop frames) or repeated (in holds wanted - repeat), each at its own
// place spread over the buffer. Returns the frames of `in` used; when `in` ran short (`available`
// frames, at the end of the music) the rest of `out` is left as it is.
size_t apply_music_step(const int16_t* in, size_t available, int16_t* out, int wanted, const MusicStep& step);
