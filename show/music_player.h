#pragma once
// One piece of music played once on the sound device, and the clock that follows what is heard.
// Without music or without a device, the clock is a silent monotonic one instead.
#include <mutex>
#include <vector>

#include "show/audio_output.h"
#include "show/mp3_stream.h"
#include "show/playback_clock.h"

// A source of monotonic seconds; the real one is steady_seconds.
using MonotonicSeconds = double (*)();
double steady_seconds();

class MusicPlayer {
 public:
  static constexpr int OUTPUT_RATE = 44100;  // frames per second on the device

  explicit MusicPlayer(MonotonicSeconds now = steady_seconds) : now_(now) {}
  MusicPlayer(const MusicPlayer&) = delete;
  MusicPlayer& operator=(const MusicPlayer&) = delete;
  ~MusicPlayer();

  // Prepares `path` and a paused device. False when the show will be silent: the file is
  // missing or undecodable, or there is no sound device.
  bool open(const char* path);
  // Starts playing (or starts the silent clock); later calls do nothing.
  void start();
  // Seconds of music heard since start: 0 before it, smooth and never decreasing after it,
  // holding at the music's end.
  double seconds();
  bool audible() const { return audible_; }
  // The music's length: exact once it has all been decoded, announced before; 0 when unknown.
  double length_seconds();

 private:
  static void fill(void* self, int16_t* out, int frames);
  void fill_frames(int16_t* out, int frames);

  MonotonicSeconds now_;
  Mp3Stream stream_;
  AudioOutput output_;
  bool opened_ = false;
  bool audible_ = false;
  bool started_ = false;
  double start_time_ = 0.0;  // of the silent clock

  // The first decoded samples, taken at open to prove the file plays; handed out first.
  std::vector<int16_t> primed_;
  size_t primed_used_ = 0;
  bool music_over_ = false;  // the audio thread's own: the decoder has nothing more

  // Written by the audio thread, read by the reader; everything else is the reader's own.
  std::mutex lock_;
  AudioAnchor anchor_;
  long long device_frames_ = 0;  // frames handed to the device, silence after the end included
  long long music_frames_ = 0;   // of those, frames of music

  PlaybackClock clock_;
};
