#pragma once
// A follower's own music (--music here), played where the shared clock puts it: it starts at the
// position the clock gives, and stays there by repeating or dropping single frames now and again
// (music_step), as synchronised-audio systems do, never by a jump once in step.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "show/audio_output.h"
#include "show/mp3_stream.h"
#include "tools/wall/shared_clock.h"

class SteppedMusic {
 public:
  static constexpr int RATE = 44100;

  // `base` is the shared-clock time of the music's position 0; it may change while playing.
  SteppedMusic(SharedClock* clock, const std::atomic<int64_t>* base) : clock_(clock), base_(base) {}
  ~SteppedMusic();
  SteppedMusic(const SteppedMusic&) = delete;
  SteppedMusic& operator=(const SteppedMusic&) = delete;

  // Starts playing `path` in step. False, with `error`, when there is no music or no device.
  bool open(const char* path, std::string& error);

  // Frames repeated and dropped so far, and jumps made (the first one included).
  struct Counts {
    long long repeated = 0, dropped = 0, jumps = 0;
  };
  Counts counts() const { return {repeated_.load(), dropped_.load(), jumps_.load()}; }

 private:
  static void fill(void* self, int16_t* out, int frames);
  void fill_frames(int16_t* out, int frames);

  SharedClock* clock_;
  const std::atomic<int64_t>* base_;
  Mp3Stream stream_;
  AudioOutput output_;
  bool in_step_ = false;
  long long next_frame_ = 0;  // the music's frame the stream gives next
  std::vector<int16_t> scratch_;
  std::atomic<long long> repeated_{0}, dropped_{0}, jumps_{0};
};
