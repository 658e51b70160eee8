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

  // The authoring tools' transport. Each works before start() as well, and then sets where and
  // how the music starts.
  // Silence from now on (the device keeps running); the position holds where it is heard now.
  void pause();
  // The sound goes on from exactly the held position.
  void resume();
  bool paused() const { return paused_; }
  // Moves to `seconds` (within the music's length) exactly: the position reads that until the sound from there is
  // heard, then advances from it; it is not smoothed across the jump.
  void seek(double seconds);

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

  // Held by the audio thread for a whole callback, and by a seek or a pause, so that the decoder
  // and the counters above change between callbacks only.
  std::mutex transport_lock_;
  bool output_paused_ = false;  // under transport_lock_: the callbacks play silence
  bool paused_ = false;         // the reader's own, as are the two below
  double held_ = 0.0;           // the position while paused, and before start
  double floor_ = 0.0;          // the position since the last seek reads no less than this
};
